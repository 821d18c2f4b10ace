// The contract tables' fixture for the in-memory stand-in.
#include "tests/unit/contract/contract.h"

#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_processes.h"
#include "tests/unit/stand_in/stand_in_registry.h"

namespace contract {

Scratch::Scratch() : path_(L"C:\\scratch")
{
    fakeos::Reset();
    fakeos::ResetRegistry();
    fakeos::Processes() = {};
    fakeos::PutFolder(path_);
}

Scratch::~Scratch() = default;

bool UnderWine() { return false; }

std::wstring CommandThatRuns()
{
    fakeos::Processes().pollsUntilExit = 1 << 30;
    return L"runner.exe";
}

std::wstring CommandThatCannotStart()
{
    fakeos::Processes().startedProcessId.reset();
    return L"missing.exe";
}

} // namespace contract
