// The clock readings on Linux (os/clock.h): the local and UTC clocks from one reading each, the
// millisecond counter since boot and the zone's standard offset and name from the TZ rules; the
// instants the setters give the kernel and the capability behind the right to set it. The setters
// are horasync's and live apart (clock_set_linux.cpp).
#include "os/linux/clock_linux.h"

#include "os/ansi.h"
#include "os/errors.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace os {
namespace {

struct timespec Now()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// The instant of calendar fields, made by `toSeconds` (timegm or mktime) and read back by `fromSeconds`:
// fields that do not come back as they went name no time.
template <class ToSeconds, class FromSeconds>
struct timespec Instant(int year, int month, int day, int hour, int minute, int second, int milliseconds,
                        ToSeconds toSeconds, FromSeconds fromSeconds)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const time_t seconds = toSeconds(&t);
    struct tm back {};
    if (milliseconds < 0 || milliseconds > 999 || !fromSeconds(&seconds, &back) || back.tm_year != year - 1900 ||
        back.tm_mon != month - 1 || back.tm_mday != day || back.tm_hour != hour || back.tm_min != minute ||
        back.tm_sec != second)
        throw PlatformError("no such time", 87);
    return {seconds, static_cast<long>(milliseconds) * 1000000};
}

} // namespace

namespace native {

struct timespec UtcInstant(const UtcTime& w)
{
    return Instant(w.year, w.month, w.day, w.hour, w.minute, w.second, w.milliseconds, timegm, gmtime_r);
}

struct timespec LocalInstant(const LocalDateTime& w)
{
    return Instant(w.year, w.month, w.day, w.hour, w.minute, w.second, w.milliseconds, mktime, localtime_r);
}

bool HasCapability(int capability)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, sets) != 0) return false;
    return (sets[CAP_TO_INDEX(capability)].effective & CAP_TO_MASK(capability)) != 0;
}

} // namespace native

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
