#include "common/texthelpers.h"

#include <cstdio>
#include <stdexcept>

namespace {

// Lower case of ASCII, Latin-1 and fullwidth Latin capitals; other characters stay. A fixed table
// rather than the C library's locale, so the Linux and Windows builds compare alike.
wchar_t FoldCase(wchar_t ch)
{
    if (ch >= L'A' && ch <= L'Z') return static_cast<wchar_t>(ch + 0x20);
    if (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7) return static_cast<wchar_t>(ch + 0x20);  // À..Þ, not ×
    if (ch == 0x178) return 0xFF;                                                           // Ÿ
    if (ch >= 0xFF21 && ch <= 0xFF3A) return static_cast<wchar_t>(ch + 0x20);              // Ａ..Ｚ
    return ch;
}

std::wstring Folded(std::wstring_view text)
{
    std::wstring out(text);
    for (wchar_t& ch : out) ch = FoldCase(ch);
    return out;
}

// First position of `mark` in `text` at or after the 0-based `from`. Folding keeps every character
// in place, so a position found in folded copies holds for the text itself.
size_t FindFrom(std::wstring_view text, std::wstring_view mark, size_t from, bool ignoreCase)
{
    if (!ignoreCase) return text.find(mark, from);
    return Folded(text).find(Folded(mark), from);
}

} // namespace

std::wstring GetMidStr(std::wstring_view SourceStr, std::wstring_view FrontStr, std::wstring_view EndStr,
                       int16_t NoBigSmall, int32_t StartPos)
{
    if (StartPos < 1) throw std::invalid_argument("GetMidStr: StartPos must be 1 or more");
    const bool ignoreCase = NoBigSmall != 0;
    const size_t frontPos = FindFrom(SourceStr, FrontStr, static_cast<size_t>(StartPos) - 1, ignoreCase);
    if (frontPos == std::wstring_view::npos) return {};
    const size_t c = frontPos + FrontStr.size();
    const size_t d = FindFrom(SourceStr, EndStr, c, ignoreCase);
    if (d == std::wstring_view::npos || d <= c) return {};
    return std::wstring(SourceStr.substr(c, d - c));
}

std::wstring GetApiBackStr(std::wstring_view ApiBack)
{
    return std::wstring(ApiBack.substr(0, ApiBack.find(L'\0')));
}

std::vector<std::wstring> SplitText(std::wstring_view text, std::wstring_view separator)
{
    std::vector<std::wstring> pieces;
    if (text.empty()) return pieces;
    size_t start = 0;
    for (auto at = text.find(separator); at != std::wstring_view::npos; at = text.find(separator, start)) {
        pieces.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

std::vector<std::wstring> SplitAtCrLf(std::wstring_view text)
{
    return SplitText(text, L"\r\n");
}

std::wstring SingleText(float value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7G", static_cast<double>(value));
    return std::wstring(buffer, buffer + std::char_traits<char>::length(buffer));
}

std::wstring AppId(std::wstring_view host)
{
    std::wstring name;
    for (wchar_t c : host) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        const bool kept = (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9');
        if (kept)
            name += c;
        else if (!name.empty() && name.back() != L'-')
            name += L'-';
    }
    if (!name.empty() && name.back() == L'-') name.pop_back();
    return L"com.vemr." + name;
}
