// The stand-in's processes: a command starts (or not) with a given id, and runs for a given number
// of exit-code readings; each wait on it lets a given time pass on the stand-in's clock.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fakeos {

struct ProcessState {
    std::optional<uint32_t> startedProcessId = 4242;   // nothing: the command cannot be started
    int pollsUntilExit = 0;                            // exit-code readings that still say it runs
    uint32_t exitCode = 0;                             // once it has ended
    bool canBeWatched = true;
    int64_t msPerWait = 0;                             // time that passes at each wait on a process
    int osMajor = 10;

    std::vector<std::wstring> started;
    int terminated = 0;
    int waits = 0;
    uint32_t longestWaitMs = 0;
};

// The processes' state; `Processes() = {}` starts afresh.
ProcessState& Processes();

} // namespace fakeos
