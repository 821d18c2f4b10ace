// Win32 implementation of the shared routines' platform operations.
#include "os/platform.h"

#include "os/ansi.h"
#include "os/paths.h"
#include "os/win32/main_window.h"
#include "os/win32/scoped.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace os {
namespace {

// The attribute bits of os/platform.h are the platform's.
static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrHidden == FILE_ATTRIBUTE_HIDDEN &&
              kAttrSystem == FILE_ATTRIBUTE_SYSTEM && kAttrFolder == FILE_ATTRIBUTE_DIRECTORY &&
              kAttrArchive == FILE_ATTRIBUTE_ARCHIVE);

HWND g_mainWindow = nullptr;

std::wstring Terminated(std::wstring_view text) { return std::wstring(text); }

class Win32ReadableFile : public ReadableFile {
public:
    explicit Win32ReadableFile(HANDLE handle) : file_{handle} {}
    std::string Read(size_t count) override
    {
        std::string bytes(count, '\0');
        size_t done = 0;
        while (done < count) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 24));
            if (!ReadFile(file_.handle, bytes.data() + done, want, &got, nullptr)) Fail("ReadFile");
            if (got == 0) break;  // the file shrank since its size was taken
            done += got;
        }
        bytes.resize(done);
        return bytes;
    }

private:
    KernelHandle file_;
};

// An existing folder as the file system resolves it; empty when it cannot be opened.
std::wstring ResolvedExistingFolder(const std::wstring& path)
{
    std::wstring resolved(32768, L'\0');
    // Links and junctions are followed from Vista on; before, short names are made long only.
    using FinalPathOfHandle = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto finalPath = reinterpret_cast<FinalPathOfHandle>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    DWORD length = 0;
    if (finalPath) {
        const KernelHandle opened(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

} // namespace

bool FindFirstMatch(std::wstring_view pattern, uint32_t mask)
{
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(Terminated(pattern).c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_NO_MORE_FILES)
            return false;
        Fail("FindFirstFile", code);
    }
    FindHandle owner(handle);
    do {
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!folder || (mask & kAttrFolder)) return true;
    } while (FindNextFileW(handle, &found));
    return false;
}

uint32_t GetAttributes(std::wstring_view path)
{
    const DWORD attributes = GetFileAttributesW(Terminated(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Fail("GetFileAttributes");
    return attributes;
}

void SetAttributes(std::wstring_view path, uint32_t attributes)
{
    if (!SetFileAttributesW(Terminated(path).c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes))
        Fail("SetFileAttributes");
}

int64_t FileLength(std::wstring_view path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Terminated(path).c_str(), GetFileExInfoStandard, &data)) Fail("GetFileAttributesEx");
    return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void DeleteFileAt(std::wstring_view path)
{
    if (!DeleteFileW(Terminated(path).c_str())) Fail("DeleteFile");
}

void CopyFileTo(std::wstring_view from, std::wstring_view to)
{
    if (!CopyFileW(Terminated(from).c_str(), Terminated(to).c_str(), FALSE)) Fail("CopyFile");
}

void WriteToFile(std::wstring_view path, std::string_view bytes, bool append)
{
    KernelHandle file(CreateFileW(Terminated(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) Fail("CreateFile");
    DWORD written = 0;
    if (!WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) Fail("WriteFile");
    if (written != bytes.size()) Fail("WriteFile", ERROR_WRITE_FAULT);
}

void CreateFolder(std::wstring_view path)
{
    if (!CreateDirectoryW(Terminated(path).c_str(), nullptr)) Fail("CreateDirectory");
}

std::wstring ProgramFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) Fail("GetModuleFileName");
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const size_t slash = buffer.find_last_of(L'\\');
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : buffer.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive root keeps its backslash
    return folder;
}

std::wstring TraceFolder(std::wstring_view) { return ProgramFolder(); }

void ChangeDrive(wchar_t driveLetter)
{
    const wchar_t drive[3] = {driveLetter, L':', L'\0'};
    if (!SetCurrentDirectoryW(drive)) Fail("SetCurrentDirectory (drive)");
}

void ChangeDirectory(std::wstring_view path)
{
    if (!SetCurrentDirectoryW(Terminated(path).c_str())) Fail("SetCurrentDirectory");
}

std::unique_ptr<ReadableFile> OpenForReading(std::wstring_view path)
{
    HANDLE handle = CreateFileW(Terminated(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) Fail("CreateFile");
    return std::make_unique<Win32ReadableFile>(handle);
}

void RenameFile(std::wstring_view from, std::wstring_view to)
{
    if (!MoveFileW(Terminated(from).c_str(), Terminated(to).c_str())) Fail("MoveFile");
}

int64_t ModifiedSeconds(std::wstring_view path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Terminated(path).c_str(), GetFileExInfoStandard, &data)) Fail("GetFileAttributesEx");
    FILETIME local;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) Fail("FileTimeToLocalFileTime");
    const int64_t ticks = static_cast<int64_t>(local.dwHighDateTime) << 32 | local.dwLowDateTime;
    return ticks / 10000000;
}

