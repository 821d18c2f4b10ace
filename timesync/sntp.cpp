#include "timesync/sntp.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace sntp {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kTwoTo32 = 4294967296;

// An unsigned 32-bit word read as signed 32-bit: values above 2^31 - 1 lose 2^32.
int32_t ToSigned32(uint32_t word)
{
    return word <= INT32_MAX ? static_cast<int32_t>(word) : static_cast<int32_t>(int64_t{word} - kTwoTo32);
}

// i686 builds keep doubles in the x87's wider registers; a store rounds an intermediate to double,
// as every step of double arithmetic does on the other builds. Without it an i686 build could round
// a millisecond or a second differently.
double AsDouble(double value)
{
#if FLT_EVAL_METHOD != 0
    volatile double stored = value;
    return stored;
#else
    return value;
#endif
}

// Nearest integer, halves to even, whatever the floating-point rounding mode.
int64_t RoundHalfEven(double value)
{
    const double whole = std::floor(value);
    const double fraction = AsDouble(value - whole);   // exact
    int64_t result = static_cast<int64_t>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && result % 2 != 0)) ++result;
    return result;
}

// numerator / denominator (denominator > 0), nearest integer, halves to even.
int64_t DivideHalfEven(int64_t numerator, int64_t denominator)
{
    int64_t quotient = numerator / denominator;
    const int64_t twiceRemainder = 2 * (numerator % denominator);   // sign of the numerator
    if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0)) ++quotient;
    if (twiceRemainder < -denominator || (twiceRemainder == -denominator && quotient % 2 != 0)) --quotient;
    return quotient;
}

// Division rounding towards minus infinity (days before an epoch stay on the right day).
constexpr int64_t FloorDivide(int64_t numerator, int64_t denominator)
{
    const int64_t quotient = numerator / denominator;
    return (numerator % denominator != 0 && (numerator < 0) != (denominator < 0)) ? quotient - 1 : quotient;
}

// The double nearest thousandths / 1000 (halves to even), computed with integers: a division on the
// x87 of i686 builds may round twice and land one unit in the last place away. |thousandths| < 2^53.
double ThousandthsToDouble(int64_t thousandths)
{
    if (thousandths == 0) return 0.0;
    const bool negative = thousandths < 0;
    uint64_t scaled = negative ? 0 - static_cast<uint64_t>(thousandths) : static_cast<uint64_t>(thousandths);
    // Scale by 2^shift until the quotient has 53 significant bits: 2^52 <= scaled / 1000 < 2^53.
    int shift = 0;
    while (scaled < (uint64_t{1000} << 52)) {
        scaled <<= 1;
        ++shift;
    }
    uint64_t mantissa = scaled / 1000;
    const uint64_t remainder = scaled % 1000;
    if (remainder > 500 || (remainder == 500 && (mantissa & 1) != 0)) ++mantissa;   // may reach 2^53: exact
    const double magnitude = std::ldexp(static_cast<double>(mantissa), -shift);
    return negative ? -magnitude : magnitude;
}

// Days from 1970-01-01 to a Gregorian date, and back (H. Hinnant's civil-calendar algorithms).
constexpr int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = FloorDivide(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    int64_t year;
    int month;
    int day;
};

