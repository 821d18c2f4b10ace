#include "timesync/autotime.h"

#include "common/launch.h"
#include "common/steplog.h"
#include "common/textfiles.h"
#include "os/ansi.h"
#include "os/errors.h"
#include "os/platform.h"
#include "os/processes.h"
#include "os/settings.h"
#include "timesync/test_events.h"
#include "timesync/time_report.h"

#include <algorithm>
#include <cstdio>

namespace horasync {

const std::array<const wchar_t*, 5> kNtpServers = {
    L"cn.pool.ntp.org",
    L"ntp.ntsc.ac.cn",
    L"ntp.aliyun.com",
    L"ntp.tencent.com",
    L"time.asia.apple.com",
};

const wchar_t* const kMarkerApplication = L"exeapi";
const wchar_t* const kMarkerSection = L"AutoTime";
const wchar_t* const kMarkerKey = L"firstrun";
const wchar_t* const kComponentFile = L"MSWINSCK.OCX";
const wchar_t* const kTraceFileName = L"TavinDebug.txt";

namespace {

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Writes a 32-bit word into the packet at offset, most significant byte first.
void PutWord(sntp::Packet& packet, size_t offset, uint32_t word)
{
    const uint8_t little[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                               static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
    sntp::Reverse(&packet[offset], little);
}

// Seconds of a local date and time counted from 1900-01-01, for differences in whole seconds.
int64_t SerialSeconds(const LocalDateTime& t)
{
    return sntp::DayBase(t.year, t.month, t.day) + t.hour * 3600 + t.minute * 60 + t.second;
}

} // namespace

std::wstring TraceDateTimeText(const LocalDateTime& when)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day, when.hour,
                  when.minute, when.second);
    return Widen(buffer);
}

std::wstring ReplaceCtrlZ(std::wstring_view text)
{
    std::wstring result;
    for (const wchar_t c : text) {
        if (c == 26)
            result += L"{{中断}}";
        else
            result += c;
    }
    return result;
}

void RunHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception&) {
        RecordTestEvent("unhandled error");
        os::EndProgram(1);
    }
}

AutoTime::AutoTime(AutoTimeWindow& window) : window_(window) {}

void AutoTime::End()
{
    RecordTestEvent("end");
    os::EndProgram();
}

// ---- Start-up and first run ------------------------------------------------------------------

void AutoTime::Form_Initialize()
{
    // From Vista on, a program without the right to change the clock has no business here.
    if (getosver() > 5 && !ispadmin()) End();
    const std::wstring marker = os::GetSetting(kMarkerApplication, kMarkerSection, kMarkerKey, L"");
    if (marker.size() < 3) myreg();
}

int16_t AutoTime::getosver() { return static_cast<int16_t>(os::OsMajorVersion()); }

bool AutoTime::ispadmin() { return os::MaySetClock(); }

void AutoTime::myreg()
{
    StepLog steps;
    std::wstring systemFolder, target;
    steps.Run([&] {
        systemFolder = getsysdir();
        target = systemFolder + kComponentFile;
        return true;
    });
    if (!LzFilExist(target)) {
        std::wstring source;
        steps.Run([&] {
            source = LzJzPath(os::ProgramFolder()) + kComponentFile;
            return true;
        });
        // Our socket does not need the component: when no copy exists anywhere there is nothing
        // to register, and the exchange goes on. The marker stays unwritten, so a copy that turns
        // up later is still registered.
        if (!LzFilExist(source)) return;
        steps.Run([&] { os::CopyFileTo(source, target); });
        if (!LzFilExist(target)) End();
        WaitShell(systemFolder + L"Regsvr32.exe /s " + target, 3600, false);   // its answer is not looked at
    }
    if (steps.AnyFailed()) End();
    // The marker is the time of day in seconds; fewer than 3 characters (a run at 0 to 99 whole
    // seconds after midnight) lets the next run register again.
    try {
        os::SaveSetting(kMarkerApplication, kMarkerSection, kMarkerKey,
                        SingleText(static_cast<float>(LocalSecondsSinceMidnight())));
    } catch (const PlatformError&) {
        // Without the marker the next run registers again.
    }
}

