#include "common/texthelpers.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace std::string_literals;

namespace {

struct MidCase {
    std::wstring source, front, end;
    int16_t noBigSmall;
    int32_t startPos;
    std::wstring expected;
};

} // namespace

TEST(GetMidStr, CutsTheTextBetweenTheMarkers)
{
    const MidCase cases[] = {
        {L"(GMT+08:00)北京，重庆，香港特别行政区，乌鲁木齐", L"(", L")", 0, 1, L"GMT+08:00"},
        {L"a[1]b[2]", L"[", L"]", 0, 1, L"1"},
        {L"a[1]b[2]", L"[", L"]", 0, 4, L"2"},
        {L"a[1]b[2]", L"[", L"]", 0, 2, L"1"},  // a marker starting at StartPos counts
        {L"((a))", L"(", L")", 0, 1, L"(a"},     // the next EndStr, not the matching one
        {L"<b>粗体</b>", L"<b>", L"</b>", 0, 1, L"粗体"},
        {L"abxb", L"ab", L"b", 0, 1, L"x"},      // EndStr is sought behind FrontStr only
        {L"abc)", L"", L")", 0, 1, L"abc"},      // an empty FrontStr stands at StartPos
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetMidStr(c.source, c.front, c.end, c.noBigSmall, c.startPos), c.expected)
            << c.source << " from " << c.startPos;
}

TEST(GetMidStr, EmptyWhenTheMarkersDoNotEncloseText)
{
    const MidCase cases[] = {
        {L"no markers here", L"(", L")", 0, 1, L""},
        {L"only (front", L"(", L")", 0, 1, L""},
        {L"only end)", L"(", L")", 0, 1, L""},
        {L"end) before (front", L"(", L")", 0, 1, L""},
        {L"x()y", L"(", L")", 0, 1, L""},         // EndStr directly behind FrontStr
        {L"x()y(z)", L"(", L")", 0, 1, L""},      // only the first FrontStr is tried
        {L"a(b)c", L"(", L"", 0, 1, L""},         // an empty EndStr
        {L"a(b)c", L"(", L")", 0, 3, L""},        // the only FrontStr lies before StartPos
        {L"a(b)c", L"(", L")", 0, 100, L""},      // StartPos past the end
        {L"", L"(", L")", 0, 1, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetMidStr(c.source, c.front, c.end, c.noBigSmall, c.startPos), c.expected)
            << c.source << " from " << c.startPos;
}

TEST(GetMidStr, NoBigSmallIgnoresLetterCase)
{
    const MidCase cases[] = {
        {L"KEY=x;", L"key=", L";", 1, 1, L"x"},
        {L"KEY=x;", L"key=", L";", -1, 1, L"x"},
        {L"KEY=x;", L"key=", L";", 0, 1, L""},
        {L"key=VALUE;", L"KEY=", L";", 1, 1, L"VALUE"},  // the result keeps its own case
        {L"xAy", L"X", L"Y", 1, 1, L"A"},
        {L"ÄRGER:ja.", L"ärger:", L".", 1, 1, L"ja"},    // Latin-1 letters
        {L"ÄRGER:ja.", L"ärger:", L".", 0, 1, L""},
        {L"ＫＥＹ：值。", L"ｋｅｙ：", L"。", 1, 1, L"值"},   // fullwidth letters
        {L"中文（值）", L"（", L"）", 1, 1, L"值"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetMidStr(c.source, c.front, c.end, c.noBigSmall, c.startPos), c.expected)
            << c.source << " mode " << c.noBigSmall;
}

TEST(GetMidStr, StartPosBelowOneIsAnInvalidArgument)
{
    EXPECT_THROW(GetMidStr(L"a(b)c", L"(", L")", 0, 0), std::invalid_argument);
    EXPECT_THROW(GetMidStr(L"a(b)c", L"(", L")", 1, -1), std::invalid_argument);
}

TEST(GetApiBackStr, CutsAtTheFirstNul)
{
    const struct {
        std::wstring buffer, expected;
    } cases[] = {
        {L"ABC\0junk\0"s, L"ABC"},
        {L"中国标准时间"s + std::wstring(26, L'\0'), L"中国标准时间"},
        {L"\0ABC"s, L""},
        {L""s, L""},
        {L"no NUL at all"s, L"no NUL at all"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetApiBackStr(c.buffer), c.expected);
}

TEST(SplitText, PiecesBetweenEverySeparator)
{
    EXPECT_EQ(SplitText(L"-1951535091|cpu|ABC", L"|"), (std::vector<std::wstring>{L"-1951535091", L"cpu", L"ABC"}));
    EXPECT_EQ(SplitText(L"||", L"|"), (std::vector<std::wstring>{L"", L"", L""}));
    EXPECT_EQ(SplitText(L"no bar", L"|"), (std::vector<std::wstring>{L"no bar"}));
    EXPECT_TRUE(SplitText(L"", L"|").empty());
}

TEST(SingleText, PrintsSevenSignificantDigitsAndAnUpperCaseExponent)
{
    const struct {
        float value;
        const wchar_t* text;
    } cases[] = {
        {30123.45f, L"30123.45"}, {12.0f, L"12"},   {12.5f, L"12.5"}, {0.0f, L"0"},  {86399.99f, L"86399.99"},
        {99.0f, L"99"},           {100.0f, L"100"}, {12345678.0f, L"1.234568E+07"}, {1e7f, L"1E+07"},
        {0.00001f, L"1E-05"},     {1234567.0f, L"1234567"},
    };
    for (const auto& c : cases) EXPECT_EQ(SingleText(c.value), c.text) << c.value;
}

// The release tool names the Linux package by the same rule: a row changed here changes it there.
TEST(AppId, TheHostLowerCasedWithOneDashForEveryRunOfOtherCharacters)
{
    const struct {
        const wchar_t* host;
        const wchar_t* appId;
    } cases[] = {
        {L"op.vemr.test:8080", L"com.vemr.op-vemr-test-8080"}, {L"10.0.0.5", L"com.vemr.10-0-0-5"},
        {L"Shop.Example.COM", L"com.vemr.shop-example-com"},   {L"-a..b__c-", L"com.vemr.a-b-c"},
        {L"话费.example.cn", L"com.vemr.example-cn"},          {L" h_1 ", L"com.vemr.h-1"},
        {L"", L"com.vemr."},                                   {L"--::", L"com.vemr."},
    };
    for (const auto& c : cases) EXPECT_EQ(AppId(c.host), c.appId);
}
