// The right to set the clock where the platform tells it only by trying (os/clock.h): the local
// clock set to its own reading, which changes nothing but fails without the right. Windows, the
// test builds' recording setters and the stand-in take it over their own SetLocalClock.
#include "os/clock.h"

#include "os/errors.h"

namespace os {

bool MaySetClock()
{
    try {
        SetLocalClock(LocalNow());
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

} // namespace os
