// Uninstall safety through the whole of stage 2 against the in-memory platform: for every record of
// the tables, either nothing at all is removed and the refusal names the folder, or the recorded
// install folder goes with the rest of the installation. Records whose folder the file system knows
// under another name (a short name, a junction) are judged by that name too.
#include "tests/unit/with_stand_in/setup_system_double.h"
#include "tests/unit/portable/setup_safety_cases.h"

#include "common/textfiles.h"
#include "installer/protected_folders.h"
#include "os/ansi.h"
#include "os/settings.h"
#include "os/shell.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace shop;

const std::wstring kInstalled = L"C:\\VEMRCLIENT\\";

// The fake, knowing some folders under a second name as the file system resolves them.
using ResolvingFilesSystem = FakeFilesSystem;

// The folders of kShopPcFolders as the shop PC's platform names them; the program group and the
// desktop stay the stand-in's.
void ShopPcFolders(FakeFilesSystem& sys)
{
    const std::wstring profile = L"C:\\Users\\shop", roaming = profile + L"\\AppData\\Roaming\\Microsoft\\Windows";
    sys.platformFolders = {{os::PlatformFolder::Windows, L"C:\\Windows"},
                           {os::PlatformFolder::NativeProgramFiles, L"C:\\Program Files"},
                           {os::PlatformFolder::NativeCommonFiles, L"C:\\Program Files\\Common Files"}};
    const std::pair<int, std::wstring> special[] = {
        {os::kCsidlSystemX86, L"C:\\Windows\\SysWOW64"}, {os::kCsidlFonts, L"C:\\Windows\\Fonts"},
        {os::kCsidlProfile, profile}, {os::kCsidlPersonal, profile + L"\\Documents"},
        {os::kCsidlMyMusic, profile + L"\\Music"}, {os::kCsidlMyPictures, profile + L"\\Pictures"},
        {os::kCsidlFavorites, profile + L"\\Favorites"}, {os::kCsidlAppData, profile + L"\\AppData\\Roaming"},
        {os::kCsidlLocalAppData, profile + L"\\AppData\\Local"}, {os::kCsidlStartMenu, roaming + L"\\Start Menu"},
        {os::kCsidlStartup, roaming + L"\\Start Menu\\Programs\\Startup"}, {os::kCsidlSendTo, roaming + L"\\SendTo"},
        {os::kCsidlRecent, roaming + L"\\Recent"}, {os::kCsidlCommonAppData, L"C:\\ProgramData"},
        {os::kCsidlCommonPrograms, L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
        {os::kCsidlCommonDesktopDirectory, L"C:\\Users\\Public\\Desktop"},
        {os::kCsidlCommonDocuments, L"C:\\Users\\Public\\Documents"},
        {os::kCsidlProgramFiles, L"C:\\Program Files (x86)"}, {os::kCsidlProgramFilesX86, L"C:\\Program Files (x86)"},
        {os::kCsidlProgramFilesCommon, L"C:\\Program Files (x86)\\Common Files"},
    };
    for (const auto& [csidl, folder] : special) sys.specialFolders[csidl] = folder;
    for (const wchar_t* name : {L"Default", L"other", L"Public", L"shop"})
        sys.PutFolder(L"C:\\Users\\" + std::wstring(name));
}

// An installation in `folder` (files, a subfolder, shortcuts, entry) and the record `record`; the
// working copy runs from the temporary folder.
void Installed(FakeFilesSystem& sys, const std::wstring& folder, const std::wstring& record)
{
    fakeos::Reset(kTemp);
    ShopPcFolders(sys);
    sys.PutFolder(kTemp);
    sys.PutFolder(L"C:\\Users\\shop\\Desktop");
    for (const auto& name : kProductFiles) sys.PutFile(folder + name, "installed");
    sys.PutFile(folder + L"config.txt", ToAnsi(L"收银通\r\nhost\r\n收银通\r\n8"));
    sys.PutFile(folder + L"LOGS\\a.txt", "a", os::kAttrReadOnly);
    for (const wchar_t* link : {L"\\收银通.lnk", L"\\自动卸载.lnk", L"\\自动修复.lnk"}) sys.PutFile(kGroup + link, "lnk");
    sys.PutFile(kDesktopLink, "lnk");
    sys.registry.MakeKey(kEntry);
    os::SaveSetting(L"tavin", L"vemrclient", L"path", record);
    sys.clock.msPerPump = 100;
}

std::wstring Normalised(std::wstring folder) { return inst::lzjzpath(folder); }

// Refused: one stop box naming the folder, and nothing of the installation or the folder touched.
void ExpectRefusedAndNothingRemoved(FakeFilesSystem& sys, const std::wstring& record, const std::string& why)
{
    SCOPED_TRACE(ToAnsi(record) + " (" + why + ")");
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, L"卸载失败！");
    EXPECT_EQ(sys.messages[0].style, 16);
    EXPECT_NE(sys.messages[0].text.find(L"“" + Normalised(record) + L"”"), std::wstring::npos);
    EXPECT_TRUE(sys.removedFolders.empty());
    EXPECT_TRUE(sys.copies.empty());
    for (const auto& name : kProductFiles) EXPECT_TRUE(sys.Has(kInstalled + name)) << ToAnsi(name);
    EXPECT_TRUE(sys.Has(kGroup + L"\\自动卸载.lnk"));
    EXPECT_TRUE(sys.Has(kDesktopLink));
    EXPECT_TRUE(sys.registry.HasKey(kEntry));
    EXPECT_EQ(InstallRecord(), record);
}

