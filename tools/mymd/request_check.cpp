#include "tools/mymd/request_check.h"

#include "common/texthelpers.h"
#include "common/urlencode.h"
#include "os/ansi.h"
#include "os/errors.h"
#include "timesync/time_report.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace mymd {
namespace {

// A request that fails a check; its text becomes the verdict.
struct Bad {
    std::wstring what;
};

using Values = std::vector<std::pair<const wchar_t*, std::wstring>>;

bool IsSpace(wchar_t c)
{
    return (c >= 9 && c <= 13) || (c >= 0x1C && c <= 0x20) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsAsciiUpper(wchar_t c) { return c >= L'A' && c <= L'Z'; }
bool IsAsciiAlnum(wchar_t c) { return IsAsciiDigit(c) || IsAsciiUpper(c) || (c >= L'a' && c <= L'z'); }

bool StartsWith(std::wstring_view text, std::wstring_view start) { return text.substr(0, start.size()) == start; }

// A value in quotes with its special characters escaped, as the stand-in server shows values.
std::wstring Quoted(std::wstring_view text)
{
    const wchar_t quote = text.find(L'\'') != text.npos && text.find(L'"') == text.npos ? L'"' : L'\'';
    std::wstring out(1, quote);
    for (const wchar_t c : text) {
        if (c == L'\\' || c == quote) out += {L'\\', c};
        else if (c == L'\t') out += L"\\t";
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\r') out += L"\\r";
        else if (c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\x%02x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + quote;
}

std::wstring QuotedList(const std::vector<std::wstring>& texts)
{
    std::wstring out = L"[";
    for (size_t i = 0; i < texts.size(); ++i) out += (i ? L", " : L"") + Quoted(texts[i]);
    return out + L"]";
}

std::wstring Trimmed(std::wstring_view text)
{
    size_t start = 0, end = text.size();
    while (start < end && IsSpace(text[start])) ++start;
    while (end > start && IsSpace(text[end - 1])) --end;
    return std::wstring(text.substr(start, end - start));
}

// The request target of a logged request line: [GET] TARGET [HTTP/1.x], whole or in the quotes of
// the common log format.
std::wstring RequestTarget(std::wstring_view line)
{
    std::wstring text = Trimmed(line);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
    std::vector<std::wstring> words;
    for (size_t at = 0; at < text.size();) {
        if (IsSpace(text[at])) { ++at; continue; }
        size_t end = at;
        while (end < text.size() && !IsSpace(text[end])) ++end;
        words.emplace_back(text.substr(at, end - at));
        at = end;
    }
    if (!words.empty() && words.front() == L"GET") words.erase(words.begin());
    if (words.size() == 2 && StartsWith(words[1], L"HTTP/")) words.pop_back();
    if (words.size() != 1) throw Bad{L"request line " + Quoted(line) + L" is not [GET] PATH?QUERY [HTTP/1.x]"};
    return words[0];
}

// The raw values of a query that must hold exactly `names`, in that order.
std::vector<std::wstring> QueryValues(std::wstring_view query, const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> got, values;
    for (const std::wstring& pair : SplitText(query, L"&")) {
        const size_t equals = pair.find(L'=');
        got.push_back(pair.substr(0, equals));
        values.push_back(equals == pair.npos ? std::wstring() : pair.substr(equals + 1));
    }
    if (got != names) throw Bad{L"query parameters " + QuotedList(got) + L", expected " + QuotedList(names)};
    return values;
}

bool IsUpperHex(wchar_t c) { return IsAsciiDigit(c) || (c >= L'A' && c <= L'F'); }

int HexValue(wchar_t c)
{
    if (IsUpperHex(c)) return IsAsciiDigit(c) ? c - L'0' : c - L'A' + 10;
    return c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
}

// The bytes of a query value with its %XX escapes decoded; nothing when it holds a character past
// U+00FF.
std::optional<std::string> EscapedBytes(std::wstring_view raw)
{
    std::string bytes;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] > 0xFF) return std::nullopt;
        if (raw[i] == L'%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 && HexValue(raw[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2]));
            i += 2;
        } else {
            bytes += static_cast<char>(raw[i]);
        }
    }
    return bytes;
}

// A value of the time report: strictly the form horasync's encoder writes, of a GBK text.
std::wstring ReportValue(const std::wstring& raw, const wchar_t* name)
{
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool escape = raw[i] == L'%' && i + 2 < raw.size() && IsUpperHex(raw[i + 1]) && IsUpperHex(raw[i + 2]);
        if (escape) i += 2;
        else if (!IsAsciiAlnum(raw[i]) && raw[i] != L'+')
            throw Bad{name + (L" " + Quoted(raw)) + L" is not in the strict encoded form"};
    }
    std::wstring spaced = raw;
    for (wchar_t& c : spaced) if (c == L'+') c = L' ';
    const std::string bytes = *EscapedBytes(spaced);
    const std::wstring text = FromAnsi(bytes);
    if (ToAnsi(text) != bytes) throw Bad{name + (L" " + Quoted(raw)) + L" does not decode as GBK"};
    if (GetUrlEnCode(text) != raw)
        throw Bad{name + (L" " + Quoted(raw)) + L" re-encodes as " + Quoted(GetUrlEnCode(text))};
    return text;
}

