#include "client/frame_win32.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/platform.h"

#include <windowsx.h>

#include <cmath>
#include <cstring>

namespace vemr {
namespace {

constexpr wchar_t kClassName[] = L"Vemrix";
// A fixed frame: the layout is fixed, the window only minimises (to the tray) and closes.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

#if defined(__i386__)
static_assert(NOTIFYICONDATAA_V2_SIZE == Vemrix::kTrayRecordSize, "the ANSI tray record with balloon fields");
#endif

// Copies text into a fixed ANSI field, NUL-terminated, never splitting a double-byte character.
template <size_t N>
void CopyAnsi(char (&field)[N], std::wstring_view text)
{
    std::string bytes = ToAnsi(text);
    while (bytes.size() > N - 1) {
        text.remove_suffix(1);
        bytes = ToAnsi(text);
    }
    std::memset(field, 0, N);
    std::memcpy(field, bytes.data(), bytes.size());
}

} // namespace

Win32VemrixWindow::Win32VemrixWindow(HINSTANCE instance) : instance_(instance)
{
    icon_ = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    if (HDC screen = GetDC(nullptr)) {
        dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    noticeFont_ = CreateFontW(-MulDiv(kNoticePointsX100, dpiY_, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, kNoticeFont);
}

Win32VemrixWindow::~Win32VemrixWindow()
{
    if (noticeFont_) DeleteObject(noticeFont_);
}

int Win32VemrixWindow::Pixels(double twips, double twipsPerPixel) const
{
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

int Win32VemrixWindow::Run()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = icon_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return 1;

    // Twips, converted at the screen's DPI like everything else in the window, so that the layout is the
    // same at any display scaling (a 1016 × 704 pixel client area at 96 dpi), as far as the work area
    // holds the window.
    const double tpx = TwipsPerPixelX(), tpy = TwipsPerPixelY();
    RECT outer{0, 0, Pixels(kDesignClientArea.width, tpx), Pixels(kDesignClientArea.height, tpy)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
    const Extent size =
        FittedWindow({(outer.right - outer.left) * tpx, (outer.bottom - outer.top) * tpy}, GetWorkArea(), tpx, tpy);
    // Creation runs the single-copy guard (WM_CREATE): a second copy ends inside this call.
    if (!CreateWindowExW(0, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Pixels(size.width, tpx),
                         Pixels(size.height, tpy), nullptr, nullptr, instance_, this))
        return 1;

    if (startProbe_) startProbe_("window", {}, {});
    RECT client{};
    GetClientRect(window_, &client);
    const ClientLayout layout = LayoutFor({client.right * tpx, client.bottom * tpy}, tpx, tpy);
    notice_ = {Pixels(layout.noticeLeft, tpx), Pixels(layout.noticeTop, tpy),
               Pixels(layout.noticeLeft + layout.notice.width, tpx),
               Pixels(layout.noticeTop + layout.notice.height, tpy)};
    events_.Attach(new BrowserEvents(form_));
    const RECT browserRect{0, 0, Pixels(layout.browser.width, tpx), Pixels(layout.browser.height, tpy)};
    const HRESULT created = browser_.Create(window_, browserRect, events_.Get());
    if (FAILED(created)) {
        // Without its browser the window cannot load, as with any control that cannot be created.
        char code[16];
        wsprintfA(code, "%08lX", static_cast<unsigned long>(created));
        os::EndWithErrorReport(RuntimeError(339, std::string("浏览器控件不能创建 (0x") + code + ")"));
    }

    if (startProbe_) startProbe_("browser", {}, {});
    form_.Form_Load();
    loaded_ = true;
    ShowWindow(window_, SW_SHOW);  // only now: the start-up has finished
    UpdateWindow(window_);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (browser_.TranslateAccelerator(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK Win32VemrixWindow::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32VemrixWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32VemrixWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, w, l);
    LRESULT result = 0;
    os::RunEvent([&] { result = self->Handle(message, w, l); });
    return result;
}

LRESULT Win32VemrixWindow::Handle(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_CREATE:
        os::SetMainWindow(window_);
        form_.Form_Initialize();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(window_, &paint)) {
            PaintNotice(dc);
            EndPaint(window_, &paint);
        }
        if (loaded_) form_.Form_Paint();
        return 0;
    }
    case WM_SIZE:
        // Sizes during creation come before the load; the window's resize events start with it.
        if (loaded_) form_.Form_Resize();
        return 0;
    case WM_MOUSEMOVE:
        // The tray's callback arrives as this message with the mouse message in place of X.
        if (loaded_) form_.Form_MouseMove(GET_X_LPARAM(l) * TwipsPerPixelX());
        return 0;
    case WM_DESTROY:
        os::EndProgram();  // closing the window ends the program; the tray icon is left as it is
    default:
        return DefWindowProcW(window_, message, w, l);
    }
}

void Win32VemrixWindow::PaintNotice(HDC dc)
{
    // A label drawn on the window surface: the browser, a child window, covers it while it shows.
    RECT box = notice_;
    const HGDIOBJ oldFont = SelectObject(dc, noticeFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, kNoticeText, -1, &box, DT_LEFT | DT_TOP | DT_WORDBREAK);
    SelectObject(dc, oldFont);
}

std::wstring Win32VemrixWindow::Caption()
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window_)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Win32VemrixWindow::SetCaption(std::wstring_view caption) { SetWindowTextW(window_, std::wstring(caption).c_str()); }

WindowState Win32VemrixWindow::GetWindowState()
{
    if (IsIconic(window_)) return WindowState::Minimised;
    if (IsZoomed(window_)) return WindowState::Maximised;
    return WindowState::Normal;
}

void Win32VemrixWindow::SetWindowState(WindowState state)
{
    if (state == GetWindowState()) return;
    // A hidden window restored this way shows at once; its caller shows it next anyway.
    ShowWindow(window_, state == WindowState::Minimised   ? SW_MINIMIZE
                        : state == WindowState::Maximised ? SW_MAXIMIZE
                                                          : SW_RESTORE);
}

void Win32VemrixWindow::SetWindowVisible(bool visible) { ShowWindow(window_, visible ? SW_SHOW : SW_HIDE); }

double Win32VemrixWindow::WindowWidth()
{
    RECT r{};
    GetWindowRect(window_, &r);
    return (r.right - r.left) * TwipsPerPixelX();
}

double Win32VemrixWindow::WindowHeight()
{
    RECT r{};
    GetWindowRect(window_, &r);
    return (r.bottom - r.top) * TwipsPerPixelY();
}

void Win32VemrixWindow::MoveWindow(double left, double top)
{
    if (IsIconic(window_) || IsZoomed(window_))
        throw CannotMoveWindow();
    SetWindowPos(window_, nullptr, Pixels(left, TwipsPerPixelX()), Pixels(top, TwipsPerPixelY()), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double Win32VemrixWindow::TwipsPerPixelX() { return 1440.0 / dpiX_; }

double Win32VemrixWindow::TwipsPerPixelY() { return 1440.0 / dpiY_; }

WorkArea Win32VemrixWindow::GetWorkArea()
{
    RECT r{};  // a failed query leaves the empty area
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return {r.left, r.top, r.right, r.bottom};
}

void Win32VemrixWindow::RemoveSizeCommand() { RemoveMenu(GetSystemMenu(window_, FALSE), SC_SIZE, MF_BYCOMMAND | MF_REMOVE); }

void Win32VemrixWindow::SetZOrder(bool topmost)
{
    SetWindowPos(window_, topmost ? HWND_TOPMOST : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED);
}

void Win32VemrixWindow::NotifyIcon(TrayOperation operation, const TrayRecord& record)
{
    NOTIFYICONDATAA data{};
    // The record's size is the ANSI layout with the balloon fields: 488 bytes on 32-bit Windows.
    data.cbSize = record.size == 0 ? 0 : NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = window_;
    data.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon_));
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = icon_;
    CopyAnsi(data.szTip, record.tip);
    data.dwState = record.state;
    data.dwStateMask = record.stateMask;
    CopyAnsi(data.szInfo, record.balloonText);
    data.uTimeout = record.balloonTimeout;
    CopyAnsi(data.szInfoTitle, record.balloonTitle);
    data.dwInfoFlags = record.balloonKind;
    Shell_NotifyIconA(operation == kTrayAdd ? NIM_ADD : NIM_DELETE, &data);  // result not examined
}

void Win32VemrixWindow::Navigate(std::wstring_view url, std::wstring_view headers)
{
    if (startProbe_) startProbe_("navigate", url, headers);
    browser_.Navigate(url, headers);
    if (startProbe_) startProbe_("navigated", url, headers);
}

bool Win32VemrixWindow::BrowserVisible() { return browser_.Visible(); }

void Win32VemrixWindow::SetBrowserVisible(bool visible) { browser_.SetVisible(visible); }

void Win32VemrixWindow::SetBrowserTop(double twips) { browser_.SetTop(Pixels(twips, TwipsPerPixelY())); }

} // namespace vemr
