// horasync's window object driven through the platform's stand-in and a fake of its window: the
// request and its trace points, the reply that is discarded and the one that is used, retries and
// the end, ignored datagrams, the clock setting, the report, start-up and the command waits.
#include "common/digest.h"
#include "os/errors.h"
#include "common/urlencode.h"
#include "tests/unit/with_stand_in/horasync_double.h"
#include "timesync/autotime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

using namespace horasync;
using namespace horasync_test;

namespace {

constexpr int64_t kMar5 = 3918585600;   // day base of 2024-03-05

std::string Text(const std::wstring& wide) { return FakePlatform::Narrow(wide); }

std::string Text(const sntp::SystemTime& t)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.milliseconds);
    return buffer;
}

uint32_t WordAt(const std::vector<uint8_t>& packet, size_t offset)
{
    return uint32_t{packet[offset]} << 24 | uint32_t{packet[offset + 1]} << 16 | uint32_t{packet[offset + 2]} << 8 |
           uint32_t{packet[offset + 3]};
}

// The request's trace points, in the order one request writes them.
std::vector<TraceEntry> RequestTrace(const std::wstring& host, const std::wstring& counter,
                                     const std::wstring& tickOffset, const std::wstring& dayBase)
{
    return {{L"1", host},       {L"1", L"B"},        {L"2", L"B"},     {L"3", L"B"}, {L"E", counter},
            {L"F", tickOffset}, {L"G", dayBase},     {L"4", L"B"},     {L"5", L"B"}, {L"6", L"B"},
            {L"7", L"B"},       {L"8", L"B"},        {L"9", L"B"},     {L"1", L"C"}};
}

// A run whose two replies agree with the PC's clock: it loads, sets the clock, reports and ends.
void RunAgreeingExchange(FakePlatform& pc)
{
    AutoTime autotime(pc);
    autotime.Form_Load();
    pc.Arrive(pc.ReplyToLastRequest(0));
    autotime.TimeSock_DataArrival(48);
    pc.Arrive(pc.ReplyToLastRequest(0));
    EXPECT_THROW(autotime.TimeSock_DataArrival(48), ProgramEnded);
}

class Horasync : public ::testing::Test {
protected:
    FakePlatform pc;
    AutoTime autotime{pc};

    // Runs a handler; true when the program ended in it.
    template <class Handler>
    bool Ends(Handler handler)
    {
        try {
            handler();
            return false;
        } catch (const ProgramEnded&) {
            return true;
        }
    }

    void Load() { ASSERT_FALSE(Ends([&] { autotime.Form_Load(); })); }
    bool Tick() { return Ends([&] { autotime.TimeTime_Timer(); }); }

    // The server answers the last request after delayMs on the way there, its clock aheadMs ahead
    // of the PC's; the answer takes as long back. True when the program ended on it.
    bool ServerAnswers(int64_t aheadMs, int64_t delayMs = 15, size_t size = 48)
    {
        pc.Advance(delayMs);
        std::vector<uint8_t> reply = pc.ReplyToLastRequest(aheadMs, size);
        pc.Advance(delayMs);
        pc.Arrive(reply);
        return Ends([&] { autotime.TimeSock_DataArrival(static_cast<int32_t>(reply.size())); });
    }

    size_t Count(const std::wstring& call) const { return std::count(pc.log.begin(), pc.log.end(), call); }
};

} // namespace

// ---- The request -----------------------------------------------------------------------------

TEST_F(Horasync, FirstRequestWritesItsTracePointsInOrderAndStartsTheTimer)
{
    Load();
    const std::wstring server = autotime.ServerName();
    std::vector<TraceEntry> expected = {{L"0", server}};
    // 10:00:00.500 in UTC+8: 36,000,500 ms of the zone's day less the counter, 123,456,789.
    for (const TraceEntry& e : RequestTrace(server, L"123456789", L"-87456289", std::to_wstring(kMar5)))
        expected.push_back(e);
    EXPECT_EQ(pc.Trace(), expected);

    // The clock is read between ("1","B") and ("2","B"); the datagram leaves between ("9","B") and
    // ("1","C"); the timer starts after it.
    const auto at = [&](const std::wstring& entry) {
        return std::find(pc.log.begin(), pc.log.end(), entry) - pc.log.begin();
    };
    EXPECT_LT(at(L"trace 1|B"), at(L"GetSystemTime"));
    EXPECT_LT(at(L"GetSystemTime"), at(L"trace 2|B"));
    EXPECT_LT(at(L"trace 9|B"), at(L"Send"));
    EXPECT_LT(at(L"Send"), at(L"trace 1|C"));
    EXPECT_LT(at(L"trace 1|C"), at(L"timer on"));
    EXPECT_EQ(pc.sentTo, std::vector<std::wstring>{server});
    EXPECT_EQ(pc.remotePort, 123);
    EXPECT_EQ(autotime.ReplyState(), -1);
    EXPECT_TRUE(pc.timerEnabled);
}

