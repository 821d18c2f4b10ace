// Linux setters of the clock, in a library of their own (os_clock_linux) that a build may replace:
// clock_settime(CLOCK_REALTIME) from one reading, and the right to do so, CAP_SYS_TIME, which the
// package grants the installed program alone as a file capability.
#include "os/clock.h"

#include "os/errors.h"
#include "os/linux/clock_linux.h"

#include <linux/capability.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace os {
namespace {

void SetInstant(const struct timespec& instant, const char* what)
{
    if (clock_settime(CLOCK_REALTIME, &instant) == 0) return;
    const int err = errno;
    // Without the right, Windows' error: the privilege is not held.
    throw PlatformError(std::string(what) + ": " + std::strerror(err), err == EPERM ? 1314 : 0x20000000u + err);
}

} // namespace

void SetLocalClock(const LocalDateTime& when) { SetInstant(native::LocalInstant(when), "clock_settime (local)"); }

void SetUtcClock(const UtcTime& when) { SetInstant(native::UtcInstant(when), "clock_settime"); }

bool MaySetClock() { return native::HasCapability(CAP_SYS_TIME); }

} // namespace os
