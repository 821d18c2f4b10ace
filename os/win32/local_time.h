// The clocks' readings in the platform's form.
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

inline UtcTime UtcFromSystemTime(const SYSTEMTIME& st)
{
    return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

inline SYSTEMTIME ToSystemTime(const UtcTime& t)
{
    return {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
}

} // namespace os
