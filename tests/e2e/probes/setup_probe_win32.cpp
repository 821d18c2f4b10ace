// A small tool for the end-to-end scenarios of setup (tests only, never on the media). It does what a
// person at the screen would do, and reads back what a person cannot see exactly:
//   setup_probe window TITLE MS              waits for a visible top-level window titled TITLE; prints
//                                            each control's text, a tab and its centre on screen "X Y"
//   setup_probe layout TITLE MS              the same window: per control its text, a tab, "inside=1"
//                                            when it lies in the window's client area and "fits=1" when
//                                            its text (message font) fits in it
//   setup_probe box TITLE MS                 waits for a message box titled TITLE, prints "text=", its
//                                            buttons ("button=" text, tab, centre "X Y") and "icon="
//                                            (stop, exclamation, information or none), presses OK
//   setup_probe look TITLE MS                the same without pressing OK (for a screenshot first)
//   setup_probe ok TITLE                     presses OK in the message box titled TITLE
//   setup_probe no-box TITLE MS              fails when a message box titled TITLE shows within MS
//   setup_probe type TITLE TEXT              puts TEXT into the edit box of the window titled TITLE
//   setup_probe press TITLE BUTTON           clicks the button captioned BUTTON (does not wait)
//   setup_probe values ROOT KEY              prints each value of the key: name, type, stored byte count
//                                            and text (UTF-16 as stored; a zero shows as ~)
//   setup_probe hives FILE NAME...           saves a small hive to FILE, loads it under HKEY_USERS as
//                                            each NAME, prints "loaded", keeps them until FILE.stop exists
//                                            (120 s at most), then unloads them
//   setup_probe link FILE                    prints the show command stored in the .lnk header
//   setup_probe start COMMANDLINE            starts the command line (CreateProcess), does not wait
//   setup_probe close TITLE                  asks the window titled TITLE to close (as its close box does)
//   setup_probe folder CSIDL                 prints the special folder's path
//   setup_probe timed-press TITLE BUTTON BOX MS   clicks the button, waits for the message box titled BOX;
//                                            prints the milliseconds in between
//   setup_probe timed-start COMMANDLINE BOX MS    starts the command line, waits for the message box titled
//                                            BOX ("-": for the process to end); prints the milliseconds
//   setup_probe hold FILE MS [HELD]          keeps running until FILE exists or MS have passed; while
//                                            it runs, FILE.running exists; with HELD, it holds that file
//                                            (made when missing) open with no sharing meanwhile, as
//                                            another program may hold a file the programs write
//   setup_probe short PATH                   prints the short (8.3) form of PATH
// Output is UTF-8. Exit code 0 on success, 1 when the thing looked for did not come, 2 on misuse.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    bytes += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Text(HWND window)
{
    wchar_t buffer[2048] = {};
    // WM_GETTEXT reaches controls of other processes too.
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Search {
    std::wstring title;
    bool dialogOnly;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    if (!IsWindowVisible(window) || Text(window) != search->title) return TRUE;
    if (search->dialogOnly && ClassOf(window) != L"#32770") return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitForWindow(const std::wstring& title, bool dialogOnly, DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{title, dialogOnly, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (GetTickCount() - start >= ms) return nullptr;
        Sleep(5);
    }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM data)
{
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

const wchar_t* IconName(HWND box)
{
    // The box's icon is a static control with SS_ICON. Icon handles mean nothing in another process,
    // so its colours on screen tell it: red for stop, yellow-orange for exclamation, blue for information.
    for (HWND child : Children(box)) {
        if (ClassOf(child) != L"Static" || (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        RECT area{};
        GetWindowRect(child, &area);
        HDC screen = GetDC(nullptr);
        int red = 0, orange = 0, blue = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const COLORREF c = GetPixel(screen, x, y);
                const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
                if (r > 170 && g < 110 && b < 110) ++red;
                else if (r > 170 && g > 110 && b < 90) ++orange;
                else if (b > 150 && r < 130) ++blue;
            }
        }
        ReleaseDC(nullptr, screen);
        if (red > orange && red > blue && red > 20) return L"stop";
        if (orange > red && orange > blue && orange > 20) return L"exclamation";
        if (blue > red && blue > orange && blue > 20) return L"information";
        return L"other";
    }
    return L"none";
}

int Box(const std::wstring& title, DWORD ms)
{
    HWND box = WaitForWindow(title, true, ms);
    if (!box) {
        Print(L"no box titled " + title);
        return 1;
    }
    Sleep(100);   // let it finish painting, for the screenshots
    for (HWND child : Children(box)) {
        const std::wstring text = Text(child);
        if (ClassOf(child) == L"Button") {
            RECT r{};
            GetWindowRect(child, &r);
            Print(L"button=" + text + L"\t" + std::to_wstring((r.left + r.right) / 2) + L" " +
                  std::to_wstring((r.top + r.bottom) / 2));
        } else if (ClassOf(child) == L"Static" && !text.empty()) {
            Print(L"text=" + text);
        }
    }
    Print(std::wstring(L"icon=") + IconName(box));
    return 0;
}

int PressOk(const std::wstring& title)
{
    HWND box = WaitForWindow(title, true, 0);
    if (!box) return 1;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

HWND ChildOfClass(HWND parent, const std::wstring& className, const std::wstring& text = L"")
{
    for (HWND child : Children(parent))
        if (_wcsicmp(ClassOf(child).c_str(), className.c_str()) == 0 && (text.empty() || Text(child) == text)) return child;
    return nullptr;
}

// The button's click as its window receives it. BM_CLICK would need the mouse capture, which a
// window that is not in the foreground may not get.
void Click(HWND window, HWND button)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// Starts a command line with its standard handles on NUL: the started program (and what it starts)
// must not hold the probe's output open, or a caller reading that output would wait for them.
bool StartDetached(std::wstring line, PROCESS_INFORMATION& info)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    CloseHandle(nul);
    if (started) CloseHandle(info.hThread);
    return started;
}

HKEY Root(const std::wstring& name)
{
    if (name == L"HKCU") return HKEY_CURRENT_USER;
    if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (name == L"HKU") return HKEY_USERS;
    return nullptr;
}

int Values(const std::wstring& root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (!Root(root) || RegOpenKeyExW(Root(root), path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        Print(L"no key");
        return 1;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 4096;
        BYTE data[4096];
        // The stored bytes as they are (text values are kept as UTF-16): a terminating zero shows.
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        std::wstring line(name, nameLength);
        line += L" type=" + std::to_wstring(type) + L" bytes=" + std::to_wstring(size) + L" text=";
        line.append(reinterpret_cast<const wchar_t*>(data), size / 2);
        for (auto& c : line)
            if (c == L'\0') c = L'~';   // a zero inside the data becomes visible
        Print(line);
    }
    RegCloseKey(key);
    return 0;
}

bool EnablePrivilege(const wchar_t* name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool ok = LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
    return ok;
}

int Hives(const std::wstring& file, const std::vector<std::wstring>& names)
{
    EnablePrivilege(SE_BACKUP_NAME);
    EnablePrivilege(SE_RESTORE_NAME);
    // A hive with one unrelated key and value, as a user profile has many.
    HKEY temp = nullptr;
    const wchar_t* tempPath = L"Software\\SetupProbeHive";
    SHDeleteKeyW(HKEY_CURRENT_USER, tempPath);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, tempPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &temp, nullptr)) return 1;
    HKEY inner = nullptr;
    RegCreateKeyExW(temp, L"Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &inner, nullptr);
    RegSetValueExW(inner, L"kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"yes"), 8);
    RegCloseKey(inner);
    DeleteFileW(file.c_str());
    const LONG saved = RegSaveKeyW(temp, file.c_str(), nullptr);
    RegCloseKey(temp);
    SHDeleteKeyW(HKEY_CURRENT_USER, tempPath);
    if (saved != ERROR_SUCCESS) {
        Print(L"RegSaveKey failed " + std::to_wstring(saved));
        return 1;
    }
    for (const auto& name : names) {
        const LONG loaded = RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
        if (loaded != ERROR_SUCCESS) {
            Print(L"RegLoadKey failed " + std::to_wstring(loaded));
            return 1;
        }
    }
    Print(L"loaded");
    const std::wstring stop = file + L".stop";
    for (int i = 0; i < 1200 && GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    for (const auto& name : names) RegUnLoadKeyW(HKEY_USERS, name.c_str());
    return 0;
}

int LinkShowCommand(const std::wstring& file)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 1;
    BYTE header[0x4C] = {};
    DWORD got = 0;
    ReadFile(handle, header, sizeof header, &got, nullptr);
    CloseHandle(handle);
    if (got < sizeof header) return 1;
    Print(std::to_wstring(header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 | header[0x3F] << 24));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"window" && argc == 4) {
        HWND window = WaitForWindow(argv[2], false, static_cast<DWORD>(_wtoi(argv[3])));
        if (!window) return 1;
        for (HWND child : Children(window)) {
            RECT r{};
            GetWindowRect(child, &r);
            Print(Text(child) + L"\t" + std::to_wstring((r.left + r.right) / 2) + L" " +
                  std::to_wstring((r.top + r.bottom) / 2));
        }
        return 0;
    }
    if (command == L"layout" && argc == 4) {
        HWND window = WaitForWindow(argv[2], false, static_cast<DWORD>(_wtoi(argv[3])));
        if (!window) return 1;
        // Each control inside the window's client area, and its text (in the system's message font,
        // which setup uses) inside the control; an edit box scrolls sideways, so only its height counts.
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        RECT area{};
        GetClientRect(window, &area);
        for (HWND child : Children(window)) {
            RECT r{}, inner{}, text{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            GetClientRect(child, &inner);
            const std::wstring caption = Text(child);
            DrawTextW(dc, caption.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE);
            const bool inside = r.left >= 0 && r.top >= 0 && r.right <= area.right && r.bottom <= area.bottom;
            const bool fits = text.bottom <= inner.bottom && (ClassOf(child) == L"Edit" || text.right <= inner.right);
            Print(caption + L"\tinside=" + std::to_wstring(inside) + L" fits=" + std::to_wstring(fits));
        }
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        DeleteObject(font);
        return 0;
    }
    if (command == L"box" && argc == 4) {
        const int found = Box(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
        return found == 0 ? PressOk(argv[2]) : found;
    }
    if (command == L"look" && argc == 4) return Box(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    if (command == L"no-box" && argc == 4) return WaitForWindow(argv[2], true, static_cast<DWORD>(_wtoi(argv[3]))) ? 1 : 0;
    if (command == L"ok" && argc == 3) return PressOk(argv[2]);
    if (command == L"type" && argc == 4) {
        HWND window = WaitForWindow(argv[2], false, 5000);
        HWND edit = window ? ChildOfClass(window, L"Edit") : nullptr;
        if (!edit) return 1;
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
        return Text(edit) == argv[3] ? 0 : 1;
    }
    if (command == L"press" && argc == 4) {
        HWND window = WaitForWindow(argv[2], false, 5000);
        HWND button = window ? ChildOfClass(window, L"Button", argv[3]) : nullptr;
        if (!button) return 1;
        Click(window, button);
        return 0;
    }
    if (command == L"values" && argc == 4) return Values(argv[2], argv[3]);
    if (command == L"start" && argc == 3) {
        // Starts a command line exactly as Windows starts an uninstall entry's command.
        PROCESS_INFORMATION info{};
        if (!StartDetached(argv[2], info)) return 1;
        CloseHandle(info.hProcess);
        return 0;
    }
    if (command == L"hives" && argc >= 4) return Hives(argv[2], std::vector<std::wstring>(argv + 3, argv + argc));
    if (command == L"link" && argc == 3) return LinkShowCommand(argv[2]);
    if (command == L"hold" && (argc == 4 || argc == 5)) {
        // Runs (as a stand-in client, say) until the file exists or the time is up; FILE.running
        // shows that it runs, and that the held file is taken.
        HANDLE held = INVALID_HANDLE_VALUE;
        if (argc == 5) {
            held = CreateFileW(argv[4], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
            if (held == INVALID_HANDLE_VALUE) return 1;
        }
        const std::wstring running = std::wstring(argv[2]) + L".running";
        CloseHandle(CreateFileW(running.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const DWORD limit = static_cast<DWORD>(_wtoi(argv[3])), start = GetTickCount();
        while (GetTickCount() - start < limit && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(10);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        DeleteFileW(running.c_str());
        return 0;
    }
    if (command == L"short" && argc == 3) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetShortPathNameW(argv[2], path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 1;
        Print(path);
        return 0;
    }
    if (command == L"close" && argc == 3) {
        HWND window = WaitForWindow(argv[2], false, 5000);
        if (!window) return 1;
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"folder" && argc == 3) {
        wchar_t path[MAX_PATH];
        if (FAILED(SHGetFolderPathW(nullptr, _wtoi(argv[2]), nullptr, SHGFP_TYPE_CURRENT, path))) return 1;
        Print(path);
        return 0;
    }
    if (command == L"timed-press" && argc == 6) {
        HWND window = WaitForWindow(argv[2], false, 5000);
        HWND button = window ? ChildOfClass(window, L"Button", argv[3]) : nullptr;
        if (!button) return 1;
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        Click(window, button);
        if (!WaitForWindow(argv[4], true, static_cast<DWORD>(_wtoi(argv[5])))) return 1;
        QueryPerformanceCounter(&end);
        Print(std::to_wstring((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
        return 0;
    }
    if (command == L"timed-start" && argc == 5) {
        PROCESS_INFORMATION info{};
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        if (!StartDetached(argv[2], info)) return 1;
        const DWORD ms = static_cast<DWORD>(_wtoi(argv[4]));
        const bool came = std::wstring(argv[3]) == L"-" ? WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0
                                                         : WaitForWindow(argv[3], true, ms) != nullptr;
        CloseHandle(info.hProcess);
        if (!came) return 1;
        QueryPerformanceCounter(&end);
        Print(std::to_wstring((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
        return 0;
    }
    Print(L"usage: see the head of setup_probe_win32.cpp");
    return 2;
}
