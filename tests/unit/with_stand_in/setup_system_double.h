// The installer's window fake together with the stand-in's files, shell and registry as the
// installer's tests script and read them: each object starts them afresh, and its fields are the
// stand-in's own (tests/unit/stand_in/stand_in_files.h, stand_in_shell.h, stand_in_registry.h).
#pragma once
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_registry.h"
#include "tests/unit/stand_in/stand_in_shell.h"
#include "tests/unit/with_stand_in/setup_window_double.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/platform.h"
#include "os/settings.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using os::kHkeyCurrentUser;
using os::kHkeyLocalMachine;
using os::kHkeyUsers;
using os::kRegInvalidHandle;
using os::kRegSz;
using os::RegKey;

class FakeFilesSystem : public FakeSetupWindow {
public:
    FakeFilesSystem()
    {
        fakeos::ResetFiles();
        fakeos::ResetShell();
        fakeos::ResetRegistry();
        fakeos::Journal().clear();
    }

    void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = 32, int64_t modified = 1000)
    {
        fakeos::PutFile(path, bytes, attributes, modified);
    }
    void PutFolder(const std::wstring& path, uint32_t attributes = os::kAttrFolder) { fakeos::PutFolder(path, attributes); }
    void PutRunningFile(const std::wstring& path, const std::string& bytes) { fakeos::PutRunningFile(path, bytes); }
    bool Has(const std::wstring& path) const { return fakeos::Has(path); }
    std::string Bytes(const std::wstring& path) const { return fakeos::Bytes(path); }
    static std::wstring Key(std::wstring_view path) { return fakeos::FileKey(path); }


    fakeos::FileScript& files = fakeos::Files();
    std::map<std::wstring, std::wstring>& resolved = files.resolved;
    std::set<std::wstring>& sameFiles = files.sameFiles;
    std::map<std::wstring, int>& failingCopies = files.failingCopies;
    std::set<std::wstring>& failingRenames = files.failingRenames;
    std::wstring& tempPath = files.tempPath;
    std::vector<std::pair<std::wstring, std::wstring>>& copies = files.copies;
    std::vector<std::wstring>& removedFolders = files.removedFolders;
    std::vector<std::wstring>& events = fakeos::Journal();   // platform calls in order

    fakeos::ShellScript& shell = fakeos::Shell();
    std::map<int, std::wstring>& specialFolders = shell.specialFolders;
    std::map<os::PlatformFolder, std::wstring>& platformFolders = shell.platformFolders;
    std::set<std::wstring>& failingShortcuts = shell.failingShortcuts;
    std::vector<ShellStart>& shellStarts = shell.shellStarts;
    std::map<std::wstring, SavedShortcut>& shortcuts = shell.shortcuts;

    FakeRegistry& registry = fakeos::Registry();
};

// The shop PC the uninstall tests lay an installation out on: its temporary folder (where the
// working copy runs), the program group, the desktop shortcut and the uninstall entry.
namespace shop {
inline const std::wstring kTemp = L"C:\\Users\\shop\\AppData\\Local\\Temp";
inline const std::wstring kGroup = L"C:\\Users\\shop\\Start Menu\\Programs\\收银通";
inline const std::wstring kDesktopLink = L"C:\\Users\\shop\\Desktop\\收银通.lnk";
inline const std::string kEntry = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ToAnsi(L"收银通");
} // namespace shop

// Creation and load of setup started from `programFolder` with `argument`; true when the program
// ended (as every uninstall stage does).
inline bool RunSetup(FakeFilesSystem& sys, const std::wstring& programFolder, const std::wstring& argument)
{
    fakeos::SetCommandLine(L"\"" + programFolder + L"\\setup.exe\" " + argument);
    ::Setup form(sys);
    try {
        form.Form_Initialize();
        form.Form_Load();
    } catch (const ProgramEnded&) {
        return true;
    }
    return false;
}

// The install record, "(none)" when there is none.
inline std::wstring InstallRecord() { return os::GetSetting(L"tavin", L"vemrclient", L"path", L"(none)"); }
