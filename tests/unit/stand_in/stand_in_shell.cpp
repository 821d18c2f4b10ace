#include "tests/unit/stand_in/stand_in_shell.h"

#include "os/errors.h"
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_files.h"

namespace fakeos {

ShellScript& Shell() { return fakeos::TheOne<ShellScript>(); }

void ResetShell() { Shell() = ShellScript{}; }

} // namespace fakeos

namespace os {

using fakeos::Shell;

std::wstring SpecialFolderBuffer(int csidl, size_t chars)
{
    auto found = Shell().specialFolders.find(csidl);
    if (found == Shell().specialFolders.end()) throw PlatformError("SHGetSpecialFolderLocation", 2);
    std::wstring buffer = found->second.substr(0, chars);
    buffer.resize(chars, L'\0');
    return buffer;
}

std::wstring SpecialFolder(int csidl)
{
    const auto found = Shell().specialFolders.find(csidl);
    return found == Shell().specialFolders.end() ? std::wstring() : found->second;
}

std::wstring FolderOf(PlatformFolder which)
{
    if (which == PlatformFolder::System) return SystemDirectory();
    if (which == PlatformFolder::Temporary) return fakeos::Files().tempPath;
    const auto found = Shell().platformFolders.find(which);
    return found == Shell().platformFolders.end() ? std::wstring() : found->second;
}

void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                  std::wstring_view description, std::wstring_view arguments, int showCommand)
{
    if (Shell().failingShortcuts.count(std::wstring(file))) throw PlatformError("IPersistFile::Save", 5);
    // Saved as a file is: into an existing folder, never over a read-only file (one left by an earlier
    // install must be deleted first).
    WriteToFile(file, "lnk", false);
    Shell().shortcuts[std::wstring(file)] = {std::wstring(target), std::wstring(workdir), std::wstring(description),
                                             std::wstring(arguments), showCommand};
}

std::wstring ProgramFileName(std::wstring_view program) { return std::wstring(program) + L".exe"; }

int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder, int32_t showCommand)
{
    Shell().shellStarts.push_back({std::wstring(file), std::wstring(parameters), std::wstring(folder), showCommand});
    fakeos::Journal().push_back(L"shell:" + std::wstring(file) + L"|" + std::wstring(parameters) + L"|" +
                                std::wstring(folder) + L"|" + std::to_wstring(showCommand));
    return 42;
}

} // namespace os