CivilDate CivilFromDays(int64_t days)
{
    days += 719468;
    const int64_t era = FloorDivide(days, 146097);
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

constexpr int64_t kEpochDays = DaysFromCivil(1900, 1, 1);

// The calendar date of a day count from 1900-01-01 (serial day number count - 2 from 1899-12-30).
CivilDate DateOfEpochDay(int64_t epochDays)
{
    return CivilFromDays(kEpochDays + epochDays);
}

// Adds carry's remainder to field (a clock field in 0..base-1) and returns what carries on to the
// next larger field: remainder with the sign of the dividend, quotient truncated towards zero, then
// one more or one less when the field left its range.
int64_t CarryInto(uint16_t& field, int64_t carry, int base)
{
    int64_t value = field + carry % base;
    carry /= base;
    if (value > base - 1) {
        ++carry;
        value %= base;
    } else if (value < 0) {
        --carry;
        value += base;
    }
    field = static_cast<uint16_t>(value);
    return carry;
}

uint32_t ReadWord(const Packet& packet, size_t offset)
{
    uint8_t little[4];
    Reverse(little, &packet[offset]);
    return uint32_t{little[0]} | uint32_t{little[1]} << 8 | uint32_t{little[2]} << 16 | uint32_t{little[3]} << 24;
}

void WriteWord(Packet& packet, size_t offset, uint32_t word)
{
    const uint8_t little[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                               static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
    Reverse(&packet[offset], little);
}

// Seconds word + fraction word / 2^32, then the era. The exact first sum fits the x87's 64-bit
// mantissa, so the i686 build rounds each step as the others do.
double ReadStamp(const Packet& packet, size_t offset)
{
    const uint32_t word = ReadWord(packet, offset);
    const double fraction = static_cast<double>(ReadWord(packet, offset + 4)) / 4294967296.0;
    const double stamp = AsDouble(static_cast<double>(word) + fraction);
    return AsDouble(stamp + static_cast<double>(EraSeconds(word) - word));
}

} // namespace

int32_t TickOffsetMsFrom(const SystemTime& utc, uint32_t counter)
{
    const int64_t zoneMs = int64_t{utc.second} * 1000 + utc.milliseconds + int64_t{utc.minute} * 60000 +
                           (int64_t{utc.hour} + 8) * 3600000;
    return ToSigned32(static_cast<uint32_t>(zoneMs) - counter);
}

int32_t ZoneMsOfDay(int32_t TickOffsetMs, uint32_t counter)
{
    return ToSigned32(static_cast<uint32_t>(TickOffsetMs) + counter);
}

int64_t DayBase(int year, int month, int day)
{
    return (DaysFromCivil(year, month, day) - kEpochDays) * kSecondsPerDay;
}

int32_t DayCorrection(double localSecondsSinceMidnight)
{
    return localSecondsSinceMidnight < ZoneSeconds ? -86400 : 0;
}

int32_t TransmitSeconds(int64_t D, double localSecondsSinceMidnight, int32_t TickOffsetMs, uint32_t counter)
{
    uint32_t seconds = static_cast<uint32_t>(D - ZoneSeconds);   // modulo 2^32
    seconds += static_cast<uint32_t>(DayCorrection(localSecondsSinceMidnight));
    seconds += static_cast<uint32_t>(ZoneMsOfDay(TickOffsetMs, counter) / 1000);   // remainder dropped
    return ToSigned32(seconds);
}

uint32_t FractionWord(int32_t m)
{
    // m × 4294967.296 is m × 2^32 / 1000 exactly; integers make the rounding exact.
    return static_cast<uint32_t>(DivideHalfEven(int64_t{m} * kTwoTo32, 1000));
}

uint32_t TransmitFraction(int32_t TickOffsetMs, uint32_t counter)
{
    return FractionWord(ZoneMsOfDay(TickOffsetMs, counter) % 1000);
}

void Reverse(uint8_t* Destination, const uint8_t* Source)
{
    for (int i = 0; i < 4; ++i) Destination[i] = Source[3 - i];
}

Packet BuildRequest(int32_t S, uint32_t F)
{
    Packet request{};
    request[0] = 27;
    WriteWord(request, 40, static_cast<uint32_t>(S));
    WriteWord(request, 44, F);
    return request;
}

int64_t EraSeconds(uint32_t word)
{
    return word >= 0x80000000u ? int64_t{word} : int64_t{word} + kTwoTo32;
}

double DestinationTime(int64_t D, double localSecondsSinceMidnight, int32_t TickOffsetMs, uint32_t counter)
{
    const int64_t thousandths =
        (D - ZoneSeconds + DayCorrection(localSecondsSinceMidnight)) * 1000 + ZoneMsOfDay(TickOffsetMs, counter);
    const int64_t seconds = FloorDivide(thousandths, 1000);
    return ThousandthsToDouble(EraSeconds(static_cast<uint32_t>(seconds)) * 1000 + (thousandths - seconds * 1000));
}

ReplyStamps ReadReply(const Packet& ReplyPacket)
{
    return {ReadStamp(ReplyPacket, 24), ReadStamp(ReplyPacket, 32), ReadStamp(ReplyPacket, 40)};
}

bool UsableReply(const Packet& ReplyPacket)
{
    const int leap = ReplyPacket[0] >> 6;
    const int mode = ReplyPacket[0] & 7;
    const int stratum = ReplyPacket[1];
    const bool transmitStamp = std::any_of(ReplyPacket.begin() + 40, ReplyPacket.end(), [](uint8_t b) { return b != 0; });
    return leap != 3 && mode == 4 && stratum >= 1 && stratum <= 15 && transmitStamp;
}

double ClockOffsetOf(const ReplyStamps& stamps, double T4)
{
    const double there = AsDouble(stamps.T2 - stamps.T1);
    const double back = AsDouble(stamps.T3 - T4);
    return AsDouble(AsDouble(there + back) / 2);
}

double ServerMidpoint(const ReplyStamps& stamps)
{
    return AsDouble(AsDouble(stamps.T2 + stamps.T3) / 2);
}

ZoneTime ServerZoneTime(double M)
{
    // The date of (ZoneSeconds + M) / 86400 and the time of (int(M) + ZoneSeconds) / 86400 both
    // come from the whole seconds int(M) + ZoneSeconds; integers keep them on the same second.
    const int64_t seconds = static_cast<int64_t>(std::floor(M)) + ZoneSeconds;
    const int64_t epochDay = FloorDivide(seconds, kSecondsPerDay);
    const int64_t ofDay = seconds - epochDay * kSecondsPerDay;
    const CivilDate date = DateOfEpochDay(epochDay);
    return {static_cast<int>(date.year),     date.month, date.day, static_cast<int>(ofDay / 3600),
            static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60)};
}

