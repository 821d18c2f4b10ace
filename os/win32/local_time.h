// The local clock's readings in the platform's form.
#pragma once
#include "os/clock.h"

#include <windows.h>

namespace os {

inline LocalDateTime FromSystemTime(const SYSTEMTIME& st)
{
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

// The day of the week is left 0: the clock's setters ignore it.
inline SYSTEMTIME ToSystemTime(const LocalDateTime& t)
{
    const auto w = [](int field) { return static_cast<WORD>(field); };
    return {w(t.year), w(t.month), 0, w(t.day), w(t.hour), w(t.minute), w(t.second), w(t.milliseconds)};
}

inline LocalDateTime LocalNow()
{
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return FromSystemTime(st);
}

} // namespace os
