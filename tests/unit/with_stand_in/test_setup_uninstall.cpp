// Uninstall of `setup` against the in-memory platform: the working copy of stage 1 and the removal of
// stage 2 with its refusals, and the depth-first removal of a folder tree.
#include "tests/unit/with_stand_in/setup_system_double.h"

#include "os/ansi.h"
#include "os/settings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace shop;

const std::wstring kFolder = L"C:\\VEMRCLIENT\\";

// An installation as install leaves it, with extra files and subfolders the client made meanwhile;
// the program runs from `programFolder`.
void Installed(FakeFilesSystem& sys, const std::wstring& programFolder, const std::wstring& record = kFolder)
{
    fakeos::Reset(programFolder);
    sys.PutFolder(kTemp);
    sys.PutFolder(L"C:\\Users\\shop\\Desktop");
    sys.PutFolder(L"C:\\WINDOWS\\system32");
    for (const auto& name : kProductFiles) sys.PutFile(kFolder + name, "installed");
    sys.PutFile(kFolder + L"config.txt", ToAnsi(L"收银通\r\nhost\r\n收银通\r\n8"));
    sys.PutFile(kFolder + L"TavinDebug.txt", "trace", os::kAttrHidden);
    sys.PutFile(kFolder + L"LOGS\\a.txt", "a", os::kAttrReadOnly);
    sys.PutFile(kFolder + L"LOGS\\OLD\\b.txt", "b", os::kAttrReadOnly | os::kAttrHidden | os::kAttrSystem);
    sys.PutFolder(kFolder + L"LOGS\\OLD", os::kAttrFolder | os::kAttrHidden | os::kAttrReadOnly);
    for (const wchar_t* link : {L"\\收银通.lnk", L"\\自动卸载.lnk", L"\\自动修复.lnk"}) sys.PutFile(kGroup + link, "lnk");
    sys.PutFile(kDesktopLink, "lnk");
    sys.PutFile(L"C:\\Users\\shop\\Desktop\\other.lnk", "lnk");
    sys.registry.MakeKey(kEntry);
    if (!record.empty()) os::SaveSetting(L"tavin", L"vemrclient", L"path", record);
    sys.clock.msPerPump = 100;
}

// Nothing of the installation has been removed.
void ExpectAllThere(const FakeFilesSystem& sys)
{
    for (const auto& name : kProductFiles) EXPECT_TRUE(sys.Has(kFolder + name)) << ToAnsi(name);
    EXPECT_TRUE(sys.Has(kFolder + L"LOGS\\OLD\\b.txt"));
    EXPECT_TRUE(sys.Has(kGroup + L"\\自动卸载.lnk"));
    EXPECT_TRUE(sys.Has(kDesktopLink));
    EXPECT_TRUE(sys.registry.HasKey(kEntry));
    EXPECT_EQ(InstallRecord(), kFolder);
    EXPECT_TRUE(sys.removedFolders.empty());
}

} // namespace

TEST(FakeUninstall, StageOneStartsTheWorkingCopyAndRemovesNothing)
{
    FakeFilesSystem sys;
    Installed(sys, L"C:\\VEMRCLIENT");
    EXPECT_TRUE(RunSetup(sys, L"C:\\VEMRCLIENT", L"uninstall"));
    const std::wstring copy = L"C:\\USERS\\SHOP\\APPDATA\\LOCAL\\TEMP\\uninstallvemr.exe";
    ASSERT_EQ(sys.copies.size(), 1u);
    EXPECT_EQ(sys.copies[0].first, L"C:\\VEMRCLIENT\\setup.exe");
    EXPECT_EQ(sys.copies[0].second, copy);
    EXPECT_EQ(sys.commandLinesStarted, std::vector<std::wstring>{copy + L" movenow"});
    EXPECT_TRUE(sys.messages.empty());
    ExpectAllThere(sys);
}

TEST(FakeUninstall, StageOneQuotesATemporaryFolderWithABlank)
{
    FakeFilesSystem sys;
    Installed(sys, L"C:\\VEMRCLIENT");
    sys.tempPath = L"C:\\Documents and Settings\\shop\\Local Settings\\Temp\\";
    sys.PutFolder(L"C:\\Documents and Settings\\shop\\Local Settings\\Temp");
    EXPECT_TRUE(RunSetup(sys, L"C:\\VEMRCLIENT", L"uninstall"));
    EXPECT_EQ(sys.commandLinesStarted,
              std::vector<std::wstring>{
                  L"\"C:\\DOCUMENTS AND SETTINGS\\SHOP\\LOCAL SETTINGS\\TEMP\\uninstallvemr.exe\" movenow"});
}

