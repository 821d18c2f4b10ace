#include "timesync/clock_win32.h"

namespace horasync {

bool SetUtcClock(const SYSTEMTIME& st) { return ::SetSystemTime(&st) != 0; }

bool SetLocalClockTo(const SYSTEMTIME& st) { return SetLocalTime(&st) != 0; }

void RecordTestEvent(const std::string&) {}

} // namespace horasync
