// The contract tables' fixture for os_win32 (under Wine here): a folder below the temporary folder,
// and the test helper program.
#include "tests/unit/contract/contract.h"

#include "tests/unit/wine/wine_support.h"

namespace contract {

Scratch::Scratch()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    path_ = temp + (L"contract" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter));
    testsupport::RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

Scratch::~Scratch()
{
    SetCurrentDirectoryW(testsupport::ExeFolder().c_str());   // a row may have entered the folder
    testsupport::RemoveTree(path_);
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool KeepsHiddenBit() { return true; }

bool SystemVolumeHasSerial() { return true; }

std::wstring CommandThatRuns() { return L"\"" + testsupport::ExeFolder() + L"test_helper.exe\" sleep 30000"; }

std::wstring CommandThatCannotStart() { return testsupport::ExeFolder() + L"missing.exe"; }

} // namespace contract
