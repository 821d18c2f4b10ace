// horasync's test events in the unit tests: each one a line of the stand-in's call log.
#include "tests/unit/stand_in/stand_in_calls.h"
#include "timesync/test_events.h"

namespace horasync {

void RecordTestEvent(const std::string& what) { fakeos::Calls().push_back(what); }

} // namespace horasync
