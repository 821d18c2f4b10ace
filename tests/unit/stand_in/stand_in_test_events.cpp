// horasync's test events in the unit tests: each one an "event:" line of the stand-in's journal.
#include "os/ansi.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "timesync/test_events.h"

namespace horasync {

void RecordTestEvent(const std::string& what) { fakeos::Journal().push_back(L"event:" + FromAnsi(what)); }

} // namespace horasync
