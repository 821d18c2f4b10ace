// Linux network (os/net.h): a UDP socket whose notifications the Qt event loop posts to the window
// object as events (no threads), one HTTP/1.1 GET over a plain socket with a bound on every stage,
// as WinHTTP's time-outs bound them, and the decoding of the answers' text. The GET sends the
// address byte for byte as its maker escaped it and names itself as the Windows program does.
#include "os/net.h"

#include "os/ansi.h"
#include "os/errors.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <memory>

namespace os {
namespace {

constexpr uintptr_t kNoSocket = ~uintptr_t{0};

// Windows' numbers for what the programs may see fail: WinHTTP's time-out, unresolved name, lost
// connection and bad answer, Winsock's unknown host.
constexpr unsigned long kTimedOut = 12002, kNameNotResolved = 12007, kConnectionError = 12030,
                        kInvalidAnswer = 12152, kHostNotFound = 11001;

// Room for any datagram (UDP carries at most 65,507 bytes): peeking never fails for size.
char g_datagram[65536];

[[noreturn]] void FailErrno(const char* what, int err)
{
    throw PlatformError(std::string(what) + ": " + std::strerror(err), 0x20000000u + static_cast<unsigned>(err));
}

std::string DottedAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

// recvfrom into g_datagram without waiting: the byte count, or -1 with errno.
ssize_t ReceiveFrom(uintptr_t socket, int flags, sockaddr_in& from)
{
    socklen_t fromLength = sizeof from;
    return recvfrom(static_cast<int>(socket), g_datagram, sizeof g_datagram, flags | MSG_DONTWAIT,
                    reinterpret_cast<sockaddr*>(&from), &fromLength);
}

// The addresses a lookup found, freed with it.
struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList()
    {
        if (first) freeaddrinfo(first);
    }
};

// ---- HTTP -----------------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for `events` before the deadline; a time-out throws.
void Await(int fd, short events, Clock::time_point deadline, const char* stage)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, MsLeft(deadline));
        if (n > 0) return;
        if (n == 0) throw PlatformError(std::string(stage) + ": timed out", kTimedOut);
        if (errno != EINTR) FailErrno("poll", errno);
    }
}

// The host's first IPv4 address, the lookup bounded by `ms`. The resolver answers in a helper of
// its own; a lookup it cannot cancel in time is left to it, with its request, until the program
// ends.
sockaddr_in Resolve(const std::string& host, uint16_t port, int ms)
{
    struct Lookup {
        std::string name;
        addrinfo hints{};
        gaicb request{};
    };
    auto lookup = std::make_unique<Lookup>();
    lookup->name = host;
    lookup->hints.ai_family = AF_INET;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->name.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    if (getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) throw PlatformError("name lookup", kNameNotResolved);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int state;
    while ((state = gai_error(&lookup->request)) == EAI_INPROGRESS) {
        const int left = MsLeft(deadline);
        if (left == 0 && gai_cancel(&lookup->request) == EAI_NOTCANCELED) {
            lookup.release();
            throw PlatformError("name lookup: timed out", kTimedOut);
        }
        const timespec wait{left / 1000, (left % 1000) * 1000000L};
        if (left > 0) gai_suspend(requests, 1, &wait);
    }
    if (state == EAI_CANCELED) throw PlatformError("name lookup: timed out", kTimedOut);
    AddressList found{state == 0 ? lookup->request.ar_result : nullptr};
    if (!found.first) throw PlatformError("name lookup: " + host + " not resolved", kNameNotResolved);
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found.first->ai_addr);
    address.sin_port = htons(port);
    return address;
}

struct Url {
    std::string host;
    uint16_t port = 80;
    std::string hostHeader;   // the host, and the port when it is not 80
    std::string path;
};

Url ParseUrl(std::wstring_view url)
{
    const std::string text = ToAnsi(url);
    constexpr std::string_view scheme = "http://";
    if (text.size() < scheme.size() || strncasecmp(text.c_str(), scheme.data(), scheme.size()) != 0)
        throw PlatformError("only http:// addresses are fetched: " + text, 12006);
    const size_t hostStart = scheme.size();
    const size_t hostEnd = std::min(text.find_first_of("/?#", hostStart), text.size());
    Url parts;
    parts.hostHeader = text.substr(hostStart, hostEnd - hostStart);
    const size_t colon = parts.hostHeader.find(':');
    parts.host = parts.hostHeader.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = parts.hostHeader.substr(colon + 1);
        char* end = nullptr;
        const long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end || number < 1 || number > 65535) throw PlatformError("bad port: " + text, 12006);
        parts.port = static_cast<uint16_t>(number);
        if (parts.port == 80) parts.hostHeader = parts.host;
    }
    if (parts.host.empty()) throw PlatformError("no host: " + text, 12006);
    parts.path = text.substr(hostEnd, text.find('#', hostEnd) - hostEnd);
    if (parts.path.empty() || parts.path[0] != '/') parts.path.insert(0, "/");
    return parts;
}

