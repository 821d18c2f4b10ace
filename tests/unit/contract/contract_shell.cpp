// The shell's folders and shortcuts (os/shell.h): setup puts its shortcuts on the desktop and into
// the program group.
#include "os/platform.h"
#include "os/shell.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

TEST(ShellContract, SpecialFolderComesAsAPathThenZerosToTheEndOfItsBuffer)
{
    contract::Scratch fresh;
    const std::wstring buffer = os::SpecialFolderBuffer(os::kCsidlDesktop, 260);
    ASSERT_EQ(buffer.size(), 260u);
    const size_t end = buffer.find(L'\0');
    ASSERT_NE(end, std::wstring::npos);
    EXPECT_GT(end, 0u);
    EXPECT_EQ(buffer.find_first_not_of(L'\0', end), std::wstring::npos);
}

TEST(ShellContract, ShortcutIsSavedAsAFileButNeverIntoAMissingFolder)
{
    contract::Scratch dir;
    os::SaveShortcut(dir / L"收银通.lnk", dir / L"vemr.exe", dir.Path(), L"收银通", L"", 1);
    EXPECT_FALSE(os::GetAttributes(dir / L"收银通.lnk") & os::kAttrFolder);
    EXPECT_NE(contract::ErrorOf([&] { os::SaveShortcut(dir / L"no\\a.lnk", dir / L"vemr.exe", dir.Path(), L"", L"", 1); }),
              0u);
}