TEST_F(Horasync, RequestCarriesTheTransmitStampOfTheClock)
{
    const struct {
        const char* what;
        int64_t pcUtcMs;
        uint32_t counter;
        int64_t msPerReading;
        uint32_t seconds;
        uint32_t fraction;
    } cases[] = {
        {"10:00:00.500 local", EpochMs(2024, 3, 5, 2, 0, 0, 500), 123456789, 0, kMar5 + 7200, 0x80000000u},
        {"03:00 local on day N, UTC 19:00 of day N-1", EpochMs(2024, 3, 4, 19, 0, 0, 0), 5000, 0, kMar5 - 18000, 0},
        {"counter past 2^31", EpochMs(2024, 3, 5, 2, 0, 0, 250), 0x90000000u, 0, kMar5 + 7200, 0x40000000u},
        // Each reading of the counter lets 40 ms pass, and it wraps on the way. After the seed's
        // reading the clock is read at .540; the seconds come from the request's third counter
        // reading (.620), the fraction from its fourth (.660).
        {"counter wrapping between readings", EpochMs(2024, 3, 5, 2, 0, 0, 500), 0xFFFFFFFFu - 50, 40,
         kMar5 + 7200, sntp::FractionWord(660)},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.pcUtcMs = c.pcUtcMs;
        pc.counter = c.counter;
        pc.msPerReading = c.msPerReading;
        AutoTime autotime(pc);
        autotime.Form_Load();
        ASSERT_EQ(pc.sent.size(), 1u) << c.what;
        const std::vector<uint8_t>& request = pc.sent[0];
        ASSERT_EQ(request.size(), 48u) << c.what;
        EXPECT_EQ(request[0], 27) << c.what;
        EXPECT_TRUE(std::all_of(request.begin() + 1, request.begin() + 40, [](uint8_t b) { return b == 0; }))
            << c.what;
        EXPECT_EQ(WordAt(request, 40), c.seconds) << c.what;
        EXPECT_EQ(WordAt(request, 44), c.fraction) << c.what;
    }
}

TEST_F(Horasync, EveryRequestGoesToTheOneChosenServer)
{
    Load();
    for (int tick = 1; tick <= 5; ++tick) {
        pc.Advance(1000);
        ASSERT_FALSE(Tick());
    }
    ASSERT_EQ(pc.sentTo.size(), 6u);
    EXPECT_TRUE(std::all_of(pc.sentTo.begin(), pc.sentTo.end(),
                            [&](const std::wstring& host) { return host == autotime.ServerName(); }));
}

TEST_F(Horasync, ServerIsChosenAtRandomFromTheFiveAndTraced)
{
    std::set<std::wstring> chosen;
    for (uint32_t run = 0; run < 200; ++run) {
        FakePlatform pc;
        pc.counter = run * 7919u;
        pc.pcUtcMs += run * 37;
        AutoTime autotime(pc);
        autotime.Form_Load();
        ASSERT_FALSE(pc.trace.empty());
        EXPECT_EQ(pc.trace[0], (TraceEntry{L"0", autotime.ServerName()}));
        chosen.insert(autotime.ServerName());
    }
    EXPECT_EQ(chosen, std::set<std::wstring>(kNtpServers.begin(), kNtpServers.end()));
}

// ---- Replies, retries and the end ------------------------------------------------------------

