#include "timesync/autotime_qt.h"

namespace horasync {

QtAutoTimeWindow::QtAutoTimeWindow()
{
    timer_.setInterval(1000);
    timer_.setTimerType(Qt::PreciseTimer);   // a second apart, as the Windows timer keeps them
}

void QtAutoTimeWindow::Route(std::function<void()> timerTick, std::function<void()> socketNotice)
{
    QObject::connect(&timer_, &QTimer::timeout, std::move(timerTick));
    socketNotice_ = std::move(socketNotice);
}

// No window shows on Linux: the caption, the server's time, has nowhere to appear.
void QtAutoTimeWindow::SetCaption(const std::wstring&) {}

void QtAutoTimeWindow::EnableTimer(bool enabled)
{
    if (enabled)
        timer_.start();
    else
        timer_.stop();
}

bool QtAutoTimeWindow::event(QEvent* event)
{
    if (event->type() != kSocketEvent) return QObject::event(event);
    if (socketNotice_) socketNotice_();
    return true;
}

} // namespace horasync
