// The client's start-up: config.txt, the time synchroniser, the time stamp in the server's zone and
// the signed launch request, against a fake window and the platform's stand-in.
#include "client/launch_request.h"
#include "client/vemrix.h"
#include "common/digest.h"
#include "tests/unit/portable/test_vemr_fake.h"
#include "tools/mymd/request_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace vemrtest;

namespace {

const std::wstring kHost = L"op.vemr.test:8080";
const std::wstring kConfig = L"标题\r\n" + kHost + L"\r\n快捷方式\r\n8";
// MyMd("12345678" + "QpnDurix" + "BFEBFBFF000906EA"): the fake's serial 305419896 and processor.
const std::wstring kFakeMachineId = L"MHQZHAO";

// Creation and load as the frame runs them; true when the program ended on the way.
bool Start(FakeWindow& host, vemr::Vemrix& window)
{
    return Ends([&] {
        window.Form_Initialize();
        window.Form_Load();
    });
}

} // namespace

TEST(VemrStartUp, FourLinesLeadToTheLaunchRequest)
{
    FakeWindow host;
    host.SetConfig(kConfig);
    vemr::Vemrix window(host);
    ASSERT_FALSE(Start(host, window));
    EXPECT_EQ(host.caption, L"标题");
    EXPECT_EQ(window.Tag(), kHost);
    EXPECT_EQ(host.journal.front(), L"guard");
    EXPECT_TRUE(host.Did(L"find:C:\\vemr\\config.txt"));
    EXPECT_TRUE(host.Did(L"shell:C:\\vemr\\horasync.exe|op.vemr.test:8080|C:\\vemr\\|1"));
    EXPECT_EQ(host.navigatedUrl, L"http://op.vemr.test:8080/language.asp?lau=cn&tim=20261206141530&ver=1%2E0%2E0");
    EXPECT_EQ(host.navigatedHeaders, L"User-Agent: TavinVmc.Cet/MHQZHAO/AXBEYUHQM\r\n");
    EXPECT_FALSE(host.windowVisible);  // the frame shows the window once the sequence is over
}

TEST(VemrStartUp, StepsRunInTheirOrder)
{
    FakeWindow host;
    host.SetConfig(kConfig);
    vemr::Vemrix window(host);
    ASSERT_FALSE(Start(host, window));
    const int read = host.IndexOf(L"find:"), caption = host.IndexOf(L"caption:"),
              shell = host.IndexOf(L"shell:"), serial = host.IndexOf(L"serial:"), save = host.IndexOf(L"save:"),
              zone = host.IndexOf(L"zone"), now = host.IndexOf(L"now"), navigate = host.IndexOf(L"navigate:");
    EXPECT_LT(host.IndexOf(L"guard"), read);
    EXPECT_LT(read, caption);
    EXPECT_LT(caption, shell);
    EXPECT_LT(shell, serial);   // the synchroniser starts before the identifier and the time stamp
    EXPECT_LT(serial, save);
    EXPECT_LT(save, zone);
    EXPECT_LT(zone, now);
    EXPECT_LT(now, navigate);
    EXPECT_EQ(navigate, static_cast<int>(host.journal.size()) - 1);
}

TEST(VemrStartUp, ConfigOtherThanFourPiecesEndsSilently)
{
    const struct {
        const char* name;
        std::wstring text;
        bool present;
    } cases[] = {
        {"line break after line 4", kConfig + L"\r\n", true},
        {"LF-only lines", L"标题\n" + kHost + L"\n快捷方式\n8", true},
        {"three lines", L"标题\r\n" + kHost + L"\r\n快捷方式", true},
        {"five lines", kConfig + L"\r\nmore", true},
        {"empty file", L"", true},
        {"missing file", L"", false},
        {"CR-only lines", L"标题\r" + kHost + L"\r快捷方式\r8", true},
    };
    for (const auto& c : cases) {
        FakeWindow host;
        if (c.present) host.SetConfig(c.text);
        vemr::Vemrix window(host);
        EXPECT_TRUE(Start(host, window)) << c.name;
        EXPECT_TRUE(host.Did(L"find:")) << c.name;
        EXPECT_EQ(host.journal.back(), L"end") << c.name;
        EXPECT_FALSE(host.Did(L"caption:")) << c.name;
        EXPECT_FALSE(host.Did(L"shell:")) << c.name;
        EXPECT_FALSE(host.Did(L"save:")) << c.name;
        EXPECT_FALSE(host.Did(L"navigate:")) << c.name;
        EXPECT_FALSE(host.Did(L"report:")) << c.name;
        EXPECT_FALSE(host.windowVisible) << c.name;
    }
}

