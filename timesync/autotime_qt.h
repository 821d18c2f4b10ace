// AutoTime's window on Linux, where horasync shows none (a Qt Core program): the timer TimeTime,
// and the object that receives the notifications of the socket TimeSock as events of
// kSocketEvent. horasync_main_qt routes both to AutoTime's handlers.
#pragma once
#include "timesync/autotime_window.h"

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <functional>

namespace horasync {

// The event type that carries TimeSock's notifications.
constexpr QEvent::Type kSocketEvent = static_cast<QEvent::Type>(QEvent::User + 1);

class QtAutoTimeWindow : public QObject, public AutoTimeWindow {
public:
    QtAutoTimeWindow();

    // What the timer's ticks and the socket's notifications run.
    void Route(std::function<void()> timerTick, std::function<void()> socketNotice);

    void SetCaption(const std::wstring& caption) override;
    void EnableTimer(bool enabled) override;

protected:
    bool event(QEvent* event) override;

private:
    QTimer timer_;
    std::function<void()> socketNotice_;
};

} // namespace horasync