// A chunked body decoded into `body`; false while its last chunk has not come.
bool Unchunk(std::string_view bytes, std::string& body)
{
    body.clear();
    for (;;) {
        const size_t lineEnd = bytes.find("\r\n");
        if (lineEnd == std::string_view::npos) return false;
        const std::string sizeText(bytes.substr(0, lineEnd));
        char* end = nullptr;
        const unsigned long size = std::strtoul(sizeText.c_str(), &end, 16);
        if (end == sizeText.c_str()) throw PlatformError("bad chunk", kInvalidAnswer);
        bytes.remove_prefix(lineEnd + 2);
        if (size == 0) return true;   // trailers are not read
        if (bytes.size() < size + 2) return false;
        body.append(bytes.substr(0, size));
        bytes.remove_prefix(size + 2);
    }
}

// The value of a header in a block of headers, its name in any case; empty when missing.
std::string HeaderValue(const std::string& headers, const char* name)
{
    size_t at = 0;
    while ((at = headers.find("\r\n", at)) != std::string::npos) {
        at += 2;
        const size_t colon = headers.find(':', at);
        const size_t lineEnd = headers.find("\r\n", at);
        if (colon == std::string::npos || colon > lineEnd) continue;
        if (strncasecmp(headers.c_str() + at, name, std::strlen(name)) != 0 || colon - at != std::strlen(name)) continue;
        size_t valueStart = colon + 1;
        while (valueStart < lineEnd && (headers[valueStart] == ' ' || headers[valueStart] == '\t')) ++valueStart;
        return headers.substr(valueStart, lineEnd - valueStart);
    }
    return {};
}

class Connection {
public:
    Connection() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
        if (fd_ < 0) FailErrno("socket", errno);
    }
    ~Connection() { close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Connect(const sockaddr_in& address, int ms)
    {
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return;
        if (errno != EINPROGRESS) throw PlatformError(std::string("connect: ") + std::strerror(errno), kConnectionError);
        Await(fd_, POLLOUT, Clock::now() + std::chrono::milliseconds(ms), "connect");
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) throw PlatformError(std::string("connect: ") + std::strerror(error), kConnectionError);
    }

    // Sends all of `bytes`, waiting at most `ms` each time the socket cannot take more.
    void Send(std::string_view bytes, int ms)
    {
        while (!bytes.empty()) {
            const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n >= 0) {
                bytes.remove_prefix(static_cast<size_t>(n));
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                Await(fd_, POLLOUT, Clock::now() + std::chrono::milliseconds(ms), "send");
            } else if (errno != EINTR) {
                throw PlatformError(std::string("send: ") + std::strerror(errno), kConnectionError);
            }
        }
    }

    // Appends what arrives to `bytes`, waiting until `deadline`: false once the server has closed.
    bool Receive(std::string& bytes, Clock::time_point deadline)
    {
        Await(fd_, POLLIN, deadline, "receive");
        char buffer[16384];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw PlatformError(std::string("receive: ") + std::strerror(errno), kConnectionError);
        if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
        return n != 0;
    }

private:
    int fd_;
};

// The character sets the decoder knows: the code page's and UTF-8.
std::wstring CharsetName(std::wstring_view charset)
{
    std::wstring name;
    for (const wchar_t c : charset) name += static_cast<wchar_t>(std::towlower(c));
    return name;
}

} // namespace

// ---- The UDP socket -----------------------------------------------------------------------------

UdpSocket::~UdpSocket()
{
    delete static_cast<QSocketNotifier*>(watch_);
    if (socket_ != kNoSocket) close(static_cast<int>(socket_));
}

void UdpSocket::NotifyTo(void* window, uint32_t message)
{
    window_ = window;
    message_ = message;
}

void UdpSocket::Open()
{
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0) FailErrno("socket", errno);
    socket_ = static_cast<uintptr_t>(s);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;   // any free local port
    if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) FailErrno("bind", errno);
    if (!window_) return;
    // A waiting datagram is announced once: the watch rests from its notification until the read,
    // as Windows re-arms its notification on the read.
    auto* watch = new QSocketNotifier(s, QSocketNotifier::Read);
    watch_ = watch;
    auto* window = static_cast<QObject*>(window_);
    const auto type = static_cast<QEvent::Type>(message_);
    QObject::connect(watch, &QSocketNotifier::activated, [watch, window, type] {
        watch->setEnabled(false);
        QCoreApplication::postEvent(window, new QEvent(type));
    });
}

void UdpSocket::SetRemote(std::wstring_view host, uint16_t port)
{
    remoteHost_ = std::wstring(host);
    remotePort_ = port;
}

