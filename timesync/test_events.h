// The moments of a run that the end-to-end scenarios time: "start", each "request N to ADDRESS",
// each "arrival SIZE bytes from ADDRESS:PORT", "end" and "unhandled error". The shipped program
// notes nothing (test_events_none.cpp); the test build (HORASYNC_TEST_CLOCK, tests/test_clock)
// appends each with the host's UTC to "horasync-events.txt" beside the exe.
#pragma once
#include <string>

namespace horasync {

void RecordTestEvent(const std::string& what);

} // namespace horasync
