// The stand-in's network: host names that resolve (or not), a socket whose sent datagrams are kept
// and whose arrivals a test queues, and one scripted HTTP answer.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fakeos {

struct NetState {
    std::map<std::wstring, std::string> addresses;   // host names that resolve (any other: 127.0.0.1)
    std::set<std::wstring> unresolvable;
    bool socketOpens = true;
    bool readFails = false;
    std::optional<std::string> httpBody;              // nothing: the exchange fails

    std::wstring remoteHost;
    uint16_t remotePort = 0;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::wstring> sentTo;
    // Datagrams waiting at the socket, each with its sender's address and port.
    std::deque<std::pair<std::vector<uint8_t>, std::pair<std::string, uint16_t>>> waiting;
    std::vector<std::wstring> httpRequests;
};

// The network's state; `Net() = {}` starts afresh.
NetState& Net();

} // namespace fakeos