int16_t AutoTime::WaitShell(const std::wstring& ShellCmd, int16_t MaxSecond, bool QzEndIt)
{
    int16_t result = kShellEnded;
    const int64_t start = SerialSeconds(os::LocalNow());
    uint32_t processId = 0;
    try {
        processId = os::StartProcess(ShellCmd);
    } catch (const PlatformError&) {
        return kShellNotStarted;
    }
    const std::unique_ptr<os::WatchedProcess> watched = Watch(processId, os::kProcessQueryInformation);

    // A process that cannot be watched leaves the exit code at 0: it counts as ended.
    uint32_t exitCode = 0;
    bool timedOut = false;
    for (;;) {
        if (watched) {
            // Asleep until the process ends or an event comes: a hung registration costs no CPU.
            watched->WaitForEndOrEvent(kWaitPassMs);
            try {
                exitCode = watched->ExitCode();
            } catch (const PlatformError&) {
                // the last reading stands
            }
        }
        os::PumpEvents();
        if (std::llabs(SerialSeconds(os::LocalNow()) - start) > MaxSecond) {
            timedOut = true;
            break;
        }
        if (exitCode != os::kStillActive) break;
    }
    std::unique_ptr<os::WatchedProcess> full;
    if (timedOut) {
        full = Watch(processId, os::kProcessAllAccess);
        result = kShellTerminated;
        if (QzEndIt) {
            try {
                if (full) full->Terminate(0);
            } catch (const PlatformError&) {
                // it runs on; the answer stays
            }
        } else {
            result = kShellLeftRunning;
        }
    }
    return result;
}

std::unique_ptr<os::WatchedProcess> AutoTime::Watch(uint32_t processId, uint32_t access)
{
    try {
        return os::OpenProcess(processId, access);
    } catch (const PlatformError&) {
        return nullptr;
    }
}

void AutoTime::Form_Load()
{
    random_.seed(static_cast<uint32_t>(LocalSecondsSinceMidnight() * 1000) ^ os::MillisecondCounter());
    // ZoneSeconds is the constant sntp::ZoneSeconds (28800).
    LocalDateTime today = os::LocalNow();
    if (sntp::DayBase(today.year, today.month, today.day) < sntp::DayBase(2000, 1, 1)) {
        today.year = 2000, today.month = 1, today.day = 1;   // the time of day stays
        try {
            os::SetLocalClock(today);
        } catch (const PlatformError&) {
            // the exchange goes on with the date as it is
        }
    }
    SendBuffer.assign(sntp::PacketSize, 0);
    ReceiveBuffer.assign(sntp::PacketSize, 0);
    try {
        TimeSock_.Open();
    } catch (const PlatformError&) {
        End();
    }
    AddNtpServer();
    ReplyState_ = -1;
    SendDate(ServerName_);
    window_.EnableTimer(true);
}

// ---- The exchange ----------------------------------------------------------------------------

LocalDateTime AutoTime::Today() { return os::LocalNow(); }

int64_t AutoTime::DayBase()
{
    const LocalDateTime today = Today();
    return sntp::DayBase(today.year, today.month, today.day);
}

double AutoTime::LocalSecondsSinceMidnight()
{
    const LocalDateTime now = os::LocalNow();
    return now.hour * 3600.0 + now.minute * 60.0 + now.second + now.milliseconds / 1000.0;
}

void AutoTime::AddNtpServer()
{
    const double r = static_cast<double>(random_() - random_.min()) /
                     (static_cast<double>(random_.max() - random_.min()) + 1.0);   // [0, 1)
    ServerName_ = kNtpServers[static_cast<size_t>(r * kNtpServers.size())];
    TavinDebug(L"0", ServerName_);
}

