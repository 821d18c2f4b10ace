// Win32 implementation of the shell's folders and shortcuts ("open" is shell_open_win32.cpp).
#include "os/shell.h"

#include "os/ansi.h"
#include "os/win32/scoped.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace os {
namespace {

// The folder numbers of os/shell.h are the platform's.
static_assert(kCsidlDesktop == CSIDL_DESKTOP && kCsidlPrograms == CSIDL_PROGRAMS && kCsidlPersonal == CSIDL_PERSONAL &&
              kCsidlFavorites == CSIDL_FAVORITES && kCsidlStartup == CSIDL_STARTUP && kCsidlRecent == CSIDL_RECENT &&
              kCsidlSendTo == CSIDL_SENDTO && kCsidlStartMenu == CSIDL_STARTMENU && kCsidlMyMusic == CSIDL_MYMUSIC &&
              kCsidlMyVideo == CSIDL_MYVIDEO && kCsidlDesktopDirectory == CSIDL_DESKTOPDIRECTORY &&
              kCsidlFonts == CSIDL_FONTS && kCsidlTemplates == CSIDL_TEMPLATES &&
              kCsidlCommonStartMenu == CSIDL_COMMON_STARTMENU && kCsidlCommonPrograms == CSIDL_COMMON_PROGRAMS &&
              kCsidlCommonStartup == CSIDL_COMMON_STARTUP &&
              kCsidlCommonDesktopDirectory == CSIDL_COMMON_DESKTOPDIRECTORY && kCsidlAppData == CSIDL_APPDATA &&
              kCsidlLocalAppData == CSIDL_LOCAL_APPDATA && kCsidlInternetCache == CSIDL_INTERNET_CACHE &&
              kCsidlCookies == CSIDL_COOKIES && kCsidlHistory == CSIDL_HISTORY &&
              kCsidlCommonAppData == CSIDL_COMMON_APPDATA && kCsidlWindows == CSIDL_WINDOWS &&
              kCsidlSystem == CSIDL_SYSTEM && kCsidlProgramFiles == CSIDL_PROGRAM_FILES &&
              kCsidlMyPictures == CSIDL_MYPICTURES && kCsidlProfile == CSIDL_PROFILE &&
              kCsidlSystemX86 == CSIDL_SYSTEMX86 && kCsidlProgramFilesX86 == CSIDL_PROGRAM_FILESX86 &&
              kCsidlProgramFilesCommon == CSIDL_PROGRAM_FILES_COMMON &&
              kCsidlCommonDocuments == CSIDL_COMMON_DOCUMENTS);

std::wstring Text(std::wstring_view text) { return std::wstring(text); }

using ItemIdList = Scoped<PIDLIST_ABSOLUTE, &CoTaskMemFree>;

} // namespace

std::wstring SpecialFolderBuffer(int csidl, size_t chars)
{
    ItemIdList ids;
    Check(SHGetSpecialFolderLocation(nullptr, csidl, &ids.handle), "SHGetSpecialFolderLocation");
    // The call writes up to MAX_PATH characters whatever the buffer: give it that much, keep `chars`.
    std::string buffer(MAX_PATH, '\0');
    if (!SHGetPathFromIDListA(ids.handle, buffer.data())) Fail("SHGetPathFromIDList", ERROR_PATH_NOT_FOUND);
    buffer.resize(chars, '\0');
    return FromAnsi(buffer);
}

std::wstring SpecialFolder(int csidl)
{
    wchar_t buffer[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)) ? buffer : L"";
}

std::wstring FolderOf(PlatformFolder which)
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = 0;
    switch (which) {
    case PlatformFolder::Windows: n = GetWindowsDirectoryW(buffer, MAX_PATH); break;
    case PlatformFolder::System: n = GetSystemDirectoryW(buffer, MAX_PATH); break;
    case PlatformFolder::Temporary: n = GetTempPathW(MAX_PATH, buffer); break;
    case PlatformFolder::NativeProgramFiles: n = GetEnvironmentVariableW(L"ProgramW6432", buffer, MAX_PATH); break;
    case PlatformFolder::NativeCommonFiles: n = GetEnvironmentVariableW(L"CommonProgramW6432", buffer, MAX_PATH); break;
    }
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                  std::wstring_view description, std::wstring_view arguments, int showCommand)
{
    const ComForThread com;
    ComPtr<IShellLinkW> link;
    Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                           reinterpret_cast<void**>(link.GetAddressOf())),
          "CoCreateInstance(ShellLink)");
    Check(link->SetPath(Text(target).c_str()), "IShellLink::SetPath");
    Check(link->SetWorkingDirectory(Text(workdir).c_str()), "IShellLink::SetWorkingDirectory");
    Check(link->SetDescription(Text(description).c_str()), "IShellLink::SetDescription");
    Check(link->SetShowCmd(showCommand), "IShellLink::SetShowCmd");
    if (!arguments.empty()) Check(link->SetArguments(Text(arguments).c_str()), "IShellLink::SetArguments");
    ComPtr<IPersistFile> persist;
    Check(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.GetAddressOf())), "QueryInterface(IPersistFile)");
    Check(persist->Save(Text(file).c_str(), TRUE), "IPersistFile::Save");
}

} // namespace os
