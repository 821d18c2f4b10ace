// The SNTP arithmetic on any clock reading and any reply: the request built from the clock, the
// stamps read from any 48 bytes, the offset, the caption, and the time to set for the offset of
// the reply or for any offset at all (of any magnitude, infinite or not a number).
#include "timesync/sntp.h"
#include "tests/fuzz/fuzz_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr int64_t kDayMs = 86400000;

int DaysIn(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

uint32_t BigEndianWord(const sntp::Packet& p, size_t at)
{
    return uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | uint32_t{p[at + 2]} << 8 | p[at + 3];
}

// The stamps' time line: a 32-bit seconds word read on either side of its wrap in 2036.
bool InStampRange(double t) { return t >= kTwoTo32 / 2 && t <= kTwoTo32 * 1.5; }

// A UTC date from 2000 to the last the stamps reach, in 2104.
bool IsStampDate(int year, int month, int day)
{
    return year >= 2000 && year <= 2104 && month >= 1 && month <= 12 && day >= 1 && day <= DaysIn(year, month);
}

void CheckRequest(const sntp::SystemTime& utc, uint32_t counter, uint32_t later, int64_t D, double localSeconds)
{
    const int32_t tick = sntp::TickOffsetMsFrom(utc, counter);
    const int64_t zoneMs =
        ((int64_t{utc.hour} + 8) * 3600 + utc.minute * 60 + utc.second) * 1000 + utc.milliseconds;
    FUZZ_CHECK(sntp::ZoneMsOfDay(tick, counter) == zoneMs);

    const int32_t S = sntp::TransmitSeconds(D, localSeconds, tick, later);
    const uint32_t F = sntp::TransmitFraction(tick, later);
    const sntp::Packet request = sntp::BuildRequest(S, F);
    FUZZ_CHECK(request[0] == 27);
    for (size_t i = 1; i < 40; ++i) FUZZ_CHECK(request[i] == 0);
    FUZZ_CHECK(BigEndianWord(request, 40) == static_cast<uint32_t>(S));
    FUZZ_CHECK(BigEndianWord(request, 44) == F);
    const double echoed = sntp::ReadReply(request).T3;
    const double sent = static_cast<double>(sntp::EraSeconds(static_cast<uint32_t>(S)));
    FUZZ_CHECK(echoed >= sent && echoed <= sent + 1);

    const double T4 = sntp::DestinationTime(D, localSeconds, tick, later);
    FUZZ_CHECK(std::isfinite(T4));
    const double wholeSeconds = static_cast<double>(D - sntp::ZoneSeconds + sntp::DayCorrection(localSeconds));
    const double expected = wholeSeconds + sntp::ZoneMsOfDay(tick, later) / 1000.0;
    const double wraps = std::round((T4 - expected) / kTwoTo32);   // whole wraps of the seconds word
    FUZZ_CHECK(InStampRange(T4) && std::fabs(T4 - expected - wraps * kTwoTo32) <= 1e-3);
}

void CheckFractionWord(int32_t m)
{
    const uint32_t word = sntp::FractionWord(m);
    if (m >= 0 && m < 1000) FUZZ_CHECK(std::fabs(word - m * 4294967.296) <= 0.5);
}

// The time to set: every field in its range, the date the server's (the day that puts it within
// half a day of T3, never before 2000), the day of the week as read, and the time of day the
// reading moved by the offset (whole days dropped), to the millisecond.
void CheckClockToSet(const sntp::SystemTime& utc, double offset, double T3)
{
    const std::optional<sntp::SystemTime> maybe = sntp::ClockToSet(utc, offset, T3);
    const double year2000 = static_cast<double>(sntp::DayBase(2000, 1, 1));
    if (!maybe) {
        FUZZ_CHECK(T3 < year2000 + 86400);
        return;
    }
    const sntp::SystemTime set = *maybe;
    FUZZ_CHECK(IsStampDate(set.year, set.month, set.day));
    const double moment = static_cast<double>(sntp::DayBase(set.year, set.month, set.day)) + set.hour * 3600.0 +
                          set.minute * 60.0 + set.second + set.milliseconds / 1000.0;
    FUZZ_CHECK(std::fabs(moment - T3) <= 43200.001);
    FUZZ_CHECK(set.dayOfWeek == utc.dayOfWeek);
    FUZZ_CHECK(set.hour < 24 && set.minute < 60 && set.second < 60 && set.milliseconds < 1000);
    if (!std::isfinite(offset)) return;
    const double whole = std::floor(offset);
    const double dayPart = std::fmod(whole, 86400.0);   // exact
    const double fractionMs = (offset - whole) * 1000.0;
    const int64_t readMs = ((int64_t{utc.hour} * 60 + utc.minute) * 60 + utc.second) * 1000 + utc.milliseconds;
    const int64_t setMs = ((int64_t{set.hour} * 60 + set.minute) * 60 + set.second) * 1000 + set.milliseconds;
    const double expected = static_cast<double>(readMs) + dayPart * 1000.0 + fractionMs;
    const double difference = std::fmod(std::fmod(setMs - expected, double(kDayMs)) + kDayMs, double(kDayMs));
    FUZZ_CHECK(difference <= 1.0 || difference >= kDayMs - 1.0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);

    // Any clock reading GetSystemTime can give, any counter values, any local date and time.
    sntp::SystemTime utc;
    utc.year = in.ConsumeIntegralInRange<uint16_t>(1601, 30827);
    utc.month = in.ConsumeIntegralInRange<uint16_t>(1, 12);
    utc.day = in.ConsumeIntegralInRange<uint16_t>(1, DaysIn(utc.year, utc.month));
    utc.dayOfWeek = in.ConsumeIntegralInRange<uint16_t>(0, 6);
    utc.hour = in.ConsumeIntegralInRange<uint16_t>(0, 23);
    utc.minute = in.ConsumeIntegralInRange<uint16_t>(0, 59);
    utc.second = in.ConsumeIntegralInRange<uint16_t>(0, 59);
    utc.milliseconds = in.ConsumeIntegralInRange<uint16_t>(0, 999);
    const auto counter = in.ConsumeIntegral<uint32_t>();
    const auto later = in.ConsumeIntegral<uint32_t>();
    const int localYear = in.ConsumeIntegralInRange<int>(1601, 30827);
    const int localMonth = in.ConsumeIntegralInRange<int>(1, 12);
    const int localDay = in.ConsumeIntegralInRange<int>(1, DaysIn(localYear, localMonth));
    const double localSeconds = in.ConsumeFloatingPointInRange<double>(0, 86399.999);
    const int64_t D = sntp::DayBase(localYear, localMonth, localDay);
    FUZZ_CHECK(D % 86400 == 0);
    CheckRequest(utc, counter, later, D, localSeconds);
    CheckFractionWord(in.ConsumeIntegral<int32_t>());
    CheckFractionWord(in.ConsumeIntegralInRange<int32_t>(0, 999));

    // Any 48 bytes as the reply.
    sntp::Packet reply{};
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sntp::PacketSize);
    std::copy(bytes.begin(), bytes.end(), reply.begin());
    const sntp::ReplyStamps stamps = sntp::ReadReply(reply);
    FUZZ_CHECK(InStampRange(stamps.T1) && InStampRange(stamps.T2) && InStampRange(stamps.T3));
    const double T4 = sntp::DestinationTime(D, localSeconds, sntp::TickOffsetMsFrom(utc, counter), later);
    const double offset = sntp::ClockOffsetOf(stamps, T4);
    FUZZ_CHECK(std::isfinite(offset));
    const double M = sntp::ServerMidpoint(stamps);
    FUZZ_CHECK(InStampRange(M) && M >= std::min(stamps.T2, stamps.T3) && M <= std::max(stamps.T2, stamps.T3));

    const sntp::ZoneTime zone = sntp::ServerZoneTime(M);
    FUZZ_CHECK(zone.year >= 1968 && zone.year <= 2104 && zone.month >= 1 && zone.month <= 12);
    FUZZ_CHECK(zone.day >= 1 && zone.day <= DaysIn(zone.year, zone.month));
    FUZZ_CHECK(zone.hour >= 0 && zone.hour < 24 && zone.minute >= 0 && zone.minute < 60);
    FUZZ_CHECK(zone.second >= 0 && zone.second < 60);
    const std::wstring caption = sntp::CaptionText(zone);
    FUZZ_CHECK(caption.size() == 19);
    for (size_t i = 0; i < caption.size(); ++i) {
        const wchar_t c = caption[i];
        if (i == 4 || i == 7) FUZZ_CHECK(c == L'-');
        else if (i == 10) FUZZ_CHECK(c == L' ');
        else if (i == 13 || i == 16) FUZZ_CHECK(c == L':');
        else FUZZ_CHECK(c >= L'0' && c <= L'9');
    }
    FUZZ_CHECK(sntp::IsMidnightHour(zone.hour) == (zone.hour == 23 || zone.hour == 0));

    // The time to set, for the reply's offset and for any other.
    CheckClockToSet(utc, offset, stamps.T3);
    double any;
    const std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(sizeof any);
    if (raw.size() == sizeof any) {
        std::memcpy(&any, raw.data(), sizeof any);
        CheckClockToSet(utc, any, stamps.T3);
    }
    return 0;
}
