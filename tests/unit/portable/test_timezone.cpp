#include "common/timezone.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

// A standard name as the platform hands it over: 32 UTF-16 units, padded with NUL.
std::wstring PlatformBuffer(const std::wstring& name)
{
    return name + std::wstring(32 - name.size(), L'\0');
}

} // namespace

TEST(ZoneOffsetSeconds, StandardOffsetEastOfGreenwich)
{
    const struct {
        int32_t bias;
        int32_t seconds;
    } cases[] = {
        {0, 0},           // UTC
        {-480, 28800},    // UTC+8, the shop PCs
        {300, -18000},    // UTC-5; with daylight saving the platform still reports this bias
        {-60, 3600},      // UTC+1; likewise in summer
        {-330, 19800},    // UTC+5:30
        {-345, 20700},    // UTC+5:45
        {210, -12600},    // UTC-3:30
        {-840, 50400},    // UTC+14
        {720, -43200},    // UTC-12
    };
    for (const auto& c : cases) EXPECT_EQ(ZoneOffsetSeconds(c.bias), c.seconds) << c.bias;
}

TEST(ZoneOffsetSeconds, WholeMinutesNeverRoundAway)
{
    // The offset goes through hours as a double; every whole-minute bias of a day either side
    // still comes out exact.
    for (int32_t bias = -1440; bias <= 1440; ++bias) EXPECT_EQ(ZoneOffsetSeconds(bias), -bias * 60) << bias;
}

TEST(ShortZoneName, DropsTheStandardTimeAndEasternMarkers)
{
    const struct {
        std::wstring standardName, shortName;
    } cases[] = {
        {L"中国标准时间", L"中国"},
        {L"太平洋标准时间", L"太平洋"},
        {L"东部标准时间", L""},
        {L"标准时间A标准时间", L"A"},          // every occurrence
        {L"东标准时间部", L""},                // "东部" is only whole once "标准时间" is gone
        {L"Pacific Standard Time", L"Pacific Standard Time"},
        {L"China Standard Time", L"China Standard Time"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShortZoneName(PlatformBuffer(c.standardName)), c.shortName);
}

TEST(ShortZoneName, KeepsOnlyTheParenthesisedPart)
{
    const struct {
        std::wstring standardName, shortName;
    } cases[] = {
        {L"(UTC+08:00) 北京", L"UTC+08:00"},
        {L"(GMT+08:00)中国标准时间", L"GMT+08:00"},
        {L"(东部标准时间)美国", L"()美国"},     // nothing left inside: the name stays as it is
        {L"() 空", L"() 空"},
        {L"a(b)c(d)", L"b"},
        {L"左(右", L"左(右"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShortZoneName(PlatformBuffer(c.standardName)), c.shortName);
}

TEST(ShortZoneName, IgnoresWhatFollowsTheFirstNul)
{
    EXPECT_EQ(ShortZoneName(L"中国标准时间\0(x)东部"s), L"中国");
    EXPECT_EQ(ShortZoneName(std::wstring(32, L'\0')), L"");
}

TEST(GeTimeZone, IncomingNameIsIgnored)
{
    std::wstring filled = L"(anything) 东部标准时间";
    std::wstring empty;
    const int32_t offsetFilled = GeTimeZone(filled);
    const int32_t offsetEmpty = GeTimeZone(empty);
    EXPECT_EQ(offsetFilled, offsetEmpty);
    EXPECT_EQ(filled, empty);
}
