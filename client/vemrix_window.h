// What the client's window object asks of its own window: caption, state, placement, tray icon and
// the browser control. The Windows frame implements it with the real window; the unit tests with a
// recording fake. Everything else the window object needs from the platform goes through os/.
#pragma once
#include "os/errors.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vemr {

enum class WindowState { Normal, Minimised, Maximised };

// The desktop work area in pixels (the screen less the taskbar).
struct WorkArea {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// Operations on the notification-area icon, as the platform numbers them.
enum TrayOperation : int { kTrayAdd = 0, kTrayDelete = 2 };
// The fields of a tray record the platform reads (NIF_MESSAGE, NIF_ICON, NIF_TIP, NIF_STATE, NIF_INFO).
enum TrayField : uint32_t { kTrayMessage = 1, kTrayIcon = 2, kTrayTip = 4, kTrayState = 8, kTrayBalloon = 16 };
// The window message a mouse move is (WM_MOUSEMOVE): the tray's mouse events arrive as one.
constexpr uint32_t kMouseMoveMessage = 0x200;
// The mouse button messages, WM_LBUTTONDOWN to WM_MBUTTONDBLCLK: down, up and double-click of the
// left, right and middle buttons.
constexpr uint32_t kFirstButtonMessage = 0x201, kLastButtonMessage = 0x209;

// The tray record of the window, in the ANSI NOTIFYICONDATA layout of 488 bytes. The window handle,
// the icon identifier and the icon handle are the frame's own and are filled in by it.
struct TrayRecord {
    uint32_t size = 0;               // 488 while the icon is shown, 0 otherwise: the presence flag
    uint32_t flags = 0;
    uint32_t callbackMessage = 0;
    std::wstring tip;                // the text before its NUL
    uint32_t state = 0, stateMask = 0;
    std::wstring balloonText, balloonTitle;
    uint32_t balloonTimeout = 0, balloonKind = 0;
};

// The notice NetErr that shows where the browser was when a navigation failed: fixed text and
// font (26.25 points); its place is the layout's.
constexpr wchar_t kNoticeText[] =
    L"\u3000非常遗憾，网络异常！如果刚刚您正在发起交易，千万不能做失败处理。请等待网络正常后，重新登录本系统，"
    L"核实该笔交易是否已经成功。";
constexpr wchar_t kNoticeFont[] = L"宋体";
constexpr int kNoticePointsX100 = 2625;

// What MoveWindow throws while the window is minimised or maximised (error 384).
inline RuntimeError CannotMoveWindow() { return RuntimeError(384, "窗体最小化或最大化时不能移动或调整大小"); }

class VemrixWindow {
public:
    virtual ~VemrixWindow() = default;

    virtual std::wstring Caption() = 0;
    virtual void SetCaption(std::wstring_view caption) = 0;
    virtual WindowState GetWindowState() = 0;
    virtual void SetWindowState(WindowState state) = 0;
    virtual void SetWindowVisible(bool visible) = 0;
    // Outer size of the window in twips.
    virtual double WindowWidth() = 0;
    virtual double WindowHeight() = 0;
    // Moves the window's outer top-left corner (twips). Throws while minimised or maximised.
    virtual void MoveWindow(double left, double top) = 0;
    virtual double TwipsPerPixelX() = 0;
    virtual double TwipsPerPixelY() = 0;
    virtual WorkArea GetWorkArea() = 0;
    // Removes the Size command from the window menu.
    virtual void RemoveSizeCommand() = 0;
    // Topmost (true) or bottom of the z-order (false), keeping size and position.
    virtual void SetZOrder(bool topmost) = 0;
    virtual void NotifyIcon(TrayOperation operation, const TrayRecord& record) = 0;

    // The browser control Tavin.
    virtual void Navigate(std::wstring_view url, std::wstring_view headers) = 0;
    virtual bool BrowserVisible() = 0;
    virtual void SetBrowserVisible(bool visible) = 0;
    virtual void SetBrowserTop(double twips) = 0;
};

} // namespace vemr
