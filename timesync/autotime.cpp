#include "timesync/autotime.h"

#include "common/ansi.h"
#include "common/digest.h"
#include "common/errors.h"
#include "common/steplog.h"
#include "common/textfiles.h"
#include "common/urlencode.h"
#include "os/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

AutoTime::AutoTime(AutoTimePlatform& platform) : platform_(platform) {}

void AutoTime::End()
{
    platform_.EndProgram();
    std::abort();   // not reached: should an end ever come back, nothing more may run
}

// ---- Start-up and first run ------------------------------------------------------------------

void AutoTime::Form_Initialize()
{
    // From Vista on, a program without the right to change the clock has no business here.
    if (getosver() > 5 && !ispadmin()) End();
    const std::wstring marker = platform_.GetSetting(kMarkerApplication, kMarkerSection, kMarkerKey, L"");
    if (marker.size() < 3) myreg();
}

int16_t AutoTime::getosver() { return platform_.OsMajorVersion(); }

bool AutoTime::ispadmin()
{
    // Setting the date to itself changes nothing but fails without the right to change the clock.
    return platform_.SetLocalClock(platform_.LocalNow());
}

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
        steps.Run([&] { return platform_.CopyOneFile(source, target); });
        if (!LzFilExist(target)) End();
        WaitShell(systemFolder + L"Regsvr32.exe /s " + target, 3600, false);   // its answer is not looked at
    }
    if (steps.AnyFailed()) End();
    // The marker is the time of day in seconds; fewer than 3 characters (a run at 0 to 99 whole
    // seconds after midnight) lets the next run register again.
    platform_.SaveSetting(kMarkerApplication, kMarkerSection, kMarkerKey,
                          SingleText(static_cast<float>(LocalSecondsSinceMidnight())));
}

int16_t AutoTime::WaitShell(const std::wstring& ShellCmd, int16_t MaxSecond, bool QzEndIt)
{
    int16_t result = kShellEnded;
    const int64_t start = SerialSeconds(platform_.LocalNow());
    const std::optional<uint32_t> processId = platform_.StartProcess(ShellCmd);
    if (!processId) return kShellNotStarted;
    const std::unique_ptr<WatchedProcess> watched = platform_.OpenProcess(*processId, kProcessQueryInformation);

    // A process that cannot be watched leaves the exit code at 0: it counts as ended.
    uint32_t exitCode = 0;
    bool timedOut = false;
    for (;;) {
        if (watched) {
            // Asleep until the process ends or an event comes: a hung registration costs no CPU.
            watched->WaitForEndOrEvent(kWaitPassMs);
            exitCode = watched->ExitCode().value_or(exitCode);
        }
        platform_.PumpEvents();
        if (std::llabs(SerialSeconds(platform_.LocalNow()) - start) > MaxSecond) {
            timedOut = true;
            break;
        }
        if (exitCode != kStillActive) break;
    }
    std::unique_ptr<WatchedProcess> full;
    if (timedOut) {
        full = platform_.OpenProcess(*processId, kProcessAllAccess);
        result = kShellTerminated;
        if (QzEndIt) {
            if (full) full->Terminate(0);
        } else {
            result = kShellLeftRunning;
        }
    }
    return result;
}

void AutoTime::Form_Load()
{
    random_.seed(static_cast<uint32_t>(LocalSecondsSinceMidnight() * 1000) ^ platform_.timeGetTime());
    // ZoneSeconds is the constant sntp::ZoneSeconds (28800).
    LocalDateTime today = platform_.LocalNow();
    if (sntp::DayBase(today.year, today.month, today.day) < sntp::DayBase(2000, 1, 1)) {
        today.year = 2000, today.month = 1, today.day = 1;   // the time of day stays
        platform_.SetLocalClock(today);
    }
    SendBuffer.assign(sntp::PacketSize, 0);
    ReceiveBuffer.assign(sntp::PacketSize, 0);
    if (!platform_.OpenSocket()) End();
    AddNtpServer();
    ReplyState_ = -1;
    SendDate(ServerName_);
    platform_.EnableTimer(true);
}

// ---- The exchange ----------------------------------------------------------------------------

LocalDateTime AutoTime::Today() { return platform_.LocalNow(); }

int64_t AutoTime::DayBase()
{
    const LocalDateTime today = Today();
    return sntp::DayBase(today.year, today.month, today.day);
}

double AutoTime::LocalSecondsSinceMidnight()
{
    const LocalDateTime now = platform_.LocalNow();
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
    platform_.SetRemote(HostName, sntp::SntpPort);
    TavinDebug(L"1", L"B");
    const sntp::SystemTime utc = platform_.GetSystemTime();
    TavinDebug(L"2", L"B");
    TickOffsetMs_ = sntp::TickOffsetMsFrom(utc, 0);   // UTC+8 milliseconds of the reading
    TavinDebug(L"3", L"B");
    TickOffsetMs_ = sntp::TickOffsetMsFrom(utc, platform_.timeGetTime());   // less the counter, modulo 2^32
    TavinDebug(L"E", std::to_wstring(static_cast<int32_t>(platform_.timeGetTime())));
    RequestPacket_[0] = 27;   // leap indicator 0, version 3, mode 3 (client)
    TavinDebug(L"F", std::to_wstring(TickOffsetMs_));
    const int64_t D = DayBase();
    TavinDebug(L"G", std::to_wstring(D));
    TavinDebug(L"4", L"B");
    const double localSeconds = LocalSecondsSinceMidnight();
    const uint32_t counter = platform_.timeGetTime();
    const int32_t S = sntp::TransmitSeconds(D, localSeconds, TickOffsetMs_, counter);
    TavinDebug(L"5", L"B");
    PutWord(RequestPacket_, 40, static_cast<uint32_t>(S));
    TavinDebug(L"6", L"B");
    const uint32_t F = sntp::TransmitFraction(TickOffsetMs_, platform_.timeGetTime());   // counter read afresh
    TavinDebug(L"7", L"B");
    PutWord(RequestPacket_, 44, F);
    TavinDebug(L"8", L"B");
    SendBuffer.assign(RequestPacket_.begin(), RequestPacket_.end());
    TavinDebug(L"9", L"B");
    const std::optional<std::string> address = platform_.Send(SendBuffer);
    if (!address) {
        TavinDebug(L"2", L"C");
        End();
    }
    serverAddresses_.insert(*address);
    TavinDebug(L"1", L"C");
}