TEST_F(Horasync, FirstReplyIsDiscardedAndASecondRequestSent)
{
    Load();
    const size_t traced = pc.trace.size();
    ASSERT_FALSE(ServerAnswers(1500));
    EXPECT_EQ(autotime.ReplyState(), 0);
    EXPECT_TRUE(pc.clockSettings.empty());
    EXPECT_EQ(pc.sent.size(), 2u);
    ASSERT_GT(pc.trace.size(), traced + 1);
    EXPECT_EQ(pc.trace[traced], (TraceEntry{L"2", L"48"}));
    EXPECT_EQ(pc.trace[traced + 1], (TraceEntry{L"1", autotime.ServerName()}));
    EXPECT_EQ(pc.trace.back(), (TraceEntry{L"1", L"C"}));
}

TEST_F(Horasync, SecondReplySetsTheClockReportsAndEnds)
{
    Load();
    ASSERT_FALSE(ServerAnswers(1500));
    ASSERT_TRUE(ServerAnswers(1500));

    EXPECT_EQ(autotime.ReplyState(), 5);
    EXPECT_NEAR(autotime.ClockOffset(), 1.5, 1e-6);
    EXPECT_EQ(Text(pc.caption), "2024-03-05 10:00:02");
    ASSERT_EQ(pc.clockSettings.size(), 1u);
    EXPECT_EQ(Text(pc.clockSettings[0]), "2024-03-05 02:00:02.060");   // read at 02:00:00.560, + 1.5 s
    EXPECT_EQ(pc.clockSettings[0].dayOfWeek, 2);                        // as read: a Tuesday

    const size_t n = pc.trace.size();
    ASSERT_GE(n, 3u);
    EXPECT_EQ(pc.trace[n - 3], (TraceEntry{L"2", L"48"}));
    EXPECT_EQ(pc.trace[n - 2], (TraceEntry{L"3", L"rightime"}));
    EXPECT_EQ(pc.trace[n - 1], (TraceEntry{L"时间已收到", L"op.example.com"}));
    ASSERT_GE(pc.log.size(), 4u);
    EXPECT_EQ(pc.Tail(3), (std::vector<std::wstring>{L"trace 时间已收到|op.example.com", L"event:end", L"end"}))
        << "nothing between the report and the end";
    EXPECT_EQ(Count(L"SetSystemTime"), 1u);
    EXPECT_EQ(Count(L"HttpGet"), 1u);
}

TEST_F(Horasync, ReplyToALaterRequestIsUsedAndBytesAfterTheFortyEighthIgnored)
{
    Load();
    for (int tick = 1; tick <= 4; ++tick) {
        pc.Advance(1000);
        ASSERT_FALSE(Tick());
    }
    EXPECT_EQ(autotime.ReplyState(), 3);
    // Replies are not matched to requests: once a retry has left, the first reply to arrive counts.
    ASSERT_TRUE(ServerAnswers(-300, 15, 68));
    ASSERT_EQ(pc.clockSettings.size(), 1u);
    EXPECT_NEAR(autotime.ClockOffset(), -0.3, 1e-6);
    EXPECT_EQ(pc.sent.size(), 5u);
}

TEST_F(Horasync, WithoutAUsableReplyTheRunEndsOnItsTimer)
{
    const struct {
        const char* what;
        bool firstReplyOnly;
        int endTick;
    } cases[] = {
        {"no reply at all: requests at start-up and ticks 1 to 5", false, 6},
        {"only the first request answered: requests after it at ticks 1 to 4", true, 5},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        AutoTime autotime(pc);
        autotime.Form_Load();
        if (c.firstReplyOnly) {
            pc.Advance(20);
            pc.Arrive(pc.ReplyToLastRequest(0));
            autotime.TimeSock_DataArrival(48);
        }
        int tick = 0;
        bool ended = false;
        while (!ended && tick < 10) {
            pc.Advance(1000);
            ++tick;
            try {
                autotime.TimeTime_Timer();
            } catch (const ProgramEnded&) {
                ended = true;
            }
        }
        EXPECT_TRUE(ended) << c.what;
        EXPECT_EQ(tick, c.endTick) << c.what;
        EXPECT_EQ(pc.sent.size(), 6u) << c.what;
        EXPECT_FALSE(pc.timerEnabled) << c.what;
        ASSERT_GE(pc.log.size(), 2u);
        EXPECT_EQ(pc.Tail(3), (std::vector<std::wstring>{L"timer off", L"event:end", L"end"})) << c.what;
        EXPECT_TRUE(pc.clockSettings.empty()) << c.what;
        EXPECT_TRUE(pc.httpRequests.empty()) << c.what;
    }
}

