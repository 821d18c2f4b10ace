// The network: a UDP socket whose notifications arrive as window messages (the one thread never
// blocks on it), one HTTP exchange with bounded time-outs, and the decoding of an answer's text.
// Win32: os/win32/net_win32.cpp; Linux: os/linux/net_linux.cpp, whose notifications are Qt events
// posted to the window object.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// A datagram waiting at a socket, looked at without taking it.
struct WaitingDatagram {
    size_t size = 0;
    std::string address;   // dotted IPv4 address of the sender
    uint16_t port = 0;
};

// A UDP socket. Every operation that fails throws PlatformError.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Where the notifications of the socket go once it is open: `message` posted to `window`, with
    // the event and error in the form the platform gives them (Linux: a QEvent of type `message`
    // posted to the QObject `window`, for a datagram waiting).
    void NotifyTo(void* window, uint32_t message);
    // Makes the socket UDP and binds it to any free local port.
    void Open();
    void SetRemote(std::wstring_view host, uint16_t port);
    // Sends one datagram to the remote host (resolved now) and port: the address it went to.
    std::string Send(const std::vector<uint8_t>& bytes);
    // Looks at the datagram waiting without taking it.
    WaitingDatagram Peek();
    // Takes the waiting datagram.
    std::vector<uint8_t> Read();
    // At a read notification: the size of the datagram waiting, announced once. Nothing when none
    // waits or when it was announced and has not been read since: while a datagram waits, every
    // look at it re-arms the notification, and a handler that lets events run before its read
    // would otherwise see the same datagram announced again, one handler deeper each time. A
    // datagram that cannot be looked at is announced with size 0, so that its handler's own look
    // fails.
    std::optional<size_t> Announce();

private:
    uintptr_t socket_ = ~uintptr_t{0};
    bool started_ = false;
    void* window_ = nullptr;
    uint32_t message_ = 0;
    std::wstring remoteHost_;
    uint16_t remotePort_ = 0;
    bool announced_ = false;
    void* watch_ = nullptr;   // Linux: the Qt watch that posts the notifications
};

// One synchronous GET (with `postData` as its body when not empty), bounded by a few seconds'
// time-outs at each stage: the body of any completed answer whatever its status. Throws
// PlatformError on any failure.
std::string HttpGet(std::wstring_view url, std::wstring_view postData);

// Bytes decoded in the named character set ("GB2312", "UTF-8"); throws PlatformError for a set
// it does not know or bytes it cannot decode.
std::wstring DecodeText(std::string_view bytes, std::wstring_view charset);

} // namespace os
