// The instants the clock's setters give the kernel, apart so that horasync's test build records
// the very instant the real setter would set; the capability check behind the right to set it,
// apart so that the platform tests check it without linking a setter.
#pragma once
#include "os/clock.h"

#include <ctime>

namespace os::native {

// The instant of a UTC reading and of a local one (the day of the week ignored); throws
// PlatformError 87, as Windows' setters refuse them, for fields that name no time.
struct timespec UtcInstant(const UtcTime& when);
struct timespec LocalInstant(const LocalDateTime& when);

// Whether the process holds `capability` (CAP_SYS_TIME, ...) in its effective set, as the kernel
// checks it (capget).
bool HasCapability(int capability);

} // namespace os::native