TEST_F(Horasync, DatagramsNotFromTheServerOrTooShortAreIgnored)
{
    const struct {
        const char* what;
        std::string address;
        uint16_t port;
        size_t size;
    } cases[] = {
        {"reply from another address", "127.0.0.2", 123, 48},
        {"reply from another port", "127.0.0.1", 1123, 48},
        {"reply of 40 bytes", "127.0.0.1", 123, 40},
        {"empty datagram", "127.0.0.1", 123, 0},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        AutoTime autotime(pc);
        autotime.Form_Load();
        // First an ignored answer to the first request, then a good first reply, then ignored
        // answers to every later request: nothing is ever used.
        for (int round = 0; round < 2; ++round) {
            pc.Advance(20);
            const size_t traced = pc.trace.size();
            const int16_t state = autotime.ReplyState();
            pc.Arrive(pc.ReplyToLastRequest(2000, c.size), c.address, c.port);
            autotime.TimeSock_DataArrival(static_cast<int32_t>(c.size));
            EXPECT_EQ(pc.trace.size(), traced) << c.what << ": traced as if it had arrived";
            EXPECT_EQ(autotime.ReplyState(), state) << c.what;
            EXPECT_TRUE(pc.waiting.empty()) << c.what << ": not taken from the socket";
            if (round == 0) {
                pc.Arrive(pc.ReplyToLastRequest(2000));
                autotime.TimeSock_DataArrival(48);
                EXPECT_EQ(autotime.ReplyState(), 0) << c.what;
            }
        }
        EXPECT_TRUE(pc.clockSettings.empty()) << c.what;
        EXPECT_EQ(pc.caption, L"AutoTime") << c.what;
        EXPECT_FALSE(pc.Ended()) << c.what;
    }
}

TEST_F(Horasync, RepliesThatCannotSetTheClockAreDroppedAndTheRetriesGoOn)
{
    using Spoil = void (*)(std::vector<uint8_t>&);
    const struct {
        const char* what;
        Spoil spoil;
    } cases[] = {
        {"kiss-o'-death: stratum 0", [](std::vector<uint8_t>& r) { r[1] = 0; }},
        {"stratum 16: unsynchronised", [](std::vector<uint8_t>& r) { r[1] = 16; }},
        {"leap indicator 3: alarm", [](std::vector<uint8_t>& r) { r[0] = 0xDC; }},
        {"mode 3: a client's request", [](std::vector<uint8_t>& r) { r[0] = 0x1B; }},
        {"mode 5: broadcast", [](std::vector<uint8_t>& r) { r[0] = 0x1D; }},
        {"no transmit stamp", [](std::vector<uint8_t>& r) { std::fill(r.begin() + 40, r.end(), 0); }},
        {"all zeros", [](std::vector<uint8_t>& r) { std::fill(r.begin(), r.end(), 0); }},
        {"all ones", [](std::vector<uint8_t>& r) { std::fill(r.begin(), r.end(), 0xFF); }},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        AutoTime autotime(pc);
        autotime.Form_Load();
        // A spoilt first reply does not count as the first; a spoilt later one sets nothing.
        for (const int16_t state : {-1, 0}) {
            pc.Advance(20);
            std::vector<uint8_t> spoilt = pc.ReplyToLastRequest(-7200 * 1000);
            c.spoil(spoilt);
            const size_t sent = pc.sent.size();
            pc.Arrive(spoilt);
            autotime.TimeSock_DataArrival(48);
            EXPECT_EQ(autotime.ReplyState(), state) << c.what;
            EXPECT_EQ(pc.sent.size(), sent) << c.what << ": answered with a request";
            EXPECT_TRUE(pc.waiting.empty()) << c.what << ": not taken from the socket";
            if (state < 0) {
                pc.Arrive(pc.ReplyToLastRequest(0));
                autotime.TimeSock_DataArrival(48);
            }
        }
        EXPECT_TRUE(pc.clockSettings.empty()) << c.what;
        EXPECT_EQ(pc.caption, L"AutoTime") << c.what;
        // The server's next good reply is used as usual.
        pc.Advance(20);
        pc.Arrive(pc.ReplyToLastRequest(1500));
        EXPECT_TRUE(Ends([&] { autotime.TimeSock_DataArrival(48); })) << c.what;
        ASSERT_EQ(pc.clockSettings.size(), 1u) << c.what;
        EXPECT_NEAR(autotime.ClockOffset(), 1.5, 0.05) << c.what;   // the request left 40 ms before
    }
}