TEST(VemrStartUp, EmptyLinesOneToThreeAreValues)
{
    FakeWindow host;
    host.SetConfig(L"\r\n\r\n\r\n8");
    vemr::Vemrix window(host);
    ASSERT_FALSE(Start(host, window));
    EXPECT_EQ(host.caption, L"");
    EXPECT_TRUE(host.Did(L"shell:C:\\vemr\\horasync.exe||C:\\vemr\\|1"));
    EXPECT_EQ(host.navigatedUrl, L"http:///language.asp?lau=cn&tim=20261206141530&ver=1%2E0%2E0");
}

TEST(VemrStartUp, LineFourThatIsNoNumberStopsAfterSynchroniserAndCache)
{
    for (const std::wstring line4 : {L"", L"eight", L"8h", L"0x8", L"&H8", L"1e1", L"８"}) {
        FakeWindow host;
        host.SetConfig(L"标题\r\n" + kHost + L"\r\n快捷方式\r\n" + line4);
        vemr::Vemrix window(host);
        EXPECT_TRUE(Start(host, window)) << line4;
        EXPECT_TRUE(host.Did(L"shell:")) << line4;
        EXPECT_EQ(host.Setting(), L"305419896|BFEBFBFF000906EA|" + kFakeMachineId) << line4;
        EXPECT_LT(host.IndexOf(L"save:"), host.IndexOf(L"report:")) << line4;
        EXPECT_EQ(fakeos::ReportText(), L"运行时错误 '13':\n\n类型不匹配") << line4;
        EXPECT_EQ(fakeos::ReportTitle(), L"vemr") << line4;
        EXPECT_EQ(host.journal.back(), L"end") << line4;
        EXPECT_EQ(fakeos::ExitCode(), 1) << line4;  // the end after an error report
        EXPECT_FALSE(host.Did(L"navigate:")) << line4;
    }
}

TEST(VemrStartUp, CacheThatCannotBeWrittenStopsWithAnErrorReport)
{
    FakeWindow host;
    host.SetConfig(kConfig);
    fakeos::FailSettingWrites();
    vemr::Vemrix window(host);
    EXPECT_TRUE(Start(host, window));
    EXPECT_TRUE(host.Did(L"shell:"));
    EXPECT_TRUE(host.Did(L"report:运行时错误 '5':"));
    EXPECT_FALSE(host.Did(L"navigate:"));
}

TEST(VemrStartUp, SecondCopyEndsBeforeConfigAndSynchroniser)
{
    FakeWindow host;
    host.SetConfig(kConfig);
    fakeos::SetAnotherCopyRunning(true);
    vemr::Vemrix window(host);
    EXPECT_TRUE(Start(host, window));
    EXPECT_EQ(host.journal, (std::vector<std::wstring>{L"guard", L"end"}));
    EXPECT_FALSE(host.Did(L"report:"));
}

TEST(VemrStartUp, TimeStampIsUtcPlusLineFourHours)
{
    const struct {
        const char* name;
        vemr::LocalTime now;
        int32_t zone;
        std::wstring line4, stamp;
    } cases[] = {
        {"8 on a PC in UTC+8: local time", {2026, 12, 6, 14, 15, 30}, 28800, L"8", L"20261206141530"},
        {"8 on a PC in UTC: eight hours on", {2026, 12, 6, 14, 15, 30}, 0, L"8", L"20261206221530"},
        {"0 on a PC in UTC+8: UTC", {2026, 12, 6, 14, 15, 30}, 28800, L"0", L"20261206061530"},
        {"0 on a PC in UTC", {2026, 12, 6, 14, 15, 30}, 0, L"0", L"20261206141530"},
        {"into the next year", {2026, 12, 31, 20, 0, 0}, 0, L"8", L"20270101040000"},
        {"into a leap day", {2028, 2, 28, 23, 59, 59}, 28800, L"9", L"20280229005959"},
        {"back over midnight", {2026, 3, 1, 2, 0, 0}, 28800, L"0", L"20260228180000"},
        {"a zone west of the server", {2026, 12, 6, 14, 15, 30}, -18000, L"8", L"20261207031530"},
        {"a server west of Greenwich", {2026, 12, 6, 14, 15, 30}, 28800, L"-5", L"20261206011530"},
        {"half hours", {2026, 12, 6, 14, 15, 30}, 0, L"5.5", L"20261206194530"},
        {"quarter hours on UTC+5:45", {2026, 12, 6, 14, 15, 30}, 20700, L"5.75", L"20261206141530"},
        {"leading space", {2026, 12, 6, 14, 15, 30}, 28800, L" 8", L"20261206141530"},
        {"plus sign", {2026, 12, 6, 14, 15, 30}, 28800, L"+8", L"20261206141530"},
        {"trailing point and blanks", {2026, 12, 6, 14, 15, 30}, 28800, L"8. \t", L"20261206141530"},
    };
    for (const auto& c : cases) {
        FakeWindow host;
        host.SetConfig(L"标题\r\n" + kHost + L"\r\n快捷方式\r\n" + c.line4);
        SetNow(c.now);
        fakeos::SetZoneBias(-c.zone / 60);
        vemr::Vemrix window(host);
        ASSERT_FALSE(Start(host, window)) << c.name;
        EXPECT_EQ(host.navigatedUrl, L"http://" + kHost + L"/language.asp?lau=cn&tim=" + c.stamp + L"&ver=1%2E0%2E0")
            << c.name;
    }
}

