// The contract tables' fixture for os_linux: a folder below /tmp, named in the programs' Windows form.
#include "tests/unit/contract/contract.h"

#include <unistd.h>

#include <filesystem>

namespace contract {

namespace {

std::string Native(const std::wstring& path)
{
    std::string native = "/";
    for (wchar_t c : path.substr(3)) native += c == L'\\' ? '/' : static_cast<char>(c);
    return native;
}

// The settings rows' own store for the whole run (Qt takes the configuration folder once).
struct SettingsFolder {
    std::string path = "/tmp/contract" + std::to_string(getpid()) + "_config";
    SettingsFolder() { setenv("XDG_CONFIG_HOME", path.c_str(), 1); }
    ~SettingsFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

Scratch::Scratch()
{
    static unsigned counter = 0;
    path_ = L"C:\\tmp\\contract" + std::to_wstring(getpid()) + L"_" + std::to_wstring(++counter);
    std::filesystem::remove_all(Native(path_));
    std::filesystem::create_directories(Native(path_));
    static SettingsFolder settings;
}

Scratch::~Scratch()
{
    std::filesystem::current_path("/");   // a row may have entered the folder
    std::filesystem::permissions(Native(path_), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    std::error_code ignored;
    std::filesystem::remove_all(Native(path_), ignored);
}

bool UnderWine() { return false; }

bool KeepsHiddenBit() { return false; }

bool SystemVolumeHasSerial() { return std::filesystem::exists("/dev/disk/by-uuid"); }

std::wstring CommandThatRuns() { return L"/bin/sleep 30"; }

std::wstring CommandThatCannotStart() { return L"/nonexistent/missing"; }

} // namespace contract
