// The installer's rules that need no platform service but its window: mode choice, texts it builds,
// the folder checks, the ANSI byte count, the administrator test and the focus rule.
#include "installer/protected_folders.h"
#include "tests/unit/with_stand_in/setup_window_double.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "common/launch.h"
#include "common/textfiles.h"
#include "common/texthelpers.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(SetupModes, ArgumentMatchesWholeAndCaseSensitive)
{
    struct Case {
        const wchar_t* argument;
        Mode mode;
    } cases[] = {
        {L"fixiepageset", Mode::Repair},   {L"uninstall", Mode::UninstallStage1},
        {L"movenow", Mode::UninstallStage2}, {L"", Mode::Install},
        {L"Uninstall", Mode::Install},     {L"UNINSTALL", Mode::Install},
        {L"uninstall ", Mode::Install},    {L"uninstall x", Mode::Install},
        {L"FixIePageSet", Mode::Install},  {L"movenow2", Mode::Install},
    };
    for (const auto& c : cases) EXPECT_EQ(ModeOf(c.argument), c.mode) << c.argument;
}

TEST(CommandLines, ArgumentsFollowTheProgramPath)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* argument;
    } cases[] = {
        {L"\"C:\\Program Files\\V\\setup.exe\" uninstall", L"uninstall"},
        {L"C:\\V\\setup.exe movenow", L"movenow"},
        {L"C:\\V\\setup.exe", L""},
        {L"\"C:\\V\\setup.exe\"", L""},
        {L"setup.exe  fixiepageset", L"fixiepageset"},
        {L"setup.exe uninstall ", L"uninstall "},   // what follows is kept whole
        {L"\"C:\\V\\setup.exe\"Uninstall", L"Uninstall"},
        {L"horasync.exe op.example.com", L"op.example.com"},
        {L"\"C:\\a b\\horasync.exe\"\t op.example.com:8080 x", L"op.example.com:8080 x"},
    };
    for (const auto& c : cases) EXPECT_EQ(CommandArguments(c.commandLine), c.argument) << c.commandLine;
}

TEST(SetupTexts, RenameStampIsTheSinglePrintedWithoutDots)
{
    struct Case {
        float seconds;
        const wchar_t* printed;
        const wchar_t* stamp;
    } cases[] = {
        {30123.45f, L"30123.45", L"3012345"}, {86399.99f, L"86399.99", L"8639999"},
        {12345.678f, L"12345.68", L"1234568"}, {100.0f, L"100", L"100"},
        {0.5f, L"0.5", L"05"},                 {0.0f, L"0", L"0"},
        {61.25f, L"61.25", L"6125"},           {45296.789f, L"45296.79", L"4529679"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SingleText(c.seconds), c.printed) << c.seconds;
        EXPECT_EQ(RenameStamp(c.seconds), c.stamp) << c.seconds;
    }
}

TEST(SetupTexts, PathsInCommandLinesAreQuotedOnlyWithABlank)
{
    EXPECT_EQ(CommandPath(L"C:\\VEMR\\setup.exe"), L"C:\\VEMR\\setup.exe");
    EXPECT_EQ(CommandPath(L"C:\\MY SHOP\\setup.exe"), L"\"C:\\MY SHOP\\setup.exe\"");
    EXPECT_EQ(CommandPath(L"C:\\TAB\tX\\a.ocx"), L"\"C:\\TAB\tX\\a.ocx\"");
}

TEST(SetupInstallChecks, InstallFolderMayNotHoldOrBeHeldByTheProgramFolder)
{
    struct Case {
        const wchar_t* programFolder;
        const wchar_t* box;
        bool refused;
    } cases[] = {
        {L"C:\\SETUP\\", L"c:\\setup\\new", true},   // inside the program folder
        {L"C:\\SETUP\\", L"C:\\", true},             // above it
        {L"C:\\SETUP\\", L"", true},                 // a lone backslash is in every folder
        {L"C:\\SETUP\\", L"c:\\setup", true},        // the folder itself
        {L"C:\\MEDIA\\SETUP\\", L"c:\\media", true},
        {L"C:\\SETUP\\", L"c:\\setupx", false},
        {L"C:\\SETUP\\", L"d:\\setup", false},
        {L"C:\\SETUP\\", L"c:\\vemrclient", false},
    };
    for (const auto& c : cases) {
        std::wstring folder = c.box;
        inst::lzjzpath(folder);
        EXPECT_EQ(FoldersOverlap(c.programFolder, folder), c.refused) << c.box;
    }
}

TEST(SetupInstallChecks, FolderChainStartsBelowTheDrive)
{
    using Chain = std::vector<std::wstring>;
    EXPECT_EQ(FolderChain(L"d:\\a\\b\\c"), (Chain{L"d:\\a", L"d:\\a\\b", L"d:\\a\\b\\c"}));
    EXPECT_EQ(FolderChain(L"c:\\vemrclient"), (Chain{L"c:\\vemrclient"}));
    EXPECT_EQ(FolderChain(L"c:\\x\\"), (Chain{L"c:\\x", L"c:\\x\\"}));
    EXPECT_EQ(FolderChain(L"c:\\"), (Chain{L"c:\\"}));
    EXPECT_EQ(FolderChain(L"c:\\ab\\收银"), (Chain{L"c:\\ab", L"c:\\ab\\收银"}));
    EXPECT_EQ(FolderChain(L"ab\\c"), (Chain{L"ab\\c"}));   // a cut among the first four characters is never taken
}

