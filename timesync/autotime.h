// horasync's window object AutoTime: start-up and first-run registration, the SNTP exchange with
// one of five public servers, the clock setting, the signed time report and the trace log. Its
// handlers run one at a time on the window's thread. The window's own caption and timer go through
// AutoTimeWindow; every other platform service is os::'s, the file chores the shared routines'.
#pragma once
#include "common/filemaint.h"
#include "common/texthelpers.h"
#include "os/clock.h"
#include "os/net.h"
#include "os/processes.h"
#include "timesync/autotime_window.h"
#include "timesync/sntp.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>

namespace horasync {

using os::LocalDateTime;

// The five public SNTP servers, in their fixed order (positions 0 to 4).
extern const std::array<const wchar_t*, 5> kNtpServers;

// First-run marker in the per-user settings store, and the socket component it stands for.
extern const wchar_t* const kMarkerApplication;   // "exeapi"
extern const wchar_t* const kMarkerSection;       // "AutoTime"
extern const wchar_t* const kMarkerKey;           // "firstrun"
extern const wchar_t* const kComponentFile;       // "MSWINSCK.OCX"
extern const wchar_t* const kTraceFileName;       // "TavinDebug.txt"
constexpr int32_t kTraceSizeLimit = 99999;
constexpr int kWriteAttempts = 1000;

// WaitShell's answers.
enum : int16_t {
    kShellEnded = 0,        // ended within the time (or could not be watched)
    kShellNotStarted = 1,
    kShellLeftRunning = 2,
    kShellTerminated = 3,
};

// The longest WaitShell sleeps before it lets the window's events run again.
constexpr uint32_t kWaitPassMs = 100;


// Runs a window event's handler. horasync runs unseen at every start of the client and never waits
// for a user: an error that reaches an event ends it at once with exit code 1, without the error
// report that vemr and setup show.
void RunHandler(const std::function<void()>& handler);

// "yyyy-mm-dd hh:mm:ss": the trace's local date and time.
std::wstring TraceDateTimeText(const LocalDateTime& when);

// Every character of code 26 (Ctrl-Z) replaced by "{{中断}}".
std::wstring ReplaceCtrlZ(std::wstring_view text);

class AutoTime {
public:
    explicit AutoTime(AutoTimeWindow& window);

    // ---- Window events ----------------------------------------------------------------------
    void Form_Initialize();
    void Form_Load();
    // A datagram is waiting at TimeSock; bytesTotal is its size.
    void TimeSock_DataArrival(int32_t bytesTotal);
    [[noreturn]] void TimeSock_Error();
    void TimeTime_Timer();

    // ---- Start-up and first run ------------------------------------------------------------
    int16_t getosver();
    bool ispadmin();
    void myreg();
    int16_t WaitShell(const std::wstring& ShellCmd, int16_t MaxSecond, bool QzEndIt);

    // ---- The exchange -----------------------------------------------------------------------
    void AddNtpServer();
    void SendDate(const std::wstring& HostName);
    [[noreturn]] void rightime();

    // ---- The report -------------------------------------------------------------------------
    void UpTime();
    std::wstring QuickPage(const std::wstring& SourseUrl, const std::wstring& PostData,
                           const std::wstring& SoursePageCharSet);
    std::wstring BytesToStr(const std::string& Bytes, const std::wstring& CharSet);

    // ---- The trace --------------------------------------------------------------------------
    void TavinDebug(const std::wstring& TracePos, const std::wstring& TraceMsg);
    bool SaveStrToFile(const std::wstring& TheStr, const std::wstring& TavinFileName, bool IsAppend);

    // ---- Run state, for the frame and the tests ------------------------------------------------
    const std::wstring& ServerName() const { return ServerName_; }
    int16_t ReplyState() const { return ReplyState_; }
    int32_t TickOffsetMs() const { return TickOffsetMs_; }
    double ClockOffset() const { return ClockOffset_; }
    const std::wstring& Caption() const { return Caption_; }
    const sntp::Packet& RequestPacket() const { return RequestPacket_; }
    // The socket TimeSock, for the frame to route its notifications to the window.
    os::UdpSocket& TimeSock() { return TimeSock_; }

private:
    // The end of the program: the platform's, which never returns.
    [[noreturn]] void End();
    LocalDateTime Today();
    int64_t DayBase();
    double LocalSecondsSinceMidnight();
    bool FromChosenServer(const os::WaitingDatagram& datagram) const;
    // The datagram waiting at TimeSock, taken; the end of the program when it cannot be read.
    std::vector<uint8_t> ReadOrEnd();
    // The process opened with these rights; null when it cannot be.
    static std::unique_ptr<os::WatchedProcess> Watch(uint32_t processId, uint32_t access);

    AutoTimeWindow& window_;
    os::UdpSocket TimeSock_;
    AttributeMemo memo_;                 // attribute settings already made in this run
    std::minstd_rand random_;
    std::wstring traceFile_;             // worked out at the first trace of the run

    std::wstring ServerName_;
    std::set<std::string> serverAddresses_;   // where the requests of this run went
    int requests_ = 0;
    sntp::Packet RequestPacket_{};
    std::vector<uint8_t> SendBuffer;
    std::vector<uint8_t> ReceiveBuffer;
    sntp::Packet ReplyPacket_{};
    sntp::ReplyStamps stamps_;
    int32_t TickOffsetMs_ = 0;
    double T4_ = 0;
    double ClockOffset_ = 0;
    int16_t ReplyState_ = 0;
    std::wstring Caption_ = L"AutoTime";
};

} // namespace horasync