TEST(FakeUninstall, StageOneWithoutAWorkingCopyStartsNothing)
{
    FakeFilesSystem sys;
    Installed(sys, L"C:\\VEMRCLIENT");
    os::DeleteFileAt(kFolder + L"setup.exe");   // nothing to copy
    sys.PutFile(kTemp + L"\\uninstallvemr.exe", "an old working copy");
    EXPECT_TRUE(RunSetup(sys, L"C:\\VEMRCLIENT", L"uninstall"));
    EXPECT_TRUE(sys.commandLinesStarted.empty());   // the old copy is not started instead
    EXPECT_TRUE(sys.messages.empty());

    FakeFilesSystem failing;
    Installed(failing, L"C:\\VEMRCLIENT");
    fakeos::Processes().startedProcessId = std::nullopt;
    EXPECT_TRUE(RunSetup(failing, L"C:\\VEMRCLIENT", L"uninstall"));
    EXPECT_TRUE(failing.messages.empty());
    ExpectAllThere(failing);
}

TEST(FakeUninstall, StageTwoRemovesEverythingInOrderAndReports)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp);
    sys.PutFile(kTemp + L"\\uninstallvemr.exe", "working copy");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_GE(sys.Seconds() - 36000.0f, 1.0f);   // it waited a second first
    EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"卸载完成！", L"恭喜！", 64}));
    EXPECT_FALSE(sys.registry.HasKey(kEntry));
    for (const auto& name : kProductFiles) EXPECT_FALSE(sys.Has(kFolder + name)) << ToAnsi(name);
    EXPECT_FALSE(sys.Has(kFolder + L"TavinDebug.txt"));
    EXPECT_FALSE(sys.Has(L"C:\\VEMRCLIENT"));
    EXPECT_FALSE(sys.Has(kGroup));
    EXPECT_FALSE(sys.Has(kDesktopLink));
    EXPECT_TRUE(sys.Has(L"C:\\Users\\shop\\Desktop\\other.lnk"));
    EXPECT_EQ(InstallRecord(), L"(none)");
    EXPECT_TRUE(sys.Has(kTemp + L"\\uninstallvemr.exe"));   // the working copy stays
    // Subfolders are emptied and removed before their parents, the install folder last of its tree.
    EXPECT_EQ(sys.removedFolders, (std::vector<std::wstring>{L"C:\\VEMRCLIENT\\LOGS\\OLD", L"C:\\VEMRCLIENT\\LOGS",
                                                             L"C:\\VEMRCLIENT", FakeFilesSystem::Key(kGroup)}));
    // The entry goes first, before any folder.
    const auto first = std::find_if(sys.events.begin(), sys.events.end(),
                                    [](const std::wstring& line) { return line.rfind(L"delete ", 0) == 0; });
    ASSERT_NE(first, sys.events.end());
    EXPECT_EQ(first->rfind(L"delete key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", 0), 0u);
}

TEST(FakeUninstall, WithoutARecordTheDefaultFolderIsNormalisedAndRemoved)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp, L"");
    ASSERT_EQ(sys.softPathText, L"c:\\vemrclient");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_FALSE(sys.Has(L"C:\\VEMRCLIENT"));
    EXPECT_FALSE(sys.registry.HasKey(kEntry));
}

TEST(FakeUninstall, RunningClientRefusesAndASecondTryAfterItEndedRemovesAll)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp);
    sys.PutRunningFile(kFolder + L"vemr.exe", "running");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"程序正在运行，请关闭后重试！", L"卸载失败！", 16}));
    ExpectAllThere(sys);

    sys.PutFile(kFolder + L"vemr.exe", "ended");   // the client has ended
    sys.messages.clear();
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_FALSE(sys.Has(L"C:\\VEMRCLIENT"));
}

TEST(FakeUninstall, BadConfigEndsSilentlyAfterDeletingOnlyTheClient)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp);
    sys.PutFile(kFolder + L"config.txt", "one line only");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_FALSE(sys.Has(kFolder + L"vemr.exe"));
    EXPECT_TRUE(sys.Has(kFolder + L"setup.exe"));
    EXPECT_TRUE(sys.registry.HasKey(kEntry));
    EXPECT_EQ(InstallRecord(), kFolder);
}

