// The contract tables: one table per os/ service, a row per behaviour the programs rely on, as
// Windows shows it, run against every implementation (the stand-in in unit_tests, os_win32 in
// platform_tests). Error numbers are Windows' (2 file not found, 3 path not found, 5 access denied,
// 145 folder not empty, 183 already exists); another platform's implementation maps its own onto
// them. Each implementation gives the tables what they cannot make through os/ alone (its
// fixture_<implementation>.cpp).
#pragma once
#include "os/errors.h"

#include <string>
#include <string_view>

namespace contract {

// A fresh, empty folder for one row (no closing backslash), removed with its contents afterwards;
// the implementation's other state starts afresh too, and the current directory is left as it was.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

private:
    std::wstring path_;
};

// True under Wine, where a row says how Wine differs from Windows (the tests run it as root).
bool UnderWine();
// False where files keep no hidden bit of their own (Linux: a name starting with "." is hidden).
bool KeepsHiddenBit();
// False where the system volume has no serial to give (a Linux system without udev's
// /dev/disk/by-uuid, such as a container).
bool SystemVolumeHasSerial();
// A command line whose program runs until it is ended; one whose program does not exist.
std::wstring CommandThatRuns();
std::wstring CommandThatCannotStart();

// The platform's error number of the failure, 0 when the call succeeded.
template <class Call>
unsigned long ErrorOf(Call&& call)
{
    try {
        call();
    } catch (const PlatformError& error) {
        return error.code();
    }
    return 0;
}

} // namespace contract
