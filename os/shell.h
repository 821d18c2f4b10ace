// The shell's folders and shortcuts. Operations that can fail throw PlatformError. The Windows
// implementation is os/win32/shell_win32.cpp.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace os {

// Shell folder numbers.
constexpr int kCsidlDesktop = 0;
constexpr int kCsidlPrograms = 2;

// The special folder's item-id list turned into a path in a buffer of `chars` characters
// (SHGetSpecialFolderLocation, SHGetPathFromIDListA); the whole buffer. Throws when the folder has
// no location.
std::wstring SpecialFolderBuffer(int csidl, size_t chars);

// Folders that must never be removed nor emptied: the Windows and system folders, every profile,
// the temporary folder and the shell's special folders, each also as the file system resolves it.
// "FOLDER\*" stands for FOLDER and everything inside it.
std::vector<std::wstring> ProtectedFolders();

// A shortcut file with its target, working folder, description, arguments (left unset when empty)
// and show command.
void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                  std::wstring_view description, std::wstring_view arguments, int showCommand);

} // namespace os
