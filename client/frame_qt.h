// The client's Qt frame: the window Vemrix (a fixed client area of 1016 × 704 device-independent
// pixels where the work area holds it, the program's icon) with the browser Tavin and the notice
// NetErr beneath it, and its tray icon. Qt's high-DPI scaling plays the part of twips: 15 twips to a
// device-independent pixel. It turns the window's events into calls of the window object's handlers,
// in the order the Windows frame makes them, and carries out what they ask of the window.
#pragma once
#include "client/browser_qt.h"
#include "client/vemrix.h"
#include "client/vemrix_window.h"

#include <QFont>
#include <QRect>
#include <QSystemTrayIcon>
#include <QWidget>

namespace vemr {

class QtVemrixWindow final : public QWidget, public VemrixWindow {
public:
    QtVemrixWindow();
    ~QtVemrixWindow() override;

    // Runs the single-copy guard, creates the browser, runs the start-up, shows the window and runs
    // the application's events until the program ends.
    int Run();

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FitToWorkArea();
    void TrayActivated(QSystemTrayIcon::ActivationReason reason);

    Vemrix form_{*this};
    QtBrowser browser_{form_};
    QSystemTrayIcon* tray_ = nullptr;  // created at its first showing
    QFont noticeFont_;
    QRect notice_;       // the notice's box in the client area
    bool loaded_ = false;
    bool fitted_ = false;  // fitted with the frame the window manager gave it
};

} // namespace vemr
