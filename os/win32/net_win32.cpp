// Win32 network: a Winsock UDP socket announcing itself through WSAAsyncSelect (no threads),
// WinHTTP with bounded time-outs, and the code pages of the answers' character sets.
#include "os/net.h"

#include "os/ansi.h"
#include "os/win32/scoped.h"

#include <winsock2.h>
#include <winhttp.h>
#include <ws2tcpip.h>

#include <cwctype>

namespace os {
namespace {

using InternetHandle = Scoped<HINTERNET, &WinHttpCloseHandle>;
using AddressList = Scoped<ADDRINFOW*, &FreeAddrInfoW>;

// Room for any datagram (UDP carries at most 65,507 bytes): peeking never fails for size.
char g_datagram[65536];

std::string DottedAddress(const sockaddr_in& address)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

// recvfrom into g_datagram: the byte count, or SOCKET_ERROR with the error in WSAGetLastError.
int ReceiveFrom(uintptr_t socket, int flags, sockaddr_in& from)
{
    int fromLength = sizeof from;
    return recvfrom(static_cast<SOCKET>(socket), g_datagram, sizeof g_datagram, flags, reinterpret_cast<sockaddr*>(&from),
                    &fromLength);
}

// The code page of a character-set name, as the decoder knows them; 0 for an unknown name.
UINT CodePageOf(std::wstring_view charset)
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

// ---- The UDP socket -----------------------------------------------------------------------------

UdpSocket::~UdpSocket()
{
    if (socket_ != INVALID_SOCKET) closesocket(static_cast<SOCKET>(socket_));
    if (started_) WSACleanup();
}

void UdpSocket::NotifyTo(void* window, uint32_t message)
{
    window_ = window;
    message_ = message;
}

void UdpSocket::Open()
{
    if (!started_) {
        WSADATA data;
        if (const int code = WSAStartup(MAKEWORD(2, 2), &data)) Fail("WSAStartup", code);
        started_ = true;
    }
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) Fail("socket", WSAGetLastError());
    socket_ = s;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;   // any free local port
    if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) Fail("bind", WSAGetLastError());
    if (window_ && WSAAsyncSelect(s, static_cast<HWND>(window_), message_, FD_READ) != 0)
        Fail("WSAAsyncSelect", WSAGetLastError());
}

void UdpSocket::SetRemote(std::wstring_view host, uint16_t port)
{
    remoteHost_ = std::wstring(host);
    remotePort_ = port;
}

std::string UdpSocket::Send(const std::vector<uint8_t>& bytes)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    AddressList found;
    const std::wstring port = std::to_wstring(remotePort_);
    if (const int code = GetAddrInfoW(remoteHost_.c_str(), port.c_str(), &hints, &found.handle)) Fail("GetAddrInfo", code);
    if (!found.handle) Fail("GetAddrInfo", WSAHOST_NOT_FOUND);
    const auto& target = *reinterpret_cast<const sockaddr_in*>(found.handle->ai_addr);
    const int sent = sendto(static_cast<SOCKET>(socket_), reinterpret_cast<const char*>(bytes.data()),
                            static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent != static_cast<int>(bytes.size())) Fail("sendto", WSAGetLastError());
    return DottedAddress(target);
}

WaitingDatagram UdpSocket::Peek()
{
    sockaddr_in from{};
    const int got = ReceiveFrom(socket_, MSG_PEEK, from);
    if (got == SOCKET_ERROR) Fail("recvfrom", WSAGetLastError());
    return {static_cast<size_t>(got), DottedAddress(from), ntohs(from.sin_port)};
}

std::vector<uint8_t> UdpSocket::Read()
{
    announced_ = false;   // the read re-arms the notification for whatever waits next
    sockaddr_in from{};
    const int got = ReceiveFrom(socket_, 0, from);
    if (got == SOCKET_ERROR) Fail("recvfrom", WSAGetLastError());
    return std::vector<uint8_t>(g_datagram, g_datagram + got);
}

std::optional<size_t> UdpSocket::Announce()
{
    if (announced_) return std::nullopt;
    sockaddr_in from{};
    const int got = ReceiveFrom(socket_, MSG_PEEK, from);
    if (got != SOCKET_ERROR) {
        announced_ = true;
        return static_cast<size_t>(got);
    }
    // A notification whose datagram was already taken is no arrival.
    if (WSAGetLastError() == WSAEWOULDBLOCK) return std::nullopt;
    return 0;
}

// ---- HTTP and text ------------------------------------------------------------------------------

std::string HttpGet(std::wstring_view url, std::wstring_view postData)
{
    // A few seconds at most for each stage, so an unreachable or silent host keeps the run short.
    constexpr int kResolveMs = 3000, kConnectMs = 3000, kSendMs = 3000, kReceiveMs = 5000;
    constexpr DWORD kWholeBodyMs = 10000;

    const std::wstring address(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts)) Fail("WinHttpCrackUrl");
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    InternetHandle session(WinHttpOpen(L"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)",
                                       WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.handle) Fail("WinHttpOpen");
    WinHttpSetTimeouts(session.handle, kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    InternetHandle connection(WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
    if (!connection.handle) Fail("WinHttpConnect");
    // The address is already escaped by its maker: send it exactly as built.
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= WINHTTP_FLAG_SECURE;
    InternetHandle request(WinHttpOpenRequest(connection.handle, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request.handle) Fail("WinHttpOpenRequest");
    // The request keeps its own time-outs, the wait for the answer's headers among them.
    WinHttpSetTimeouts(request.handle, kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    DWORD responseMs = kReceiveMs;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs, sizeof responseMs);
    std::string body = ToAnsi(postData);
    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0))
        Fail("WinHttpSendRequest");
    if (!WinHttpReceiveResponse(request.handle, nullptr)) Fail("WinHttpReceiveResponse");

    std::string answer;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.handle, &available)) Fail("WinHttpQueryDataAvailable");
        if (available == 0) break;
        const size_t at = answer.size();
        answer.resize(at + available);
        DWORD got = 0;
        if (!WinHttpReadData(request.handle, answer.data() + at, available, &got)) Fail("WinHttpReadData");
        answer.resize(at + got);
        if (GetTickCount() - start > kWholeBodyMs) Fail("WinHttpReadData", ERROR_TIMEOUT);   // a body that only trickles
    }
    return answer;
}

std::wstring DecodeText(std::string_view bytes, std::wstring_view charset)
{
    const UINT codePage = CodePageOf(charset);
    if (codePage == 0) Fail("DecodeText", ERROR_INVALID_PARAMETER);
    if (bytes.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) Fail("MultiByteToWideChar");
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

} // namespace os
