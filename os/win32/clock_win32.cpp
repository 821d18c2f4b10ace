// Win32 readers of the local and UTC clocks and of the time zone (the counter is counter_win32.cpp,
// the setters clock_set_win32.cpp).
#include "os/clock.h"

#include "os/win32/local_time.h"

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

ZoneInfo GetZoneInfo()
{
    TIME_ZONE_INFORMATION info{};
    GetTimeZoneInformation(&info);
    ZoneInfo zone;
    zone.bias = info.Bias;
    zone.standardName.assign(info.StandardName, info.StandardName + 32);
    return zone;
}

} // namespace os
