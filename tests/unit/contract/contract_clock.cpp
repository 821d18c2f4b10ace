// The clock readings (os/clock.h) and the zone beside them: horasync compares them with the time
// servers' answer, vemr stamps its request with them. The setters are horasync's alone and are not
// run here (the test build records them; under Wine they never change the host clock).
#include "os/clock.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

namespace {

// Days since 1970-01-01 of a calendar date.
int64_t Days(int year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

} // namespace

// Without daylight saving (the shop PCs keep China's time), local time is UTC less the bias.
TEST(ClockContract, LocalTimeIsUtcLessTheZoneBias)
{
    contract::Scratch fresh;
    const os::UtcTime utc = os::UtcNow();
    const os::LocalDateTime local = os::LocalNow();
    const int64_t utcSeconds = Days(utc.year, utc.month, utc.day) * 86400 + utc.hour * 3600 + utc.minute * 60 + utc.second;
    const int64_t localSeconds =
        Days(local.year, local.month, local.day) * 86400 + local.hour * 3600 + local.minute * 60 + local.second;
    EXPECT_NEAR(static_cast<double>(localSeconds - utcSeconds), -60.0 * os::GetZoneInfo().bias, 2.0);
    EXPECT_LT(local.milliseconds, 1000);
}

TEST(ClockContract, UtcReadingCarriesItsDayOfTheWeek)
{
    contract::Scratch fresh;
    const os::UtcTime utc = os::UtcNow();
    EXPECT_EQ(utc.dayOfWeek, (Days(utc.year, utc.month, utc.day) + 4) % 7);   // 1970-01-01 was a Thursday
}

TEST(ClockContract, MillisecondCounterNeverRunsBackwards)
{
    contract::Scratch fresh;
    const uint32_t first = os::MillisecondCounter();
    const uint32_t second = os::MillisecondCounter();
    EXPECT_LT(second - first, 1000u);   // unsigned: a counter that ran back would be near 2^32
}
