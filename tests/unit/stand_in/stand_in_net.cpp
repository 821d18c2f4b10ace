#include "tests/unit/stand_in/stand_in_net.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/net.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace fakeos {

NetState& Net() { return fakeos::TheOne<NetState>(); }

} // namespace fakeos

namespace os {

using fakeos::Net;

UdpSocket::~UdpSocket() = default;

void UdpSocket::NotifyTo(void* window, uint32_t message)
{
    window_ = window;
    message_ = message;
}

void UdpSocket::Open()
{
    fakeos::Journal().push_back(L"OpenSocket");
    if (!Net().socketOpens) throw PlatformError("socket: no buffer space", 10055);
}

void UdpSocket::SetRemote(std::wstring_view host, uint16_t port)
{
    remoteHost_ = Net().remoteHost = std::wstring(host);
    remotePort_ = Net().remotePort = port;
}

std::string UdpSocket::Send(const std::vector<uint8_t>& bytes)
{
    fakeos::Journal().push_back(L"Send");
    if (Net().unresolvable.count(remoteHost_)) throw PlatformError("GetAddrInfo: host not found", 11001);
    Net().sent.push_back(bytes);
    Net().sentTo.push_back(remoteHost_);
    const auto found = Net().addresses.find(remoteHost_);
    return found == Net().addresses.end() ? std::string("127.0.0.1") : found->second;
}

WaitingDatagram UdpSocket::Peek()
{
    if (Net().readFails || Net().waiting.empty()) throw PlatformError("recvfrom: would block", 10035);
    const auto& [bytes, from] = Net().waiting.front();
    return {bytes.size(), from.first, from.second};
}

std::vector<uint8_t> UdpSocket::Read()
{
    fakeos::Journal().push_back(L"ReadDatagram");
    announced_ = false;
    if (Net().readFails || Net().waiting.empty()) throw PlatformError("recvfrom: would block", 10035);
    std::vector<uint8_t> bytes = std::move(Net().waiting.front().first);
    Net().waiting.pop_front();
    return bytes;
}

std::optional<size_t> UdpSocket::Announce()
{
    if (announced_ || Net().waiting.empty()) return std::nullopt;
    if (Net().readFails) return 0;
    announced_ = true;
    return Net().waiting.front().first.size();
}

std::string HttpGet(std::wstring_view url, std::wstring_view)
{
    fakeos::Journal().push_back(L"HttpGet");
    Net().httpRequests.emplace_back(url);
    if (!Net().httpBody) throw PlatformError("WinHttpSendRequest: cannot connect", 12029);
    return *Net().httpBody;
}

std::wstring DecodeText(std::string_view bytes, std::wstring_view charset)
{
    // GB2312 is a part of the test PC's code page 936.
    if (charset != L"GB2312") throw PlatformError("DecodeText: unknown character set", 87);
    return FromAnsi(bytes);
}

} // namespace os
