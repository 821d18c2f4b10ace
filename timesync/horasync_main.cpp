// horasync's Win32 frame: the window AutoTime and its message loop. WndProc only turns the timer's
// and the socket's messages into calls of AutoTime's handlers; the handlers hold the logic.
#include "os/platform.h"
#include "os/win32/form.h"
#include "timesync/autotime.h"
#include "timesync/autotime_win32.h"
#include "timesync/test_events.h"

#include <winsock2.h>

#include <optional>

namespace {

horasync::AutoTime* g_autotime = nullptr;
using horasync::RunHandler;

LRESULT CALLBACK AutoTimeProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_TIMER:
        if (w == horasync::kTimerId) RunHandler([] { g_autotime->TimeTime_Timer(); });
        return 0;
    case horasync::kSocketMessage:
        if (WSAGETSELECTERROR(l) != 0) {
            RunHandler([] { g_autotime->TimeSock_Error(); });
        } else if (WSAGETSELECTEVENT(l) == FD_READ) {
            if (const std::optional<size_t> size = g_autotime->TimeSock().Announce())
                RunHandler([&] { g_autotime->TimeSock_DataArrival(static_cast<int32_t>(*size)); });
        }
        return 0;
    default:
        return os::FormDefault(window, message, w, l);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    horasync::RecordTestEvent("start");
    horasync::Win32AutoTimeWindow form;
    horasync::AutoTime autotime(form);
    g_autotime = &autotime;

    // The first event comes before the window exists; registration may let events run meanwhile.
    RunHandler([&] { autotime.Form_Initialize(); });

    os::RegisterFormClass(instance, L"AutoTime", AutoTimeProc);
    HWND window = CreateWindowW(L"AutoTime", autotime.Caption().c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 240, 80, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    form.Attach(window);
    autotime.TimeSock().NotifyTo(window, horasync::kSocketMessage);
    os::SetMainWindow(window);

    // Loading starts the exchange; the window shows once it is loaded, as a program's first form does.
    RunHandler([&] { autotime.Form_Load(); });
    ShowWindow(window, SW_SHOWNOACTIVATE);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
