// Uninstall safety against the real file system (under Wine here): a folder known under another
// name (its short name) is resolved to the folder itself.
#include "installer/protected_folders.h"
#include "tests/unit/wine/wine_support.h"

#include "os/ansi.h"
#include "os/platform.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace {

std::wstring Upper(std::wstring text)
{
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    while (!text.empty() && text.back() == L'\\') text.pop_back();
    return text;
}

std::wstring SpecialFolder(int csidl)
{
    wchar_t buffer[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer)) ? buffer : L"";
}

std::wstring ShortName(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : L"";
}

} // namespace

TEST(WinSetupSafety, AShortNameResolvesToTheFolderItself)
{
    const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    const std::wstring shortName = ShortName(programFiles);
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(Upper(shortName), Upper(programFiles)) << "no short name differs here: nothing to prove";

    EXPECT_EQ(Upper(os::ResolvedFolder(shortName + L"\\")), Upper(programFiles)) << ToAnsi(shortName);
    EXPECT_EQ(Upper(os::ResolvedFolder(programFiles)), Upper(programFiles));
    // Another spelling of a folder still to be made: resolved as far as it exists, the rest kept.
    EXPECT_EQ(Upper(os::ResolvedFolder(shortName + L"/no such\\..\\new\\")), Upper(programFiles + L"\\new"));
    EXPECT_EQ(os::ResolvedFolder(L"Q:\\no such drive\\"), L"");
    EXPECT_EQ(os::ResolvedFolder(L"\\\\nosuch\\share\\x\\"), L"");   // not C:\NOSUCH\SHARE\X

    // The text alone passes; what it resolves to does not.
    const auto kept = ProtectedFolders();
    EXPECT_FALSE(UnsafeToRemove(Upper(shortName) + L"\\", kept));
    EXPECT_TRUE(UnsafeToRemove(os::ResolvedFolder(shortName), kept));
}
