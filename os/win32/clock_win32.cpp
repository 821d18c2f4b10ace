// Win32 readers of the clocks (the setters are clock_set_win32.cpp).
#include "os/clock.h"

#include "os/win32/local_time.h"

#include <mmsystem.h>

namespace os {

LocalDateTime LocalNow()
{
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return FromSystemTime(st);
}

UtcTime UtcNow()
{
    SYSTEMTIME st{};
    GetSystemTime(&st);
    return UtcFromSystemTime(st);
}

uint32_t MillisecondCounter() { return timeGetTime(); }

} // namespace os