void AutoTime::SendDate(const std::wstring& HostName)
{
    TavinDebug(L"1", HostName);
    TimeSock_.SetRemote(HostName, sntp::SntpPort);
    TavinDebug(L"1", L"B");
    const sntp::SystemTime utc = os::UtcNow();
    TavinDebug(L"2", L"B");
    TickOffsetMs_ = sntp::TickOffsetMsFrom(utc, 0);   // UTC+8 milliseconds of the reading
    TavinDebug(L"3", L"B");
    TickOffsetMs_ = sntp::TickOffsetMsFrom(utc, os::MillisecondCounter());   // less the counter, modulo 2^32
    TavinDebug(L"E", std::to_wstring(static_cast<int32_t>(os::MillisecondCounter())));
    RequestPacket_[0] = 27;   // leap indicator 0, version 3, mode 3 (client)
    TavinDebug(L"F", std::to_wstring(TickOffsetMs_));
    const int64_t D = DayBase();
    TavinDebug(L"G", std::to_wstring(D));
    TavinDebug(L"4", L"B");
    const double localSeconds = LocalSecondsSinceMidnight();
    const uint32_t counter = os::MillisecondCounter();
    const int32_t S = sntp::TransmitSeconds(D, localSeconds, TickOffsetMs_, counter);
    TavinDebug(L"5", L"B");
    PutWord(RequestPacket_, 40, static_cast<uint32_t>(S));
    TavinDebug(L"6", L"B");
    const uint32_t F = sntp::TransmitFraction(TickOffsetMs_, os::MillisecondCounter());   // counter read afresh
    TavinDebug(L"7", L"B");
    PutWord(RequestPacket_, 44, F);
    TavinDebug(L"8", L"B");
    SendBuffer.assign(RequestPacket_.begin(), RequestPacket_.end());
    TavinDebug(L"9", L"B");
    std::string address;
    try {
        address = TimeSock_.Send(SendBuffer);
    } catch (const PlatformError&) {
        TavinDebug(L"2", L"C");
        End();
    }
    RecordTestEvent("request " + std::to_string(++requests_) + " to " + address);
    serverAddresses_.insert(address);
    TavinDebug(L"1", L"C");
}

bool AutoTime::FromChosenServer(const os::WaitingDatagram& datagram) const
{
    return datagram.port == sntp::SntpPort && serverAddresses_.count(datagram.address) != 0;
}

std::vector<uint8_t> AutoTime::ReadOrEnd()
{
    try {
        return TimeSock_.Read();
    } catch (const PlatformError&) {
        End();
    }
}

void AutoTime::TimeSock_DataArrival(int32_t bytesTotal)
{
    // Only the chosen server may set the clock: a datagram from another address or port, or one
    // too short to hold the three stamps, is taken and dropped as if it had never arrived, and the
    // retries go on.
    os::WaitingDatagram waiting;
    try {
        waiting = TimeSock_.Peek();
    } catch (const PlatformError&) {
        End();
    }
    RecordTestEvent("arrival " + std::to_string(waiting.size) + " bytes from " + waiting.address + ":" +
                    std::to_string(waiting.port));
    if (!FromChosenServer(waiting) || waiting.size < sntp::PacketSize) {
        ReadOrEnd();
        return;
    }

    TavinDebug(L"2", std::to_wstring(bytesTotal));
    const int64_t D = DayBase();
    const double localSeconds = LocalSecondsSinceMidnight();
    T4_ = sntp::DestinationTime(D, localSeconds, TickOffsetMs_, os::MillisecondCounter());   // before the read
    ReceiveBuffer = ReadOrEnd();
    if (ReceiveBuffer.size() < sntp::PacketSize) return;   // cannot differ from what was looked at
    sntp::Packet reply;
    std::copy_n(ReceiveBuffer.begin(), sntp::PacketSize, reply.begin());
    // A refusal, an unsynchronised server or bytes that are no reply: dropped as if nothing had
    // come, not even the first reply; the retries go on.
    if (!sntp::UsableReply(reply)) return;

    if (ReplyState_ < 0) {
        // The reply to the first request is never used: ask once more.
        ReplyState_ = 0;
        SendDate(ServerName_);
        return;
    }
    ReplyState_ = 5;
    ReplyPacket_ = reply;
    stamps_ = sntp::ReadReply(ReplyPacket_);
    ClockOffset_ = sntp::ClockOffsetOf(stamps_, T4_);
    const sntp::ZoneTime server = sntp::ServerZoneTime(sntp::ServerMidpoint(stamps_));
    Caption_ = sntp::CaptionText(server);
    window_.SetCaption(Caption_);
    if (sntp::IsMidnightHour(server.hour)) End();   // no setting near midnight in UTC+8
    rightime();
}

