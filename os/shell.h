// The shell: its folders, shortcuts and "open". Operations that can fail throw PlatformError unless
// their contract is an answer. The Windows implementation is os/win32/shell_win32.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace os {

// Shell folder numbers (CSIDL).
enum : int {
    kCsidlDesktop = 0x00, kCsidlPrograms = 0x02, kCsidlPersonal = 0x05, kCsidlFavorites = 0x06,
    kCsidlStartup = 0x07, kCsidlRecent = 0x08, kCsidlSendTo = 0x09, kCsidlStartMenu = 0x0B,
    kCsidlMyMusic = 0x0D, kCsidlMyVideo = 0x0E, kCsidlDesktopDirectory = 0x10, kCsidlFonts = 0x14,
    kCsidlTemplates = 0x15, kCsidlCommonStartMenu = 0x16, kCsidlCommonPrograms = 0x17,
    kCsidlCommonStartup = 0x18, kCsidlCommonDesktopDirectory = 0x19, kCsidlAppData = 0x1A,
    kCsidlLocalAppData = 0x1C, kCsidlInternetCache = 0x20, kCsidlCookies = 0x21, kCsidlHistory = 0x22,
    kCsidlCommonAppData = 0x23, kCsidlWindows = 0x24, kCsidlSystem = 0x25, kCsidlProgramFiles = 0x26,
    kCsidlMyPictures = 0x27, kCsidlProfile = 0x28, kCsidlSystemX86 = 0x29, kCsidlProgramFilesX86 = 0x2A,
    kCsidlProgramFilesCommon = 0x2B, kCsidlCommonDocuments = 0x2E,
};

// The special folder's item-id list turned into a path in a buffer of `chars` characters
// (SHGetSpecialFolderLocation, SHGetPathFromIDListA); the whole buffer. Throws when the folder has
// no location.
std::wstring SpecialFolderBuffer(int csidl, size_t chars);

// The special folder's path as it is now (SHGetFolderPathW); empty when it has none here.
std::wstring SpecialFolder(int csidl);

// Folders the platform names other than by a folder number, in full text; empty when it names none
// or the name is longer than a path. The temporary folder keeps its closing backslash. The 64-bit
// program folders are named to a 32-bit program only by the environment (ProgramW6432,
// CommonProgramW6432). The system folder here is the wide form of SystemDirectory (os/platform.h).
enum class PlatformFolder { Windows, System, Temporary, NativeProgramFiles, NativeCommonFiles };
std::wstring FolderOf(PlatformFolder which);

// A shortcut file with its target, working folder, description, arguments (left unset when empty)
// and show command.
void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                  std::wstring_view description, std::wstring_view arguments, int showCommand);

// The file name of the platform's program called `program`: "horasync.exe" on Windows.
std::wstring ProgramFileName(std::wstring_view program);

// The shell's "open" of a program or document, owned by the program's main window, not waited for;
// the platform's result unchanged.
int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                  int32_t showCommand);

} // namespace os
