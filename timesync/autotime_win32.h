// AutoTime's window on Windows: its caption and the timer TimeTime. The window also receives the
// notifications of the socket TimeSock (kSocketMessage), which horasync_main routes to AutoTime.
#pragma once
#include "timesync/autotime_window.h"

#include <windows.h>

namespace horasync {

// The window message that carries TimeSock's notifications, and the id of the timer TimeTime.
constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;

class Win32AutoTimeWindow : public AutoTimeWindow {
public:
    // The window, once it exists: until then the caption and the timer wait for it.
    void Attach(HWND window) { window_ = window; }

    void SetCaption(const std::wstring& caption) override;
    void EnableTimer(bool enabled) override;

private:
    HWND window_ = nullptr;
};

} // namespace horasync
