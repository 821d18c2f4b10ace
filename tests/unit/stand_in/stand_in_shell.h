// The stand-in's shell: special folders, the folders the platform names (the system and temporary
// folders are the stand-in's SystemDirectory and Files().tempPath), shortcuts (saved as files of the
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
    std::map<os::PlatformFolder, std::wstring> platformFolders = {{os::PlatformFolder::Windows, L"C:\\WINDOWS"}};
    std::set<std::wstring> failingShortcuts;

    // What the program did.
    std::vector<ShellStart> shellStarts;
    std::map<std::wstring, SavedShortcut> shortcuts;   // by file name as given
};
ShellScript& Shell();
void ResetShell();

} // namespace fakeos
