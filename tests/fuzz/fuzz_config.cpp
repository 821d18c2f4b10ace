// config.txt as any bytes: decoded from the ANSI code page, read through the platform, split at
// CR LF, line 4 read as a number, and the client's whole start-up run on it.
#include "client/launch_request.h"
#include "client/vemrix.h"
#include "os/ansi.h"
#include "common/textfiles.h"
#include "common/texthelpers.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/with_stand_in/vemr_window_double.h"

#include <cmath>
#include <string>
#include <string_view>

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool Digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The number form line 4 may take: blanks, an optional sign, digits with an optional fraction
// (at least one digit in all), blanks.
bool IsNumberText(std::wstring_view t, bool& negative, bool& allZero)
{
    size_t i = 0;
    while (i < t.size() && Blank(t[i])) ++i;
    negative = i < t.size() && t[i] == L'-';
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) ++i;
    size_t digits = 0;
    allZero = true;
    for (; i < t.size() && Digit(t[i]); ++i, ++digits) allZero &= t[i] == L'0';
    if (i < t.size() && t[i] == L'.')
        for (++i; i < t.size() && Digit(t[i]); ++i, ++digits) allZero &= t[i] == L'0';
    while (i < t.size() && Blank(t[i])) ++i;
    return digits > 0 && i == t.size();
}

void CheckReadAsNumber(std::wstring_view piece)
{
    bool negative = false, allZero = false;
    const bool number = IsNumberText(piece, negative, allZero);
    try {
        const double value = vemr::ReadAsNumber(piece);
        FUZZ_CHECK(number);
        FUZZ_CHECK(!std::isnan(value));
        FUZZ_CHECK(negative ? value <= 0 : value >= 0);
        if (allZero) FUZZ_CHECK(value == 0);
    } catch (const RuntimeError& error) {
        FUZZ_CHECK(!number);
        FUZZ_CHECK(error.number() == 13);
    }
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Decoding: one unit per byte or byte pair, and what ToAnsi writes reads back to itself.
    const std::wstring text = FromAnsi(bytes);
    FUZZ_CHECK(text.size() <= bytes.size() && 2 * text.size() >= bytes.size());
    const std::string ansi = ToAnsi(text);
    FUZZ_CHECK(ToAnsi(FromAnsi(ansi)) == ansi);

    // The file as the programs read it, through the platform.
    fakeos::Reset(L"C:\\prog");
    fakeos::PutFile(L"C:\\prog\\config.txt", bytes);
    int16_t state = -1;
    FUZZ_CHECK(GetStrFromFile(L"C:\\prog\\config.txt", false, state) == text);
    FUZZ_CHECK(state == kReadDone);
    const std::wstring trimmed = GetStrFromFile(L"C:\\prog\\config.txt", true, state);
    const bool endsCrLf = text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0;
    FUZZ_CHECK(trimmed == (endsCrLf ? text.substr(0, text.size() - 2) : text));

    // The split: pieces joined with CR LF give the text back, none holds a CR LF.
    const std::vector<std::wstring> pieces = SplitAtCrLf(text);
    FUZZ_CHECK(text.empty() == pieces.empty());
    std::wstring joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(pieces[i].find(L"\r\n") == std::wstring::npos);
        if (i > 0) joined += L"\r\n";
        joined += pieces[i];
    }
    FUZZ_CHECK(joined == text);

    const auto lines = vemr::SplitConfig(text);
    FUZZ_CHECK(lines.has_value() == (pieces.size() == 4));
    for (size_t i = 0; i < pieces.size() && i < 8; ++i) CheckReadAsNumber(pieces[i]);

    // The client's start-up on this config.txt: it navigates, or it ends silently (not four lines),
    // or it ends with an error report (13: line 4 no number; 6: a time or digest out of range).
    vemrtest::FakeWindow host;
    host.SetConfig(text);
    vemr::Vemrix window(host);
    const bool ended = vemrtest::Ends([&] { window.Form_Load(); });
    if (!lines) {
        FUZZ_CHECK(ended && fakeos::ReportText().empty() && host.navigatedUrl.empty());
        return 0;
    }
    if (ended) {
        FUZZ_CHECK(host.navigatedUrl.empty());
        FUZZ_CHECK(StartsWith(fakeos::ReportText(), L"运行时错误 '13'") || StartsWith(fakeos::ReportText(), L"运行时错误 '6'"));
        bool negative = false, allZero = false;
        if (StartsWith(fakeos::ReportText(), L"运行时错误 '13'")) FUZZ_CHECK(!IsNumberText((*lines)[3], negative, allZero));
    } else {
        FUZZ_CHECK(fakeos::ReportText().empty());
        FUZZ_CHECK(host.caption == (*lines)[0]);
        FUZZ_CHECK(window.Tag() == (*lines)[1]);
        FUZZ_CHECK(StartsWith(host.navigatedUrl, L"http://" + (*lines)[1] + L"/language.asp?lau=cn&tim="));
        FUZZ_CHECK(host.navigatedHeaders.size() >= 2 &&
                   host.navigatedHeaders.compare(host.navigatedHeaders.size() - 2, 2, L"\r\n") == 0);
    }
    return 0;
}
