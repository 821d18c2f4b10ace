// vemr_probe: what the end-to-end tests see of the client's window, tray icon and message boxes,
// and what they do to them as a user would. Console program; prints "key=value" lines (UTF-8).
// Several commands may follow each other in one call; the exit code is that of the first command
// that failed (0 when none did).
//   state              the window Vemrix: found, visible, iconic, topmost, caption, rect, client
//                      size, the screen's DPI, size and work area, whether the window menu has Size, the browser
//                      child (class, visible, top and size in pixels)
//   screen             the screen's size and the desktop work area
//   tray               visible tray icon windows: their centres (screen pixels), count
//   tips               text of every visible tooltip window
//   minimize           the window's Minimize command (as its title-bar button)
//   resize             makes the window 10 pixels wider
//   traymsg N          the tray callback (message 512) with mouse message N
//   close              asks the window to close
//   wait MS            waits up to MS milliseconds for the window to show (fails if it does not)
//   wait-hidden MS     waits up to MS milliseconds for the window to be hidden
//   sleep MS           pauses
//   dialog TITLE       the texts of a message box with that title (fails when there is none)
//   dialog-ok TITLE    presses OK in that message box
// Copied as horasync.exe it stands in for the time synchroniser instead: it appends its command
// line, less the program name, as one line to horasync-calls.txt beside itself and ends.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

void Say(const std::wstring& line)
{
    const std::string bytes = Utf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Number(long value) { return std::to_wstring(value); }

HWND Client() { return FindWindowW(L"Vemrix", nullptr); }

// The screen's size and the desktop work area, as a program sees them.
void SayScreen()
{
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Say(L"screen=" + Number(GetSystemMetrics(SM_CXSCREEN)) + L"x" + Number(GetSystemMetrics(SM_CYSCREEN)));
    Say(L"work=" + Number(work.left) + L"," + Number(work.top) + L"," + Number(work.right) + L"," +
        Number(work.bottom));
}

int State()
{
    HWND window = Client();
    Say(L"found=" + Number(window != nullptr));
    if (!window) return 1;
    wchar_t caption[512] = {};
    GetWindowTextW(window, caption, 512);
    RECT r{}, client{};
    GetWindowRect(window, &r);
    GetClientRect(window, &client);
    Say(L"visible=" + Number(IsWindowVisible(window) != 0));
    Say(L"iconic=" + Number(IsIconic(window) != 0));
    Say(L"topmost=" + Number((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0));
    Say(L"caption=" + std::wstring(caption));
    Say(L"rect=" + Number(r.left) + L"," + Number(r.top) + L"," + Number(r.right) + L"," + Number(r.bottom));
    Say(L"client=" + Number(client.right) + L"x" + Number(client.bottom));
    if (HDC screen = GetDC(nullptr)) {
        Say(L"dpi=" + Number(GetDeviceCaps(screen, LOGPIXELSX)));
        ReleaseDC(nullptr, screen);
    }
    SayScreen();
    HMENU menu = GetSystemMenu(window, FALSE);
    Say(L"size_command=" + Number(menu && GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) != static_cast<UINT>(-1)));
    if (HWND browser = GetWindow(window, GW_CHILD)) {
        RECT b{};
        GetWindowRect(browser, &b);
        POINT corner{b.left, b.top};
        ScreenToClient(window, &corner);
        wchar_t name[128] = {};
        GetClassNameW(browser, name, 128);
        Say(L"browser_class=" + std::wstring(name));
        // The browser's own flag: IsWindowVisible would also say "hidden" while the window is.
        Say(L"browser_visible=" + Number((GetWindowLongW(browser, GWL_STYLE) & WS_VISIBLE) != 0));
        Say(L"browser_top=" + Number(corner.y));
        Say(L"browser_size=" + Number(b.right - b.left) + L"x" + Number(b.bottom - b.top));
    }
    return 0;
}

int Tray()
{
    // Wine's X11 driver keeps a stand-alone tray window of its own when no desktop tray takes the
    // icons; explorer's shell tray is the other home of icon windows.
    static const wchar_t* const homes[][2] = {{L"__winex11_standalone_tray", L"__winex11_tray_icon"},
                                              {L"Shell_TrayWnd", L"__wine_tray_icon"}};
    int count = 0;
    for (const auto& home : homes) {
        for (HWND tray = FindWindowW(home[0], nullptr); tray; tray = FindWindowExW(nullptr, tray, home[0], nullptr)) {
            for (HWND icon = FindWindowExW(tray, nullptr, home[1], nullptr); icon;
                 icon = FindWindowExW(tray, icon, home[1], nullptr)) {
                if (!IsWindowVisible(icon)) continue;
                RECT r{};
                GetWindowRect(icon, &r);
                Say(L"icon_centre=" + Number((r.left + r.right) / 2) + L"," + Number((r.top + r.bottom) / 2));
                ++count;
            }
        }
    }
    Say(L"icons=" + Number(count));
    return 0;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR got = 0;
    // WM_GETTEXT crosses into the owner process; GetWindowText would not ask a foreign control.
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &got);
    return text;
}