TEST_F(Horasync, ReplyFromAnyAddressTheServerNameGaveIsAccepted)
{
    Load();                                              // the first request went to 127.0.0.1
    pc.addresses[autotime.ServerName()] = "10.1.1.2";   // the name now resolves elsewhere
    pc.Arrive(pc.ReplyToLastRequest(0), "127.0.0.1");
    autotime.TimeSock_DataArrival(48);                  // discarded; the second request goes to 10.1.1.2
    EXPECT_EQ(autotime.ReplyState(), 0);
    EXPECT_EQ(pc.sent.size(), 2u);
    pc.Advance(10);
    pc.Arrive(pc.ReplyToLastRequest(0), "10.1.1.2");
    EXPECT_TRUE(Ends([&] { autotime.TimeSock_DataArrival(48); }));
    EXPECT_EQ(pc.clockSettings.size(), 1u);
}

TEST_F(Horasync, ServerTimeInTheTwentyThirdOrZeroHourEndsWithoutSetting)
{
    const struct {
        int utcHour, utcMinute, utcSecond;
        const char* caption;
        bool set;
    } cases[] = {
        {14, 59, 59, "2024-03-05 22:59:59", true},
        {15, 0, 0, "2024-03-05 23:00:00", false},
        {15, 59, 59, "2024-03-05 23:59:59", false},
        {16, 0, 0, "2024-03-06 00:00:00", false},
        {16, 59, 59, "2024-03-06 00:59:59", false},
        {17, 0, 0, "2024-03-06 01:00:00", true},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.pcUtcMs = EpochMs(2024, 3, 5, c.utcHour, c.utcMinute, c.utcSecond, 0);
        AutoTime autotime(pc);
        autotime.Form_Load();
        pc.Advance(15);
        pc.Arrive(pc.ReplyToLastRequest(0));
        pc.Advance(15);
        autotime.TimeSock_DataArrival(48);
        pc.Advance(15);
        pc.Arrive(pc.ReplyToLastRequest(0));
        pc.Advance(15);
        try {
            autotime.TimeSock_DataArrival(48);
        } catch (const ProgramEnded&) {
        }
        EXPECT_TRUE(pc.Ended()) << c.caption;
        EXPECT_EQ(Text(pc.caption), c.caption);
        EXPECT_EQ(pc.clockSettings.size(), c.set ? 1u : 0u) << c.caption;
        EXPECT_EQ(pc.httpRequests.size(), c.set ? 1u : 0u) << c.caption;
        if (!c.set) {
            EXPECT_EQ(pc.trace.back(), (TraceEntry{L"2", L"48"})) << c.caption;
        }
    }
}

TEST_F(Horasync, RefusedClockSettingSendsNoReport)
{
    pc.setTimeSucceeds = false;
    Load();
    ASSERT_FALSE(ServerAnswers(7200000));
    ASSERT_TRUE(ServerAnswers(7200000));
    EXPECT_EQ(pc.clockSettings.size(), 1u);
    EXPECT_TRUE(pc.httpRequests.empty());
    EXPECT_EQ(pc.trace.back(), (TraceEntry{L"3", L"rightime"}));
    EXPECT_EQ(pc.Tail(2), (std::vector<std::wstring>{L"event:end", L"end"}));
}

TEST_F(Horasync, WholeDaysOfOffsetAreDroppedAndTheDateComesFromTheServer)
{
    pc.pcUtcMs = EpochMs(2024, 3, 7, 2, 0, 0, 0);   // the PC is two days and 30 s ahead
    Load();
    const int64_t ahead = -(2 * 86400000LL + 30000);
    ASSERT_FALSE(ServerAnswers(ahead));
    ASSERT_TRUE(ServerAnswers(ahead));
    ASSERT_EQ(pc.clockSettings.size(), 1u);
    EXPECT_EQ(Text(pc.clockSettings[0]), "2024-03-05 01:59:30.060");
}

