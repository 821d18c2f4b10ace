// Other programs' processes on Linux (os/processes.h), as far as the Linux edition uses them. Only
// horasync's first-run registration of a socket component starts and watches a program, and on
// Linux it has nothing to register: the platform names no system folder, so the component's place
// is the program folder, where the package puts none, and nothing is ever started. Starting and
// watching are refused (error 50, not supported); vemr starts horasync through the shell's open.
#include "os/processes.h"

#include "os/errors.h"

namespace os {

uint32_t StartProcess(std::wstring_view) { throw PlatformError("no process is started here", 50); }

std::unique_ptr<WatchedProcess> OpenProcess(uint32_t, uint32_t)
{
    throw PlatformError("no process is watched here", 50);
}

// The one question the programs ask the version: whether the right to set the clock is granted per
// program, as from Vista on (6). Linux grants it per program (CAP_SYS_TIME) in every version.
int OsMajorVersion() { return 6; }

} // namespace os
