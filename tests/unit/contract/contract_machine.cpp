// The machine facts (os/machine.h) that make vemr's machine identifier.
#include "os/machine.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

TEST(MachineContract, ComputerNameFillsItsBufferAndZerosFollowIt)
{
    contract::Scratch fresh;
    const std::wstring buffer = os::ComputerNameBuffer();
    ASSERT_EQ(buffer.size(), 255u);
    const size_t end = buffer.find(L'\0');
    EXPECT_GT(end, 0u);
    EXPECT_EQ(buffer.find_first_not_of(L'\0', end), std::wstring::npos);
}

// Drive letters: a later platform without them maps its one volume to "c:\".
TEST(MachineContract, ARootWithoutAVolumeHasSerial0)
{
    contract::Scratch fresh;
    EXPECT_EQ(os::VolumeSerialNumber(L"c:\\") != 0, contract::SystemVolumeHasSerial());
    EXPECT_EQ(os::VolumeSerialNumber(L"q:\\"), 0);
}
