// The scripted PC of horasync's tests: a recording double of its window (caption and timer), and the
// platform's stand-in, reached through the fields below, which are the stand-in's own state: a PC
// clock that moves only when a test says so, a socket whose sent datagrams are kept and whose
// arrivals are queued by the test, files and settings in memory, processes that run for a given
// number of polls, and an end of the program that throws ProgramEnded so a test sees where the
// run ended and that nothing ran after it. Constructing one starts the stand-in afresh.
#pragma once
#include "tests/unit/stand_in/program_ended.h"
#include "os/ansi.h"
#include "os/clock.h"
#include "os/settings.h"
#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/stand_in/stand_in_net.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_processes.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "timesync/autotime.h"
#include "timesync/autotime_window.h"
#include "timesync/sntp.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace horasync_test {

using fakeos::EpochMs;
using horasync::LocalDateTime;

// One trace line as written, without its date and time.
struct TraceEntry {
    std::wstring pos;
    std::wstring msg;
    bool operator==(const TraceEntry& other) const { return pos == other.pos && msg == other.msg; }
};

class FakePlatform : public horasync::AutoTimeWindow {
public:
    FakePlatform()
    {
        fakeos::Reset(L"C:\\prog");
        fakeos::PutFolder(L"C:\\prog");
        fakeos::PutFolder(L"C:\\windows");
        fakeos::PutFolder(L"C:\\windows\\system32");
        fakeos::SetSystemDirectory(L"C:\\windows\\system32");
        SetArguments(L"op.example.com");
        fakeos::Clock() = {};
        fakeos::Net() = {};
        fakeos::Net().httpBody = std::string("\xca\xb1\xbc\xe4\xd2\xd1\xca\xd5\xb5\xbd");   // 时间已收到
        fakeos::Processes() = {};
        fakeos::Writes() = {};
        fakeos::Writes().written = [this](const std::wstring& path, const std::string& bytes, bool append) {
            Store(path, bytes, append);
        };
    }
    ~FakePlatform() override { fakeos::Writes().written = nullptr; }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // ---- What the test sets up --------------------------------------------------------------
    int64_t& pcUtcMs = fakeos::Clock().utcMs;                    // 10:00:00.500 in UTC+8
    int64_t& localZoneMs = fakeos::Clock().zoneMs;               // the PC keeps UTC+8
    uint32_t& counter = fakeos::Clock().counter;                 // the millisecond counter
    int64_t& msPerReading = fakeos::Clock().msPerReading;        // how far each counter reading moves time on
    std::map<std::wstring, std::string>& addresses = fakeos::Net().addresses;   // (default all: 127.0.0.1)
    std::set<std::wstring>& unresolvable = fakeos::Net().unresolvable;
    bool& socketOpens = fakeos::Net().socketOpens;
    bool& readFails = fakeos::Net().readFails;
    bool& setTimeSucceeds = fakeos::Clock().utcSetSucceeds;
    bool& setDateSucceeds = fakeos::Clock().localSetSucceeds;
    std::vector<LocalDateTime>& clocksWritten = fakeos::Clock().localWritten;   // what SetLocalClock was given
    std::optional<std::string>& httpBody = fakeos::Net().httpBody;
    int& osMajor = fakeos::Processes().osMajor;
    std::function<bool(const std::wstring&)>& writeFails = fakeos::Writes().fails;   // files that cannot be written now
    std::optional<uint32_t>& startedProcessId = fakeos::Processes().startedProcessId;   // nothing: cannot start
    int& pollsUntilExit = fakeos::Processes().pollsUntilExit;   // exit-code readings that still say 259
    bool& processCanBeWatched = fakeos::Processes().canBeWatched;
    int64_t& msPerPoll = fakeos::Processes().msPerWait;         // time that passes at each wait on a process

    // The argument part of the command line.
    void SetArguments(const std::wstring& arguments) { fakeos::SetCommandLine(L"C:\\prog\\horasync.exe " + arguments); }
    // The first-run marker in the settings store.
    void SetMarker(const std::wstring& value) { os::SaveSetting(L"exeapi", L"AutoTime", L"firstrun", value); }

