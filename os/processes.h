// Other programs' processes: starting a command line, watching a process until it ends, and the
// version of the operating system. Win32: os/win32/processes_win32.cpp.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

namespace os {

// Starts a command line (the program's file first, quoted when it holds spaces) in a normal,
// focused window, not waited for: its process id. Throws PlatformError when it cannot start.
uint32_t StartProcess(std::wstring_view commandLine);

// Access rights to a process as the platform names them.
constexpr uint32_t kProcessQueryInformation = 1024;
constexpr uint32_t kProcessAllAccess = 0x1F0FFF;
// The exit code of a process that still runs.
constexpr uint32_t kStillActive = 259;

// A process opened for watching; the platform's hold on it ends when the object goes.
class WatchedProcess {
public:
    virtual ~WatchedProcess() = default;
    // The exit code, kStillActive while the process runs.
    virtual uint32_t ExitCode() = 0;
    // Returns once the process has ended, a window event waits or `ms` milliseconds have passed.
    virtual void WaitForEndOrEvent(uint32_t ms) = 0;
    // Ends the process with this exit code.
    virtual void Terminate(uint32_t exitCode) = 0;
};

// Opens a process with the given access rights (it can always be waited on). Like the members
// of WatchedProcess, throws PlatformError when the platform refuses.
std::unique_ptr<WatchedProcess> OpenProcess(uint32_t processId, uint32_t access);

// The major version number of the operating system as the platform reports it to the program (5
// for XP, 6 from Vista on); 0 when it cannot be read.
int OsMajorVersion();

} // namespace os