std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Terminated(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return entries;
        Fail("FindFirstFile", code);
    }
    FindHandle owner(search);
    const DWORD choosable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    do {
        if ((found.dwFileAttributes & choosable & ~mask) == 0) entries.push_back({found.cFileName, found.dwFileAttributes});
    } while (FindNextFileW(search, &found));
    return entries;
}

void RemoveFolder(std::wstring_view path)
{
    if (!RemoveDirectoryW(Terminated(path).c_str())) Fail("RemoveDirectory");
}

std::wstring TempPathBuffer(size_t chars)
{
    std::string buffer(chars, '\0');
    GetTempPathA(static_cast<DWORD>(chars), buffer.data());   // a longer path leaves the buffer empty
    return FromAnsi(buffer);
}

std::wstring ResolvedFolder(std::wstring_view folder)
{
    std::wstring full(32768, L'\0');
    const DWORD n = GetFullPathNameW(Terminated(folder).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    // A folder still to be made: the deepest folder of it that exists is resolved, the rest kept.
    // Nothing above its root is tried: a network share that cannot be opened is no local folder.
    std::wstring rest;
    for (;;) {
        const std::wstring resolved = ResolvedExistingFolder(full);
        if (!resolved.empty()) {   // a root and "\NAME" join with one backslash
            return resolved.back() == L'\\' && !rest.empty() ? resolved + rest.substr(1) : resolved + rest;
        }
        std::wstring parent = ParentFolder(full);
        if (parent.empty()) return {};   // not even the root opens
        rest.insert(0, full.substr(full.find_last_of(L'\\')));
        full = std::move(parent);
    }
}

bool SameFile(std::wstring_view a, std::wstring_view b)
{
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::wstring names[] = {Terminated(a), Terminated(b)};
    for (int i = 0; i < 2; ++i) {
        const KernelHandle opened(CreateFileW(names[i].c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(opened.handle, &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void PumpEvents()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the program's own loop
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring SystemDirectory()
{
    std::string buffer(200, '\0');
    UINT n = GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n >= buffer.size()) {  // a longer name than the usual buffer holds: ask again with room for it
        buffer.assign(n + 1, '\0');
        n = GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n >= buffer.size()) n = 0;
    }
    // The length is in bytes of the code page: convert exactly those bytes, no trailing NULs.
    return FromAnsi(std::string_view(buffer.data(), n));
}

void SetMainWindow(void* window) { g_mainWindow = static_cast<HWND>(window); }

HWND MainWindow() { return g_mainWindow; }

std::wstring ExeName()
{
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring_view name(path, n);
    if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring_view::npos)
        name.remove_prefix(slash + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring_view::npos) name = name.substr(0, dot);
    return std::wstring(name);
}

std::wstring CommandLine() { return GetCommandLineW(); }

void EndProgram(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

void EndWithErrorReport(const std::exception& error)
{
    MessageBoxW(g_mainWindow, ErrorReportText(error).c_str(), ExeName().c_str(), MB_OK | MB_ICONHAND);
    ExitProcess(1);
}

} // namespace os
