// Win32 processes and the system's version.
#include "os/processes.h"

#include "os/win32/scoped.h"

#include <string>

namespace os {
namespace {

class Win32WatchedProcess : public WatchedProcess {
public:
    explicit Win32WatchedProcess(HANDLE process) : process_(process) {}
    uint32_t ExitCode() override
    {
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.handle, &code)) Fail("GetExitCodeProcess");
        return code;
    }
    void WaitForEndOrEvent(uint32_t ms) override
    {
        // A handle that cannot be waited on still sleeps until an event comes or the time is up.
        if (MsgWaitForMultipleObjects(1, &process_.handle, FALSE, ms, QS_ALLINPUT) == WAIT_FAILED)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    }
    void Terminate(uint32_t exitCode) override
    {
        if (!TerminateProcess(process_.handle, exitCode)) Fail("TerminateProcess");
    }

private:
    KernelHandle process_;
};

} // namespace

uint32_t StartProcess(std::wstring_view commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;   // a normal, focused window
    PROCESS_INFORMATION info{};
    std::wstring writable(commandLine);
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail("CreateProcess");
    // Only the id is kept: the process is watched through handles opened for that purpose.
    KernelHandle process(info.hProcess), thread(info.hThread);
    return info.dwProcessId;
}

std::unique_ptr<WatchedProcess> OpenProcess(uint32_t processId, uint32_t access)
{
    HANDLE process = ::OpenProcess(access | SYNCHRONIZE, FALSE, processId);   // SYNCHRONIZE: to wait on it
    if (!process) Fail("OpenProcess");
    return std::make_unique<Win32WatchedProcess>(process);
}

int OsMajorVersion()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 0;
    return static_cast<int>(version.dwMajorVersion);
}

} // namespace os
