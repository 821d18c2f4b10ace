// The contract tables' fixture for the in-memory stand-in.
#include "tests/unit/contract/contract.h"

#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_processes.h"
#include "tests/unit/stand_in/stand_in_registry.h"

namespace contract {

namespace {

// Every service the rows reach, afresh, so no row leaves state to the tests that run after it.
void Afresh()
{
    fakeos::Reset();
    fakeos::ResetRegistry();
    fakeos::Processes() = {};
    fakeos::Clock() = {};
}

} // namespace

Scratch::Scratch() : path_(L"C:\\scratch")
{
    Afresh();
    fakeos::PutFolder(path_);
}

Scratch::~Scratch() { Afresh(); }

bool UnderWine() { return false; }

bool KeepsHiddenBit() { return true; }

bool SystemVolumeHasSerial() { return true; }

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