    // ---- What the program did ----------------------------------------------------------------
    std::vector<std::wstring>& log = fakeos::Journal();   // every platform call and event of note, in order
    std::vector<TraceEntry> trace;
    std::map<std::wstring, std::string> files;          // what was written, file by file
    std::vector<std::vector<uint8_t>>& sent = fakeos::Net().sent;
    std::vector<std::wstring>& sentTo = fakeos::Net().sentTo;
    std::deque<std::pair<std::vector<uint8_t>, std::pair<std::string, uint16_t>>>& waiting = fakeos::Net().waiting;
    std::vector<sntp::SystemTime>& clockSettings = fakeos::Clock().utcWritten;
    std::vector<std::wstring>& httpRequests = fakeos::Net().httpRequests;
    std::wstring caption = L"AutoTime";
    std::vector<std::wstring>& startedCommands = fakeos::Processes().started;
    bool timerEnabled = false;
    int& terminated = fakeos::Processes().terminated;
    int& waits = fakeos::Processes().waits;   // sleeps on a watched process, and the longest
    uint32_t& longestWaitMs = fakeos::Processes().longestWaitMs;
    std::wstring& remoteHost = fakeos::Net().remoteHost;
    uint16_t& remotePort = fakeos::Net().remotePort;

    bool Ended() const { return std::find(log.begin(), log.end(), L"event:end") != log.end(); }
    // The last `n` lines of the log.
    std::vector<std::wstring> Tail(size_t n) const { return {log.end() - std::min(n, log.size()), log.end()}; }
    int Pumps() const { return fakeos::PumpCount(); }
    // The first-run marker; nothing when it is missing.
    std::optional<std::wstring> Marker() const
    {
        const std::wstring missing = L"\x1";
        const std::wstring value = os::GetSetting(L"exeapi", L"AutoTime", L"firstrun", missing);
        return value == missing ? std::nullopt : std::optional<std::wstring>(value);
    }
    LocalDateTime LocalNow() const { return os::LocalNow(); }

    // ---- Helpers for the tests ---------------------------------------------------------------
    void Advance(int64_t ms) { fakeos::AdvanceClock(ms); }

    // Queues a datagram as if it had arrived from address:port.
    void Arrive(std::vector<uint8_t> bytes, std::string address = "127.0.0.1", uint16_t port = 123)
    {
        waiting.push_back({std::move(bytes), {std::move(address), port}});
    }

    // A server's reply to the last request: our transmit stamp echoed, then its receive and transmit
    // stamps, from a clock `serverAheadMs` ahead of the PC's.
    std::vector<uint8_t> ReplyToLastRequest(int64_t serverAheadMs, size_t size = 48) const
    {
        std::vector<uint8_t> reply(48, 0);
        reply[0] = 0x1C;   // no leap warning, version 3, server
        reply[1] = 2;      // stratum
        const std::vector<uint8_t>& request = sent.back();
        for (size_t i = 0; i < 8; ++i) reply[24 + i] = request[40 + i];
        const int64_t serverMs = pcUtcMs + serverAheadMs;
        const uint32_t seconds = static_cast<uint32_t>(serverMs / 1000);
        const uint32_t fraction = sntp::FractionWord(static_cast<int32_t>(serverMs % 1000));
        for (const size_t at : {size_t{32}, size_t{40}}) {
            for (int i = 0; i < 4; ++i) {
                reply[at + i] = static_cast<uint8_t>(seconds >> (24 - 8 * i));
                reply[at + 4 + i] = static_cast<uint8_t>(fraction >> (24 - 8 * i));
            }
        }
        reply.resize(size);   // shorter replies lose their tail, longer ones carry zeros after it
        return reply;
    }

    // ---- The window ----------------------------------------------------------------------------
    void SetCaption(const std::wstring& text) override { caption = text; }
    void EnableTimer(bool enabled) override
    {
        log.push_back(enabled ? L"timer on" : L"timer off");
        timerEnabled = enabled;
    }

    // The trace points written so far, without dates.
    std::vector<TraceEntry> Trace() const { return trace; }

    static std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }

private:
    // Keeps what was written, and the trace point it carries.
    void Store(const std::wstring& path, const std::string& bytes, bool append)
    {
        if (!append) files[path].clear();
        files[path] += bytes;
        RecordTrace(bytes);
    }

    // A written line "date time<TAB>pos<TAB>msg<CR><LF>" as a trace entry.
    void RecordTrace(const std::string& bytes)
    {
        const std::wstring line = FromAnsi(bytes);
        const size_t first = line.find(L'\t');
        const size_t second = first == std::wstring::npos ? first : line.find(L'\t', first + 1);
        if (second == std::wstring::npos) return;
        std::wstring msg = line.substr(second + 1);
        if (msg.size() >= 2 && msg.compare(msg.size() - 2, 2, L"\r\n") == 0) msg.resize(msg.size() - 2);
        trace.push_back({line.substr(first + 1, second - first - 1), msg});
        log.push_back(L"trace " + trace.back().pos + L"|" + trace.back().msg);
    }
};

} // namespace horasync_test
