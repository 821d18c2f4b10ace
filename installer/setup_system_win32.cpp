#include "installer/setup_system_win32.h"

#include "common/ansi.h"
#include "common/launch.h"
#include "os/platform.h"
#include "os/win32/local_time.h"
#include "os/win32/scoped.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>

using os::Check;
using os::ComPtr;
using os::Fail;

namespace {

std::wstring Text(std::wstring_view text) { return std::wstring(text); }

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HKEY ToHkey(RegKey key)
{
    switch (key) {
    case kHkeyCurrentUser: return HKEY_CURRENT_USER;
    case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case kHkeyUsers: return HKEY_USERS;
    default: return reinterpret_cast<HKEY>(key);
    }
}

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

using ItemIdList = os::Scoped<PIDLIST_ABSOLUTE, &CoTaskMemFree>;

} // namespace

std::wstring Win32SetupSystem::CommandLine() { return GetCommandLineW(); }

std::wstring Win32SetupSystem::Caption() { return WindowText(window_); }

void Win32SetupSystem::SetCaption(std::wstring_view text) { SetWindowTextW(window_, Text(text).c_str()); }

void Win32SetupSystem::HideWindow() { ShowWindow(window_, SW_HIDE); }

std::wstring Win32SetupSystem::SoftPathText() { return WindowText(softPath_); }

void Win32SetupSystem::EnableLetGo(bool enabled) { EnableWindow(letGo_, enabled); }

bool Win32SetupSystem::OwnVisibleAndEnabled(Control control)
{
    const LONG_PTR style = GetWindowLongPtrW(ControlWindow(control), GWL_STYLE);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

void Win32SetupSystem::GiveFocus(Control control) { SetFocus(ControlWindow(control)); }

void Win32SetupSystem::SetSelStart(int start) { SendMessageW(softPath_, EM_SETSEL, start, start); }

void Win32SetupSystem::SetSelLength(int length)
{
    DWORD start = 0;
    SendMessageW(softPath_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    SendMessageW(softPath_, EM_SETSEL, start, start + static_cast<DWORD>(length));
}

void Win32SetupSystem::ShowMessage(std::wstring_view text, std::wstring_view title, int style)
{
    MessageBoxW(window_, Text(text).c_str(), Text(title).c_str(), static_cast<UINT>(style));
}

void Win32SetupSystem::EndProgram() { ExitProcess(0); }

void Win32SetupSystem::PumpEvents() { os::PumpEvents(); }

float Win32SetupSystem::SecondsSinceMidnight()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<float>(now.wHour * 3600 + now.wMinute * 60 + now.wSecond + now.wMilliseconds / 1000.0);
}

LocalDate Win32SetupSystem::Today() { return os::LocalNow(); }

void Win32SetupSystem::SetSystemDate(const LocalDate& date)
{
    // Exactly the reading given: a second reading could fall on the next day and put the date back.
    const SYSTEMTIME set = os::ToSystemTime(date);
    if (!SetLocalTime(&set)) Fail("SetLocalTime");
}

void Win32SetupSystem::CopyFileTo(std::wstring_view from, std::wstring_view to)
{
    if (!CopyFileW(Text(from).c_str(), Text(to).c_str(), FALSE)) Fail("CopyFile");
}

void Win32SetupSystem::RenameFile(std::wstring_view from, std::wstring_view to)
{
    if (!MoveFileW(Text(from).c_str(), Text(to).c_str())) Fail("MoveFile");
}

int64_t Win32SetupSystem::ModifiedSeconds(std::wstring_view path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Text(path).c_str(), GetFileExInfoStandard, &data)) Fail("GetFileAttributesEx");
    FILETIME local;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) Fail("FileTimeToLocalFileTime");
    const int64_t ticks = static_cast<int64_t>(local.dwHighDateTime) << 32 | local.dwLowDateTime;
    return ticks / 10000000;
}

std::vector<FolderEntry> Win32SetupSystem::ListFolder(std::wstring_view pattern, uint32_t mask)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Text(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return entries;
        Fail("FindFirstFile", code);
    }
    os::FindHandle owner(search);
    const DWORD choosable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    do {
        if ((found.dwFileAttributes & choosable & ~mask) == 0) entries.push_back({found.cFileName, found.dwFileAttributes});
    } while (FindNextFileW(search, &found));
    return entries;
}

void Win32SetupSystem::RemoveFolder(std::wstring_view path)
{
    if (!RemoveDirectoryW(Text(path).c_str())) Fail("RemoveDirectory");
}

std::wstring Win32SetupSystem::TempPathBuffer(size_t chars)
{
    std::string buffer(chars, '\0');
    GetTempPathA(static_cast<DWORD>(chars), buffer.data());   // a longer path leaves the buffer empty
    return FromAnsi(buffer);
}

