#include "client/frame_qt.h"

#include "os/errors.h"
#include "os/platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include <cmath>

namespace vemr {
namespace {

// Device-independent pixels stand for the 96-dpi pixels of the Windows client: 1440 / 96 twips each.
constexpr double kTwipsPerPixel = 15;
// A fixed frame: the layout is fixed, the window only minimises (to the tray) and closes.
constexpr Qt::WindowFlags kFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowCloseButtonHint;
constexpr double kTwipsPerPoint = 20;
// The mouse messages the tray's clicks stand for: button up (left, right, middle) and the left
// button's double click.
constexpr uint32_t kLeftButtonUp = 0x202, kLeftButtonDoubleClick = 0x203, kRightButtonUp = 0x205,
                   kMiddleButtonUp = 0x208;

int Pixels(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

} // namespace

QtVemrixWindow::QtVemrixWindow() : QWidget(nullptr, kFlags)
{
    setWindowIcon(QIcon(QStringLiteral(":/program.ico")));
    noticeFont_.setFamily(QString::fromWCharArray(kNoticeFont));
    noticeFont_.setPixelSize(Pixels(kNoticePointsX100 / 100.0 * kTwipsPerPoint));
    setMouseTracking(true);
}

QtVemrixWindow::~QtVemrixWindow() = default;

int QtVemrixWindow::Run()
{
    os::SetMainWindow(this);
    form_.Form_Initialize();  // a second copy ends here, before the browser's engine starts

    browser_.Create(this);
    FitToWorkArea();
    form_.Form_Load();
    loaded_ = true;
    winId();
    windowHandle()->installEventFilter(this);  // its exposure is the window's paint
    show();  // only now: the start-up has finished
    return QApplication::exec();
}

// The window's outer size is the design client area with the frame, cut to the work area where it
// does not fit, as the Windows frame sizes it at creation. The frame's size is known only once the
// window manager has framed the window: before that it counts as none, and the window is fitted
// again when it first shows.
void QtVemrixWindow::FitToWorkArea()
{
    const QSize frame = frameGeometry().size() - geometry().size();
    const Extent outer = FittedWindow({kDesignClientArea.width + frame.width() * kTwipsPerPixel,
                                       kDesignClientArea.height + frame.height() * kTwipsPerPixel},
                                      GetWorkArea(), kTwipsPerPixel, kTwipsPerPixel);
    const QSize client(Pixels(outer.width) - frame.width(), Pixels(outer.height) - frame.height());
    setFixedSize(client);

    const ClientLayout layout =
        LayoutFor({client.width() * kTwipsPerPixel, client.height() * kTwipsPerPixel}, kTwipsPerPixel, kTwipsPerPixel);
    const int noticeLeft = Pixels(layout.noticeLeft), noticeTop = Pixels(layout.noticeTop);
    notice_ = QRect(noticeLeft, noticeTop, Pixels(layout.noticeLeft + layout.notice.width) - noticeLeft,
                    Pixels(layout.noticeTop + layout.notice.height) - noticeTop);
    browser_.SetSize(Pixels(layout.browser.width), Pixels(layout.browser.height));
}

bool QtVemrixWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        if (!fitted_) {
            fitted_ = true;
            FitToWorkArea();
        }
        form_.Form_Paint();
    }
    return QWidget::eventFilter(watched, event);
}

void QtVemrixWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !loaded_) return;
    const bool wasMinimised = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
    form_.Form_Resize();
    // Where no tray icon could show, the window was left minimised in the taskbar: bringing it back
    // from there is what a click on the tray icon does.
    if (wasMinimised && !isMinimized() && form_.Tray().size != 0 && !(tray_ && tray_->isVisible()))
        form_.Form_MouseMove(kLeftButtonUp * TwipsPerPixelX());
}

void QtVemrixWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    os::EndProgram();  // closing the window ends the program, the notice showing or not
}

void QtVemrixWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (loaded_) form_.Form_MouseMove(std::floor(event->position().x()) * TwipsPerPixelX());
}

