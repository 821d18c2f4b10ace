#include "client/launch_request.h"

#include "common/digest.h"
#include "common/texthelpers.h"
#include "common/urlencode.h"

#include <cmath>
#include <cstdio>

#ifndef VEMR_VERSION_MAJOR
#error "VEMR_VERSION_MAJOR, _MINOR and _PATCH come from the project version"
#endif

namespace vemr {

RuntimeError TypeMismatch() { return RuntimeError(13, "类型不匹配"); }
RuntimeError Overflow() { return RuntimeError(6, "溢出"); }

std::optional<std::array<std::wstring, 4>> SplitConfig(std::wstring_view text)
{
    const std::vector<std::wstring> pieces = SplitAtCrLf(text);
    if (pieces.size() != 4) return std::nullopt;
    return std::array<std::wstring, 4>{pieces[0], pieces[1], pieces[2], pieces[3]};
}

double ReadAsNumber(std::wstring_view text)
{
    size_t at = 0;
    const auto blank = [&](size_t i) { return i < text.size() && (text[i] == L' ' || text[i] == L'\t'); };
    const auto digit = [&](size_t i) { return i < text.size() && text[i] >= L'0' && text[i] <= L'9'; };
    while (blank(at)) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
    std::string plain;  // the number in the "C" locale's form, for strtod
    size_t digits = 0;
    for (; digit(at); ++at, ++digits) plain += static_cast<char>(text[at]);
    if (at < text.size() && text[at] == L'.') {
        plain += '.';
        for (++at; digit(at); ++at, ++digits) plain += static_cast<char>(text[at]);
    }
    while (blank(at)) ++at;
    if (digits == 0 || at != text.size()) throw TypeMismatch();
    const double value = std::strtod(plain.c_str(), nullptr);
    return negative ? -value : value;
}

std::wstring VersionText()
{
    return std::to_wstring(VEMR_VERSION_MAJOR) + L"." + std::to_wstring(VEMR_VERSION_MINOR) + L"." +
           std::to_wstring(VEMR_VERSION_PATCH);
}

int64_t DaysFromCivil(int year, int month, int day)
{
    // Howard Hinnant's days_from_civil: exact for every proleptic Gregorian date.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t SecondsFromCivil(const LocalTime& t)
{
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalTime CivilFromSeconds(int64_t seconds)
{
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    LocalTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

LocalTime ServerTime(const LocalTime& now, int32_t zoneOffset, double serverHours)
{
    const double shift = serverHours * 3600 - zoneOffset;
    // Far beyond any date the calendar holds: refused before it could overflow a 64-bit count.
    if (!(std::fabs(shift) < 1e12)) throw Overflow();
    const LocalTime t = CivilFromSeconds(SecondsFromCivil(now) + static_cast<int64_t>(std::nearbyint(shift)));
    if (t.year < 100 || t.year > 9999) throw Overflow();
    return t;
}

std::wstring TimeStamp(const LocalTime& t)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

std::wstring HostDigest(std::wstring_view host)
{
    std::wstring text = kHostSaltFront;
    text.append(host);
    text += kHostSaltBack;
    return MyMd(text);
}

std::wstring RequestSignature(std::wstring_view machineId, std::wstring_view timeStamp, std::wstring_view version,
                              std::wstring_view hostDigest)
{
    std::wstring text(machineId);
    text.append(timeStamp).append(version).append(hostDigest);
    return MyMd(text);
}

std::wstring LaunchAddress(std::wstring_view host, std::wstring_view timeStamp, std::wstring_view version)
{
    std::wstring url = L"http://";
    url.append(host).append(L"/language.asp?lau=cn&tim=").append(timeStamp).append(L"&ver=");
    return url + GetUtfEnCode(version);
}

std::wstring IdentityHeader(std::wstring_view machineId, std::wstring_view signature)
{
    std::wstring header = L"User-Agent: TavinVmc.Cet/";
    header.append(machineId).append(L"/").append(signature);
    return header;
}

} // namespace vemr