TEST(SetupUninstallChecks, RecordsNamingSystemOrUserFoldersAreNeverRemoved)
{
    const std::vector<std::wstring> kept = {
        L"C:\\windows",           L"C:\\windows\\system32",   L"C:\\users\\shop",
        L"C:\\users\\shop\\Desktop", L"C:\\Program Files",   L"C:\\users\\shop\\Start Menu\\Programs\\",
    };
    struct Case {
        const wchar_t* folder;
        bool unsafe;
    } cases[] = {
        {L"C:\\", true},
        {L"D:\\", true},
        {L"\\", true},                          // root of whichever drive is current
        {L"VEMR\\", true},                      // relative: wherever the working copy runs
        {L"C:\\WINDOWS\\", true},
        {L"C:\\WINDOWS\\SYSTEM32\\", true},
        {L"C:\\USERS\\", true},                 // holds a profile
        {L"C:\\USERS\\SHOP\\", true},
        {L"C:\\USERS\\SHOP\\DESKTOP\\", true},
        {L"C:\\USERS\\SHOP\\START MENU\\PROGRAMS\\", true},
        {L"C:\\PROGRAM FILES\\", true},
        {L"C:\\WINDOWS \\", true},              // trailing blanks and dots are ignored by Windows
        {L"C:\\WINDOWS.\\", true},
        {L"C:/WINDOWS/", true},
        {L"C:\\\\WINDOWS\\", true},
        {L"C:\\VEMR\\..\\", true},
        {L"C:\\VEMR\\.\\", true},
        {L"\\\\SRV\\SHARE\\", true},
        {L"\\\\?\\C:\\VEMR\\", true},
        {L"C:\\VEMRCLIENT\\", false},
        {L"D:\\A\\B\\C\\", false},
        {L"C:\\PROGRAM FILES\\VEMR\\", false},
        {L"C:\\USERS\\SHOP\\DESKTOP\\VEMR\\", false},
        {L"C:\\WINDOWSX\\", false},
        {L"\\\\SRV\\SHARE\\VEMR\\", false},
        {L"C:\\VEMR..X\\", false},
    };
    for (const auto& c : cases) EXPECT_EQ(UnsafeToRemove(c.folder, kept), c.unsafe) << c.folder;
}

TEST(SetupRegistry, EnglishlenCountsAnsiBytes)
{
    EXPECT_EQ(englishlen(L"Vemr客户端"), 10);
    EXPECT_EQ(englishlen(L""), 0);
    EXPECT_EQ(englishlen(L"C:\\VEMR\\setup.exe uninstall"), 27);
    EXPECT_EQ(englishlen(std::wstring(16383, L'中') + L"a"), 32767);
    EXPECT_THROW(englishlen(std::wstring(16384, L'中')), OverflowError);
}

TEST(SetupStart, AdministratorTestWritesTodayBack)
{
    FakeSetupWindow sys;
    sys.SetNow({2024, 5, 17, 23, 59, 59, 999});   // the one reading, written back whole: never a day back
    ::Setup form(sys);
    EXPECT_TRUE(form.VistAdmin());
    ASSERT_EQ(sys.datesWritten.size(), 1u);
    const os::LocalDateTime& w = sys.datesWritten[0];
    EXPECT_EQ(std::tie(w.year, w.month, w.day, w.hour, w.minute, w.second, w.milliseconds),
              std::make_tuple(2024, 5, 17, 23, 59, 59, 999));
    sys.clock.localSetSucceeds = false;
    EXPECT_FALSE(form.VistAdmin());
}

TEST(SetupStart, NonAdministratorSeesTheStopBoxAndTheProgramEnds)
{
    FakeSetupWindow sys;
    sys.clock.localSetSucceeds = false;
    ::Setup form(sys);
    EXPECT_THROW(form.Form_Initialize(), ProgramEnded);
    EXPECT_TRUE(sys.hidden);
    EXPECT_EQ(sys.OnlyMessage(),
              (ShownMessage{L"当前用户不具有本计算机管理员权限，无法进行软件安装。", L"请联系系统管理员！", 16}));

    FakeSetupWindow admin;
    ::Setup adminForm(admin);
    EXPECT_NO_THROW(adminForm.Form_Initialize());   // the program did not end
    EXPECT_TRUE(admin.messages.empty());
}

TEST(SetupFocus, FocusMovesAtMostOncePerTenthOfASecond)
{
    FakeSetupWindow sys;
    ::Setup form(sys);
    struct Step {
        float seconds;
        size_t focusCount;
    } steps[] = {
        {36000.00f, 1},   // the first time: long after "0"
        {36000.05f, 1},   // too soon
        {36000.09f, 1},
        {36000.15f, 2},   // more than 0.1 s after the last focus change
        {36000.30f, 3},
    };
    for (const auto& step : steps) {
        sys.SetSeconds(step.seconds);
        form.TavinSetFocus(Control::SoftPath);
        EXPECT_EQ(sys.focusGiven.size(), step.focusCount) << step.seconds;
    }
    sys.softPathVisible = false;
    sys.SetSeconds(40000.0f);
    form.TavinSetFocus(Control::SoftPath);
    EXPECT_EQ(sys.focusGiven.size(), 3u);   // a hidden control is left alone
}

TEST(SetupFocus, ClickSelectsTheWholeTextEvenWithoutMovingTheFocus)
{
    FakeSetupWindow sys;
    ::Setup form(sys);
    sys.softPathText = L"d:\\收银\\vemr";
    form.SoftPath_Click();
    EXPECT_EQ(sys.focusGiven.size(), 1u);
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 10);
    sys.selStart = sys.selLength = 5;   // the user moved the caret
    sys.SetSeconds(sys.Seconds() + 0.05f);
    form.SoftPath_Click();
    EXPECT_EQ(sys.focusGiven.size(), 1u);
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 10);
    sys.softPathText = std::wstring(65536, L'x');   // too long: only the start is set
    form.SoftPath_Click();
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 0);
}

