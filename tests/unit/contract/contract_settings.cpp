// The per-user settings store (os/settings.h): machine identifiers, first-run markers and the
// install record live there.
#include "os/settings.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kApp = L"contract-settings";

} // namespace

TEST(SettingsContract, SavedValueReadsBackWhateverTheCaseOfItsNames)
{
    contract::Scratch fresh;
    EXPECT_EQ(os::GetSetting(kApp, L"one", L"path", L"(none)"), L"(none)");
    os::SaveSetting(kApp, L"one", L"path", L"C:\\收银通\\");
    EXPECT_EQ(os::GetSetting(L"CONTRACT-SETTINGS", L"ONE", L"PATH", L"(none)"), L"C:\\收银通\\");
    os::DeleteSection(kApp, L"one");
}

TEST(SettingsContract, DeletingASectionTakesAllItsValuesAndAMissingSectionIsNoError)
{
    contract::Scratch fresh;
    os::SaveSetting(kApp, L"two", L"a", L"1");
    os::SaveSetting(kApp, L"two", L"b", L"2");
    os::SaveSetting(kApp, L"three", L"a", L"3");
    os::DeleteSection(kApp, L"two");
    EXPECT_EQ(os::GetSetting(kApp, L"two", L"a", L"-") + os::GetSetting(kApp, L"two", L"b", L"-"), L"--");
    EXPECT_EQ(os::GetSetting(kApp, L"three", L"a", L"-"), L"3");
    EXPECT_EQ(contract::ErrorOf([] { os::DeleteSection(kApp, L"two"); }), 0u);
    os::DeleteSection(kApp, L"three");
}
