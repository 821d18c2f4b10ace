// The millisecond counter, apart from the clocks: only a program that reads it imports winmm.
#include "os/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace os {

uint32_t MillisecondCounter() { return timeGetTime(); }

} // namespace os
