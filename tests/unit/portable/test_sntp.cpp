#include "timesync/sntp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

using namespace sntp;

namespace {

// Day bases (seconds from 1900-01-01 to the date at 00:00) worked out by hand for the tests.
constexpr int64_t kMar4 = 3918499200;   // 2024-03-04
constexpr int64_t kMar5 = 3918585600;   // 2024-03-05, serial day number 45356
constexpr int64_t kMar6 = 3918672000;   // 2024-03-06
constexpr int64_t kMar7 = 3918758400;   // 2024-03-07

SystemTime Utc(int year, int month, int day, int hour, int minute, int second, int ms, int dayOfWeek)
{
    SystemTime t;
    t.year = static_cast<uint16_t>(year);
    t.month = static_cast<uint16_t>(month);
    t.dayOfWeek = static_cast<uint16_t>(dayOfWeek);
    t.day = static_cast<uint16_t>(day);
    t.hour = static_cast<uint16_t>(hour);
    t.minute = static_cast<uint16_t>(minute);
    t.second = static_cast<uint16_t>(second);
    t.milliseconds = static_cast<uint16_t>(ms);
    return t;
}

std::string Text(const SystemTime& t)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d dow %d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.milliseconds, t.dayOfWeek);
    return buffer;
}

std::string Text(const std::optional<SystemTime>& t) { return t ? Text(*t) : "nothing"; }

std::string Text(const std::wstring& wide)
{
    return std::string(wide.begin(), wide.end());   // captions are ASCII
}

uint32_t WordAt(const Packet& packet, size_t offset)
{
    return uint32_t{packet[offset]} << 24 | uint32_t{packet[offset + 1]} << 16 | uint32_t{packet[offset + 2]} << 8 |
           uint32_t{packet[offset + 3]};
}

