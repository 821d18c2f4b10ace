// The stand-in's shell: special folders, the protected folders, shortcuts (saved as files of the
// stand-in) and the shell's starts. The tests script and read them through Shell().
#pragma once
#include "os/shell.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct ShellStart {
    std::wstring file, parameters, folder;
    int32_t show;
    bool operator==(const ShellStart& o) const
    {
        return file == o.file && parameters == o.parameters && folder == o.folder && show == o.show;
    }
};

struct SavedShortcut {
    std::wstring target, workdir, description, arguments;
    int show;
};

namespace fakeos {

struct ShellScript {
    // What the tests set up.
    std::map<int, std::wstring> specialFolders = {
        {os::kCsidlPrograms, L"C:\\Users\\shop\\Start Menu\\Programs"},
        {os::kCsidlDesktop, L"C:\\Users\\shop\\Desktop"},
    };
    std::vector<std::wstring> protectedFolders = {
        L"C:\\WINDOWS", L"C:\\WINDOWS\\system32", L"C:\\Users\\shop", L"C:\\Users\\shop\\Start Menu\\Programs",
        L"C:\\Users\\shop\\Desktop", L"C:\\Program Files", L"C:\\Users\\shop\\AppData\\Local\\Temp\\",
    };
    std::set<std::wstring> failingShortcuts;

    // What the program did.
    std::vector<ShellStart> shellStarts;
    std::map<std::wstring, SavedShortcut> shortcuts;   // by file name as given
};
ShellScript& Shell();
void ResetShell();

} // namespace fakeos
