#include "timesync/autotime_win32.h"

#include "common/ansi.h"
#include "common/errors.h"
#include "os/platform.h"
#include "os/settings.h"
#include "os/win32/local_time.h"
#include "os/win32/scoped.h"

#include <mmsystem.h>
#include <winhttp.h>
#include <ws2tcpip.h>

#include <cwctype>

namespace horasync {
namespace {

using os::KernelHandle;
using InternetHandle = os::Scoped<HINTERNET, &WinHttpCloseHandle>;
using AddressList = os::Scoped<ADDRINFOW*, &FreeAddrInfoW>;

class Win32WatchedProcess : public WatchedProcess {
public:
    explicit Win32WatchedProcess(HANDLE process) : process_(process) {}
    std::optional<uint32_t> ExitCode() override
    {
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.handle, &code)) return std::nullopt;
        return code;
    }
    void WaitForEndOrEvent(uint32_t ms) override
    {
        // A handle that cannot be waited on still sleeps until an event comes or the time is up.
        if (MsgWaitForMultipleObjects(1, &process_.handle, FALSE, ms, QS_ALLINPUT) == WAIT_FAILED)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    }
    bool Terminate(uint32_t exitCode) override { return TerminateProcess(process_.handle, exitCode) != 0; }

private:
    KernelHandle process_;
};

// ---- Helpers ------------------------------------------------------------------------------------

// Room for any datagram (UDP carries at most 65,507 bytes): peeking never fails for size.
char g_datagram[65536];

std::string DottedAddress(const sockaddr_in& address)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

SYSTEMTIME ToSystemTime(const sntp::SystemTime& t)
{
    SYSTEMTIME st{};
    st.wYear = t.year;
    st.wMonth = t.month;
    st.wDayOfWeek = t.dayOfWeek;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    st.wSecond = t.second;
    st.wMilliseconds = t.milliseconds;
    return st;
}

// The code page of a character-set name, as the decoder knows them; 0 for an unknown name.
UINT CodePageOf(const std::wstring& charset)
{
    std::wstring name;
    for (const wchar_t c : charset) name += static_cast<wchar_t>(std::towlower(c));
    if (name == L"gb2312" || name == L"gbk" || name == L"cp936" || name == L"x-gbk") return 936;
    if (name == L"utf-8" || name == L"utf8") return CP_UTF8;
    if (name == L"us-ascii" || name == L"ascii") return 20127;
    if (name == L"iso-8859-1" || name == L"windows-1252") return 1252;
    return 0;
}

} // namespace

Win32Platform::Win32Platform(std::wstring commandLine) : commandLine_(std::move(commandLine)) {}

Win32Platform::~Win32Platform()
{
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (winsockStarted_) WSACleanup();
}

// ---- The clock ----------------------------------------------------------------------------------

sntp::SystemTime Win32Platform::GetSystemTime()
{
    SYSTEMTIME st{};
    ::GetSystemTime(&st);
    return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

bool Win32Platform::SetSystemTime(const sntp::SystemTime& time)
{
    const SYSTEMTIME st = ToSystemTime(time);
    return SetUtcClock(st);
}

uint32_t Win32Platform::timeGetTime() { return ::timeGetTime(); }

LocalDateTime Win32Platform::LocalNow() { return os::LocalNow(); }

bool Win32Platform::SetLocalClock(const LocalDateTime& when) { return SetLocalClockTo(os::ToSystemTime(when)); }

// ---- The socket and the timer ---------------------------------------------------------------

bool Win32Platform::OpenSocket()
{
    if (!winsockStarted_) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        winsockStarted_ = true;
    }
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;   // any free local port
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) return false;
    // Datagrams announce themselves as window messages: the one thread never blocks on the socket.
    if (window_ && WSAAsyncSelect(socket_, window_, kSocketMessage, FD_READ) != 0) return false;
    return true;
}

void Win32Platform::SetRemote(const std::wstring& host, uint16_t port)
{
    remoteHost_ = host;
    remotePort_ = port;
}

std::optional<std::string> Win32Platform::Send(const std::vector<uint8_t>& bytes)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    AddressList found;
    const std::wstring port = std::to_wstring(remotePort_);
    if (GetAddrInfoW(remoteHost_.c_str(), port.c_str(), &hints, &found.handle) != 0 || !found.handle) return std::nullopt;
    const auto& target = *reinterpret_cast<const sockaddr_in*>(found.handle->ai_addr);
    const int sent = sendto(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                            reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent != static_cast<int>(bytes.size())) return std::nullopt;
    const std::string address = DottedAddress(target);
    RecordTestEvent("request " + std::to_string(++requests_) + " to " + address);
    return address;
}

bool Win32Platform::PeekDatagram(WaitingDatagram& waiting)
{
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int got =
        recvfrom(socket_, g_datagram, sizeof g_datagram, MSG_PEEK, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got == SOCKET_ERROR) return false;
    waiting.size = static_cast<size_t>(got);
    waiting.address = DottedAddress(from);
    waiting.port = ntohs(from.sin_port);
    return true;
}

