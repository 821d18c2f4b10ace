// horasync's Linux frame: a Qt Core event loop and AutoTime's window object, which only turns the
// timer's ticks and the socket's notifications into calls of AutoTime's handlers; the handlers hold
// the logic.
#include "timesync/autotime.h"
#include "timesync/autotime_qt.h"
#include "timesync/test_events.h"

#include <QCoreApplication>

#include <optional>

using horasync::RunHandler;

int main(int argc, char** argv)
{
    horasync::RecordTestEvent("start");
    QCoreApplication application(argc, argv);
    horasync::QtAutoTimeWindow form;
    horasync::AutoTime autotime(form);

    RunHandler([&] { autotime.Form_Initialize(); });

    form.Route([&] { RunHandler([&] { autotime.TimeTime_Timer(); }); },
               [&] {
                   if (const std::optional<size_t> size = autotime.TimeSock().Announce())
                       RunHandler([&] { autotime.TimeSock_DataArrival(static_cast<int32_t>(*size)); });
               });
    autotime.TimeSock().NotifyTo(&form, horasync::kSocketEvent);

    RunHandler([&] { autotime.Form_Load(); });
    return application.exec();
}