// The request's time, read in `pattern` and, with a limit, no further from the server's clock.
void CheckTime(const std::wstring& text, std::wstring_view pattern, const std::optional<ClockLimit>& limit)
{
    const std::optional<vemr::LocalTime> time = ReadDateTime(text, pattern);
    if (!time) throw Bad{L"tim " + Quoted(text) + L" has the wrong form"};
    if (!IsValidDateTime(*time)) throw Bad{L"tim " + Quoted(text) + L" is not a valid date and time"};
    if (!limit) return;
    const int64_t skew = vemr::SecondsFromCivil(*time) - vemr::SecondsFromCivil(limit->serverNow);
    if (std::llabs(skew) > limit->maxSkew)
        throw Bad{L"tim " + text + L" is " + std::to_wstring(std::llabs(skew)) +
                  (skew < 0 ? L" s behind" : L" s ahead of") + L" the server's time " +
                  vemr::TimeStamp(limit->serverNow) + L", expected at most " + std::to_wstring(limit->maxSkew) +
                  L" s"};
}

// major.minor.revision in plain decimal.
bool IsVersion(std::wstring_view text)
{
    int parts = 0;
    for (size_t start = 0; start <= text.size(); ++parts) {
        size_t end = text.find(L'.', start);
        if (end == text.npos) end = text.size();
        const std::wstring_view part = text.substr(start, end - start);
        if (part.empty() || (part.size() > 1 && part[0] == L'0')) return false;
        for (const wchar_t c : part) if (!IsAsciiDigit(c)) return false;
        start = end + 1;
    }
    return parts == 3;
}

// "TavinVmc.Cet/" + identifier + "/" + signature, each 2 to 10 capital letters: the two codes.
std::optional<std::pair<std::wstring, std::wstring>> IdentityCodes(std::wstring_view agent)
{
    const std::wstring_view front = L"TavinVmc.Cet/";
    if (!StartsWith(agent, front)) return std::nullopt;
    const std::wstring_view codes = agent.substr(front.size());
    const size_t slash = codes.find(L'/');
    const auto isCode = [](std::wstring_view code) {
        if (code.size() < 2 || code.size() > 10) return false;
        for (const wchar_t c : code) if (!IsAsciiUpper(c)) return false;
        return true;
    };
    if (slash == codes.npos || !isCode(codes.substr(0, slash)) || !isCode(codes.substr(slash + 1))) return std::nullopt;
    return std::make_pair(std::wstring(codes.substr(0, slash)), std::wstring(codes.substr(slash + 1)));
}

void VerifyLaunch(std::wstring_view host, std::wstring_view query, std::wstring_view userAgent,
                  const std::optional<ClockLimit>& limit, Values& values)
{
    const std::vector<std::wstring> params = QueryValues(query, {L"lau", L"tim", L"ver"});
    if (params[0] != L"cn") throw Bad{L"lau is " + Quoted(params[0]) + L", expected 'cn'"};
    const std::wstring& tim = params[1];
    CheckTime(tim, L"99999999999999", limit);
    const std::wstring& rawVersion = params[2];
    const std::optional<std::string> versionBytes = EscapedBytes(rawVersion);
    std::wstring version;
    if (!versionBytes || !Utf8ToWide(*versionBytes, version))
        throw Bad{L"ver " + Quoted(rawVersion) + L" does not decode as UTF-8"};
    std::wstring encoded = GetUtfEnCode(version), dotted = encoded;
    for (size_t at; (at = dotted.find(L"%2E")) != dotted.npos;) dotted.replace(at, 3, L".");
    if (rawVersion != encoded && rawVersion != dotted)
        throw Bad{L"ver " + Quoted(rawVersion) + L" is not the client's encoding of " + Quoted(version) + L" (" +
                  Quoted(encoded) + L")"};
    if (!IsVersion(version)) throw Bad{L"version " + Quoted(version) + L" is not major.minor.revision"};
    const size_t header = userAgent.find(L"User-Agent:");
    const std::wstring agent = Trimmed(header == userAgent.npos ? userAgent : userAgent.substr(header + 11));
    const std::wstring hostDigest = vemr::HostDigest(host);
    const auto codes = IdentityCodes(agent);
    if (!codes) throw Bad{L"User-Agent " + Quoted(agent) + L" is not TavinVmc.Cet/<id>/<sig>"};
    const auto& [machineId, signature] = *codes;
    const std::wstring expected = vemr::RequestSignature(machineId, tim, version, hostDigest);
    values = {{L"machine_id", machineId},
              {L"host_digest", hostDigest},
              {L"signed_text", machineId + tim + version + hostDigest},
              {L"sig_expected", expected}};
    if (signature != expected) throw Bad{L"signature " + signature + L", expected " + expected};
}