void AutoTime::rightime()
{
    TavinDebug(L"3", L"rightime");
    const sntp::SystemTime reading = os::UtcNow();
    const std::optional<sntp::SystemTime> corrected = sntp::ClockToSet(reading, ClockOffset_, stamps_.T3);
    bool set = false;
    if (corrected) {
        try {
            os::SetUtcClock(*corrected);
            set = true;
        } catch (const PlatformError&) {
            // refused: nothing to report
        }
    }
    if (set) UpTime();
    End();
}

void AutoTime::TimeTime_Timer()
{
    if (ReplyState_ < 4) {
        ++ReplyState_;
        SendDate(ServerName_);
    } else if (ReplyState_ == 4) {
        window_.EnableTimer(false);
        End();   // no usable reply: the clock stays as it is
    } else {
        window_.EnableTimer(false);
    }
}

void AutoTime::TimeSock_Error() { End(); }

// ---- The report ------------------------------------------------------------------------------

void AutoTime::UpTime()
{
    const std::wstring commandLine = CommandArguments(os::CommandLine());
    if (commandLine.find(L'.') == std::wstring::npos) return;
    const std::wstring answer = QuickPage(ReportAddress(commandLine, Caption_, ServerName_), L"", L"GB2312");
    TavinDebug(answer, commandLine);
}

std::wstring AutoTime::QuickPage(const std::wstring& SourseUrl, const std::wstring& PostData,
                                 const std::wstring& SoursePageCharSet)
{
    std::string body;
    try {
        body = os::HttpGet(SourseUrl, PostData);
    } catch (const PlatformError&) {
        return L"";
    }
    return BytesToStr(body, SoursePageCharSet);
}

std::wstring AutoTime::BytesToStr(const std::string& Bytes, const std::wstring& CharSet)
{
    try {
        return os::DecodeText(Bytes, CharSet);
    } catch (const PlatformError&) {
        return L"";
    }
}

// ---- The trace -------------------------------------------------------------------------------

void AutoTime::TavinDebug(const std::wstring& TracePos, const std::wstring& TraceMsg)
{
    if (traceFile_.empty()) {
        try {
            // The folder is the platform's (the program folder, or the user's own where that is
            // read-only to users), for the package of the operator's host.
            traceFile_ = LzJzPath(os::TraceFolder(AppId(CommandArguments(os::CommandLine())))) + kTraceFileName;
            // The trace starts afresh once it has grown past the limit, so it stays small.
            if (TavinGetFileSize(traceFile_) > kTraceSizeLimit) KillAFile(memo_, traceFile_);
        } catch (const PlatformError&) {
            // A trace failure never stops the program: without a size there is no restart.
        }
        if (traceFile_.empty()) return;
    }
    const std::wstring line = TraceDateTimeText(os::LocalNow()) + L"\t" + TracePos + L"\t" + TraceMsg;
    SaveStrToFile(line, traceFile_, true);
}

bool AutoTime::SaveStrToFile(const std::wstring& TheStr, const std::wstring& TavinFileName, bool IsAppend)
{
    const std::string bytes = ToAnsi(ReplaceCtrlZ(TheStr)) + "\r\n";
    // Another program may hold the file for a moment: try again, letting the window's events run
    // in between (they may trace themselves), but never pause.
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        try {
            SetMyAttr(memo_, TavinFileName, 0, true);   // once per file and run: a read-only trace is written
            os::WriteToFile(TavinFileName, bytes, IsAppend);
            return true;
        } catch (const PlatformError&) {
            // held by another program, or not writable at all
        }
        os::PumpEvents();
    }
    return false;
}

} // namespace horasync
