// The window `Setup`: a label, the folder box and the install button. The frame only creates them and
// turns window messages into calls of the window object's handlers.
#include "installer/setup_form.h"
#include "installer/setup_window_win32.h"

#include "os/platform.h"
#include "os/win32/form.h"
#include "os/win32/scoped.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

namespace {

constexpr wchar_t kClassName[] = L"Setup";
constexpr int kLetGoId = 1001;
constexpr int kSoftPathId = 1002;
constexpr int kMemoId = 1003;
constexpr int kClientWidth = 420;   // pixels at 96 dpi
constexpr int kClientHeight = 86;

Setup* g_form = nullptr;

using Font = os::Scoped<HFONT, &DeleteObject>;   // the system's message font

// The folder box reports its clicks (a mouse button released in it) to the window object.
LRESULT CALLBACK SoftPathProc(HWND box, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCDESTROY) RemoveWindowSubclass(box, SoftPathProc, 0);
    const LRESULT result = DefSubclassProc(box, message, w, l);
    if (message == WM_LBUTTONUP && g_form) os::RunEvent([] { g_form->SoftPath_Click(); });
    return result;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(w) == kLetGoId && HIWORD(w) == BN_CLICKED && g_form) os::RunEvent([] { g_form->LetGo_Click(); });
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);   // nothing further happens when the user closes the window
        return 0;
    default:
        return os::FormDefault(window, message, w, l);
    }
}

HWND MakeControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int id,
                 int x, int y, int width, int height, HFONT font)
{
    HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void CentreOnWorkArea(HWND window)
{
    RECT area{}, frame{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);   // for the shortcuts; lives as long as the process

    if (!os::RegisterFormClass(instance, kClassName, WindowProc)) return 1;

    // The layout is in pixels at 96 dpi; it grows with the screen's DPI as the system's message font
    // does, so the controls and their text stay inside the window at any display scaling.
    int dpi = 96;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    const auto px = [dpi](int pixelsAt96) { return MulDiv(pixelsAt96, dpi, 96); };

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExW(0, kClassName, kDesignCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    os::SetMainWindow(window);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const Font font(CreateFontIndirectW(&metrics.lfMessageFont));

    MakeControl(window, L"STATIC", kMemoText, 0, 0, kMemoId, px(16), px(14), px(388), px(20), font.handle);
    HWND softPath = MakeControl(window, L"EDIT", kSoftPathText, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                                kSoftPathId, px(16), px(42), px(290), px(26), font.handle);
    HWND letGo = MakeControl(window, L"BUTTON", kLetGoText, WS_TABSTOP | BS_PUSHBUTTON, 0, kLetGoId, px(316), px(41),
                             px(88), px(28), font.handle);
    SetWindowSubclass(softPath, SoftPathProc, 0, 0);

    Win32SetupWindow setupWindow(window, softPath, letGo);
    auto form = std::make_unique<Setup>(setupWindow);
    g_form = form.get();
    os::RunEvent([&] {
        form->Form_Initialize();
        form->Form_Load();
    });

    // Only install mode gets here: the window waits for the user.
    CentreOnWorkArea(window);
    ShowWindow(window, SW_SHOW);
    SetFocus(softPath);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &msg)) continue;   // Tab moves between the box and the button
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    g_form = nullptr;
    return 0;
}
