// horasync's own window as its window object AutoTime uses it: the caption and the timer TimeTime.
// Every other platform service is os::'s. The Windows window is timesync/autotime_win32.cpp; the
// unit tests drive AutoTime through a recording fake of this interface.
#pragma once
#include <string>

namespace horasync {

class AutoTimeWindow {
public:
    virtual ~AutoTimeWindow() = default;
    virtual void SetCaption(const std::wstring& caption) = 0;
    // Starts or stops the timer TimeTime (once a second).
    virtual void EnableTimer(bool enabled) = 0;
};

} // namespace horasync
