// horasync's clock setters for the Linux test build (HORASYNC_TEST_CLOCK, never shipped), in place of
// os/linux/clock_set_linux.cpp, as recording_clock_win32.cpp is on Windows: they append the instant
// the real setter would give the kernel, as its fields, with the host's UTC at that moment, to
// "horasync-clock.txt" beside the program, and answer what HORASYNC_TEST_CLOCK_RESULT and
// HORASYNC_TEST_DATE_RESULT say ("fail" refuses, anything else succeeds). The right to set the clock
// is asked of them too (os/clock_right_by_setting.cpp), not of the capabilities, so the test build
// runs without CAP_SYS_TIME. The events the scenarios time go to "horasync-events.txt".
#include "os/clock.h"
#include "os/errors.h"
#include "os/linux/clock_linux.h"
#include "os/linux/native_path.h"
#include "os/platform.h"
#include "timesync/test_events.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace horasync {
namespace {

// The fields of an instant in UTC or local time, as the Windows test build records a SYSTEMTIME:
// "yyyy-mm-dd hh:mm:ss.fff dow D" (fractionDigits 3) or with 7 fraction digits and no day.
std::string InstantText(const struct timespec& instant, bool local, int fractionDigits)
{
    struct tm t {};
    if (local)
        localtime_r(&instant.tv_sec, &t);
    else
        gmtime_r(&instant.tv_sec, &t);
    char text[64];
    const long fraction = fractionDigits == 3 ? instant.tv_nsec / 1000000 : instant.tv_nsec / 100;
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%0*ld", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, fractionDigits, fraction);
    std::string result = text;
    if (fractionDigits == 3) result += " dow " + std::to_string(t.tm_wday);
    return result;
}

std::string HostUtcText()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return InstantText(now, false, 7);
}

void AppendBesideProgram(const char* name, const std::string& line)
{
    const std::string path = os::native::NativePath(os::ProgramFolder()) + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = line + "\r\n";
    const ssize_t written = write(fd, text.data(), text.size());
    (void)written;   // a line lost is seen by the scenario's checks
    close(fd);
}

// What the test run configured for a setter: "fail" refuses, anything else succeeds.
bool ConfiguredResult(const char* variable)
{
    const char* value = std::getenv(variable);
    return !(value && std::string(value) == "fail");
}

void RecordClockSetting(const char* what, const struct timespec& instant, bool local, const char* resultVariable)
{
    const std::string host = HostUtcText();
    const bool result = ConfiguredResult(resultVariable);
    AppendBesideProgram("horasync-clock.txt", std::string(what) + " " + InstantText(instant, local, 3) + " host " +
                                                  host + " result " + (result ? "ok" : "fail"));
    if (!result) throw PlatformError(std::string(what) + " refused (test clock)", 1314);
}

} // namespace

void RecordTestEvent(const std::string& what) { AppendBesideProgram("horasync-events.txt", HostUtcText() + " " + what); }

} // namespace horasync

namespace os {

void SetUtcClock(const UtcTime& when)
{
    horasync::RecordClockSetting("SetSystemTime", native::UtcInstant(when), false, "HORASYNC_TEST_CLOCK_RESULT");
}

void SetLocalClock(const LocalDateTime& when)
{
    horasync::RecordClockSetting("SetLocalTime", native::LocalInstant(when), true, "HORASYNC_TEST_DATE_RESULT");
}

} // namespace os