std::wstring CaptionText(const ZoneTime& time)
{
    std::wstring text;
    const auto append = [&text](int value, int digits, wchar_t after) {
        std::wstring number = std::to_wstring(value);
        if (number.size() < static_cast<size_t>(digits)) number.insert(0, digits - number.size(), L'0');
        text += number;
        if (after != 0) text += after;
    };
    append(time.year, 4, L'-');
    append(time.month, 2, L'-');
    append(time.day, 2, L' ');
    append(time.hour, 2, L':');
    append(time.minute, 2, L':');
    append(time.second, 2, 0);
    return text;
}

bool IsMidnightHour(int hour)
{
    return (hour + 25) % 24 < 2;
}

std::optional<SystemTime> ClockToSet(const SystemTime& utcNow, double ClockOffset, double T3)
{
    SystemTime result = utcNow;
    // An offset that is no number moves nothing.
    if (!std::isfinite(ClockOffset)) ClockOffset = 0;

    // Milliseconds: the offset's fraction added to the reading, halves to even, 1000 or more
    // carried into the seconds.
    const double wholeOffset = std::floor(ClockOffset);
    const double fraction = AsDouble(ClockOffset - wholeOffset);
    const double milliseconds = AsDouble(AsDouble(fraction * 1000.0) + utcNow.milliseconds);
    int64_t ms = RoundHalfEven(milliseconds);
    // Whole days are dropped below, so only the seconds within a day count: fmod is exact and keeps
    // the sign, and the count then fits whatever the offset's size.
    int64_t carry = static_cast<int64_t>(std::fmod(wholeOffset, 86400.0));
    if (ms >= 1000) {
        ++carry;
        ms %= 1000;
    }
    result.milliseconds = static_cast<uint16_t>(ms);

    carry = CarryInto(result.second, carry, 60);
    carry = CarryInto(result.minute, carry, 60);
    CarryInto(result.hour, carry, 24);   // whole days left over are dropped

    // The date is the server's: of the days around T3's, the one that puts the time set nearest T3.
    const int secondOfDay = (result.hour * 60 + result.minute) * 60 + result.second;
    const double timeOfDay = AsDouble(secondOfDay + result.milliseconds / 1000.0);
    const int64_t epochDay = static_cast<int64_t>(std::floor(AsDouble(AsDouble(T3 - timeOfDay) / 86400.0) + 0.5));
    if (epochDay * kSecondsPerDay < DayBase(2000, 1, 1)) return std::nullopt;
    const CivilDate date = DateOfEpochDay(epochDay);
    result.year = static_cast<uint16_t>(date.year);
    result.month = static_cast<uint16_t>(date.month);
    result.day = static_cast<uint16_t>(date.day);
    return result;
}

} // namespace sntp