TEST(FakeUninstall, RecordNamingASystemOrUserFolderRemovesNothing)
{
    for (const wchar_t* record : {L"C:\\", L"C:\\WINDOWS\\", L"C:\\WINDOWS\\SYSTEM32\\", L"C:\\USERS\\SHOP\\",
                                  L"C:\\USERS\\", L"C:\\USERS\\SHOP\\DESKTOP\\", L"\\", L"VEMR\\", L"C:\\VEMR\\..\\"}) {
        FakeFilesSystem sys;
        Installed(sys, kTemp, record);
        sys.PutFile(std::wstring(L"C:\\WINDOWS\\vemr.exe"), "not ours");
        EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow")) << record;
        ASSERT_EQ(sys.messages.size(), 1u) << record;
        EXPECT_EQ(sys.messages[0].title, L"卸载失败！");
        EXPECT_EQ(sys.messages[0].style, 16);
        EXPECT_NE(sys.messages[0].text.find(record), std::wstring::npos) << "the message names the folder";
        EXPECT_TRUE(sys.Has(L"C:\\WINDOWS\\vemr.exe"));
        EXPECT_TRUE(sys.removedFolders.empty()) << record;
        EXPECT_TRUE(sys.registry.HasKey(kEntry)) << record;
        EXPECT_TRUE(sys.Has(kDesktopLink)) << record;
        EXPECT_EQ(InstallRecord(), record);
    }
}

TEST(FakeUninstall, FilesInUseStayAndRemovalStillReportsSuccess)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp);
    sys.PutRunningFile(kFolder + L"horasync.exe", "running");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_TRUE(sys.Has(kFolder + L"horasync.exe"));
    EXPECT_TRUE(sys.Has(L"C:\\VEMRCLIENT"));   // not empty, so it stays
    EXPECT_FALSE(sys.Has(kFolder + L"LOGS"));
    EXPECT_FALSE(sys.Has(kGroup));
    EXPECT_EQ(InstallRecord(), L"(none)");
}

TEST(FakeUninstall, MovenowFromTheInstallFolderKeepsOnlyItsOwnRunningCopy)
{
    FakeFilesSystem sys;
    Installed(sys, L"C:\\VEMRCLIENT");
    sys.PutRunningFile(kFolder + L"setup.exe", "running setup");
    EXPECT_TRUE(RunSetup(sys, L"C:\\VEMRCLIENT", L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_TRUE(sys.Has(kFolder + L"setup.exe"));
    EXPECT_FALSE(sys.Has(kFolder + L"vemr.exe"));
    EXPECT_TRUE(sys.Has(L"C:\\VEMRCLIENT"));
}

TEST(FakeUninstall, EmptyTitleNeverTakesTheWholeProgramsFolder)
{
    FakeFilesSystem sys;
    Installed(sys, kTemp);
    sys.PutFile(kFolder + L"config.txt", ToAnsi(L"\r\nhost\r\n收银通\r\n8"));
    sys.PutFile(L"C:\\Users\\shop\\Start Menu\\Programs\\Other\\other.lnk", "someone else's");
    EXPECT_TRUE(RunSetup(sys, kTemp, L"movenow"));
    EXPECT_EQ(sys.OnlyMessage().text, L"卸载完成！");
    EXPECT_TRUE(sys.Has(L"C:\\Users\\shop\\Start Menu\\Programs\\Other\\other.lnk"));
    EXPECT_FALSE(sys.Has(L"C:\\VEMRCLIENT"));
}

TEST(FakeUninstall, LzkillallGoesDepthFirstThroughHiddenAndReadOnlyEntries)
{
    FakeFilesSystem sys;
    fakeos::Reset(L"C:\\Setup");
    sys.PutFile(L"D:\\T\\z.txt", "z", os::kAttrReadOnly);
    sys.PutFile(L"D:\\T\\A\\B\\C\\deep.txt", "d", os::kAttrHidden | os::kAttrSystem);
    sys.PutFile(L"D:\\T\\A\\a.txt", "a");
    sys.PutFolder(L"D:\\T\\A\\B", os::kAttrFolder | os::kAttrReadOnly | os::kAttrHidden);
    sys.PutFile(L"D:\\keep.txt", "outside");
    ::Setup form(sys);
    form.lzkillall(L"d:\\t");
    EXPECT_EQ(sys.removedFolders,
              (std::vector<std::wstring>{L"D:\\T\\A\\B\\C", L"D:\\T\\A\\B", L"D:\\T\\A", L"D:\\T"}));
    EXPECT_FALSE(sys.Has(L"D:\\T"));
    EXPECT_TRUE(sys.Has(L"D:\\keep.txt"));
    form.lzkillall(L"");   // nothing to do
    form.lzkillall(L"d:\\missing");
    EXPECT_EQ(sys.removedFolders.size(), 4u);
}

TEST(FakeUninstall, LzkillallLeavesWhatALinkedFolderHolds)
{
    FakeFilesSystem sys;
    fakeos::Reset(L"C:\\Setup");
    sys.PutFile(L"D:\\T\\LINK\\precious.txt", "not ours");
    sys.PutFolder(L"D:\\T\\LINK", os::kAttrFolder | 0x400);   // a junction to elsewhere
    ::Setup form(sys);
    form.lzkillall(L"D:\\T");
    EXPECT_TRUE(sys.Has(L"D:\\T\\LINK\\precious.txt"));
}