std::wstring Win32SetupSystem::SpecialFolderBuffer(int csidl, size_t chars)
{
    ItemIdList ids;
    Check(SHGetSpecialFolderLocation(nullptr, csidl, &ids.handle), "SHGetSpecialFolderLocation");
    // The call writes up to MAX_PATH characters whatever the buffer: give it that much, keep `chars`.
    std::string buffer(MAX_PATH, '\0');
    if (!SHGetPathFromIDListA(ids.handle, buffer.data())) Fail("SHGetPathFromIDList", ERROR_PATH_NOT_FOUND);
    buffer.resize(chars, '\0');
    return FromAnsi(buffer);
}

std::vector<std::wstring> Win32SetupSystem::ProtectedFolders()
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

std::wstring Win32SetupSystem::ResolvedFolder(std::wstring_view folder)
{
    std::wstring full(32768, L'\0');
    const DWORD n = GetFullPathNameW(Text(folder).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    // A folder still to be made: the deepest folder of it that exists is resolved, the rest kept.
    std::wstring rest;
    for (;;) {
        const std::wstring resolved = ResolvedExistingFolder(full);
        if (!resolved.empty()) {   // a root and "\NAME" join with one backslash
            return resolved.back() == L'\\' && !rest.empty() ? resolved + rest.substr(1) : resolved + rest;
        }
        const size_t cut = full.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut + 1 == full.size()) return {};   // not even the root opens
        rest.insert(0, full.substr(cut));
        full.erase(cut == 2 && full[1] == L':' ? cut + 1 : cut);   // a drive root keeps its backslash
    }
}

bool Win32SetupSystem::SameFile(std::wstring_view a, std::wstring_view b)
{
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::wstring names[] = {Text(a), Text(b)};
    for (int i = 0; i < 2; ++i) {
        const os::KernelHandle opened(CreateFileW(names[i].c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(opened.handle, &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::wstring Win32SetupSystem::ResolvedExistingFolder(const std::wstring& path)
{
    std::wstring resolved(32768, L'\0');
    // Links and junctions are followed from Vista on; before, short names are made long only.
    using FinalPathOfHandle = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto finalPath = reinterpret_cast<FinalPathOfHandle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    DWORD length = 0;
    if (finalPath) {
        const os::KernelHandle opened(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened.handle == INVALID_HANDLE_VALUE) return {};
        length = finalPath(opened.handle, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
    } else {
        length = GetLongPathNameW(path.c_str(), resolved.data(), static_cast<DWORD>(resolved.size()));
    }
    if (length == 0 || length >= resolved.size()) return {};
    resolved.resize(length);
    if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0)
        resolved.replace(0, 8, L"\\\\");
    else if (resolved.rfind(L"\\\\?\\", 0) == 0)
        resolved.erase(0, 4);
    return resolved;
}

void Win32SetupSystem::SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                                    std::wstring_view description, std::wstring_view arguments, int showCommand)
{
    const os::ComForThread com;
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

int32_t Win32SetupSystem::ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                                    int32_t showCommand)
{
    return TavinShell(file, parameters, folder, showCommand);
}

void Win32SetupSystem::StartCommandLine(std::wstring_view commandLine)
{
    std::wstring command(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail("CreateProcess");
    const os::KernelHandle process(info.hProcess), thread(info.hThread);   // not waited for: only released
}

int32_t Win32SetupSystem::OpenKey(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                                  RegKey& opened)
{
    HKEY result = nullptr;
    const LONG rc = RegOpenKeyExA(ToHkey(key), subKey.c_str(), options, access, &result);
    opened = FromHkey(result);
    return rc;
}

int32_t Win32SetupSystem::CreateKeyEx(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                                      RegKey& created)
{
    HKEY result = nullptr;
    const LONG rc = RegCreateKeyExA(ToHkey(key), subKey.c_str(), 0, nullptr, options, access, nullptr, &result, nullptr);
    created = FromHkey(result);
    return rc;
}

int32_t Win32SetupSystem::CreateKey(RegKey key, const std::string& subKey, RegKey& created)
{
    HKEY result = nullptr;
    const LONG rc = RegCreateKeyA(ToHkey(key), subKey.c_str(), &result);
    created = FromHkey(result);
    return rc;
}

int32_t Win32SetupSystem::SetValue(RegKey key, const std::string& valueName, uint32_t type, const std::string& data)
{
    return RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

int32_t Win32SetupSystem::CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

int32_t Win32SetupSystem::DeleteKey(RegKey key, const std::string& subKey)
{
    return RegDeleteKeyA(ToHkey(key), subKey.c_str());
}

int32_t Win32SetupSystem::EnumKey(RegKey key, uint32_t index, size_t chars, std::string& name)
{
    std::string buffer(chars, '\0');
    const LONG rc = RegEnumKeyA(ToHkey(key), index, buffer.data(), static_cast<DWORD>(chars));
    name = buffer.substr(0, buffer.find('\0'));
    return rc;
}