TEST_F(Horasync, FailuresOfTheSocketEndTheRun)
{
    {
        FakePlatform pc;
        for (const wchar_t* name : kNtpServers) pc.unresolvable.insert(name);
        AutoTime autotime(pc);
        EXPECT_THROW(autotime.Form_Load(), ProgramEnded);
        ASSERT_GE(pc.trace.size(), 2u);
        EXPECT_EQ(pc.trace[pc.trace.size() - 2], (TraceEntry{L"9", L"B"}));
        EXPECT_EQ(pc.trace.back(), (TraceEntry{L"2", L"C"}));
        EXPECT_FALSE(pc.timerEnabled);
    }
    {
        FakePlatform pc;
        pc.socketOpens = false;
        AutoTime autotime(pc);
        EXPECT_THROW(autotime.Form_Load(), ProgramEnded);
        EXPECT_TRUE(pc.sent.empty());
    }
    {
        FakePlatform pc;
        AutoTime autotime(pc);
        autotime.Form_Load();
        pc.Arrive(pc.ReplyToLastRequest(0));
        pc.readFails = true;
        EXPECT_THROW(autotime.TimeSock_DataArrival(48), ProgramEnded);
    }
    {
        FakePlatform pc;
        AutoTime autotime(pc);
        autotime.Form_Load();
        EXPECT_THROW(autotime.TimeSock_Error(), ProgramEnded);
        EXPECT_TRUE(pc.clockSettings.empty());
    }
}

TEST_F(Horasync, AnErrorThatReachesAnEventEndsTheRunWithCodeOneAndNoBox)
{
    EXPECT_THROW(RunHandler([] { throw PlatformError("recvfrom", 10054); }), ProgramEnded);
    EXPECT_EQ(fakeos::ExitCode(), 1);
    EXPECT_EQ(fakeos::ReportText(), L"") << "a box would wait for a user";
    EXPECT_TRUE(pc.trace.empty());
}

// ---- The report ------------------------------------------------------------------------------

TEST_F(Horasync, ReportAddressIsExactAndSigned)
{
    pc.pcUtcMs = EpochMs(2024, 3, 5, 1, 7, 2, 100);   // 09:07:02 in UTC+8
    pc.SetArguments(L"op.example.com:8080");
    Load();
    ASSERT_FALSE(ServerAnswers(0));
    ASSERT_TRUE(ServerAnswers(0));
    ASSERT_EQ(Text(pc.caption), "2024-03-05 09:07:02");
    const std::wstring server = autotime.ServerName();
    std::wstring clb;
    for (const wchar_t c : server) clb += c == L'.' ? std::wstring(L"%2E") : std::wstring(1, c);
    ASSERT_EQ(GetUrlEnCode(server), clb);
    ASSERT_EQ(pc.httpRequests.size(), 1u);
    EXPECT_EQ(pc.httpRequests[0], L"http://op.example.com:8080/gmtime.asp?tim=2024%2D03%2D05+09%3A07%3A02&clb=" + clb +
                                      L"&sgn=" + MyMd(L"2024-03-05 09:07:02" + server));
}

TEST_F(Horasync, CommandLineWithoutADotSendsNoReport)
{
    for (const wchar_t* commandLine : {L"", L"localhost", L"op-example-com"}) {
        FakePlatform pc;
        pc.SetArguments(commandLine);
        RunAgreeingExchange(pc);
        EXPECT_EQ(pc.clockSettings.size(), 1u);
        EXPECT_TRUE(pc.httpRequests.empty()) << Text(commandLine);
        EXPECT_EQ(pc.trace.back(), (TraceEntry{L"3", L"rightime"})) << Text(commandLine);
    }
}

TEST_F(Horasync, AnswerIsTracedWhateverItIs)
{
    const struct {
        const char* what;
        std::optional<std::string> body;
        std::wstring traced;
    } cases[] = {
        {"no answer (host unreachable): empty position field", std::nullopt, L""},
        {"an error page's body", std::string("<h1>404</h1>"), L"<h1>404</h1>"},
        {"GB2312 text", std::string("\xd6\xd0\xce\xc4"), L"中文"},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.httpBody = c.body;
        RunAgreeingExchange(pc);
        EXPECT_EQ(pc.trace.back(), (TraceEntry{c.traced, L"op.example.com"})) << c.what;
    }
    FakePlatform pc;
    pc.httpBody = std::nullopt;
    AutoTime autotime(pc);
    autotime.UpTime();
    const std::string& file = pc.files.begin()->second;
    EXPECT_NE(file.find("\t\top.example.com\r\n"), std::string::npos) << "two tabs in a row";
}