// Removed: the success box, the folder and everything in it gone, shortcuts, entry and record gone.
void ExpectRemoved(FakeFilesSystem& sys, const std::wstring& folder, const std::string& why)
{
    SCOPED_TRACE(ToAnsi(folder) + " (" + why + ")");
    EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"卸载完成！", L"恭喜！", 64}));
    for (const auto& name : kProductFiles) EXPECT_FALSE(sys.Has(folder + name)) << ToAnsi(name);
    EXPECT_FALSE(sys.Has(folder + L"LOGS\\a.txt"));
    std::wstring withoutBackslash = folder;
    withoutBackslash.pop_back();
    EXPECT_FALSE(sys.Has(withoutBackslash));
    EXPECT_FALSE(sys.Has(kGroup));
    EXPECT_FALSE(sys.Has(kDesktopLink));
    EXPECT_FALSE(sys.registry.HasKey(kEntry));
    EXPECT_EQ(InstallRecord(), L"(none)");
}

} // namespace

TEST(FakeUninstallSafety, EveryRecordThatMustNeverBeRemovedRemovesNothing)
{
    for (const auto& c : kNeverRemoved) {
        FakeFilesSystem sys;
        Installed(sys, kInstalled, c.record);
        EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow")) << ToAnsi(c.record);
        ExpectRefusedAndNothingRemoved(sys, c.record, c.why);
    }
}

TEST(FakeUninstallSafety, EveryRecordedInstallFolderIsRemoved)
{
    for (const auto& c : kRemoved) {
        const std::wstring folder = Normalised(c.record);
        FakeFilesSystem sys;
        Installed(sys, folder, c.record);
        EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow")) << ToAnsi(c.record);
        ExpectRemoved(sys, folder, c.why);
    }
}

TEST(FakeUninstallSafety, FoldersKnownUnderAnotherNameAreJudgedByThatNameToo)
{
    struct Case {
        const wchar_t* record;
        const wchar_t* resolved;
        const char* why;
    };
    const Case refused[] = {
        {L"C:\\PROGRA~1\\", L"C:\\Program Files", "short name of program files"},
        {L"C:\\WINDOWS\\SYSTEM~1\\", L"C:\\Windows\\SysWOW64", "short name, redirected system folder"},
        {L"C:\\DOCUMENTS AND SETTINGS\\SHOP\\", L"C:\\Users\\shop", "junction to the profile"},
        {L"C:\\USERS\\ALL USERS\\", L"C:\\ProgramData", "junction to the common application data"},
        {L"C:\\VEMRLINK\\", L"\\\\?\\C:\\Windows", "a link into the Windows folder, device form"},
        {L"C:\\SHARELINK\\", L"\\\\SHOP-PC\\C$\\Users\\shop", "a link to the profile through a share"},
    };
    for (const auto& c : refused) {
        ResolvingFilesSystem sys;
        Installed(sys, kInstalled, c.record);
        sys.resolved[c.record] = c.resolved;
        EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow")) << ToAnsi(c.record);
        ExpectRefusedAndNothingRemoved(sys, c.record, c.why);
    }

    // The install folder under its short name is removed like the folder itself.
    ResolvingFilesSystem sys;
    Installed(sys, L"C:\\VEMRCL~1\\", L"C:\\VEMRCL~1\\");
    sys.resolved[L"C:\\VEMRCL~1\\"] = L"C:\\VEMRCLIENT";
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    ExpectRemoved(sys, L"C:\\VEMRCL~1\\", "short name of the install folder");
}

TEST(FakeUninstallSafety, GroupFolderLeadingElsewhereStaysAndTheRestIsRemoved)
{
    ResolvingFilesSystem sys;
    Installed(sys, kInstalled, kInstalled);
    sys.PutFile(L"C:\\Users\\shop\\Documents\\letter.txt", "the user's");
    sys.resolved[Normalised(kGroup)] = L"C:\\Users\\shop\\Documents";   // the group is a junction
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_FALSE(sys.Has(L"C:\\VEMRCLIENT"));
    EXPECT_TRUE(sys.Has(kGroup + L"\\自动卸载.lnk"));
    EXPECT_TRUE(sys.Has(L"C:\\Users\\shop\\Documents\\letter.txt"));
    EXPECT_FALSE(sys.Has(kDesktopLink));
    EXPECT_EQ(InstallRecord(), L"(none)");
}

TEST(FakeUninstallSafety, EveryProfileAndAllInsideTheWindowsFolderAndThe64BitProgramFoldersAreProtected)
{
    FakeFilesSystem sys;
    ShopPcFolders(sys);
    sys.resolved[L"C:\\PROGRA~1\\"] = L"C:\\Program Files";
    const auto kept = ProtectedFolders();
    for (const wchar_t* folder : {L"C:\\USERS\\OTHER\\", L"C:\\USERS\\PUBLIC\\", L"C:\\USERS\\SHOP\\",
                                  L"C:\\WINDOWS\\INF\\", L"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\",
                                  L"C:\\WINDOWS\\VEMRCLIENT\\", L"C:\\PROGRAM FILES\\"})
        EXPECT_TRUE(UnsafeToRemove(folder, kept)) << ToAnsi(folder);
    EXPECT_TRUE(UnsafeToRemove(os::ResolvedFolder(L"C:\\PROGRA~1\\"), kept));
    // A folder of its own inside one is not.
    for (const wchar_t* folder : {L"C:\\USERS\\OTHER\\VEMR\\", L"C:\\WINDOWSX\\", L"C:\\PROGRAM FILES\\VEMR\\"})
        EXPECT_FALSE(UnsafeToRemove(folder, kept)) << ToAnsi(folder);
}
