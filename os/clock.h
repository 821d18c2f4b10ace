// The PC's local clock as the programs read and set it.
#pragma once

namespace os {

// One reading of the local clock: the date and the time of day.
struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

} // namespace os
