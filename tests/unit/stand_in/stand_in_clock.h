// The stand-in's clocks: UTC, the local zone and the millisecond counter, which move only when a
// test moves them; what the program set is kept, and the setters can be made to refuse.
#pragma once
#include "os/clock.h"

#include <cstdint>
#include <vector>

namespace fakeos {

// Milliseconds since 1900-01-01 00:00 of a calendar date and time.
int64_t EpochMs(int year, int month, int day, int hour, int minute, int second, int ms);

struct ClockState {
    int64_t utcMs = EpochMs(2024, 3, 5, 2, 0, 0, 500);   // 10:00:00.500 in UTC+8
    int64_t zoneMs = 8 * 3600 * 1000;                    // the PC keeps UTC+8
    int32_t zoneBias = -480;                             // the zone's bias in minutes (UTC = local + bias)
    uint32_t counter = 123456789;
    int64_t msPerReading = 0;                            // how far each counter reading moves time on
    int64_t msPerPump = 0;                               // how far time moves while events run once
    bool utcSetSucceeds = true;
    bool localSetSucceeds = true;
    std::vector<os::LocalDateTime> localWritten;         // what SetLocalClock was given
    std::vector<os::UtcTime> utcWritten;                 // what SetUtcClock was given
};

// The clocks' state; `Clock() = {}` starts afresh.
ClockState& Clock();
// Moves UTC and the counter on together.
void AdvanceClock(int64_t ms);
// The platform's zone bias in minutes (UTC = local + bias).
void SetZoneBias(int32_t minutes);

} // namespace fakeos
