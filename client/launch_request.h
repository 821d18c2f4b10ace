// The launch request: the config.txt lines, the time stamp in the server's zone and the signed
// address and identity header. Pure functions of their arguments; mymd checks logged requests
// with them on the operator's side.
#pragma once
#include "os/errors.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vemr {

// Text that cannot be read as a number (error 13).
RuntimeError TypeMismatch();
// A date or number outside what the program can hold (error 6).
RuntimeError Overflow();

constexpr wchar_t kHostSaltFront[] = L"mordakelvint";
constexpr wchar_t kHostSaltBack[] = L"fisproantel";
constexpr wchar_t kSoftName[] = L"QpnDurix";

// The four lines of config.txt, or nothing when the text does not split at CR LF into exactly four
// pieces (a line break after line 4, LF-only lines, fewer or more lines, empty text).
std::optional<std::array<std::wstring, 4>> SplitConfig(std::wstring_view text);

// The text as a number the way the client reads line 4: optional spaces or tabs, an optional sign,
// digits with an optional decimal fraction (at least one digit), optional spaces or tabs. Anything
// else, the empty text included, throws TypeMismatch: hexadecimal, exponents, thousands separators
// and currency forms are refused rather than guessed at.
double ReadAsNumber(std::wstring_view text);

// The client's own version, major.minor.revision in plain decimal ("1.0.0").
std::wstring VersionText();

// A local date and time in whole seconds.
struct LocalTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// `now` shifted by (serverHours × 3600 − zoneOffset) seconds, rounded to whole seconds with halves
// to even: UTC + serverHours hours from the PC's clock and standard zone. Throws Overflow when the
// result leaves the years 100 to 9999.
LocalTime ServerTime(const LocalTime& now, int32_t zoneOffset, double serverHours);

// yyyymmddhhmmss.
std::wstring TimeStamp(const LocalTime& t);

// MyMd of "mordakelvint" + host + "fisproantel".
std::wstring HostDigest(std::wstring_view host);

// MyMd of identifier + time stamp + version + host digest.
std::wstring RequestSignature(std::wstring_view machineId, std::wstring_view timeStamp, std::wstring_view version,
                              std::wstring_view hostDigest);

// "http://" + host + "/language.asp?lau=cn&tim=" + stamp + "&ver=" + encoded version.
std::wstring LaunchAddress(std::wstring_view host, std::wstring_view timeStamp, std::wstring_view version);

// "User-Agent: TavinVmc.Cet/" + identifier + "/" + signature (the header line, without line end).
std::wstring IdentityHeader(std::wstring_view machineId, std::wstring_view signature);

// Days from the civil date to 1970-01-01 (negative before it), proleptic Gregorian.
int64_t DaysFromCivil(int year, int month, int day);

// Seconds from 1970-01-01 00:00 to `t` on the same clock, and back.
int64_t SecondsFromCivil(const LocalTime& t);
LocalTime CivilFromSeconds(int64_t seconds);

} // namespace vemr
