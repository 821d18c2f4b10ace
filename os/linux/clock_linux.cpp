// The clock readings on Linux (os/clock.h): the local and UTC clocks from one reading each, the
// millisecond counter since boot and the zone's standard offset and name from the TZ rules. The
// setters are horasync's and live apart.
#include "os/clock.h"

#include "os/ansi.h"

#include <ctime>

namespace os {
namespace {

struct timespec Now()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

} // namespace

LocalDateTime LocalNow()
{
    const struct timespec now = Now();
    struct tm t;
    localtime_r(&now.tv_sec, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            static_cast<int>(now.tv_nsec / 1000000)};
}

UtcTime UtcNow()
{
    const struct timespec now = Now();
    struct tm t;
    gmtime_r(&now.tv_sec, &t);
    UtcTime utc;
    utc.year = static_cast<uint16_t>(t.tm_year + 1900);
    utc.month = static_cast<uint16_t>(t.tm_mon + 1);
    utc.dayOfWeek = static_cast<uint16_t>(t.tm_wday);
    utc.day = static_cast<uint16_t>(t.tm_mday);
    utc.hour = static_cast<uint16_t>(t.tm_hour);
    utc.minute = static_cast<uint16_t>(t.tm_min);
    utc.second = static_cast<uint16_t>(t.tm_sec);
    utc.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return utc;
}

uint32_t MillisecondCounter()
{
    struct timespec since;
    clock_gettime(CLOCK_BOOTTIME, &since);   // counts suspended time too, as Windows' counter does
    return static_cast<uint32_t>(static_cast<uint64_t>(since.tv_sec) * 1000 + since.tv_nsec / 1000000);
}

ZoneInfo GetZoneInfo()
{
    tzset();
    ZoneInfo zone;
    zone.bias = static_cast<int32_t>(timezone / 60);   // glibc's standard offset, seconds west of UTC
    std::wstring name;
    Utf8ToWide(tzname[0], name);
    name.resize(32, L'\0');
    zone.standardName = name;
    return zone;
}

} // namespace os
