// horasync's clock setters for the test build (HORASYNC_TEST_CLOCK, never shipped), in place of
// os/win32/clock_set_win32.cpp: they append what they would set, with the host's UTC at that
// moment, to "horasync-clock.txt" beside the exe, and answer what HORASYNC_TEST_CLOCK_RESULT and
// HORASYNC_TEST_DATE_RESULT say ("fail" refuses, anything else succeeds). The events the scenarios
// time go to "horasync-events.txt" (see timesync/test_events.h).
#include "os/clock.h"
#include "os/platform.h"
#include "os/win32/local_time.h"
#include "os/win32/scoped.h"
#include "timesync/test_events.h"

#include <cstdio>
#include <cstdlib>

namespace horasync {
namespace {

// The host's UTC with the platform's finest resolution, as text.
std::string HostUtcText()
{
    using PreciseTime = VOID(WINAPI*)(LPFILETIME);
    static const auto precise = reinterpret_cast<PreciseTime>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME now{};
    if (precise)
        precise(&now);
    else
        GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    SYSTEMTIME st{};
    FileTimeToSystemTime(&now, &st);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%07u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond, static_cast<unsigned>(ticks % 10000000));
    return text;
}

void AppendBesideExe(const wchar_t* name, const std::string& line)
{
    std::wstring folder = os::ProgramFolder();
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    os::KernelHandle file(CreateFileW((folder + name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// What the test run configured for a setter: "fail" refuses, anything else succeeds.
bool ConfiguredResult(const char* variable)
{
    const char* value = std::getenv(variable);
    return !(value && std::string(value) == "fail");
}

void RecordClockSetting(const char* what, const SYSTEMTIME& st, const char* resultVariable)
{
    const std::string host = HostUtcText();
    const bool result = ConfiguredResult(resultVariable);
    char line[160];
    std::snprintf(line, sizeof line, "%s %04u-%02u-%02u %02u:%02u:%02u.%03u dow %u host %s result %s", what, st.wYear,
                  st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek,
                  host.c_str(), result ? "ok" : "fail");
    AppendBesideExe(L"horasync-clock.txt", line);
    if (!result) throw PlatformError(std::string(what) + " refused (test clock)", ERROR_PRIVILEGE_NOT_HELD);
}

} // namespace

void RecordTestEvent(const std::string& what) { AppendBesideExe(L"horasync-events.txt", HostUtcText() + " " + what); }

} // namespace horasync

namespace os {

void SetUtcClock(const UtcTime& when)
{
    horasync::RecordClockSetting("SetSystemTime", ToSystemTime(when), "HORASYNC_TEST_CLOCK_RESULT");
}

void SetLocalClock(const LocalDateTime& when)
{
    horasync::RecordClockSetting("SetLocalTime", ToSystemTime(when), "HORASYNC_TEST_DATE_RESULT");
}

} // namespace os
