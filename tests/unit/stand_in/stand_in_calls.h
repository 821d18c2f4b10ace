// The stand-in's record of the notable calls made to it (clock readings and settings, socket and
// HTTP traffic, processes) and of a program's test events, in order, for tests that check order.
#pragma once
#include <string>
#include <vector>

namespace fakeos {

inline std::vector<std::string>& Calls()
{
    static std::vector<std::string> calls;
    return calls;
}

} // namespace fakeos