TEST(VemrStartUp, DaylightSavingNeverEntersTheStamp)
{
    // The zone offset is the standard one whatever the season: the same PC clock and offset give the
    // same stamp in summer as in winter.
    std::wstring urls[2];
    const vemr::LocalTime days[2] = {{2026, 1, 15, 12, 0, 0}, {2026, 7, 15, 12, 0, 0}};
    for (int season = 0; season < 2; ++season) {
        FakeWindow host;
        SetNow(days[season]);
        fakeos::SetZoneBias(300);
        host.SetConfig(kConfig);
        vemr::Vemrix window(host);
        ASSERT_FALSE(Start(host, window));
        urls[season] = host.navigatedUrl;
    }
    EXPECT_NE(urls[0].find(L"tim=20260116010000"), std::wstring::npos);
    EXPECT_NE(urls[1].find(L"tim=20260716010000"), std::wstring::npos);
}

TEST(VemrStartUp, StampOutsideTheCalendarStopsWithAnErrorReport)
{
    FakeWindow host;
    host.SetConfig(L"标题\r\n" + kHost + L"\r\n快捷方式\r\n99999999");
    vemr::Vemrix window(host);
    EXPECT_TRUE(Start(host, window));
    EXPECT_EQ(fakeos::ReportText(), L"运行时错误 '6':\n\n溢出");
    EXPECT_FALSE(host.Did(L"navigate:"));
}

TEST(VemrStartUp, SameInputsGiveTheSameRequest)
{
    std::wstring urls[2], headers[2];
    for (int run = 0; run < 2; ++run) {
        FakeWindow host;
        host.SetConfig(kConfig);
        vemr::Vemrix window(host);
        ASSERT_FALSE(Start(host, window));
        urls[run] = host.navigatedUrl;
        headers[run] = host.navigatedHeaders;
    }
    EXPECT_EQ(urls[0], urls[1]);
    EXPECT_EQ(headers[0], headers[1]);
    // A third start takes the identifier from the cache the second one wrote.
    FakeWindow cached(fakeos::Journal());
    cached.journal.clear();
    vemr::Vemrix window(cached);
    ASSERT_FALSE(Start(cached, window));
    EXPECT_EQ(cached.HardwareReads(), 0);
    EXPECT_EQ(cached.navigatedHeaders, headers[0]);
}

TEST(LaunchRequest, AddressAndHeaderAreExact)
{
    const std::wstring stamp = L"20261206141530";
    const std::wstring digest = vemr::HostDigest(kHost);
    EXPECT_EQ(digest, MyMd(L"mordakelvint" + kHost + L"fisproantel"));
    EXPECT_EQ(digest, L"CNJPWZZ");
    const std::wstring signature = vemr::RequestSignature(kFakeMachineId, stamp, L"1.0.0", digest);
    // The version enters the signature unencoded and the address encoded.
    EXPECT_EQ(signature, MyMd(kFakeMachineId + stamp + L"1.0.0" + digest));
    EXPECT_EQ(signature, L"AXBEYUHQM");
    EXPECT_EQ(vemr::LaunchAddress(kHost, stamp, vemr::VersionText()),
              L"http://op.vemr.test:8080/language.asp?lau=cn&tim=20261206141530&ver=1%2E0%2E0");
    EXPECT_EQ(vemr::IdentityHeader(kFakeMachineId, signature), L"User-Agent: TavinVmc.Cet/MHQZHAO/AXBEYUHQM");
    EXPECT_EQ(vemr::VersionText(), L"1.0.0");
}

TEST(LaunchRequest, HostGoesInUnencoded)
{
    EXPECT_EQ(vemr::LaunchAddress(L"a b/中", L"20260101000000", L"1.0.0"),
              L"http://a b/中/language.asp?lau=cn&tim=20260101000000&ver=1%2E0%2E0");
}

