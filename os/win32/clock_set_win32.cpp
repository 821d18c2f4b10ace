// Win32 setters of the clocks, in a library of their own (os_clock_win32) that a build may replace.
#include "os/clock.h"

#include "os/win32/local_time.h"
#include "os/win32/scoped.h"

namespace os {

void SetLocalClock(const LocalDateTime& when)
{
    const SYSTEMTIME st = ToSystemTime(when);
    if (!SetLocalTime(&st)) Fail("SetLocalTime");
}

void SetUtcClock(const UtcTime& when)
{
    const SYSTEMTIME st = ToSystemTime(when);
    if (!SetSystemTime(&st)) Fail("SetSystemTime");
}

} // namespace os
