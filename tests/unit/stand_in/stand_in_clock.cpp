#include "tests/unit/stand_in/stand_in_clock.h"

#include "os/errors.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "timesync/sntp.h"

#include <string>

namespace fakeos {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

} // namespace

int64_t EpochMs(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return (sntp::DayBase(year, month, day) + hour * 3600 + minute * 60 + second) * 1000 + ms;
}

ClockState& Clock() { return fakeos::TheOne<ClockState>(); }

void AdvanceClock(int64_t ms)
{
    Clock().utcMs += ms;
    Clock().counter += static_cast<uint32_t>(ms);
}

void SetZoneBias(int32_t minutes) { Clock().zoneBias = minutes; }

} // namespace fakeos

namespace os {

using fakeos::Clock;

LocalDateTime LocalNow()
{
    fakeos::Journal().push_back(L"now");
    const int64_t local = Clock().utcMs + Clock().zoneMs;
    const int64_t seconds = fakeos::FloorDiv(local, 1000);
    const sntp::ZoneTime t = sntp::ServerZoneTime(static_cast<double>(seconds - sntp::ZoneSeconds));
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int>(local - seconds * 1000)};
}

UtcTime UtcNow()
{
    fakeos::Journal().push_back(L"GetSystemTime");
    const int64_t utcMs = Clock().utcMs;
    const int64_t seconds = fakeos::FloorDiv(utcMs, 1000);
    const sntp::ZoneTime t = sntp::ServerZoneTime(static_cast<double>(seconds - sntp::ZoneSeconds));
    UtcTime st;
    st.year = static_cast<uint16_t>(t.year);
    st.month = static_cast<uint16_t>(t.month);
    st.day = static_cast<uint16_t>(t.day);
    st.hour = static_cast<uint16_t>(t.hour);
    st.minute = static_cast<uint16_t>(t.minute);
    st.second = static_cast<uint16_t>(t.second);
    st.milliseconds = static_cast<uint16_t>(utcMs - seconds * 1000);
    st.dayOfWeek = static_cast<uint16_t>((fakeos::FloorDiv(seconds, 86400) + 1) % 7);   // 1900-01-01 was a Monday
    return st;
}

uint32_t MillisecondCounter()
{
    const uint32_t now = Clock().counter;
    fakeos::AdvanceClock(Clock().msPerReading);
    return now;
}

void SetLocalClock(const LocalDateTime& t)
{
    fakeos::Journal().push_back(L"SetLocalDate " + std::to_wstring(t.year) + L"-" + std::to_wstring(t.month) + L"-" +
                                std::to_wstring(t.day));
    Clock().localWritten.push_back(t);
    if (!Clock().localSetSucceeds) throw PlatformError("SetLocalTime: privilege not held", 1314);
}

void SetUtcClock(const UtcTime& time)
{
    fakeos::Journal().push_back(L"SetSystemTime");
    Clock().utcWritten.push_back(time);
    if (!Clock().utcSetSucceeds) throw PlatformError("SetSystemTime: privilege not held", 1314);
}

ZoneInfo GetZoneInfo()
{
    fakeos::Journal().push_back(L"zone");
    return ZoneInfo{Clock().zoneBias, std::wstring(L"中国标准时间") + std::wstring(26, L'\0')};
}

} // namespace os
