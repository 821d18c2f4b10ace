// GetMidStr on any source, marks, case flag and start position, against a plain search done
// character by character.
#include "common/texthelpers.h"
#include "tests/fuzz/fuzz_check.h"

#include <limits>
#include <stdexcept>

namespace {

// A few letters that differ only in case (ASCII, Latin-1, fullwidth) and the characters around the
// folded ranges, so that marks meet the source often.
constexpr wchar_t kAlphabet[] = {L'a', L'A', L'b', L'B',  L'z',   L'Z',    L'[',    L'@',    0xE0,   0xC0,
                                 0xD7, 0xF7, 0xFF, 0x178, 0xFF41, 0xFF21, 0xFF3A, 0xFF5A, 0xFF3B, L'\0',
                                 L'<', L'>', L'=', L'"',  0x4E2D, 0xD800, 0xDC00, L'\r',   L'\n',   L' '};

// Lower case as the header describes it: ASCII, Latin-1 (not the multiplication sign) and
// fullwidth Latin capitals, and Y with diaeresis.
wchar_t Fold(wchar_t c)
{
    if (c >= L'A' && c <= L'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

bool MatchesAt(const std::wstring& text, const std::wstring& mark, size_t at, bool ignoreCase)
{
    if (at + mark.size() > text.size()) return false;
    for (size_t k = 0; k < mark.size(); ++k) {
        const wchar_t a = text[at + k], b = mark[k];
        if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
    }
    return true;
}

size_t Find(const std::wstring& text, const std::wstring& mark, size_t from, bool ignoreCase)
{
    for (size_t at = from; at <= text.size(); ++at)
        if (MatchesAt(text, mark, at, ignoreCase)) return at;
    return std::wstring::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    const auto noBigSmall = in.ConsumeIntegral<int16_t>();
    const int32_t startPos = (shape & 1) ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(-2, 70);
    const bool wide = shape & 2;
    const std::wstring source = fuzz::ConsumeText(in, wide, kAlphabet);
    const std::wstring front = fuzz::ConsumeText(in, wide, kAlphabet);
    const std::wstring end = fuzz::ConsumeText(in, wide, kAlphabet);

    std::wstring result;
    try {
        result = GetMidStr(source, front, end, noBigSmall, startPos);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(startPos < 1);
        return 0;
    }
    FUZZ_CHECK(startPos >= 1);

    const bool ignoreCase = noBigSmall != 0;
    const size_t frontAt = Find(source, front, static_cast<size_t>(startPos) - 1, ignoreCase);
    std::wstring expected;
    if (frontAt != std::wstring::npos) {
        const size_t c = frontAt + front.size();
        const size_t d = Find(source, end, c, ignoreCase);
        if (d != std::wstring::npos && d > c) expected = source.substr(c, d - c);
    }
    FUZZ_CHECK(result == expected);
    FUZZ_CHECK(source.find(result) != std::wstring::npos);
    return 0;
}
