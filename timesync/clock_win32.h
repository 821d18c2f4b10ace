// The clock setters of horasync, and a note of its events. The shipped program sets the clock
// (clock_win32.cpp); the test build (HORASYNC_TEST_CLOCK, tests/test_clock) never sets it: the
// setters append what they would set, with the host's UTC at that moment, to "horasync-clock.txt"
// beside the exe and answer what HORASYNC_TEST_CLOCK_RESULT and HORASYNC_TEST_DATE_RESULT say
// ("fail" refuses, anything else succeeds); the requests, arrivals and the end are noted with
// their host UTC in "horasync-events.txt".
#pragma once
#include <windows.h>

#include <string>

namespace horasync {

bool SetUtcClock(const SYSTEMTIME& st);
bool SetLocalClockTo(const SYSTEMTIME& st);
// Nothing in the shipped program; a line in horasync-events.txt in the test build.
void RecordTestEvent(const std::string& what);

} // namespace horasync
