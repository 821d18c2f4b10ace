// The client's Win32 frame: the window Vemrix (client area 15240 × 10560 twips where the work area
// holds it, the program's icon) with the browser control Tavin and the notice NetErr beneath it. It
// turns window messages and browser events into calls of the window object's handlers and carries
// out what they ask of the window.
#pragma once
#include "client/browser_win32.h"
#include "client/vemrix.h"
#include "client/vemrix_window.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>

namespace vemr {

class Win32VemrixWindow final : public VemrixWindow {
public:
    explicit Win32VemrixWindow(HINSTANCE instance);
    ~Win32VemrixWindow() override;
    Win32VemrixWindow(const Win32VemrixWindow&) = delete;
    Win32VemrixWindow& operator=(const Win32VemrixWindow&) = delete;

    // Creates the window (the single-copy guard runs), the controls, runs the start-up, shows the
    // window and runs its messages until it ends.
    int Run();

    // Steps of the start, for the benchmark build: "window" (created, guard passed), "browser"
    // (control in place), "navigate" (just before the call) and "navigated" (after it); the last
    // two carry the address and headers the browser is given.
    using StartProbe = std::function<void(const char* step, std::wstring_view url, std::wstring_view headers)>;
    void OnStartStep(StartProbe probe) { startProbe_ = std::move(probe); }

    // VemrixWindow
    std::wstring Caption() override;
    void SetCaption(std::wstring_view caption) override;
    WindowState GetWindowState() override;
    void SetWindowState(WindowState state) override;
    void SetWindowVisible(bool visible) override;
    double WindowWidth() override;
    double WindowHeight() override;
    void MoveWindow(double left, double top) override;
    double TwipsPerPixelX() override;
    double TwipsPerPixelY() override;
    WorkArea GetWorkArea() override;
    void RemoveSizeCommand() override;
    void SetZOrder(bool topmost) override;
    void NotifyIcon(TrayOperation operation, const TrayRecord& record) override;
    void Navigate(std::wstring_view url, std::wstring_view headers) override;
    bool BrowserVisible() override;
    void SetBrowserVisible(bool visible) override;
    void SetBrowserTop(double twips) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void PaintNotice(HDC dc);
    int Pixels(double twips, double twipsPerPixel) const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;      // the program's icon resource: shared, never destroyed
    HFONT noticeFont_ = nullptr;
    RECT notice_{};             // the notice's box in the client area (pixels)
    Vemrix form_{*this};
    EmbeddedBrowser browser_;
    Microsoft::WRL::ComPtr<IDispatch> events_;
    bool loaded_ = false;
    int dpiX_ = 96, dpiY_ = 96;
    StartProbe startProbe_;
};

} // namespace vemr
