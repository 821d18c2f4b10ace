// The machine identifier and its per-user cache, against the platform's stand-in.
#include "client/launch_request.h"
#include "client/machine_id.h"
#include "common/digest.h"
#include "tests/unit/with_stand_in/vemr_window_double.h"

#include <gtest/gtest.h>

#include <string>

using namespace vemrtest;

namespace {

const std::wstring kCpu = L"BFEBFBFF000906EA";

std::wstring Compute(const std::wstring& hex, const std::wstring& cpu) { return MyMd(hex + L"QpnDurix" + cpu); }

} // namespace

TEST(HexForm, UpperCaseWithoutLeadingZerosTwosComplementWhenNegative)
{
    const struct {
        int32_t value;
        std::wstring hex;
    } cases[] = {
        {305419896, L"12345678"}, {10, L"A"}, {-1, L"FFFFFFFF"}, {0, L"0"}, {255, L"FF"},
        {INT32_MIN, L"80000000"}, {INT32_MAX, L"7FFFFFFF"}, {-1412567041, L"ABCDEFFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(vemr::HexForm(c.value), c.hex) << c.value;
}

TEST(ParseSerial, SignedThirtyTwoBitDecimalsOnly)
{
    EXPECT_EQ(vemr::ParseSerial(L"305419896"), 305419896);
    EXPECT_EQ(vemr::ParseSerial(L"-1"), -1);
    EXPECT_EQ(vemr::ParseSerial(L"2147483647"), INT32_MAX);
    EXPECT_EQ(vemr::ParseSerial(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(vemr::ParseSerial(L"0"), 0);
    for (const std::wstring bad : {L"", L"-", L"2147483648", L"-2147483649", L"99999999999999999999", L"12a",
                                   L" 12", L"12 ", L"+12", L"1.5", L"&HFF", L"ABCD"})
        EXPECT_FALSE(vemr::ParseSerial(bad).has_value()) << bad;
}

TEST(GetMachineId, FirstStartComputesAndWritesTheEntry)
{
    FakeWindow host;
    const std::wstring id = vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(id, Compute(L"12345678", kCpu));
    EXPECT_EQ(id, L"MHQZHAO");
    EXPECT_EQ(host.Setting(), L"305419896|" + kCpu + L"|" + id);
    EXPECT_TRUE(host.Did(L"serial:c:\\"));
    EXPECT_TRUE(host.Did(L"wmi:winmgmts:{impersonationLevel=impersonate}!\\\\SHOP-PC\\root\\cimv2"));
}

TEST(GetMachineId, ValidEntryIsTrustedWithoutHardware)
{
    FakeWindow host;
    host.SetCache(L"305419896|" + kCpu + L"|MHQZHAO");
    fakeos::SetVolumeSerial(7);  // the disk changed since: the cache still wins
    EXPECT_EQ(vemr::GetMachineId(L"QpnDurix"), L"MHQZHAO");
    EXPECT_EQ(host.HardwareReads(), 0);
    EXPECT_FALSE(host.Did(L"save:"));
}

TEST(GetMachineId, EntriesThatDoNotCheckOutAreRecomputedAndOverwritten)
{
    const std::wstring good = L"305419896|" + kCpu + L"|MHQZHAO";
    const struct {
        const char* name;
        std::wstring entry;
    } cases[] = {
        {"altered third piece", L"305419896|" + kCpu + L"|MHQZHAP"},
        {"lower-case third piece", L"305419896|" + kCpu + L"|mhqzhao"},
        {"altered serial", L"305419897|" + kCpu + L"|MHQZHAO"},
        {"two pieces", L"305419896|MHQZHAO"},
        {"four pieces", good + L"|x"},
        {"non-numeric first piece", L"abc|" + kCpu + L"|MHQZHAO"},
        {"empty first piece", L"|" + kCpu + L"|MHQZHAO"},
        {"first piece beyond 32 bits", L"4294967295|" + kCpu + L"|MHQZHAO"},
        {"first piece with a space", L" 305419896|" + kCpu + L"|MHQZHAO"},
        {"written for another SoftName", L"305419896|" + kCpu + L"|" + MyMd(L"12345678Other" + kCpu)},
    };
    for (const auto& c : cases) {
        FakeWindow host;
        host.SetCache(c.entry);
        EXPECT_EQ(vemr::GetMachineId(L"QpnDurix"), L"MHQZHAO") << c.name;
        EXPECT_EQ(host.Setting(), good) << c.name;
        EXPECT_EQ(host.HardwareReads(), 2) << c.name;
    }
}

TEST(GetMachineId, BarInTheProcessorTextNeverValidates)
{
    FakeWindow host;
    fakeos::SetProcessorIds({std::wstring(L"AB|CD")});
    const std::wstring id = vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(id, Compute(L"12345678", L"AB|CD"));
    EXPECT_EQ(host.Setting(), L"305419896|AB|CD|" + id);
    for (int start = 0; start < 2; ++start) {
        host.journal.clear();
        EXPECT_EQ(vemr::GetMachineId(L"QpnDurix"), id);
        EXPECT_EQ(host.HardwareReads(), 2);  // every start reads the hardware and rewrites
    }
}

TEST(GetMachineId, NegativeSerialIsStoredSignedAndDigestedAsEightHexDigits)
{
    FakeWindow host;
    fakeos::SetVolumeSerial(-1412567041);  // top bit set: ABCDEFFF
    const std::wstring id = vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(id, Compute(L"ABCDEFFF", kCpu));
    EXPECT_EQ(host.Setting(), L"-1412567041|" + kCpu + L"|" + id);
    host.journal.clear();
    EXPECT_EQ(vemr::GetMachineId(L"QpnDurix"), id);
    EXPECT_EQ(host.HardwareReads(), 0);
}

TEST(GetMachineId, MissingSourcesStillGiveAnIdentifier)
{
    FakeWindow host;
    fakeos::SetVolumeSerial(0);
    fakeos::SetProcessorIds({});
    const std::wstring id = vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(id, Compute(L"0", L""));
    EXPECT_EQ(host.Setting(), L"0||" + id);
}

TEST(GetMachineId, ProcessorIdsJoinInOrderAndNullsAddNothing)
{
    FakeWindow host;
    fakeos::SetProcessorIds({std::wstring(L"AAAA"), std::nullopt, std::wstring(L"BBBB")});
    const std::wstring id = vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(host.Setting(), L"305419896|AAAABBBB|" + id);
}

TEST(GetMachineId, TheApplicationNameIsTheExeName)
{
    FakeWindow host;
    host.SetCache(L"1|x|WRONG");
    fakeos::SetExeName(L"vemr2");
    vemr::GetMachineId(L"QpnDurix");
    EXPECT_EQ(host.Setting(L"vemr"), L"1|x|WRONG");  // the old name's entry is left alone
    EXPECT_EQ(host.Setting(L"vemr2"), L"305419896|" + kCpu + L"|MHQZHAO");
}

TEST(GetMachineId, ComputerNameIsCutAtItsFirstNul)
{
    FakeWindow host;
    fakeos::SetComputerName(std::wstring(L"PC\0junk", 7));
    vemr::GetMachineId(L"QpnDurix");
    EXPECT_TRUE(host.Did(L"wmi:winmgmts:{impersonationLevel=impersonate}!\\\\PC\\root\\cimv2"));
}
