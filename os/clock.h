// The PC's clocks as the programs read and set them: the local date and time, UTC, the millisecond
// counter and the time zone. Win32 readers: os/win32/clock_win32.cpp and counter_win32.cpp; Linux:
// os/linux/clock_linux.cpp. The setters and the right to use them live apart, in
// os/win32/clock_set_win32.cpp (library os_clock_win32) and os/linux/clock_set_linux.cpp
// (os_clock_linux), so that a build may take others instead: horasync's test build records what it
// would set and never sets the clock.
#pragma once
#include <cstdint>
#include <string>

namespace os {

// One reading of the local clock: the date and the time of day.
struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// One reading of the UTC clock, field for field as the platform keeps it (day of the week 0 =
// Sunday).
struct UtcTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

LocalDateTime LocalNow();
UtcTime UtcNow();

// The millisecond counter since the system started; it wraps after 2^32 ms.
uint32_t MillisecondCounter();

// The two fields of the time-zone information that the programs read.
struct ZoneInfo {
    int32_t bias = 0;              // minutes, UTC = local + bias
    std::wstring standardName;     // 32 UTF-16 units, NUL-padded
};
ZoneInfo GetZoneInfo();

// Sets the local date and time to one reading, so that a date and a time of day taken on either
// side of midnight are never mixed (the day of the week is ignored). Both setters throw
// PlatformError when the platform refuses, as it does without the right to change the clock.
void SetLocalClock(const LocalDateTime& when);
void SetUtcClock(const UtcTime& when);

// Whether the program holds the right to set the clock, asked without changing it. Windows tells
// it only by trying: the local clock set to its own reading, which changes nothing
// (os/clock_right_by_setting.cpp, which the test builds and the stand-in take too, over their own
// setters); Linux answers whether CAP_SYS_TIME is in the program's effective capabilities.
bool MaySetClock();

} // namespace os
