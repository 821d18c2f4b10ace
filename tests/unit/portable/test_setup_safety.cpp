// Uninstall safety, as text: which install records the removal refuses before touching anything, for
// the folders a shop PC reports as its system and user folders.
#include "installer/protected_folders.h"
#include "tests/unit/portable/setup_safety_cases.h"

#include "os/ansi.h"

#include <gtest/gtest.h>

TEST(SetupUninstallSafety, RecordsThatMustNeverBeRemovedAreRefused)
{
    for (const auto& c : kNeverRemoved)
        EXPECT_TRUE(UnsafeToRemove(c.record, kShopPcFolders)) << ToAnsi(c.record) << " (" << c.why << ")";
}

TEST(SetupUninstallSafety, RecordedInstallFoldersAreRemoved)
{
    for (const auto& c : kRemoved)
        EXPECT_FALSE(UnsafeToRemove(c.record, kShopPcFolders)) << ToAnsi(c.record) << " (" << c.why << ")";
}

TEST(SetupUninstallSafety, TheVerdictDoesNotDependOnLetterCaseOrTheClosingBackslash)
{
    for (const auto& c : kNeverRemoved) {
        std::wstring upper = c.record, lower = c.record;
        for (auto& ch : upper) ch = (ch >= L'a' && ch <= L'z') ? static_cast<wchar_t>(ch - 32) : ch;
        for (auto& ch : lower) ch = (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch + 32) : ch;
        EXPECT_TRUE(UnsafeToRemove(upper, kShopPcFolders)) << ToAnsi(upper);
        EXPECT_TRUE(UnsafeToRemove(lower, kShopPcFolders)) << ToAnsi(lower);
    }
    for (const auto& c : kRemoved) {
        std::wstring without = c.record;
        while (!without.empty() && without.back() == L'\\') without.pop_back();
        EXPECT_FALSE(UnsafeToRemove(without, kShopPcFolders)) << ToAnsi(without);
        EXPECT_FALSE(UnsafeToRemove(without + L"\\", kShopPcFolders)) << ToAnsi(without);
    }
}

TEST(SetupUninstallSafety, WithoutAnyProtectedFolderOnlyTheShapeOfTheRecordCounts)
{
    // Should the system report no folder at all, roots, shares, climbs and streams are still refused.
    const std::vector<std::wstring> none;
    for (const wchar_t* record : {L"C:\\", L"\\\\srv\\share\\", L"C:\\A\\..\\", L"VEMR", L"", L"C:\\ ",
                                  L"C:\\WINDOWS::$INDEX_ALLOCATION\\", L"\\\\srv\\ADMIN$\\X\\", L"\\\\h\\C$\\"})
        EXPECT_TRUE(UnsafeToRemove(record, none)) << ToAnsi(record);
    EXPECT_FALSE(UnsafeToRemove(L"C:\\VEMRCLIENT\\", none));
}
