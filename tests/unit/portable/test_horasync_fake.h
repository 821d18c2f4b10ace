// A scripted stand-in for horasync's platform: a PC clock that moves only when a test says so, a
// socket whose sent datagrams are kept and whose arrivals are queued by the test, files and
// settings in memory, processes that run for a given number of polls, and an end of the program
// that throws ProgramEnded so a test sees where the run ended and that nothing ran after it.
#pragma once
#include "tests/unit/portable/program_ended.h"
#include "common/ansi.h"
#include "timesync/autotime.h"
#include "timesync/autotime_platform.h"
#include "timesync/sntp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace horasync_test {

using horasync::LocalDateTime;
using horasync::WaitingDatagram;

// Milliseconds since 1900-01-01 00:00 of a calendar date and time.
inline int64_t EpochMs(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return (sntp::DayBase(year, month, day) + hour * 3600 + minute * 60 + second) * 1000 + ms;
}

// One trace line as written, without its date and time.
struct TraceEntry {
    std::wstring pos;
    std::wstring msg;
    bool operator==(const TraceEntry& other) const { return pos == other.pos && msg == other.msg; }
};

class FakePlatform : public horasync::AutoTimePlatform {
public:
    // ---- What the test sets up --------------------------------------------------------------
    int64_t pcUtcMs = EpochMs(2024, 3, 5, 2, 0, 0, 500);   // the PC's UTC clock: 10:00:00.500 in UTC+8
    int64_t localZoneMs = 8 * 3600 * 1000;                  // the PC keeps UTC+8
    uint32_t counter = 123456789;                            // the millisecond counter
    int64_t msPerReading = 0;                                // how far each counter reading moves time on
    std::map<std::wstring, std::string> addresses;           // host names that resolve (default all: 127.0.0.1)
    std::set<std::wstring> unresolvable;
    bool socketOpens = true;
    bool readFails = false;
    bool setTimeSucceeds = true;
    bool setDateSucceeds = true;
    std::vector<LocalDateTime> clocksWritten;   // what SetLocalClock was given
    std::optional<std::string> httpBody = std::string("\xca\xb1\xbc\xe4\xd2\xd1\xca\xd5\xb5\xbd");   // 时间已收到
    std::wstring commandLine = L"op.example.com";
    int16_t osMajor = 10;
    bool copySucceeds = true;
    std::function<void()> onPump;                            // events that run while a wait lets them
    std::function<bool(const std::wstring&)> writeFails;     // files that cannot be written now
    std::map<std::wstring, std::wstring> settings;           // "application\section\key" -> value
    std::optional<uint32_t> startedProcessId = 4242;         // nothing: the command cannot be started
    int pollsUntilExit = 0;                                  // exit-code readings that still say 259
    bool processCanBeWatched = true;
    int64_t msPerPoll = 0;                                   // time that passes at each pump

    // ---- What the program did ----------------------------------------------------------------
    std::vector<std::string> log;                            // every platform call of note, in order
    std::vector<TraceEntry> trace;
    std::map<std::wstring, std::string> files;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::wstring> sentTo;
    std::deque<std::pair<std::vector<uint8_t>, std::pair<std::string, uint16_t>>> waiting;
    std::vector<sntp::SystemTime> clockSettings;
    std::vector<std::wstring> httpRequests;
    std::wstring caption = L"AutoTime";
    std::vector<std::wstring> startedCommands;
    bool timerEnabled = false;
    bool ended = false;
    int pumps = 0;
    int terminated = 0;
    int waits = 0;                                           // sleeps on a watched process, and the longest
    uint32_t longestWaitMs = 0;
    std::wstring remoteHost;
    uint16_t remotePort = 0;

    // ---- Helpers for the tests ---------------------------------------------------------------
    void Advance(int64_t ms)
    {
        pcUtcMs += ms;
        counter += static_cast<uint32_t>(ms);
    }

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

    std::string SettingKey(const std::wstring& a, const std::wstring& s, const std::wstring& k) const
    {
        return std::string(a.begin(), a.end()) + "\\" + std::string(s.begin(), s.end()) + "\\" +
               std::string(k.begin(), k.end());
    }

