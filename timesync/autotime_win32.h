// AutoTime's platform on Windows: the system clock, a Winsock UDP socket whose notifications arrive
// as window messages (WSAAsyncSelect, no threads), the window's timer, WinHTTP with bounded
// time-outs, code page 936 for GB2312, files, the settings store and processes.
// The clock is set through timesync/clock_win32.h, which the test build replaces.
#pragma once
#include "timesync/autotime_platform.h"
#include "timesync/clock_win32.h"

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace horasync {

// The window message that carries TimeSock's notifications, and the id of the timer TimeTime.
constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

class Win32Platform : public AutoTimePlatform {
public:
    // commandLine: the argument part of the program's command line.
    explicit Win32Platform(std::wstring commandLine);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // The window that receives the socket's and the timer's messages and shows the caption.
    void AttachWindow(HWND window) { window_ = window; }
    // True when a datagram (or a socket error to read) is waiting; its size in `size`. A datagram is
    // announced once: until it has been read, further notifications answer false.
    bool DatagramWaiting(int32_t& size);

    sntp::SystemTime GetSystemTime() override;
    bool SetSystemTime(const sntp::SystemTime& time) override;
    uint32_t timeGetTime() override;
    LocalDateTime LocalNow() override;
    bool SetLocalClock(const LocalDateTime& when) override;

    bool OpenSocket() override;
    void SetRemote(const std::wstring& host, uint16_t port) override;
    std::optional<std::string> Send(const std::vector<uint8_t>& bytes) override;
    bool PeekDatagram(WaitingDatagram& waiting) override;
    bool ReadDatagram(std::vector<uint8_t>& bytes) override;
    void EnableTimer(bool enabled) override;

    std::optional<std::string> HttpGet(const std::wstring& url, const std::wstring& postData) override;
    std::optional<std::wstring> DecodeText(const std::string& bytes, const std::wstring& charset) override;
    std::wstring CommandLine() override { return commandLine_; }
    void SetCaption(const std::wstring& caption) override;

    bool WriteToFile(const std::wstring& path, const std::string& bytes, bool append) override;
    bool CopyOneFile(const std::wstring& from, const std::wstring& to) override;
    void PumpEvents() override;
    std::wstring GetSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) override;
    bool SaveSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override;
    std::optional<uint32_t> StartProcess(const std::wstring& commandLine) override;
    std::unique_ptr<WatchedProcess> OpenProcess(uint32_t processId, uint32_t access) override;
    int16_t OsMajorVersion() override;

    [[noreturn]] void EndProgram() override;

private:
    bool winsockStarted_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    HWND window_ = nullptr;
    std::wstring remoteHost_;
    uint16_t remotePort_ = 0;
    std::wstring commandLine_;
    int requests_ = 0;
    bool announced_ = false;   // a datagram was announced and has not been read yet
};

} // namespace horasync
