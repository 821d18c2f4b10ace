// Win32 implementation of the shell's folders and shortcuts.
#include "os/shell.h"

#include "common/ansi.h"
#include "os/platform.h"
#include "os/win32/scoped.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

namespace os {
namespace {

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

std::vector<std::wstring> ProtectedFolders()
{
    std::vector<std::wstring> folders;
    wchar_t buffer[MAX_PATH + 1];
    if (GetWindowsDirectoryW(buffer, MAX_PATH)) {
        folders.push_back(buffer);
        folders.push_back(std::wstring(buffer) + L"\\*");   // nothing inside it is ours to remove either
    }
    if (GetSystemDirectoryW(buffer, MAX_PATH)) folders.push_back(buffer);
    if (GetTempPathW(MAX_PATH, buffer)) folders.push_back(buffer);
    // The 64-bit program folders, which no folder number names to a 32-bit program.
    for (const wchar_t* variable : {L"ProgramW6432", L"CommonProgramW6432"}) {
        const DWORD n = GetEnvironmentVariableW(variable, buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH) folders.push_back(buffer);
    }
    const int specials[] = {
        CSIDL_DESKTOP,         CSIDL_PROGRAMS,         CSIDL_PERSONAL,          CSIDL_FAVORITES,
        CSIDL_STARTUP,         CSIDL_RECENT,           CSIDL_SENDTO,            CSIDL_STARTMENU,
        CSIDL_MYMUSIC,         CSIDL_MYVIDEO,          CSIDL_DESKTOPDIRECTORY,  CSIDL_FONTS,
        CSIDL_TEMPLATES,       CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,   CSIDL_COMMON_STARTUP,
        CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_APPDATA,  CSIDL_LOCAL_APPDATA,     CSIDL_INTERNET_CACHE,
        CSIDL_COOKIES,         CSIDL_HISTORY,          CSIDL_COMMON_APPDATA,    CSIDL_WINDOWS,
        CSIDL_SYSTEM,          CSIDL_PROGRAM_FILES,    CSIDL_MYPICTURES,        CSIDL_PROFILE,
        CSIDL_SYSTEMX86,       CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_DOCUMENTS,
    };
    for (int csidl : specials)
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) folders.push_back(buffer);
    // Every profile of the PC, not only the user's own: the folders beside the user's profile.
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        std::wstring profiles = buffer;
        profiles.erase(std::min(profiles.find_last_of(L'\\'), profiles.size()));
        try {
            const uint32_t mask = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            for (const auto& entry : ListFolder(profiles + L"\\*", mask))
                if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && entry.name != L"." && entry.name != L"..")
                    folders.push_back(profiles + L"\\" + entry.name);
        } catch (const PlatformError&) {
            // Without the listing, the profiles folder itself still holds the user's profile.
        }
    }
    // Each also under the name the file system resolves it to (a temporary folder given in short
    // names, a folder that is a junction).
    const size_t given = folders.size();
    for (size_t i = 0; i < given; ++i) {
        std::wstring resolved = ResolvedFolder(folders[i]);
        if (!resolved.empty() && resolved != folders[i]) folders.push_back(std::move(resolved));
    }
    return folders;
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