TEST_F(Horasync, UnknownCharacterSetGivesEmptyText)
{
    EXPECT_EQ(autotime.BytesToStr("abc", L"no-such-set"), L"");
    EXPECT_EQ(autotime.BytesToStr("abc", L"GB2312"), L"abc");
    pc.httpBody = std::nullopt;
    EXPECT_EQ(autotime.QuickPage(L"http://x.y/", L"", L"GB2312"), L"");
}

// ---- The trace -------------------------------------------------------------------------------

TEST_F(Horasync, TraceLineIsDateTimeTabPositionTabMessage)
{
    autotime.TavinDebug(L"0", L"cn.pool.ntp.org");
    ASSERT_EQ(pc.files.size(), 1u);
    const auto& [path, bytes] = *pc.files.begin();
    EXPECT_GE(path.size(), 15u);
    EXPECT_EQ(path.substr(path.size() - 15), L"\\TavinDebug.txt");
    EXPECT_EQ(bytes, "2024-03-05 10:00:00\t0\tcn.pool.ntp.org\r\n");
}

TEST_F(Horasync, CtrlZInATracedTextIsReplaced)
{
    autotime.TavinDebug(L"a\x1a", L"b\x1a\x1a" L"c");
    ASSERT_EQ(pc.files.size(), 1u);
    // "{{中断}}" in the ANSI code page (GBK): 中 D6 D0, 断 B6 CF.
    EXPECT_EQ(pc.files.begin()->second,
              "2024-03-05 10:00:00\ta{{\xd6\xd0\xb6\xcf}}\tb{{\xd6\xd0\xb6\xcf}}{{\xd6\xd0\xb6\xcf}}c\r\n");
    EXPECT_EQ(ReplaceCtrlZ(L"\x1a"), L"{{中断}}");
    EXPECT_EQ(ReplaceCtrlZ(L"plain"), L"plain");
}

TEST_F(Horasync, TraceWriteIsRetriedWithEventsLetRunBetween)
{
    int refusals = 5;
    pc.writeFails = [&](const std::wstring&) { return refusals-- > 0; };
    EXPECT_TRUE(autotime.SaveStrToFile(L"line", L"C:\\prog\\t.txt", true));
    EXPECT_EQ(pc.Pumps(), 5);
    EXPECT_EQ(pc.files[L"C:\\prog\\t.txt"], "line\r\n");

    const int pumps = pc.Pumps();
    pc.writeFails = [](const std::wstring&) { return true; };
    EXPECT_FALSE(autotime.SaveStrToFile(L"lost", L"C:\\prog\\t.txt", true));
    EXPECT_EQ(pc.Pumps() - pumps, 1000);

    // A trace that cannot be written costs the line, never the run.
    Load();
    EXPECT_FALSE(pc.Ended());
    EXPECT_EQ(pc.sent.size(), 1u);
}

// ---- Start-up --------------------------------------------------------------------------------

TEST_F(Horasync, StartUpChecksTheRightToSetTheClockFromVistaOn)
{
    const struct {
        int16_t osMajor;
        bool dateCanBeSet;
        bool ends;
        bool dateSet;
    } cases[] = {
        {5, false, false, false},   // XP: not asked
        {6, false, true, true},
        {6, true, false, true},
        {10, false, true, true},
        {10, true, false, true},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.osMajor = c.osMajor;
        pc.setDateSucceeds = c.dateCanBeSet;
        pc.SetMarker(L"30123.45");
        AutoTime autotime(pc);
        bool ended = false;
        try {
            autotime.Form_Initialize();
        } catch (const ProgramEnded&) {
            ended = true;
        }
        EXPECT_EQ(ended, c.ends) << c.osMajor << " " << c.dateCanBeSet;
        EXPECT_EQ(std::count(pc.log.begin(), pc.log.end(), L"SetLocalDate 2024-3-5") == 1, c.dateSet) << c.osMajor;
        if (c.dateSet) {   // the one reading written back whole: never yesterday's date with today's time
            const LocalDateTime now = pc.LocalNow(), w = pc.clocksWritten.at(0);
            EXPECT_EQ(std::tie(w.hour, w.minute, w.second, w.milliseconds),
                      std::tie(now.hour, now.minute, now.second, now.milliseconds));
        }
        EXPECT_TRUE(pc.trace.empty()) << "nothing traced at start-up";
        EXPECT_TRUE(pc.startedCommands.empty());
    }
}