TEST(LaunchRequest, ReadAsNumberTakesPlainDecimalsOnly)
{
    const struct {
        std::wstring text;
        double value;
    } numbers[] = {
        {L"8", 8}, {L" 8", 8}, {L"8 ", 8}, {L"\t8\t", 8}, {L"+8", 8}, {L"-5", -5}, {L"8.5", 8.5},
        {L"8.", 8}, {L".5", 0.5}, {L"08", 8}, {L"0", 0}, {L"-0", 0}, {L" -3.25 ", -3.25},
    };
    for (const auto& n : numbers) EXPECT_DOUBLE_EQ(vemr::ReadAsNumber(n.text), n.value) << n.text;
    for (const std::wstring refused : {L"", L" ", L"+", L"-", L".", L"8h", L"8 8", L"1e1", L"&H8", L"0x8",
                                       L"1,000", L"(8)", L"8-", L"--8", L"８", L"8\r", L"8\n", L"¥8"}) {
        EXPECT_THROW(vemr::ReadAsNumber(refused), RuntimeError) << refused;
    }
}

TEST(LaunchRequest, TimeStampFormat)
{
    EXPECT_EQ(vemr::TimeStamp({2026, 12, 6, 14, 15, 30}), L"20261206141530");
    EXPECT_EQ(vemr::TimeStamp({2026, 1, 2, 3, 4, 5}), L"20260102030405");
    EXPECT_EQ(vemr::TimeStamp({999, 1, 2, 3, 4, 5}), L"09990102030405");
}

TEST(LaunchRequest, OperatorCheckHoldsTheLoggedStampAgainstTheServersClock)
{
    // The guide's request: signed for op.example.com at 2026-12-06 14:15:30 in the server's zone.
    const std::wstring line = L"GET /language.asp?lau=cn&tim=20261206141530&ver=1%2E0%2E0 HTTP/1.1";
    const struct {
        const char* name;
        std::wstring line;
        std::optional<mymd::ClockLimit> limit;
        std::wstring verdict;
    } cases[] = {
        {"no limit", line, std::nullopt, L"ok"},
        {"quoted as logged", L" \"" + line + L"\" ", std::nullopt, L"ok"},
        {"the limit behind", line, mymd::ClockLimit{{2026, 12, 6, 14, 25, 30}, 600}, L"ok"},
        {"the limit ahead", line, mymd::ClockLimit{{2026, 12, 6, 14, 5, 30}, 600}, L"ok"},
        {"a second more behind", line, mymd::ClockLimit{{2026, 12, 6, 14, 25, 31}, 600},
         L"bad: tim 20261206141530 is 601 s behind the server's time 20261206142531, expected at most 600 s"},
        {"a day ahead", line, mymd::ClockLimit{{2026, 12, 5, 14, 15, 30}, 0},
         L"bad: tim 20261206141530 is 86400 s ahead of the server's time 20261205141530, expected at most 0 s"},
    };
    for (const auto& c : cases) {
        const mymd::Verdict verdict =
            mymd::CheckLaunch(L"op.example.com", c.line, L"TavinVmc.Cet/NQWGUCSJ/RBAQIPIA", c.limit);
        EXPECT_EQ(verdict.text.substr(0, verdict.text.find(L'\n')), c.verdict) << c.name;
        EXPECT_EQ(verdict.ok, c.verdict == L"ok") << c.name;
    }
}

TEST(LaunchRequest, OperatorCheckReadsLoggedTimesStrictly)
{
    const struct {
        std::wstring text, pattern;
        bool form, valid;
    } cases[] = {
        {L"20261206141530", L"99999999999999", true, true},   {L"20280229235959", L"99999999999999", true, true},
        {L"20260229000000", L"99999999999999", true, false},  {L"00011206141530", L"99999999999999", true, true},
        {L"00001206141530", L"99999999999999", true, false},  {L"20261206240000", L"99999999999999", true, false},
        {L"2026120614153", L"99999999999999", false, false},  {L"2026120614153x", L"99999999999999", false, false},
        {L"2026-12-06 14:15:32", L"9999-99-99 99:99:99", true, true},
        {L"2026-12-06T14:15:32", L"9999-99-99 99:99:99", false, false},
    };
    for (const auto& c : cases) {
        const std::optional<vemr::LocalTime> time = mymd::ReadDateTime(c.text, c.pattern);
        EXPECT_EQ(time.has_value(), c.form) << c.text;
        EXPECT_EQ(time && mymd::IsValidDateTime(*time), c.valid) << c.text;
    }
}
