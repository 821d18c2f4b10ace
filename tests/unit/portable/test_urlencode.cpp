// Both encoders under the GBK code page (code page 936), as on the shop PCs.
#include "os/errors.h"
#include "common/urlencode.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

struct EncodeCase {
    std::wstring text, encoded;
};

const std::wstring kThaiLetter = L"\x0E01";  // not in GBK
const std::wstring kSupplementary{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};

} // namespace

TEST(GetUtfEnCode, EscapesTheReservedCharacters)
{
    const EncodeCase cases[] = {
        {L" ", L"%20"},  {L"`", L"%60"},  {L"=", L"%3D"},  {L"\\", L"%5C"}, {L"@", L"%40"},
        {L"#", L"%23"},  {L"$", L"%24"},  {L"%", L"%25"},  {L"^", L"%5E"},  {L"&", L"%26"},
        {L"+", L"%2B"},  {L"|", L"%7C"},  {L"{", L"%7B"},  {L"}", L"%7D"},  {L"[", L"%5B"},
        {L"]", L"%5D"},  {L":", L"%3A"},  {L";", L"%3B"},  {L"\"", L"%22"}, {L"'", L"%27"},
        {L"<", L"%3C"},  {L">", L"%3E"},  {L",", L"%2C"},  {L".", L"%2E"},  {L"?", L"%3F"},
        {L"/", L"%2F"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetUtfEnCode(c.text), c.encoded) << c.text;
}

TEST(GetUtfEnCode, LeavesOtherAsciiUnchanged)
{
    const EncodeCase cases[] = {
        {L"", L""},
        {L"AZaz09", L"AZaz09"},
        {L"!()*-_~", L"!()*-_~"},
        {L"a\tb\nc\rd", L"a\tb\nc\rd"},          // control characters are not escaped
        {L"\x7F"s, L"\x7F"s},                     // nor is DEL
        {L"x\0y"s, L"x\0y"s},                     // nor NUL
        {L"1.0.0", L"1%2E0%2E0"},
        {L"a b", L"a%20b"},
        {L"100% + 1", L"100%25%20%2B%201"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetUtfEnCode(c.text), c.encoded) << c.text;
}

TEST(GetUtfEnCode, WritesOtherCharactersAsEscapedUtf8)
{
    const EncodeCase cases[] = {
        {L"中", L"%E4%B8%AD"},
        {L"\x00B7", L"%C2%B7"},        // middle dot: two bytes in GBK, two in UTF-8
        {L"\x0391", L"%CE%91"},        // Greek capital alpha
        {L"\x0410", L"%D0%90"},        // Cyrillic capital A
        {L"\xFF21", L"%EF%BC%A1"},     // fullwidth A
        {L"版本1.0中文", L"%E7%89%88%E6%9C%AC1%2E0%E4%B8%AD%E6%96%87"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetUtfEnCode(c.text), c.encoded) << c.text;
}

TEST(GetUtfEnCode, CopiesCharactersOutsideTheCodePage)
{
    // The code page makes them '?', whose code lies in 0..127.
    EXPECT_EQ(GetUtfEnCode(kThaiLetter), kThaiLetter);
    EXPECT_EQ(GetUtfEnCode(kSupplementary), kSupplementary);
}

TEST(GetUtfEnCode, HasNoLengthLimit)
{
    EXPECT_EQ(GetUtfEnCode(std::wstring(40000, L'a')), std::wstring(40000, L'a'));
}

TEST(GetUrlEnCode, KeepsLettersAndDigitsAndEscapesEveryOtherByte)
{
    const EncodeCase cases[] = {
        {L"", L""},
        {L"AZaz09", L"AZaz09"},
        {L"a b", L"a+b"},
        {L"12:30", L"12%3A30"},
        {L".", L"%2E"},
        {L"-", L"%2D"},
        {L"!()*-_~", L"%21%28%29%2A%2D%5F%7E"},
        {L"%+", L"%25%2B"},
        {L"\t\n", L"%09%0A"},
        {L"中", L"%D6%D0"},
        {L"\x00B7", L"%A1%A4"},       // middle dot
        {L"2024-01-02 08:30:00", L"2024%2D01%2D02+08%3A30%3A00"},
        {kThaiLetter, L"%3F"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetUrlEnCode(c.text), c.encoded) << c.text;
}

TEST(GetUrlEnCode, OverflowsPast32767Bytes)
{
    EXPECT_EQ(GetUrlEnCode(std::wstring(32767, L'a')).size(), 32767u);
    EXPECT_THROW(GetUrlEnCode(std::wstring(32768, L'a')), OverflowError);
    // Bytes count, not characters: each Chinese character is two.
    EXPECT_EQ(GetUrlEnCode(std::wstring(16383, L'中') + L"a").size(), 16383u * 6 + 1);
    EXPECT_THROW(GetUrlEnCode(std::wstring(16384, L'中')), OverflowError);
}
