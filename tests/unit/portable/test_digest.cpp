// The digest codes travel to the operator's server, which recomputes them: these codes are fixed.
// The codes of long texts were computed with a separate implementation of the five steps, written
// independently of common/digest.cpp.
#include "common/digest.h"
#include "os/errors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A text of `n` characters cycling through the 62 ASCII letters and digits, so every position
// holds a known character whatever the code page.
std::wstring Sample(size_t n)
{
    static const std::wstring kChars = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::wstring text;
    for (size_t i = 0; i < n; ++i) text.push_back(kChars[i % kChars.size()]);
    return text;
}

// A text of `n` characters repeating a version-like mix of ASCII and Chinese characters.
std::wstring Mixed(size_t n)
{
    static const std::wstring kPattern = L"版本1.0中文abc";
    std::wstring text;
    for (size_t i = 0; i < n; ++i) text.push_back(kPattern[i % kPattern.size()]);
    return text;
}

std::wstring WithCharacterChanged(std::wstring text, size_t index)
{
    text[index] = L'#';
    return text;
}

bool IsCapitalLetters(const std::wstring& code)
{
    for (wchar_t ch : code)
        if (ch < L'A' || ch > L'Z') return false;
    return true;
}

} // namespace

TEST(MyMd, KnownCodes)
{
    const struct {
        std::wstring text;
        std::wstring code;
    } cases[] = {
        {L"", L"SW"},
        {L"abc", L"WQOTLVUV"},
        {L"abcdefghij", L"HMOEANKG"},  // folded twice: 58, 29, then 15 digits
        {L"中", L"EOSZVFS"},           // GBK D6 D0, code 10544
        {Mixed(40), L"OJPEZKD"},
    };
    for (const auto& c : cases) EXPECT_EQ(MyMd(c.text), c.code) << c.text.size() << " characters";
}

TEST(MyMd, CodesAroundTheThinningBounds)
{
    const struct {
        std::wstring text;
        std::wstring code;
    } cases[] = {
        {Sample(998), L"ELCLOTBFAY"},     // 999 marked characters: not thinned
        {Sample(999), L"OTTMGAES"},       // 1,000: second half, then the marker and the first half
        {Sample(1000), L"OTZHZCFVKO"},    // 1,001: the middle character left out
        {Sample(1996), L"IHBGXQKJYP"},    // 1,997: step 1, the longest thinned text
        {Sample(1997), L"GUCIVINRC"},     // 1,998: step 2
        {Sample(65534), L"YZZAVRUYDB"},   // the longest text accepted, step 65
        {Mixed(65534), L"JJNNYJMICJ"},
    };
    for (const auto& c : cases) EXPECT_EQ(MyMd(c.text), c.code) << c.text.size() << " characters";
}

TEST(MyMd, EveryCharacterCountsUpTo998Characters)
{
    const std::wstring text = Sample(998);
    EXPECT_NE(MyMd(WithCharacterChanged(text, 0)), MyMd(text));
    EXPECT_NE(MyMd(WithCharacterChanged(text, 499)), MyMd(text));
    EXPECT_NE(MyMd(WithCharacterChanged(text, 997)), MyMd(text));
}

TEST(MyMd, ThinningWithStepOneLeavesOutTheMiddleOfAnOddLength)
{
    // With the marker, 1,000 characters make 1,001: the 500th character is the middle one, and the
    // rest thins exactly as the 999 characters left when it is removed.
    const std::wstring text = Sample(1000);
    std::wstring withoutMiddle = text;
    withoutMiddle.erase(499, 1);
    EXPECT_EQ(MyMd(text), MyMd(withoutMiddle));
    EXPECT_EQ(MyMd(WithCharacterChanged(text, 499)), MyMd(text));
    EXPECT_NE(MyMd(WithCharacterChanged(text, 498)), MyMd(text));
    EXPECT_NE(MyMd(WithCharacterChanged(text, 500)), MyMd(text));
}

TEST(MyMd, ThinningWithStepTwoSkipsEveryOtherCharacter)
{
    // 1,997 characters: from the front only the marker and every second character after it count,
    // from the back the last one and every second one before it.
    const std::wstring text = Sample(1997);
    const std::wstring code = MyMd(text);
    EXPECT_EQ(MyMd(WithCharacterChanged(text, 0)), code);
    EXPECT_NE(MyMd(WithCharacterChanged(text, 1)), code);
    EXPECT_EQ(MyMd(WithCharacterChanged(text, 1995)), code);
    EXPECT_NE(MyMd(WithCharacterChanged(text, 1996)), code);
}

TEST(MyMd, CharactersOutsideTheCodePageCountAsQuestionMarks)
{
    EXPECT_EQ(MyMd(L"\x0E01"), MyMd(L"?"));  // a Thai letter
    const std::wstring supplementary{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(MyMd(supplementary), MyMd(L"??"));  // two UTF-16 units, two characters
}

TEST(MyMd, TooLongTextOverflows)
{
    EXPECT_NO_THROW(MyMd(std::wstring(65534, L'a')));
    EXPECT_THROW(MyMd(std::wstring(65535, L'a')), OverflowError);
    EXPECT_THROW(MyMd(std::wstring(100000, L'a')), OverflowError);
}

TEST(MyMd, CodesAreTwoToTenCapitalLetters)
{
    for (size_t n = 0; n <= 2100; n += 7) {
        for (const std::wstring& text : {Sample(n), Mixed(n)}) {
            const std::wstring code = MyMd(text);
            EXPECT_TRUE(IsCapitalLetters(code)) << n;
            EXPECT_GE(code.size(), 2u) << n;
            EXPECT_LE(code.size(), 10u) << n;
        }
    }
}
