// The platform operations horasync's window object calls: the clock, the UDP socket and its timer,
// one HTTP exchange, text decoding, files, the per-user settings store, processes and the end of
// the program. The Windows implementation is timesync/autotime_win32.cpp; the unit tests drive the
// window object through fakes of this interface.
#pragma once
#include "os/clock.h"
#include "timesync/sntp.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace horasync {

using os::LocalDateTime;

// A datagram waiting at the socket, looked at without taking it.
struct WaitingDatagram {
    size_t size = 0;
    std::string address;   // dotted IPv4 address of the sender
    uint16_t port = 0;
};

// A process opened for watching; the handle is closed when the object goes.
class WatchedProcess {
public:
    virtual ~WatchedProcess() = default;
    // The exit code, 259 while the process runs; nothing when it cannot be read.
    virtual std::optional<uint32_t> ExitCode() = 0;
    // Returns once the process has ended, a window event waits or `ms` milliseconds have passed.
    virtual void WaitForEndOrEvent(uint32_t ms) = 0;
    // Ends the process with this exit code; false when that fails.
    virtual bool Terminate(uint32_t exitCode) = 0;
};

// Process access rights as the design names them.
constexpr uint32_t kProcessQueryInformation = 1024;
constexpr uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr uint32_t kStillActive = 259;

class AutoTimePlatform {
public:
    virtual ~AutoTimePlatform() = default;

    // ---- The clock --------------------------------------------------------------------------
    virtual sntp::SystemTime GetSystemTime() = 0;
    // Writes the system clock (UTC); false when the platform refuses.
    virtual bool SetSystemTime(const sntp::SystemTime& time) = 0;
    // The system millisecond counter (wraps after 2^32 ms).
    virtual uint32_t timeGetTime() = 0;
    virtual LocalDateTime LocalNow() = 0;
    // Sets the local date and time to one reading, so that a date and a time of day taken on either
    // side of midnight are never mixed; false when the platform refuses.
    virtual bool SetLocalClock(const LocalDateTime& when) = 0;

    // ---- The UDP socket TimeSock and the timer TimeTime ---------------------------------------
    // Makes the socket UDP and binds it to any free local port; false when that fails.
    virtual bool OpenSocket() = 0;
    virtual void SetRemote(const std::wstring& host, uint16_t port) = 0;
    // Sends one datagram to the remote host (resolved now) and port. The address it went to, or
    // nothing when the name cannot be resolved or the datagram cannot be sent.
    virtual std::optional<std::string> Send(const std::vector<uint8_t>& bytes) = 0;
    // Looks at the datagram waiting at the socket without taking it; false when that fails.
    virtual bool PeekDatagram(WaitingDatagram& waiting) = 0;
    // Takes the waiting datagram; false when that fails.
    virtual bool ReadDatagram(std::vector<uint8_t>& bytes) = 0;
    virtual void EnableTimer(bool enabled) = 0;

    // ---- The report -------------------------------------------------------------------------
    // One synchronous GET (with PostData as its body when not empty), bounded by a few seconds'
    // time-outs. The body of any completed answer whatever its status; nothing on any failure.
    virtual std::optional<std::string> HttpGet(const std::wstring& url, const std::wstring& postData) = 0;
    // Bytes decoded in the named character set ("GB2312"); nothing when that fails.
    virtual std::optional<std::wstring> DecodeText(const std::string& bytes, const std::wstring& charset) = 0;
    // The argument part of the program's command line.
    virtual std::wstring CommandLine() = 0;
    virtual void SetCaption(const std::wstring& caption) = 0;

    // ---- Files, settings, processes -----------------------------------------------------------
    // Appends the bytes to the file (created when missing), or writes it anew; opened and closed
    // here. False when it cannot be opened or written.
    virtual bool WriteToFile(const std::wstring& path, const std::string& bytes, bool append) = 0;
    virtual bool CopyOneFile(const std::wstring& from, const std::wstring& to) = 0;
    // Lets the window's pending events run once.
    virtual void PumpEvents() = 0;
    virtual std::wstring GetSetting(const std::wstring& application, const std::wstring& section,
                                    const std::wstring& key, const std::wstring& defaultValue) = 0;
    virtual bool SaveSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                             const std::wstring& value) = 0;
    // Starts a command line in a normal, focused window: its process id, or nothing.
    virtual std::optional<uint32_t> StartProcess(const std::wstring& commandLine) = 0;
    // Opens a process with the given access rights; null when that fails.
    virtual std::unique_ptr<WatchedProcess> OpenProcess(uint32_t processId, uint32_t access) = 0;
    // Major version number of the operating system, as GetVersionExA gives it.
    virtual int16_t OsMajorVersion() = 0;

    // Ends the process at once: no further event runs, nothing is saved.
    [[noreturn]] virtual void EndProgram() = 0;
};

} // namespace horasync
