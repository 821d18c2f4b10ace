#include "timesync/autotime_win32.h"

namespace horasync {

void Win32AutoTimeWindow::SetCaption(const std::wstring& caption)
{
    if (window_) SetWindowTextW(window_, caption.c_str());
}

void Win32AutoTimeWindow::EnableTimer(bool enabled)
{
    if (!window_) return;
    if (enabled)
        SetTimer(window_, kTimerId, 1000, nullptr);
    else
        KillTimer(window_, kTimerId);
}

} // namespace horasync