void QtVemrixWindow::paintEvent(QPaintEvent*)
{
    // A label drawn on the window surface: the browser, a child widget, covers it while it shows.
    QPainter painter(this);
    painter.setFont(noticeFont_);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(notice_, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromWCharArray(kNoticeText));
}

void QtVemrixWindow::TrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The tray's clicks reach the window as the Windows tray delivers them: the mouse message in
    // place of the pointer's X coordinate.
    uint32_t message = 0;
    switch (reason) {
    case QSystemTrayIcon::Trigger: message = kLeftButtonUp; break;
    case QSystemTrayIcon::DoubleClick: message = kLeftButtonDoubleClick; break;
    case QSystemTrayIcon::Context: message = kRightButtonUp; break;
    case QSystemTrayIcon::MiddleClick: message = kMiddleButtonUp; break;
    default: return;
    }
    form_.Form_MouseMove(message * TwipsPerPixelX());
}

std::wstring QtVemrixWindow::Caption() { return windowTitle().toStdWString(); }

void QtVemrixWindow::SetCaption(std::wstring_view caption)
{
    setWindowTitle(QString::fromStdWString(std::wstring(caption)));
}

WindowState QtVemrixWindow::GetWindowState()
{
    if (isMinimized()) return WindowState::Minimised;
    if (isMaximized()) return WindowState::Maximised;
    return WindowState::Normal;
}

void QtVemrixWindow::SetWindowState(WindowState state)
{
    if (state == GetWindowState()) return;
    // A hidden window restored this way shows at once, as on Windows; its caller shows it next anyway.
    if (state == WindowState::Minimised)
        showMinimized();
    else if (state == WindowState::Maximised)
        showMaximized();
    else
        showNormal();
}

void QtVemrixWindow::SetWindowVisible(bool visible)
{
    // Only a tray icon can bring a hidden window back: without one it stays where it is.
    if (!visible && !(tray_ && tray_->isVisible())) return;
    setVisible(visible);
}

double QtVemrixWindow::WindowWidth() { return frameGeometry().width() * TwipsPerPixelX(); }

double QtVemrixWindow::WindowHeight() { return frameGeometry().height() * TwipsPerPixelY(); }

void QtVemrixWindow::MoveWindow(double left, double top)
{
    if (isMinimized() || isMaximized()) throw CannotMoveWindow();
    move(Pixels(left), Pixels(top));  // a window's position is its frame's
}

double QtVemrixWindow::TwipsPerPixelX() { return kTwipsPerPixel; }

double QtVemrixWindow::TwipsPerPixelY() { return kTwipsPerPixel; }

WorkArea QtVemrixWindow::GetWorkArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};  // no screen: the empty area of a failed query
    const QRect r = screen->availableGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The window's fixed size already keeps the window manager from offering to resize it.
void QtVemrixWindow::RemoveSizeCommand() {}

void QtVemrixWindow::SetZOrder(bool topmost)
{
    // Set on the native window: a widget whose window flags change is created anew, hidden.
    windowHandle()->setFlag(Qt::WindowStaysOnTopHint, topmost);
    if (topmost) {
        raise();
        activateWindow();
    } else {
        lower();
    }
}

void QtVemrixWindow::NotifyIcon(TrayOperation operation, const TrayRecord& record)
{
    if (operation == kTrayDelete) {
        if (tray_) tray_->hide();
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;  // a failed add, as the window object allows
    if (!tray_) {
        tray_ = new QSystemTrayIcon(windowIcon(), this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            TrayActivated(reason);
        });
    }
    tray_->setToolTip(QString::fromStdWString(record.tip));
    tray_->show();
}

void QtVemrixWindow::Navigate(std::wstring_view url, std::wstring_view headers) { browser_.Navigate(url, headers); }

bool QtVemrixWindow::BrowserVisible() { return browser_.Visible(); }

void QtVemrixWindow::SetBrowserVisible(bool visible) { browser_.SetVisible(visible); }

void QtVemrixWindow::SetBrowserTop(double twips) { browser_.SetTop(Pixels(twips)); }

} // namespace vemr