bool Win32Platform::ReadDatagram(std::vector<uint8_t>& bytes)
{
    announced_ = false;   // the read re-arms the notification for whatever waits next
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int got =
        recvfrom(socket_, g_datagram, sizeof g_datagram, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got == SOCKET_ERROR) return false;
    bytes.assign(g_datagram, g_datagram + got);
    return true;
}

bool Win32Platform::DatagramWaiting(int32_t& size)
{
    // Every peek re-arms the notification while the datagram waits. A handler that lets events run
    // before its read (a trace write retrying on a file another program holds) would see the same
    // datagram announced again, one handler deeper each time, until the stack overflows. It is
    // announced once; the read re-arms the notification for the next one.
    size = 0;
    if (announced_) return false;
    WaitingDatagram waiting;
    if (PeekDatagram(waiting)) {
        announced_ = true;
        size = static_cast<int32_t>(waiting.size);
        RecordTestEvent("arrival " + std::to_string(waiting.size) + " bytes from " + waiting.address + ":" +
                        std::to_string(waiting.port));
        return true;
    }
    // A notification whose datagram was already taken is no arrival; any other failure is, so that
    // the handler's own read fails and ends the run.
    return WSAGetLastError() != WSAEWOULDBLOCK;
}

void Win32Platform::EnableTimer(bool enabled)
{
    if (!window_) return;
    if (enabled)
        SetTimer(window_, kTimerId, 1000, nullptr);
    else
        KillTimer(window_, kTimerId);
}

// ---- The report ---------------------------------------------------------------------------------

std::optional<std::string> Win32Platform::HttpGet(const std::wstring& url, const std::wstring& postData)
{
    // A few seconds at most for each stage, so an unreachable or silent host keeps the run short.
    constexpr int kResolveMs = 3000, kConnectMs = 3000, kSendMs = 3000, kReceiveMs = 5000;
    constexpr DWORD kWholeBodyMs = 10000;

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    InternetHandle session(WinHttpOpen(L"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)",
                                       WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.handle) return std::nullopt;
    WinHttpSetTimeouts(session.handle, kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    InternetHandle connection(WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
    if (!connection.handle) return std::nullopt;
    // The address is already escaped by its maker: send it exactly as built.
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= WINHTTP_FLAG_SECURE;
    InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request.handle) return std::nullopt;
    // The request keeps its own time-outs, the wait for the answer's headers among them.
    WinHttpSetTimeouts(request.handle, kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    DWORD responseMs = kReceiveMs;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
    std::string body = ToAnsi(postData);
    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr))
        return std::nullopt;

    std::string answer;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available)) return std::nullopt;
        if (available == 0) break;
        const size_t at = answer.size();
        answer.resize(at + available);
        DWORD got = 0;
        if (!WinHttpReadData(request.handle, answer.data() + at, available, &got)) return std::nullopt;
        answer.resize(at + got);
        if (GetTickCount() - start > kWholeBodyMs) return std::nullopt;   // a body that only trickles
    }
    return answer;
}

std::optional<std::wstring> Win32Platform::DecodeText(const std::string& bytes, const std::wstring& charset)
{
    const UINT codePage = CodePageOf(charset);
    if (codePage == 0) return std::nullopt;
    if (bytes.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

void Win32Platform::SetCaption(const std::wstring& caption)
{
    if (window_) SetWindowTextW(window_, caption.c_str());
}

// ---- Files, settings, processes ---------------------------------------------------------------

bool Win32Platform::WriteToFile(const std::wstring& path, const std::string& bytes, bool append)
{
    KernelHandle file(CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool Win32Platform::CopyOneFile(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

void Win32Platform::PumpEvents() { os::PumpEvents(); }

std::wstring Win32Platform::GetSetting(const std::wstring& application, const std::wstring& section,
                                       const std::wstring& key, const std::wstring& defaultValue)
{
    return os::GetSetting(application, section, key, defaultValue);
}

bool Win32Platform::SaveSetting(const std::wstring& application, const std::wstring& section, const std::wstring& key,
                                const std::wstring& value)
{
    try {
        os::SaveSetting(application, section, key, value);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

std::optional<uint32_t> Win32Platform::StartProcess(const std::wstring& commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;   // a normal, focused window
    PROCESS_INFORMATION info{};
    std::wstring writable = commandLine;
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return std::nullopt;
    // Only the id is kept: the process is watched through handles opened for that purpose.
    KernelHandle process(info.hProcess), thread(info.hThread);
    return info.dwProcessId;
}

std::unique_ptr<WatchedProcess> Win32Platform::OpenProcess(uint32_t processId, uint32_t access)
{
    HANDLE process = ::OpenProcess(access | SYNCHRONIZE, FALSE, processId);   // SYNCHRONIZE: to wait on it
    if (!process) return nullptr;
    return std::make_unique<Win32WatchedProcess>(process);
}

int16_t Win32Platform::OsMajorVersion()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 0;
    return static_cast<int16_t>(version.dwMajorVersion);
}

void Win32Platform::EndProgram()
{
    RecordTestEvent("end");
    ExitProcess(0);
}

} // namespace horasync