void PutWord(Packet& packet, size_t offset, uint32_t word)
{
    for (int i = 0; i < 4; ++i) packet[offset + i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

// A PC whose local time is UTC+8: the GetSystemTime reading, the local seconds since midnight and
// the day base of the local date, all of one moment.
struct Pc {
    SystemTime utc;
    double localSeconds;
    int64_t D;
};

// What one request carries when the counter reads `counter` at the clock reading and does not move.
Packet RequestFrom(const Pc& pc, uint32_t counter)
{
    const int32_t tickOffset = TickOffsetMsFrom(pc.utc, counter);
    return BuildRequest(TransmitSeconds(pc.D, pc.localSeconds, tickOffset, counter),
                        TransmitFraction(tickOffset, counter));
}

// A server's reply: our transmit stamp echoed as the originate stamp, then its receive and transmit
// stamps.
Packet ReplyTo(const Packet& request, uint32_t receiveSeconds, uint32_t receiveFraction, uint32_t transmitSeconds,
               uint32_t transmitFraction)
{
    Packet reply{};
    reply[0] = 0x1C;   // version 3, server: never looked at
    for (size_t i = 0; i < 8; ++i) reply[24 + i] = request[40 + i];
    PutWord(reply, 32, receiveSeconds);
    PutWord(reply, 36, receiveFraction);
    PutWord(reply, 40, transmitSeconds);
    PutWord(reply, 44, transmitFraction);
    return reply;
}

} // namespace

TEST(DayBase, CountsWholeDaysFromNineteenHundred)
{
    const struct {
        int year, month, day;
        int64_t seconds;
    } cases[] = {
        {1900, 1, 1, 0},
        {1900, 1, 2, 86400},
        {1900, 3, 1, 59 * 86400},     // 1900 has no 29 February
        {2000, 1, 1, 3155673600},
        {2024, 3, 5, kMar5},
        {2036, 2, 8, 4295030400},     // past 2^32 seconds: not reduced here
    };
    for (const auto& c : cases) EXPECT_EQ(DayBase(c.year, c.month, c.day), c.seconds) << c.year << "-" << c.month;
}

TEST(DayCorrection, OneDayBackBeforeEightLocal)
{
    const struct {
        double localSeconds;
        int32_t correction;
    } cases[] = {
        {0, -86400}, {10800, -86400}, {28799.99, -86400}, {28800, 0}, {36000, 0}, {86399.99, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(DayCorrection(c.localSeconds), c.correction) << c.localSeconds;
}

TEST(TickOffsetMs, CounterPlusOffsetIsUtcPlusEightMillisecondsOfDay)
{
    const struct {
        SystemTime utc;
        uint32_t elapsed;
        int32_t zoneMs;
    } cases[] = {
        {Utc(2024, 3, 5, 0, 0, 0, 0, 2), 0, 28800000},
        {Utc(2024, 3, 5, 2, 0, 0, 250, 2), 0, 36000250},
        {Utc(2024, 3, 4, 19, 0, 0, 0, 1), 0, 97200000},          // 27 hours: not reduced to a day
        {Utc(2024, 3, 4, 23, 59, 59, 999, 1), 0, 115199999},
        {Utc(2024, 3, 5, 2, 0, 0, 250, 2), 1234, 36001484},      // counter moved on since the reading
    };
    for (const auto& c : cases) {
        const uint32_t counter = 5000;
        EXPECT_EQ(ZoneMsOfDay(TickOffsetMsFrom(c.utc, counter), counter + c.elapsed), c.zoneMs) << Text(c.utc);
    }
}

TEST(TransmitSeconds, TrueUtcSecondsOnAUtcPlusEightPc)
{
    const struct {
        const char* what;
        Pc pc;
        int64_t seconds;
    } cases[] = {
        {"03:00 local on day N (UTC 19:00 of day N-1)", {Utc(2024, 3, 4, 19, 0, 0, 0, 1), 10800, kMar5}, kMar5 - 18000},
        {"10:00 local", {Utc(2024, 3, 5, 2, 0, 0, 0, 2), 36000, kMar5}, kMar5 + 7200},
        {"07:59:59.999 local", {Utc(2024, 3, 4, 23, 59, 59, 999, 1), 28799.999, kMar5}, kMar5 - 1},
        {"08:00 local", {Utc(2024, 3, 5, 0, 0, 0, 0, 2), 28800, kMar5}, kMar5},
        {"00:00 local", {Utc(2024, 3, 4, 16, 0, 0, 0, 1), 0, kMar5}, kMar5 - 28800},
        {"23:59:59.500 local", {Utc(2024, 3, 5, 15, 59, 59, 500, 2), 86399.5, kMar5}, kMar5 + 57599},
    };
    for (const auto& c : cases) {
        const uint32_t counter = 123456;
        const int32_t tickOffset = TickOffsetMsFrom(c.pc.utc, counter);
        const int32_t S = TransmitSeconds(c.pc.D, c.pc.localSeconds, tickOffset, counter);
        EXPECT_EQ(static_cast<uint32_t>(S), static_cast<uint32_t>(c.seconds)) << c.what;
        // The counter read later than the clock moves the seconds on with it.
        EXPECT_EQ(static_cast<uint32_t>(TransmitSeconds(c.pc.D, c.pc.localSeconds, tickOffset, counter + 2400)),
                  static_cast<uint32_t>(c.seconds + 2 + (c.pc.utc.milliseconds >= 600 ? 1 : 0)))
            << c.what;
    }
}

TEST(TransmitSeconds, HeldAsSignedAndTakenModuloTwoToThe32)
{
    const Pc in2024 = {Utc(2024, 3, 5, 2, 0, 0, 0, 2), 36000, kMar5};
    const int32_t tick2024 = TickOffsetMsFrom(in2024.utc, 0);
    EXPECT_EQ(TransmitSeconds(in2024.D, in2024.localSeconds, tick2024, 0), int32_t{-376374496});   // 3918592800

    // 2036-02-08, past the 32-bit seconds of 1900: the word wraps.
    const Pc in2036 = {Utc(2036, 2, 8, 2, 0, 0, 0, 5), 36000, DayBase(2036, 2, 8)};
    const int32_t tick2036 = TickOffsetMsFrom(in2036.utc, 0);
    EXPECT_EQ(TransmitSeconds(in2036.D, in2036.localSeconds, tick2036, 0), 70304);   // 4295037600 - 2^32
}

TEST(FractionWord, MillisecondsAsThirtyTwoBitFraction)
{
    const struct {
        int32_t m;
        uint32_t fraction;
    } cases[] = {
        {0, 0u},
        {500, 0x80000000u},
        {250, 0x40000000u},
        {125, 0x20000000u},
        {1, 4294967u},            // 4294967.296
        {123, 528280977u},        // 528280977.408
        {999, 4290672329u},       // 4290672328.704, above 2^31 - 1
    };
    for (const auto& c : cases) EXPECT_EQ(FractionWord(c.m), c.fraction) << c.m;
}

TEST(TransmitFraction, MillisecondsOfTheCounterReadAfresh)
{
    const SystemTime utc = Utc(2024, 3, 5, 2, 0, 0, 0, 2);
    const int32_t tickOffset = TickOffsetMsFrom(utc, 1000);
    EXPECT_EQ(TransmitFraction(tickOffset, 1000), 0u);
    EXPECT_EQ(TransmitFraction(tickOffset, 1500), 0x80000000u);
    EXPECT_EQ(TransmitFraction(tickOffset, 3250), 0x40000000u);
}

TEST(MillisecondCounter, PastTwoToThe31AndWrappedGivesTheSameStamps)
{
    // Clock read at UTC 02:00:00.250 (10:00:00.250 local), the counter 2000 ms further on at the
    // request and the reply: 10:00:02.250 local whatever the counter's value.
    const SystemTime utc = Utc(2024, 3, 5, 2, 0, 0, 250, 2);
    const uint32_t counters[] = {0u, 1000u, 0x7FFFFFFFu, 0x80000000u, 3000000000u, 0xFFFFFFFFu - 500u, 0xFFFFFFFFu};
    for (const uint32_t atReading : counters) {
        const uint32_t later = atReading + 2000u;   // wraps past 2^32 for the last two
        const int32_t tickOffset = TickOffsetMsFrom(utc, atReading);
        EXPECT_EQ(ZoneMsOfDay(tickOffset, later), 36002250) << atReading;
        EXPECT_EQ(static_cast<uint32_t>(TransmitSeconds(kMar5, 36002.25, tickOffset, later)), kMar5 + 7202) << atReading;
        EXPECT_EQ(TransmitFraction(tickOffset, later), 0x40000000u) << atReading;
        EXPECT_EQ(DestinationTime(kMar5, 36002.25, tickOffset, later), double(kMar5) + 7202.25) << atReading;
    }
}

TEST(Reverse, SwapsFourBytes)
{
    const uint8_t source[4] = {1, 2, 3, 4};
    uint8_t destination[4] = {};
    Reverse(destination, source);
    EXPECT_EQ(destination[0], 4);
    EXPECT_EQ(destination[1], 3);
    EXPECT_EQ(destination[2], 2);
    EXPECT_EQ(destination[3], 1);
}

TEST(BuildRequest, FortyEightBytesWithTransmitStampInNetworkOrder)
{
    const Packet request = BuildRequest(static_cast<int32_t>(0xDEADBEEFu - 4294967296LL), 0x80000001u);
    ASSERT_EQ(request.size(), 48u);
    EXPECT_EQ(request[0], 27);
    for (size_t i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << i;
    const uint8_t stamp[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x80, 0x00, 0x00, 0x01};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(request[40 + i], stamp[i]) << 40 + i;
}

TEST(BuildRequest, TenInTheMorningLocal)
{
    const Packet request = RequestFrom({Utc(2024, 3, 5, 2, 0, 0, 500, 2), 36000.5, kMar5}, 77);
    EXPECT_EQ(WordAt(request, 40), kMar5 + 7200);
    EXPECT_EQ(WordAt(request, 44), 0x80000000u);
}

TEST(DestinationTime, LocalArrivalOnTheSntpScaleWithMilliseconds)
{
    const struct {
        const char* what;
        Pc pc;
        double T4;
    } cases[] = {
        {"10:00:00.250 local", {Utc(2024, 3, 5, 2, 0, 0, 250, 2), 36000.25, kMar5}, 3918592800.25},
        {"03:00:00.100 local", {Utc(2024, 3, 4, 19, 0, 0, 100, 1), 10800.1, kMar5}, 3918567600.1},
        {"07:59:59.999 local", {Utc(2024, 3, 4, 23, 59, 59, 999, 1), 28799.999, kMar5}, 3918585599.999},
        {"2036, past the wrap: on the stamps' time line", {Utc(2036, 2, 8, 2, 0, 0, 0, 5), 36000, DayBase(2036, 2, 8)}, 4295037600.0},
    };
    for (const auto& c : cases) {
        const uint32_t counter = 0x90000000u;
        // Exact: the nearest double to the true value in every build.
        EXPECT_EQ(DestinationTime(c.pc.D, c.pc.localSeconds, TickOffsetMsFrom(c.pc.utc, counter), counter), c.T4)
            << c.what;
    }
}

TEST(ReadReply, StampsAreUnsignedSecondsPlusFraction)
{
    Packet reply{};
    PutWord(reply, 24, 0xFFFFFFFFu);
    PutWord(reply, 28, 0x80000000u);
    PutWord(reply, 32, 0x80000000u);
    PutWord(reply, 36, 0x40000000u);
    PutWord(reply, 40, 3918592805u);
    PutWord(reply, 44, 0x20000000u);
    reply[0] = 0xFF;   // leap indicator, version, mode, ... are not looked at
    reply[1] = 16;
    const ReplyStamps stamps = ReadReply(reply);
    EXPECT_EQ(stamps.T1, 4294967295.5);
    EXPECT_EQ(stamps.T2, 2147483648.25);
    EXPECT_EQ(stamps.T3, 3918592805.125);
}

TEST(Exchange, ReplyGivesOffsetCaptionAndTimeToSet)
{
    // Request at 10:00:00.250 local; 125 ms each way, the server holds it 250 ms.
    const uint32_t counter = 3000000000u;
    const Pc sent = {Utc(2024, 3, 5, 2, 0, 0, 250, 2), 36000.25, kMar5};
    const int32_t tickOffset = TickOffsetMsFrom(sent.utc, counter);
    const Packet request = RequestFrom(sent, counter);
    const double T4 = DestinationTime(kMar5, 36000.75, tickOffset, counter + 500);

    {
        // Server 1.5 s ahead: it receives at 02:00:01.875 and answers at 02:00:02.125 UTC.
        const Packet reply = ReplyTo(request, kMar5 + 7201, 0xE0000000u, kMar5 + 7202, 0x20000000u);
        const ReplyStamps stamps = ReadReply(reply);
        EXPECT_EQ(stamps.T1, double(kMar5) + 7200.25);
        EXPECT_EQ(ClockOffsetOf(stamps, T4), 1.5);
        const ZoneTime server = ServerZoneTime(ServerMidpoint(stamps));
        EXPECT_EQ(Text(CaptionText(server)), "2024-03-05 10:00:02");
        EXPECT_FALSE(IsMidnightHour(server.hour));
        EXPECT_EQ(Text(ClockToSet(Utc(2024, 3, 5, 2, 0, 0, 900, 2), ClockOffsetOf(stamps, T4), stamps.T3)),
                  "2024-03-05 02:00:02.400 dow 2");
    }
    {
        // Server 0.3 s behind: offsets that are no binary fractions still land on the millisecond.
        const Packet reply = ReplyTo(request, kMar5 + 7200, FractionWord(75), kMar5 + 7200, FractionWord(325));
        const ReplyStamps stamps = ReadReply(reply);
        EXPECT_NEAR(ClockOffsetOf(stamps, T4), -0.3, 1e-6);
        EXPECT_EQ(Text(CaptionText(ServerZoneTime(ServerMidpoint(stamps)))), "2024-03-05 10:00:00");
        EXPECT_EQ(Text(ClockToSet(Utc(2024, 3, 5, 2, 0, 1, 0, 2), ClockOffsetOf(stamps, T4), stamps.T3)),
                  "2024-03-05 02:00:00.700 dow 2");
    }
}

TEST(Exchange, WholeDaysOfAWrongPcDateCancel)
{
    // The PC believes it is 2024-03-07; the server says 2024-03-05, 4.75 s later in the day.
    const Pc sent = {Utc(2024, 3, 7, 2, 0, 0, 250, 4), 36000.25, kMar7};
    const int32_t tickOffset = TickOffsetMsFrom(sent.utc, 0);
    const Packet request = RequestFrom(sent, 0);
    const double T4 = DestinationTime(kMar7, 36000.75, tickOffset, 500);
    const Packet reply = ReplyTo(request, kMar5 + 7205, 0x20000000u, kMar5 + 7205, 0x60000000u);
    const ReplyStamps stamps = ReadReply(reply);

    EXPECT_EQ(ClockOffsetOf(stamps, T4), -172795.25);
    EXPECT_EQ(Text(CaptionText(ServerZoneTime(ServerMidpoint(stamps)))), "2024-03-05 10:00:05");
    EXPECT_EQ(Text(ClockToSet(Utc(2024, 3, 7, 2, 0, 0, 900, 4), ClockOffsetOf(stamps, T4), stamps.T3)),
              "2024-03-05 02:00:05.650 dow 4");
}

TEST(Exchange, PastTheWrapOf2036TheStampsStayOnOneTimeLine)
{
    // As above, in 2037: every seconds word has wrapped past 2^32 and its top bit is clear.
    const int64_t D = DayBase(2037, 3, 5);
    const Pc sent = {Utc(2037, 3, 5, 2, 0, 0, 250, 4), 36000.25, D};
    const double T4 = DestinationTime(D, 36000.75, TickOffsetMsFrom(sent.utc, 0), 500);
    const uint32_t at = static_cast<uint32_t>(D + 7201);
    const ReplyStamps stamps = ReadReply(ReplyTo(RequestFrom(sent, 0), at, 0xE0000000u, at + 1, 0x20000000u));
    EXPECT_EQ(stamps.T1, double(D) + 7200.25);
    EXPECT_EQ(ClockOffsetOf(stamps, T4), 1.5);
    EXPECT_EQ(Text(CaptionText(ServerZoneTime(ServerMidpoint(stamps)))), "2037-03-05 10:00:02");
    EXPECT_EQ(Text(ClockToSet(Utc(2037, 3, 5, 2, 0, 0, 900, 4), 1.5, stamps.T3)), "2037-03-05 02:00:02.400 dow 4");
}

TEST(ServerZoneTime, CaptionIsUtcPlusEightWithTheFractionDropped)
{
    const struct {
        double M;
        const char* caption;
        bool midnightHour;
    } cases[] = {
        {double(kMar5) + 7200.9, "2024-03-05 10:00:00", false},
        {double(kMar5) + 53999.999, "2024-03-05 22:59:59", false},
        {double(kMar5) + 54000, "2024-03-05 23:00:00", true},
        {double(kMar5) + 57599.5, "2024-03-05 23:59:59", true},
        {double(kMar5) + 57600, "2024-03-06 00:00:00", true},
        {double(kMar5) + 61199.75, "2024-03-06 00:59:59", true},
        {double(kMar5) + 61200, "2024-03-06 01:00:00", false},
        {double(kMar5) - 28800, "2024-03-05 00:00:00", true},
        {double(kMar4) + 86399, "2024-03-05 07:59:59", false},
        {3944592000.0 + 57599, "2024-12-31 23:59:59", true},
        {3944592000.0 + 57600, "2025-01-01 00:00:00", true},
        {3918153600.0 - 86400 + 61200, "2024-02-29 01:00:00", false},
        {0.0, "1900-01-01 08:00:00", false},
    };
    for (const auto& c : cases) {
        const ZoneTime server = ServerZoneTime(c.M);
        EXPECT_EQ(Text(CaptionText(server)), c.caption);
        EXPECT_EQ(IsMidnightHour(server.hour), c.midnightHour) << c.caption;
    }
}

TEST(IsMidnightHour, OnlyTwentyThreeAndZeroOClock)
{
    for (int hour = 0; hour < 24; ++hour) EXPECT_EQ(IsMidnightHour(hour), hour == 23 || hour == 0) << hour;
}

TEST(ClockToSet, OffsetAppliedToTheReadingWithTheServersDate)
{
    const struct {
        const char* what;
        SystemTime reading;
        double offset;
        double T3;
        const char* result;
    } cases[] = {
        {"-0.3 s", Utc(2024, 3, 5, 10, 0, 0, 100, 2), -0.3, double(kMar5) + 36000, "2024-03-05 09:59:59.800 dow 2"},
        {"+0.95 s", Utc(2024, 3, 5, 10, 0, 0, 100, 2), 0.95, double(kMar5) + 36001, "2024-03-05 10:00:01.050 dow 2"},
        {"no change", Utc(2024, 3, 5, 10, 0, 0, 100, 2), 0.0, double(kMar5) + 36000, "2024-03-05 10:00:00.100 dow 2"},
        {"milliseconds reach 1000", Utc(2024, 3, 5, 10, 0, 0, 500, 2), 0.5, double(kMar5) + 36001,
         "2024-03-05 10:00:01.000 dow 2"},
        {"half a millisecond to even, down", Utc(2024, 3, 5, 10, 0, 0, 0, 2), 0.0625, double(kMar5) + 36000,
         "2024-03-05 10:00:00.062 dow 2"},
        {"half a millisecond to even, up", Utc(2024, 3, 5, 10, 0, 0, 1, 2), 0.0625, double(kMar5) + 36000,
         "2024-03-05 10:00:00.064 dow 2"},
        {"half a millisecond to even, carried", Utc(2024, 3, 5, 10, 0, 0, 62, 2), 0.9375, double(kMar5) + 36001,
         "2024-03-05 10:00:01.000 dow 2"},
        {"minute carried up", Utc(2024, 3, 5, 10, 59, 30, 0, 2), 45.0, double(kMar5) + 39615,
         "2024-03-05 11:00:15.000 dow 2"},
        {"minute carried down", Utc(2024, 3, 5, 10, 0, 15, 0, 2), -45.0, double(kMar5) + 35970,
         "2024-03-05 09:59:30.000 dow 2"},
        {"23:59:59 + 2 s: hour wraps to 0, date from T3", Utc(2024, 3, 5, 23, 59, 59, 0, 2), 2.0,
         double(kMar6) + 1, "2024-03-06 00:00:01.000 dow 2"},
        {"00:00:01 - 2 s: hour wraps to 23, date from T3", Utc(2024, 3, 6, 0, 0, 1, 0, 3), -2.0,
         double(kMar5) + 86399.75, "2024-03-05 23:59:59.000 dow 3"},
        {"+86400 s and a remainder", Utc(2024, 3, 5, 10, 0, 0, 0, 2), 86405.25, double(kMar5) + 36005,
         "2024-03-05 10:00:05.250 dow 2"},
        {"-86400 s and a remainder", Utc(2024, 3, 5, 10, 0, 0, 0, 2), -86405.25, double(kMar5) + 35994,
         "2024-03-05 09:59:54.750 dow 2"},
        {"three whole days only", Utc(2024, 3, 5, 10, 0, 0, 0, 2), 3 * 86400.0, double(kMar5) + 36000,
         "2024-03-05 10:00:00.000 dow 2"},
        {"a day and an hour back", Utc(2024, 3, 5, 10, 0, 0, 0, 2), -90001.0, double(kMar5) + 32399,
         "2024-03-05 08:59:59.000 dow 2"},
        {"date never from the PC, day of week as read", Utc(2023, 1, 1, 10, 0, 0, 0, 0), 0.0,
         double(kMar5) + 36000, "2024-03-05 10:00:00.000 dow 0"},
        {"UTC midnight between T3 and the time set: the day after T3's", Utc(2024, 3, 5, 23, 59, 59, 900, 2), 0.5,
         double(kMar6) - 0.05, "2024-03-06 00:00:00.400 dow 2"},
        {"UTC midnight between the time set and T3: the day before", Utc(2024, 3, 6, 0, 0, 0, 200, 3), -0.5,
         double(kMar6) + 0.1, "2024-03-05 23:59:59.700 dow 3"},
        {"a date before 2000 is never set", Utc(2024, 3, 5, 10, 0, 0, 0, 2), 0.0, DayBase(1999, 12, 31) + 36000.0,
         "nothing"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(ClockToSet(c.reading, c.offset, c.T3)), c.result) << c.what;
}
