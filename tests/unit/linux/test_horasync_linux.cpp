// The Linux services only horasync uses: where its trace goes, the instants its setters would give
// the kernel, and the capability behind the right to set the clock. No setter runs here.
#include "os/errors.h"
#include "os/linux/clock_linux.h"
#include "os/platform.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace {

// Sets an environment variable (or unsets it, nullopt) for one scope.
class Environment {
public:
    Environment(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
        tzset();
    }
    ~Environment()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(LinuxHorasync, TraceFolderIsTheStateFolderUnderTheAppIdMadePrivate)
{
    contract::Scratch scratch;
    std::string root;
    for (const wchar_t ch : scratch.Path().substr(2)) root += ch == L'\\' ? '/' : static_cast<char>(ch);
    const struct {
        std::optional<std::string> state;
        std::string folder;
    } cases[] = {
        {root + "/state", root + "/state/com.vemr.a-b"},
        {std::nullopt, root + "/home/.local/state/com.vemr.a-b"},
        {"relative/state", root + "/home/.local/state/com.vemr.a-b"},   // not absolute: ignored, as XDG says
    };
    const Environment home("HOME", root + "/home");
    for (const auto& c : cases) {
        const Environment state("XDG_STATE_HOME", c.state);
        std::wstring expected = L"C:";
        for (const char ch : c.folder) expected += ch == '/' ? L'\\' : static_cast<wchar_t>(ch);
        EXPECT_EQ(os::TraceFolder(L"com.vemr.a-b"), expected);
        struct stat st {};
        EXPECT_EQ(stat(c.folder.c_str(), &st), 0) << c.folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << c.folder;
    }
}

TEST(LinuxHorasync, SettersGiveTheKernelTheInstantOfTheReading)
{
    const Environment zone("TZ", "Asia/Shanghai");
    const struct timespec utc = os::native::UtcInstant({2024, 3, 2, 5, 2, 0, 0, 500});
    EXPECT_EQ(utc.tv_sec, 1709604000);
    EXPECT_EQ(utc.tv_nsec, 500000000);
    const struct timespec local = os::native::LocalInstant({2024, 3, 5, 10, 0, 0, 500});
    EXPECT_EQ(local.tv_sec, utc.tv_sec);
    EXPECT_EQ(local.tv_nsec, utc.tv_nsec);
    // Fields that name no time are refused, as Windows refuses them.
    EXPECT_EQ(contract::ErrorOf([] { os::native::UtcInstant({2024, 13, 0, 1, 0, 0, 0, 0}); }), 87u);
    EXPECT_EQ(contract::ErrorOf([] { os::native::LocalInstant({2023, 2, 29, 0, 0, 0, 0}); }), 87u);
    EXPECT_EQ(contract::ErrorOf([] { os::native::UtcInstant({2024, 3, 2, 5, 2, 0, 0, 1000}); }), 87u);
}

TEST(LinuxHorasync, TheRightIsCapSysTimeInTheEffectiveSet)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && line.rfind("CapEff:", 0) != 0) {}
    const unsigned long long effective = std::stoull(line.substr(7), nullptr, 16);
    EXPECT_EQ(os::native::HasCapability(CAP_SYS_TIME), ((effective >> CAP_SYS_TIME) & 1) != 0) << line;
}