bool AutoTime::FromChosenServer(const WaitingDatagram& datagram) const
{
    return datagram.port == sntp::SntpPort && serverAddresses_.count(datagram.address) != 0;
}

void AutoTime::TimeSock_DataArrival(int32_t bytesTotal)
{
    // Only the chosen server may set the clock: a datagram from another address or port, or one
    // too short to hold the three stamps, is taken and dropped as if it had never arrived, and the
    // retries go on.
    WaitingDatagram waiting;
    if (!platform_.PeekDatagram(waiting)) End();
    if (!FromChosenServer(waiting) || waiting.size < sntp::PacketSize) {
        std::vector<uint8_t> dropped;
        if (!platform_.ReadDatagram(dropped)) End();
        return;
    }

    TavinDebug(L"2", std::to_wstring(bytesTotal));
    const int64_t D = DayBase();
    const double localSeconds = LocalSecondsSinceMidnight();
    T4_ = sntp::DestinationTime(D, localSeconds, TickOffsetMs_, platform_.timeGetTime());   // before the read
    if (!platform_.ReadDatagram(ReceiveBuffer)) End();
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
    platform_.SetCaption(Caption_);
    if (sntp::IsMidnightHour(server.hour)) End();   // no setting near midnight in UTC+8
    rightime();
}

void AutoTime::rightime()
{
    TavinDebug(L"3", L"rightime");
    const sntp::SystemTime reading = platform_.GetSystemTime();
    const std::optional<sntp::SystemTime> corrected = sntp::ClockToSet(reading, ClockOffset_, stamps_.T3);
    if (corrected && platform_.SetSystemTime(*corrected)) UpTime();
    End();
}

void AutoTime::TimeTime_Timer()
{
    if (ReplyState_ < 4) {
        ++ReplyState_;
        SendDate(ServerName_);
    } else if (ReplyState_ == 4) {
        platform_.EnableTimer(false);
        End();   // no usable reply: the clock stays as it is
    } else {
        platform_.EnableTimer(false);
    }
}

void AutoTime::TimeSock_Error() { End(); }

// ---- The report ------------------------------------------------------------------------------

void AutoTime::UpTime()
{
    const std::wstring commandLine = platform_.CommandLine();
    if (commandLine.find(L'.') == std::wstring::npos) return;
    const std::wstring tim = GetUrlEnCode(Caption_);
    const std::wstring clb = GetUrlEnCode(ServerName_);
    const std::wstring sgn = MyMd(Caption_ + ServerName_);
    const std::wstring address =
        L"http://" + commandLine + L"/gmtime.asp?tim=" + tim + L"&clb=" + clb + L"&sgn=" + sgn;
    const std::wstring answer = QuickPage(address, L"", L"GB2312");
    TavinDebug(answer, commandLine);
}

std::wstring AutoTime::QuickPage(const std::wstring& SourseUrl, const std::wstring& PostData,
                                 const std::wstring& SoursePageCharSet)
{
    const std::optional<std::string> body = platform_.HttpGet(SourseUrl, PostData);
    if (!body) return L"";
    return BytesToStr(*body, SoursePageCharSet);
}

std::wstring AutoTime::BytesToStr(const std::string& Bytes, const std::wstring& CharSet)
{
    return platform_.DecodeText(Bytes, CharSet).value_or(L"");
}

// ---- The trace -------------------------------------------------------------------------------

void AutoTime::TavinDebug(const std::wstring& TracePos, const std::wstring& TraceMsg)
{
    if (traceFile_.empty()) {
        try {
            traceFile_ = LzJzPath(os::ProgramFolder()) + kTraceFileName;
            // The trace starts afresh once it has grown past the limit, so it stays small.
            if (TavinGetFileSize(traceFile_) > kTraceSizeLimit) KillAFile(memo_, traceFile_);
        } catch (const PlatformError&) {
            // A trace failure never stops the program: without a size there is no restart.
        }
        if (traceFile_.empty()) return;
    }
    const std::wstring line = TraceDateTimeText(platform_.LocalNow()) + L"\t" + TracePos + L"\t" + TraceMsg;
    SaveStrToFile(line, traceFile_, true);
}

bool AutoTime::SaveStrToFile(const std::wstring& TheStr, const std::wstring& TavinFileName, bool IsAppend)
{
    const std::string bytes = ToAnsi(ReplaceCtrlZ(TheStr)) + "\r\n";
    // Another program may hold the file for a moment: try again, letting the window's events run
    // in between (they may trace themselves), but never pause.
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        bool failed = false;
        try {
            SetMyAttr(memo_, TavinFileName, 0, true);   // once per file and run: a read-only trace is written
        } catch (const PlatformError&) {
            failed = true;
        }
        if (!failed && platform_.WriteToFile(TavinFileName, bytes, IsAppend)) return true;
        platform_.PumpEvents();
    }
    return false;
}

} // namespace horasync