    // ---- The platform --------------------------------------------------------------------------
    sntp::SystemTime GetSystemTime() override
    {
        log.push_back("GetSystemTime");
        return ToSystemTime(pcUtcMs);
    }
    bool SetSystemTime(const sntp::SystemTime& time) override
    {
        log.push_back("SetSystemTime");
        clockSettings.push_back(time);
        return setTimeSucceeds;
    }
    uint32_t timeGetTime() override
    {
        const uint32_t now = counter;
        Advance(msPerReading);
        return now;
    }
    LocalDateTime LocalNow() override
    {
        const int64_t local = pcUtcMs + localZoneMs;
        const int64_t seconds = FloorDiv(local, 1000);
        const sntp::ZoneTime t = sntp::ServerZoneTime(static_cast<double>(seconds - sntp::ZoneSeconds));
        return {t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int>(local - seconds * 1000)};
    }
    bool SetLocalClock(const LocalDateTime& t) override
    {
        log.push_back("SetLocalDate " + std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day));
        clocksWritten.push_back(t);
        return setDateSucceeds;
    }

    bool OpenSocket() override
    {
        log.push_back("OpenSocket");
        return socketOpens;
    }
    void SetRemote(const std::wstring& host, uint16_t port) override
    {
        remoteHost = host;
        remotePort = port;
    }
    std::optional<std::string> Send(const std::vector<uint8_t>& bytes) override
    {
        log.push_back("Send");
        if (unresolvable.count(remoteHost) || remotePort != 123) return std::nullopt;
        sent.push_back(bytes);
        sentTo.push_back(remoteHost);
        const auto found = addresses.find(remoteHost);
        return found == addresses.end() ? std::string("127.0.0.1") : found->second;
    }
    bool PeekDatagram(WaitingDatagram& datagram) override
    {
        if (readFails || waiting.empty()) return false;
        datagram.size = waiting.front().first.size();
        datagram.address = waiting.front().second.first;
        datagram.port = waiting.front().second.second;
        return true;
    }
    bool ReadDatagram(std::vector<uint8_t>& bytes) override
    {
        log.push_back("ReadDatagram");
        if (readFails || waiting.empty()) return false;
        bytes = waiting.front().first;
        waiting.pop_front();
        return true;
    }
    void EnableTimer(bool enabled) override
    {
        log.push_back(enabled ? "timer on" : "timer off");
        timerEnabled = enabled;
    }

    std::optional<std::string> HttpGet(const std::wstring& url, const std::wstring&) override
    {
        log.push_back("HttpGet");
        httpRequests.push_back(url);
        return httpBody;
    }
    std::optional<std::wstring> DecodeText(const std::string& bytes, const std::wstring& charset) override
    {
        if (charset != L"GB2312") return std::nullopt;
        return FromAnsi(bytes);   // GB2312 is a part of the test PC's code page 936
    }
    std::wstring CommandLine() override { return commandLine; }
    void SetCaption(const std::wstring& text) override { caption = text; }

    bool WriteToFile(const std::wstring& path, const std::string& bytes, bool append) override
    {
        if (writeFails && writeFails(path)) return false;
        Store(path, bytes, append);
        return true;
    }
    // Keeps what was written, and the trace point it carries.
    void Store(const std::wstring& path, const std::string& bytes, bool append)
    {
        if (!append) files[path].clear();
        files[path] += bytes;
        RecordTrace(bytes);
    }
    bool CopyOneFile(const std::wstring& from, const std::wstring& to) override
    {
        log.push_back("CopyFile " + Narrow(from) + " -> " + Narrow(to));
        return copySucceeds;
    }
    void PumpEvents() override
    {
        ++pumps;
        pcUtcMs += msPerPoll;
        counter += static_cast<uint32_t>(msPerPoll);
        if (onPump) onPump();
    }
    std::wstring GetSetting(const std::wstring& a, const std::wstring& s, const std::wstring& k,
                            const std::wstring& defaultValue) override
    {
        const auto found = settings.find(Wide(SettingKey(a, s, k)));
        return found == settings.end() ? defaultValue : found->second;
    }
    bool SaveSetting(const std::wstring& a, const std::wstring& s, const std::wstring& k,
                     const std::wstring& value) override
    {
        log.push_back("SaveSetting " + SettingKey(a, s, k) + " = " + Narrow(value));
        settings[Wide(SettingKey(a, s, k))] = value;
        return true;
    }
    std::optional<uint32_t> StartProcess(const std::wstring& command) override
    {
        log.push_back("StartProcess " + Narrow(command));
        startedCommands.push_back(command);
        return startedProcessId;
    }
    std::unique_ptr<horasync::WatchedProcess> OpenProcess(uint32_t, uint32_t access) override
    {
        log.push_back("OpenProcess " + std::to_string(access));
        if (!processCanBeWatched) return nullptr;
        return std::make_unique<Process>(*this);
    }
    int16_t OsMajorVersion() override { return osMajor; }

    [[noreturn]] void EndProgram() override
    {
        log.push_back("EndProgram");
        ended = true;
        throw ProgramEnded{};
    }

    // The trace points written so far, without dates.
    std::vector<TraceEntry> Trace() const { return trace; }

    static std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
    static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

private:
    class Process : public horasync::WatchedProcess {
    public:
        explicit Process(FakePlatform& owner) : owner_(owner) {}
        std::optional<uint32_t> ExitCode() override
        {
            if (owner_.pollsUntilExit > 0) {
                --owner_.pollsUntilExit;
                return horasync::kStillActive;
            }
            return 0u;
        }
        void WaitForEndOrEvent(uint32_t ms) override
        {
            ++owner_.waits;
            owner_.longestWaitMs = std::max(owner_.longestWaitMs, ms);
        }
        bool Terminate(uint32_t) override
        {
            ++owner_.terminated;
            owner_.pollsUntilExit = 0;
            return true;
        }

    private:
        FakePlatform& owner_;
    };

    static int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

    static sntp::SystemTime ToSystemTime(int64_t utcMs)
    {
        const int64_t seconds = FloorDiv(utcMs, 1000);
        const sntp::ZoneTime t = sntp::ServerZoneTime(static_cast<double>(seconds - sntp::ZoneSeconds));
        sntp::SystemTime st;
        st.year = static_cast<uint16_t>(t.year);
        st.month = static_cast<uint16_t>(t.month);
        st.day = static_cast<uint16_t>(t.day);
        st.hour = static_cast<uint16_t>(t.hour);
        st.minute = static_cast<uint16_t>(t.minute);
        st.second = static_cast<uint16_t>(t.second);
        st.milliseconds = static_cast<uint16_t>(utcMs - seconds * 1000);
        st.dayOfWeek = static_cast<uint16_t>((FloorDiv(seconds, 86400) + 1) % 7);   // 1900-01-01 was a Monday
        return st;
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
        log.push_back("trace " + Narrow(trace.back().pos) + "|" + Narrow(trace.back().msg));
    }
};

} // namespace horasync_test
