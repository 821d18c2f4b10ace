// The Linux rules of the machine identifier's facts: every shop's identifier depends on them.
#include "os/linux/machine_linux.h"
#include "os/machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

TEST(LinuxMachine, VolumeSerialIsTheUuidsFirstEightHexDigitsAsASignedNumber)
{
    using os::native::SerialFromUuid;
    EXPECT_EQ(SerialFromUuid("1b2c3d4e-5f60-4a7b-8c9d-0e1f2a3b4c5d"), 0x1b2c3d4e);
    EXPECT_EQ(SerialFromUuid("8BADF00D-0000-4000-8000-000000000000"), -1951535091);
    EXPECT_EQ(SerialFromUuid("ABCD-12EF"), static_cast<int32_t>(0xABCD12EFu));   // FAT: dash skipped
    EXPECT_EQ(SerialFromUuid("0123456789ABCDEF"), 0x01234567);                   // NTFS: 16 digits
    EXPECT_EQ(SerialFromUuid("1234-567"), 0);
    EXPECT_EQ(SerialFromUuid(""), 0);
}

// EDX then EAX; the family, model and stepping in EAX are those the kernel reports for the package.
TEST(LinuxMachine, ProcessorIdsAreOnePerPackageWithTheKernelsSignature)
{
    EXPECT_EQ(os::native::ProcessorIdOf(0x000306C3, 0xBFEBFBFF), L"BFEBFBFF000306C3");
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::set<std::string> packages;
    int family = -1, model = -1, stepping = -1;
    for (std::string line; std::getline(cpuinfo, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon + 2 > line.size()) continue;
        const std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1), value = line.substr(colon + 2);
        if (key == "physical id") packages.insert(value);
        if (key == "cpu family" && family < 0) family = std::stoi(value);
        if (key == "model" && model < 0) model = std::stoi(value);
        if (key == "stepping" && stepping < 0) stepping = std::stoi(value);
    }
    const auto ids = os::ProcessorIds(L"");
    ASSERT_EQ(ids.size(), std::max<size_t>(packages.size(), 1));
    const uint32_t eax = std::stoul(ids[0]->substr(8), nullptr, 16);
    const int baseFamily = (eax >> 8) & 15;
    EXPECT_EQ(baseFamily == 15 ? baseFamily + ((eax >> 20) & 255) : baseFamily, family);
    EXPECT_EQ(baseFamily == 6 || baseFamily == 15 ? ((eax >> 4) & 15) + ((eax >> 12) & 0xF0) : (eax >> 4) & 15,
              static_cast<uint32_t>(model));
    EXPECT_EQ(static_cast<int>(eax & 15), stepping);
}