std::string UdpSocket::Send(const std::vector<uint8_t>& bytes)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    AddressList found;
    const std::string host = WideToUtf8(remoteHost_);
    if (getaddrinfo(host.c_str(), std::to_string(remotePort_).c_str(), &hints, &found.first) != 0 || !found.first)
        throw PlatformError("getaddrinfo: " + host + " not found", kHostNotFound);
    const auto& target = *reinterpret_cast<const sockaddr_in*>(found.first->ai_addr);
    const ssize_t sent = sendto(static_cast<int>(socket_), bytes.data(), bytes.size(), 0,
                                reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent != static_cast<ssize_t>(bytes.size())) FailErrno("sendto", sent < 0 ? errno : EMSGSIZE);
    return DottedAddress(target);
}

WaitingDatagram UdpSocket::Peek()
{
    sockaddr_in from{};
    const ssize_t got = ReceiveFrom(socket_, MSG_PEEK, from);
    if (got < 0) FailErrno("recvfrom", errno);
    return {static_cast<size_t>(got), DottedAddress(from), ntohs(from.sin_port)};
}

std::vector<uint8_t> UdpSocket::Read()
{
    announced_ = false;   // the read re-arms the notification for whatever waits next
    if (watch_) static_cast<QSocketNotifier*>(watch_)->setEnabled(true);
    sockaddr_in from{};
    const ssize_t got = ReceiveFrom(socket_, 0, from);
    if (got < 0) FailErrno("recvfrom", errno);
    return std::vector<uint8_t>(g_datagram, g_datagram + got);
}

std::optional<size_t> UdpSocket::Announce()
{
    if (announced_) return std::nullopt;
    sockaddr_in from{};
    const ssize_t got = ReceiveFrom(socket_, MSG_PEEK, from);
    if (got >= 0) {
        announced_ = true;
        return static_cast<size_t>(got);
    }
    // A notification whose datagram was already taken is no arrival: the watch goes on.
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (watch_) static_cast<QSocketNotifier*>(watch_)->setEnabled(true);
        return std::nullopt;
    }
    return 0;
}

// ---- HTTP and text ------------------------------------------------------------------------------

std::string HttpGet(std::wstring_view url, std::wstring_view postData)
{
    // A few seconds at most for each stage, as on Windows, so an unreachable or silent host keeps
    // the run short.
    constexpr int kResolveMs = 3000, kConnectMs = 3000, kSendMs = 3000, kReceiveMs = 5000, kWholeBodyMs = 10000;

    const Url parts = ParseUrl(url);
    const std::string body = ToAnsi(postData);
    std::string request = "GET " + parts.path + " HTTP/1.1\r\n" +
                          "User-Agent: Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)\r\n" +
                          "Host: " + parts.hostHeader + "\r\nConnection: close\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;

    Connection connection;
    connection.Connect(Resolve(parts.host, parts.port, kResolveMs), kConnectMs);
    connection.Send(request, kSendMs);

    // The headers, each wait for more bounded; then the body, bounded as a whole as well.
    std::string answer;
    size_t headerEnd;
    while ((headerEnd = answer.find("\r\n\r\n")) == std::string::npos) {
        if (!connection.Receive(answer, Clock::now() + std::chrono::milliseconds(kReceiveMs)))
            throw PlatformError("the answer ended in its headers", kInvalidAnswer);
    }
    const std::string headers = answer.substr(0, headerEnd + 2);
    if (headers.compare(0, 5, "HTTP/") != 0) throw PlatformError("not an HTTP answer", kInvalidAnswer);
    const bool chunked = strcasestr(HeaderValue(headers, "Transfer-Encoding").c_str(), "chunked") != nullptr;
    const std::string lengthText = HeaderValue(headers, "Content-Length");
    const size_t length = lengthText.empty() ? std::string::npos : std::strtoull(lengthText.c_str(), nullptr, 10);
    std::string received = answer.substr(headerEnd + 4), decoded;

    const auto wholeBody = Clock::now() + std::chrono::milliseconds(kWholeBodyMs);
    for (;;) {
        if (chunked && Unchunk(received, decoded)) return decoded;
        if (!chunked && length != std::string::npos && received.size() >= length) return received.substr(0, length);
        const auto deadline = std::min(wholeBody, Clock::now() + std::chrono::milliseconds(kReceiveMs));
        if (!connection.Receive(received, deadline)) break;
    }
    // Closed by the server: a body without a length ends here; a shorter one is incomplete.
    if (chunked || length != std::string::npos) throw PlatformError("the answer ended early", kConnectionError);
    return received;
}

std::wstring DecodeText(std::string_view bytes, std::wstring_view charset)
{
    const std::wstring name = CharsetName(charset);
    if (name == L"gb2312" || name == L"gbk" || name == L"cp936" || name == L"x-gbk") return FromAnsi(bytes);
    if (name == L"utf-8" || name == L"utf8") {
        std::wstring text;
        if (!Utf8ToWide(bytes, text)) throw PlatformError("not UTF-8", 1113);
        return text;
    }
    throw PlatformError("unknown character set", 87);
}

} // namespace os
