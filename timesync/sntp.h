// horasync's SNTP arithmetic: the request's transmit stamp, the reply's stamps, the clock offset, the
// caption and the time to set. Pure functions: every clock reading comes in as a parameter, nothing
// here reads or sets a clock.
//
// Time scale: seconds since 1900-01-01 00:00. The PC's local calendar is taken to be UTC+8
// (ZoneSeconds); on a PC that keeps another zone the whole-day errors cancel in the offset.
#pragma once
#include "os/clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sntp {

// The operator's offset from UTC: 8 hours.
constexpr int32_t ZoneSeconds = 28800;
constexpr uint16_t SntpPort = 123;
constexpr size_t PacketSize = 48;

// A request or reply record, as sent and received.
using Packet = std::array<uint8_t, PacketSize>;

// A UTC reading of the platform's clock, as it is read and set.
using SystemTime = os::UtcTime;

// ---- Local time on the SNTP scale -------------------------------------------------------------

// TickOffsetMs: the number that, added to the millisecond counter, gives UTC milliseconds since
// midnight plus 8 hours (up to 32 hours, not reduced to a day). `utc` is a GetSystemTime reading and
// `counter` the millisecond counter read just after it. Taken modulo 2^32 as a signed 32-bit number,
// so a counter past 2^31 or wrapped past 2^32 works the same as a small one.
int32_t TickOffsetMsFrom(const SystemTime& utc, uint32_t counter);

// TickOffsetMs + counter, modulo 2^32 as a signed 32-bit number: UTC+8 milliseconds since midnight
// at the moment the counter was read.
int32_t ZoneMsOfDay(int32_t TickOffsetMs, uint32_t counter);

// Day base D: seconds from 1900-01-01 to the given local date at 00:00 (whole days × 86400). The
// date must be a valid Gregorian date.
int64_t DayBase(int year, int month, int day);

// -86400 before 08:00 local time (local seconds since midnight below ZoneSeconds), else 0.
int32_t DayCorrection(double localSecondsSinceMidnight);

// ---- The request --------------------------------------------------------------------------------

// Transmit seconds S: D - ZoneSeconds modulo 2^32, the day correction, plus whole seconds of
// TickOffsetMs + counter (remainder dropped); every sum modulo 2^32. The result is the unsigned
// seconds word held as a signed 32-bit number.
int32_t TransmitSeconds(int64_t D, double localSecondsSinceMidnight, int32_t TickOffsetMs, uint32_t counter);

// Fraction word of m milliseconds: m × 2^32 / 1000, nearest integer with halves to even, modulo
// 2^32 (500 gives 0x80000000).
uint32_t FractionWord(int32_t m);

// Transmit fraction F: FractionWord of (TickOffsetMs + counter) mod 1000, the counter read afresh.
uint32_t TransmitFraction(int32_t TickOffsetMs, uint32_t counter);

// Copies the 4 bytes of Source into the 4 bytes of Destination in reverse order.
void Reverse(uint8_t* Destination, const uint8_t* Source);

// The 48-byte request: byte 0 is 27 (version 3, client), bytes 1-39 are 0, bytes 40-43 hold S and
// bytes 44-47 hold F, each most significant byte first.
Packet BuildRequest(int32_t S, uint32_t F);

// ---- The reply ----------------------------------------------------------------------------------

// Every stamp lies on one time line from 1900 that the 32-bit seconds word reaches twice: a word
// whose top bit is set is 1968-2036, one whose top bit is clear is past the wrap of 2036-02-07
// (2^32 added), up to 2104. Stamps and T4 all lie in [2^31, 2^31 + 2^32].
int64_t EraSeconds(uint32_t word);

// Destination time T4, in seconds: (D - ZoneSeconds) + (TickOffsetMs + counter) / 1000 with the
// milliseconds kept as a fraction, plus the day correction; its whole seconds taken modulo 2^32
// onto the stamps' time line (EraSeconds), as the transmit stamp it answers. The result is the
// double nearest that value, the same in every build. D below 2^43.
double DestinationTime(int64_t D, double localSecondsSinceMidnight, int32_t TickOffsetMs, uint32_t counter);

// The three stamps read from a reply, each EraSeconds of its seconds word + fraction word / 2^32.
struct ReplyStamps {
    double T1 = 0;   // originate: our transmit stamp, echoed (bytes 24-31)
    double T2 = 0;   // receive: server time when the request arrived (bytes 32-39)
    double T3 = 0;   // transmit: server time when the reply left (bytes 40-47)
};
ReplyStamps ReadReply(const Packet& ReplyPacket);

// True when a reply may set the clock: a server's answer (mode 4) from a synchronised server (leap
// indicator not 3) of stratum 1 to 15 (0 is a refusal, "kiss-o'-death") with a transmit stamp.
// Anything else would set the clock from stamps that mean nothing, as far as 1900.
bool UsableReply(const Packet& ReplyPacket);

// ClockOffset = ((T2 - T1) + (T3 - T4)) / 2, in seconds; positive when the PC clock is behind.
double ClockOffsetOf(const ReplyStamps& stamps, double T4);

// Server midpoint M = (T2 + T3) / 2.
double ServerMidpoint(const ReplyStamps& stamps);

// ---- The caption and the hour test -------------------------------------------------------------

// A calendar date and time of day in UTC+8 (whole seconds: milliseconds 0).
using ZoneTime = os::LocalDateTime;

// The server's time in UTC+8 at the midpoint M, the fraction of a second dropped. M >= 0.
ZoneTime ServerZoneTime(double M);

// "yyyy-mm-dd hh:mm:ss", 24-hour clock.
std::wstring CaptionText(const ZoneTime& time);

// True for 23 and 0 o'clock ((hour + 25) mod 24 < 2): no clock setting near midnight in UTC+8.
bool IsMidnightHour(int hour);

// ---- The time to set ----------------------------------------------------------------------------

// The record to write into the system clock: `utcNow` (a GetSystemTime reading) moved by
// ClockOffset. Milliseconds rounded with halves to even and carried into the seconds, then seconds,
// minutes and hours carried in turn (remainder with the sign of the dividend, quotient truncated
// towards zero, one more or one less when a field leaves its range); whole days are dropped. Year,
// month and day are the UTC date of T3 (the server's transmit stamp), or the day before or after
// it, whichever puts the time set nearest T3: a reading and a T3 on either side of UTC midnight
// keep the same day. The day of the week stays as read. Nothing when that date lies before
// 2000-01-01, which no PC is set to. Any finite ClockOffset (one that is not a number, or
// infinite, counts as 0); T3 a reply stamp.
std::optional<SystemTime> ClockToSet(const SystemTime& utcNow, double ClockOffset, double T3);

} // namespace sntp
