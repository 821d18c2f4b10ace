#include "tests/unit/stand_in/stand_in_processes.h"

#include "os/errors.h"
#include "os/processes.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_clock.h"

#include <algorithm>

namespace fakeos {

ProcessState& Processes() { return fakeos::TheOne<ProcessState>(); }

} // namespace fakeos

namespace os {
namespace {

using fakeos::Processes;

class FakeProcess : public WatchedProcess {
public:
    uint32_t ExitCode() override
    {
        if (Processes().pollsUntilExit > 0) {
            --Processes().pollsUntilExit;
            return kStillActive;
        }
        return Processes().exitCode;
    }
    void WaitForEndOrEvent(uint32_t ms) override
    {
        ++Processes().waits;
        Processes().longestWaitMs = std::max(Processes().longestWaitMs, ms);
        fakeos::AdvanceClock(Processes().msPerWait);
    }
    void Terminate(uint32_t exitCode) override
    {
        ++Processes().terminated;
        Processes().exitCode = exitCode;
        Processes().pollsUntilExit = 0;
    }
};

} // namespace

uint32_t StartProcess(std::wstring_view commandLine)
{
    fakeos::Journal().push_back(L"StartProcess " + std::wstring(commandLine));
    Processes().started.emplace_back(commandLine);
    if (!Processes().startedProcessId) throw PlatformError("CreateProcess: file not found", 2);
    return *Processes().startedProcessId;
}

std::unique_ptr<WatchedProcess> OpenProcess(uint32_t, uint32_t access)
{
    fakeos::Journal().push_back(L"OpenProcess " + std::to_wstring(access));
    if (!Processes().canBeWatched) throw PlatformError("OpenProcess: access denied", 5);
    return std::make_unique<FakeProcess>();
}

int OsMajorVersion() { return Processes().osMajor; }

} // namespace os