BOOL CALLBACK SayTip(HWND window, LPARAM)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (wcscmp(name, L"tooltips_class32") == 0 && IsWindowVisible(window)) Say(L"tip=" + TextOf(window));
    return TRUE;
}

HWND Dialog(const wchar_t* title) { return FindWindowW(L"#32770", title); }

int SayDialog(const wchar_t* title)
{
    HWND dialog = Dialog(title);
    Say(L"dialog=" + Number(dialog != nullptr));
    if (!dialog) return 1;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        if (wcscmp(name, L"Static") != 0) continue;
        std::wstring text = TextOf(child);
        if (text.empty()) continue;  // the icon
        for (auto& c : text)
            if (c == L'\n' || c == L'\r') c = L'|';
        Say(L"text=" + text);
    }
    return 0;
}

int Post(HWND window, UINT message, WPARAM w, LPARAM l)
{
    return window && PostMessageW(window, message, w, l) ? 0 : 1;
}

int Resize()
{
    HWND window = Client();
    if (!window) return 1;
    RECT r{};
    GetWindowRect(window, &r);
    return SetWindowPos(window, nullptr, 0, 0, r.right - r.left + 10, r.bottom - r.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
}

template <class Done>
int WaitFor(DWORD milliseconds, Done done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return 0;
        if (GetTickCount() - start >= milliseconds) return 1;
        Sleep(50);
    }
}

// Stand-in for the time synchroniser: records how it was started.
int RecordStart()
{
    std::wstring line = GetCommandLineW();
    // The program name comes first, quoted or not; the rest is what the starter passed.
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        at = line.find(L'"', 1);
        at = at == std::wstring::npos ? line.size() : at + 1;
    } else {
        at = line.find(L' ');
        if (at == std::wstring::npos) at = line.size();
    }
    if (at < line.size() && line[at] == L' ') ++at;
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != L'\\') --n;
    wcscpy(path + n, L"horasync-calls.txt");
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const std::string bytes = Utf8(line.substr(at) + L"\n");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}

bool StartedAsHorasync()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring name(path, n);
    const size_t slash = name.find_last_of(L'\\');
    return _wcsicmp(name.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), L"horasync.exe") == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (StartedAsHorasync()) return RecordStart();
    if (argc < 2) {
        Say(L"usage: vemr_probe COMMAND [ARG] [COMMAND [ARG]]...");
        return 2;
    }
    int result = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring command = argv[i];
        const bool takesArgument = command == L"traymsg" || command == L"sleep" || command == L"wait" ||
                                   command == L"wait-hidden" || command == L"dialog" || command == L"dialog-ok";
        if (takesArgument && i + 1 >= argc) {
            Say(L"missing argument for " + command);
            return 2;
        }
        const wchar_t* arg = takesArgument ? argv[++i] : L"";
        const DWORD ms = static_cast<DWORD>(_wtoi(arg));
        int rc = 0;
        if (command == L"state") rc = State();
        else if (command == L"screen") SayScreen();
        else if (command == L"tray") rc = Tray();
        else if (command == L"tips") rc = EnumWindows(SayTip, 0) ? 0 : 1;
        else if (command == L"minimize") rc = Post(Client(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        else if (command == L"resize") rc = Resize();
        else if (command == L"close") rc = Post(Client(), WM_CLOSE, 0, 0);
        else if (command == L"traymsg") rc = Post(Client(), WM_MOUSEMOVE, 0, _wtoi(arg));
        else if (command == L"sleep") Sleep(ms);
        else if (command == L"wait") rc = WaitFor(ms, [] { return Client() && IsWindowVisible(Client()); });
        else if (command == L"wait-hidden") rc = WaitFor(ms, [] { return Client() && !IsWindowVisible(Client()); });
        else if (command == L"dialog") rc = SayDialog(arg);
        else if (command == L"dialog-ok") rc = Post(Dialog(arg), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        else {
            Say(L"unknown command " + command);
            return 2;
        }
        if (rc != 0 && result == 0) result = rc;
    }
    return result;
}