void VerifyReport(std::wstring_view query, const std::optional<ClockLimit>& limit, Values& values)
{
    const std::vector<std::wstring> params = QueryValues(query, {L"tim", L"clb", L"sgn"});
    const std::wstring tim = ReportValue(params[0], L"tim");
    const std::wstring clb = ReportValue(params[1], L"clb");
    CheckTime(tim, L"9999-99-99 99:99:99", limit);
    if (clb.empty()) throw Bad{L"clb (time server name) is empty"};
    const std::wstring expected = horasync::ReportSignature(tim, clb);
    if (params[2] != expected) throw Bad{L"sgn " + Quoted(params[2]) + L", expected " + expected};
    values = {{L"tim", tim}, {L"clb", clb}, {L"sgn_expected", expected}};
}

// Checks the request line's target against the page, then its query with `verify`.
template <typename Verify>
Verdict Check(std::wstring_view requestLine, std::wstring_view page, const std::wstring* host, Verify verify)
{
    Values values;
    try {
        std::wstring target = RequestTarget(requestLine);
        if (StartsWith(target, L"http://")) {
            const size_t slash = target.find(L'/', 7);
            const std::wstring targetHost = target.substr(7, slash == target.npos ? target.npos : slash - 7);
            if (host && targetHost != *host)
                throw Bad{L"host " + Quoted(targetHost) + L" in the request line, expected " + Quoted(*host)};
            target = slash == target.npos ? L"" : target.substr(slash);
        }
        const size_t question = target.find(L'?');
        const std::wstring path = target.substr(0, question);
        if (path != page) throw Bad{L"path " + Quoted(path) + L", expected " + Quoted(page)};
        verify(question == target.npos ? std::wstring() : target.substr(question + 1), values);
    } catch (const Bad& bad) {
        return {false, L"bad: " + bad.what + L"\n"};
    } catch (const OverflowError&) {
        return {false, L"bad: a text too long for the digest or the encoder\n"};
    }
    std::wstring text = L"ok\n";
    for (const auto& [name, value] : values) {
        std::wstring label = name;
        label.resize(12, L' ');
        text += L"  " + label + L" " + value + L"\n";
    }
    return {true, text};
}

} // namespace

Verdict CheckLaunch(std::wstring_view host, std::wstring_view requestLine, std::wstring_view userAgent,
                    const std::optional<ClockLimit>& limit)
{
    const std::wstring hostText(host);
    return Check(requestLine, L"/language.asp", &hostText, [&](const std::wstring& query, Values& values) {
        VerifyLaunch(hostText, query, userAgent, limit, values);
    });
}

Verdict CheckReport(std::wstring_view requestLine, const std::optional<ClockLimit>& limit)
{
    return Check(requestLine, L"/gmtime.asp", nullptr,
                 [&](const std::wstring& query, Values& values) { VerifyReport(query, limit, values); });
}

std::optional<vemr::LocalTime> ReadDateTime(std::wstring_view text, std::wstring_view pattern)
{
    if (text.size() != pattern.size()) return std::nullopt;
    int fields[6] = {}, field = 0, digits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] != L'9') {
            if (text[i] != pattern[i]) return std::nullopt;
            continue;
        }
        if (!IsAsciiDigit(text[i])) return std::nullopt;
        fields[field] = fields[field] * 10 + (text[i] - L'0');
        if (++digits == (field == 0 ? 4 : 2) && field < 5) {
            ++field;
            digits = 0;
        }
    }
    return vemr::LocalTime{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
}

bool IsValidDateTime(const vemr::LocalTime& t)
{
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 ||
        t.second > 59)
        return false;
    return vemr::CivilFromSeconds(vemr::SecondsFromCivil(t)).day == t.day;  // no 30 February
}

} // namespace mymd
