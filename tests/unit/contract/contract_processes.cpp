// Other programs' processes (os/processes.h): vemr starts horasync, setup starts and waits for
// programs and ends them when they run too long.
#include "os/processes.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

TEST(ProcessesContract, AProgramThatCannotStartFailsWith2)
{
    contract::Scratch fresh;
    EXPECT_EQ(contract::ErrorOf([] { os::StartProcess(contract::CommandThatCannotStart()); }), 2u);
    EXPECT_GE(os::OsMajorVersion(), 5);
}

TEST(ProcessesContract, AStartedProgramRunsUntilItIsEndedWithTheGivenCode)
{
    contract::Scratch fresh;
    const auto process = os::OpenProcess(os::StartProcess(contract::CommandThatRuns()), os::kProcessAllAccess);
    EXPECT_EQ(process->ExitCode(), os::kStillActive);
    process->Terminate(7);
    for (int wait = 0; wait < 50 && process->ExitCode() == os::kStillActive; ++wait) process->WaitForEndOrEvent(100);
    EXPECT_EQ(process->ExitCode(), 7u);
}