TEST_F(Horasync, LoadingSetsADateBeforeTwoThousandToItsFirstDay)
{
    const struct {
        int64_t pcUtcMs;
        bool set;
    } cases[] = {
        {EpochMs(1999, 12, 31, 4, 0, 0, 0), true},   // 12:00 local on 1999-12-31
        {EpochMs(1999, 12, 31, 16, 0, 0, 0), false},   // 00:00 local on 2000-01-01
        {EpochMs(1980, 1, 1, 4, 0, 0, 0), true},
        {EpochMs(2024, 3, 5, 2, 0, 0, 0), false},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.pcUtcMs = c.pcUtcMs;
        AutoTime autotime(pc);
        autotime.Form_Load();
        const auto set = std::find(pc.log.begin(), pc.log.end(), L"SetLocalDate 2000-1-1");
        EXPECT_EQ(set != pc.log.end(), c.set) << c.pcUtcMs;
        if (c.set) {
            EXPECT_LT(set - pc.log.begin(), std::find(pc.log.begin(), pc.log.end(), L"OpenSocket") - pc.log.begin());
            EXPECT_EQ(pc.clocksWritten.at(0).hour, pc.LocalNow().hour) << "the time of day stays";
        }
    }
}

// ---- WaitShell -------------------------------------------------------------------------------

TEST_F(Horasync, WaitShellAnswersWithItsFourCodes)
{
    const struct {
        const char* what;
        bool starts;
        bool watchable;
        int pollsUntilExit;
        bool QzEndIt;
        int16_t result;
        bool fullAccessOpened;
        int terminated;
    } cases[] = {
        {"ends at once", true, true, 0, false, 0, false, 0},
        {"ends within the time", true, true, 6, true, 0, false, 0},
        {"cannot be started", false, true, 0, false, 1, false, 0},
        {"cannot be watched", true, false, 100000, false, 0, false, 0},
        {"still running, left running", true, true, 100000, false, 2, true, 0},
        {"still running, terminated", true, true, 100000, true, 3, true, 1},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        pc.startedProcessId = c.starts ? std::optional<uint32_t>(77) : std::nullopt;
        pc.processCanBeWatched = c.watchable;
        pc.pollsUntilExit = c.pollsUntilExit;
        pc.msPerPoll = 300;   // each pass of the loop: one exit-code reading, one pump, 0.3 s
        AutoTime autotime(pc);
        EXPECT_EQ(autotime.WaitShell(L"C:\\windows\\system32\\Regsvr32.exe /s x", 2, c.QzEndIt), c.result) << c.what;
        EXPECT_EQ(std::count(pc.log.begin(), pc.log.end(), L"OpenProcess 2035711") == 1, c.fullAccessOpened) << c.what;
        EXPECT_EQ(pc.terminated, c.terminated) << c.what;
        if (c.starts) {
            EXPECT_EQ(std::count(pc.log.begin(), pc.log.end(), L"OpenProcess 1024"), 1) << c.what;
        }
    }
}

TEST_F(Horasync, WaitShellWaitsUntilMoreThanMaxSecondWholeSecondsHavePassed)
{
    pc.pollsUntilExit = 1000000;
    pc.msPerPoll = 100;
    pc.pcUtcMs = EpochMs(2024, 3, 5, 2, 0, 0, 0);
    EXPECT_EQ(autotime.WaitShell(L"x", 3, false), kShellLeftRunning);
    EXPECT_EQ(pc.Pumps(), 40);   // 4 whole seconds: more than 3
    EXPECT_EQ(pc.waits, 40);   // each pass asleep on the process first, never longer than 0.1 s
    EXPECT_EQ(pc.longestWaitMs, 100u);
}
