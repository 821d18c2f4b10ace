// The installer's rules that need no file system: mode choice, texts it builds, the folder checks,
// the registry helpers and the print page set-up repair, the administrator test and the focus rule.
// The same tests run natively and under Wine.
#include "tests/unit/portable/test_setup_fake.h"

#include "common/ansi.h"
#include "common/errors.h"
#include "common/textfiles.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const std::string kPageSetup = "Software\\Microsoft\\Internet Explorer\\PageSetup";
const char* const kPageSetupNames[] = {"footer", "header", "margin_bottom", "margin_left", "margin_right", "margin_top"};

// The six values as the repair leaves them: empty header and footer, margins "0", REG_SZ, no zero byte.
void ExpectRepaired(const FakeRegistry& registry, const std::string& key)
{
    ASSERT_TRUE(registry.HasKey(key)) << key;
    for (const char* name : kPageSetupNames) {
        ASSERT_TRUE(registry.HasValue(key, name)) << key << " " << name;
        const auto& value = registry.At(key, name);
        EXPECT_EQ(value.type, kRegSz) << name;
        EXPECT_EQ(value.data, std::string(name).rfind("margin", 0) == 0 ? "0" : "") << key << " " << name;
    }
}

} // namespace

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

TEST(SetupModes, ArgumentTextFollowsTheProgramPath)
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
    };
    for (const auto& c : cases) EXPECT_EQ(ArgumentText(c.commandLine), c.argument) << c.commandLine;
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

TEST(SetupRegistry, CreatAndSetKeyValueWritesTheGbkBytesWithoutAZero)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    EXPECT_EQ(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\T\\收银通", L"DisplayName", L"Vemr客户端"), 0);
    const auto& value = sys.registry.At("HKLM\\SOFTWARE\\T\\" + ToAnsi(L"收银通"), "DisplayName");
    EXPECT_EQ(value.type, kRegSz);
    EXPECT_EQ(value.data, "Vemr\xBF\xCD\xBB\xA7\xB6\xCB");   // 10 bytes, GBK
    EXPECT_EQ(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\T", L"Empty", L""), 0);
    EXPECT_EQ(sys.registry.At("HKLM\\SOFTWARE\\T", "Empty").data, "");
    sys.registry.DenyCreatesUnder("HKLM\\SOFTWARE\\LOCKED");
    EXPECT_NE(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\LOCKED", L"x", L"y"), 0);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupRegistry, SetKeyValueCreatesAMissingKeyOnItsSecondPass)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKCU\\Existing");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Existing", L"margin_top", L"0"), 0);
    EXPECT_EQ(sys.registry.At("HKCU\\Existing", "margin_top").data, "0");
    EXPECT_FALSE(sys.registry.HasKey("HKCU\\Missing"));
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Missing\\Deeper", L"footer", L""), 0);
    EXPECT_EQ(sys.registry.At("HKCU\\Missing\\Deeper", "footer").data, "");
    // A key that cannot be made: both passes fail, the sum of the second is the answer.
    sys.registry.DenyCreatesUnder("HKCU\\Forbidden");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Forbidden", L"header", L""), 2 + kRegInvalidHandle * 2);
    EXPECT_FALSE(sys.registry.HasKey("HKCU\\Forbidden"));
    // A key whose values cannot be written: the write's code is the answer.
    sys.registry.MakeKey("HKCU\\ReadOnly");
    sys.registry.DenyWritesUnder("HKCU\\ReadOnly");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"ReadOnly", L"header", L""), 5);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupRegistry, ListRootSubKeySGivesAtMostMaxPlusOneNonEmptyNames)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    EXPECT_TRUE(form.ListRootSubKeyS(kHkeyUsers, 999).empty());
    for (const char* name : {"A", "B", "C", "D"}) sys.registry.MakeKey(std::string("HKU\\") + name);
    sys.registry.MakeKey("HKU\\");   // an empty name is passed over
    sys.registry.MakeKey("HKU\\E");
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 999), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 2), (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 0), (std::vector<std::wstring>{L"A"}));
}

TEST(SetupRepair, SixValuesUnderTheCurrentUserAndEveryUserHive)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKU\\.DEFAULT\\" + kPageSetup);
    sys.registry.MakeKey("HKU\\S-1-5-21-1\\Software");   // no page set-up key yet
    sys.registry.MakeKey("HKU\\S-1-5-21-2");             // not even Software
    sys.registry.MakeKey("HKCU\\" + kPageSetup);
    RegKey key = 0;
    sys.registry.Open(kHkeyCurrentUser, kPageSetup, key);
    sys.registry.Set(key, "header", kRegSz, "&w&bPage &p of &P");
    sys.registry.Set(key, "font", kRegSz, "keep me");
    sys.registry.Close(key);

    form.ClsIeYmYj();
    ExpectRepaired(sys.registry, "HKCU\\" + kPageSetup);
    EXPECT_EQ(sys.registry.At("HKCU\\" + kPageSetup, "font").data, "keep me");   // nothing else is touched
    for (const char* hive : {".DEFAULT", "S-1-5-21-1", "S-1-5-21-2"})
        ExpectRepaired(sys.registry, std::string("HKU\\") + hive + "\\" + kPageSetup);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
    EXPECT_TRUE(sys.messages.empty());
}

TEST(SetupRepair, OnlyTheFirstThousandUserHivesAreTreated)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    for (int i = 0; i < 1003; ++i) sys.registry.MakeKey("HKU\\U" + std::to_string(i));
    form.ClsIeYmYj();
    EXPECT_TRUE(sys.registry.HasKey("HKU\\U0\\" + kPageSetup));
    EXPECT_TRUE(sys.registry.HasKey("HKU\\U999\\" + kPageSetup));
    EXPECT_FALSE(sys.registry.HasKey("HKU\\U1000\\" + kPageSetup));
    EXPECT_FALSE(sys.registry.HasKey("HKU\\U1002\\" + kPageSetup));
}

TEST(SetupRepair, AValueThatCannotBeWrittenDoesNotStopTheRest)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKU\\Locked\\" + kPageSetup);
    sys.registry.DenyWritesUnder("HKU\\Locked");
    sys.registry.MakeKey("HKU\\Open");
    form.ClsIeYmYj();
    EXPECT_EQ(sys.registry.ValueCount("HKU\\Locked\\" + kPageSetup), 0u);
    ExpectRepaired(sys.registry, "HKU\\Open\\" + kPageSetup);
}

TEST(SetupUninstallEntry, FourValuesWrittenEmptyOnesSkippedAndDeletedWithoutLocation)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ToAnsi(L"收银通");
    form.adduninstallinfo(L"收银通", L"C:\\MY SHOP\\", L"\"C:\\MY SHOP\\setup.exe\" uninstall", L"");
    EXPECT_EQ(sys.registry.At(key, "DisplayName").data, ToAnsi(L"收银通"));
    EXPECT_EQ(sys.registry.At(key, "DisplayName").data.size(), 6u);
    EXPECT_EQ(sys.registry.At(key, "InstallLocation").data, "C:\\MY SHOP\\");
    EXPECT_EQ(sys.registry.At(key, "UninstallString").data, "\"C:\\MY SHOP\\setup.exe\" uninstall");
    EXPECT_FALSE(sys.registry.HasValue(key, "DisplayIcon"));   // an empty value is not written
    form.adduninstallinfo(L"收银通", L"", L"", L"");
    EXPECT_FALSE(sys.registry.HasKey(key));
    form.adduninstallinfo(L"收银通", L"", L"", L"");   // a missing entry is no error
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupStart, AdministratorTestWritesTodayBack)
{
    FakeSetupSystem sys;
    sys.today = {2024, 5, 17, 23, 59, 59, 999};   // the one reading, written back whole: never a day back
    ::Setup form(sys);
    EXPECT_TRUE(form.VistAdmin());
    ASSERT_EQ(sys.datesWritten.size(), 1u);
    const LocalDate& w = sys.datesWritten[0];
    EXPECT_EQ(std::tie(w.year, w.month, w.day, w.hour, w.minute, w.second, w.milliseconds),
              std::make_tuple(2024, 5, 17, 23, 59, 59, 999));
    sys.setDateFails = true;
    EXPECT_FALSE(form.VistAdmin());
    sys.setDateFails = false;
    sys.todayFails = true;
    EXPECT_FALSE(form.VistAdmin());
}

TEST(SetupStart, NonAdministratorSeesTheStopBoxAndTheProgramEnds)
{
    FakeSetupSystem sys;
    sys.setDateFails = true;
    ::Setup form(sys);
    EXPECT_THROW(form.Form_Initialize(), ProgramEnded);
    EXPECT_TRUE(sys.hidden);
    EXPECT_EQ(sys.OnlyMessage(),
              (ShownMessage{L"当前用户不具有本计算机管理员权限，无法进行软件安装。", L"请联系系统管理员！", 16}));

    FakeSetupSystem admin;
    ::Setup adminForm(admin);
    adminForm.Form_Initialize();
    EXPECT_FALSE(admin.ended);
    EXPECT_TRUE(admin.messages.empty());
}

TEST(SetupFocus, FocusMovesAtMostOncePerTenthOfASecond)
{
    FakeSetupSystem sys;
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
        sys.seconds = step.seconds;
        form.TavinSetFocus(Control::SoftPath);
        EXPECT_EQ(sys.focusGiven.size(), step.focusCount) << step.seconds;
    }
    sys.softPathVisible = false;
    sys.seconds = 40000.0f;
    form.TavinSetFocus(Control::SoftPath);
    EXPECT_EQ(sys.focusGiven.size(), 3u);   // a hidden control is left alone
}

TEST(SetupFocus, ClickSelectsTheWholeTextEvenWithoutMovingTheFocus)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    sys.softPathText = L"d:\\收银\\vemr";
    form.SoftPath_Click();
    EXPECT_EQ(sys.focusGiven.size(), 1u);
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 10);
    sys.selStart = sys.selLength = 5;   // the user moved the caret
    sys.seconds += 0.05f;
    form.SoftPath_Click();
    EXPECT_EQ(sys.focusGiven.size(), 1u);
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 10);
    sys.softPathText = std::wstring(65536, L'x');   // too long: only the start is set
    form.SoftPath_Click();
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 0);
}

TEST(SetupWaits, WaitsecondPumpsUntilTheTimeHasPassed)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    sys.pumpAdvance = 0.25f;
    form.waitsecond(1);
    EXPECT_EQ(sys.pumps, 4);
    // Across midnight the seconds since midnight fall back: the wait ends at once.
    sys.pumps = 0;
    sys.seconds = 86399.9f;
    sys.pumpAdvance = -86399.8f;
    form.waitsecond(1);
    EXPECT_EQ(sys.pumps, 1);
}

TEST(SetupFolders, SpecialAndTemporaryFoldersAreUpperCaseWithABackslash)
{
    FakeSetupSystem sys;
    ::Setup form(sys);
    EXPECT_EQ(form.getwintempath(), L"C:\\USERS\\SHOP\\APPDATA\\LOCAL\\TEMP\\");
    EXPECT_EQ(form.mygetwinspfold(kCsidlPrograms), L"C:\\USERS\\SHOP\\START MENU\\PROGRAMS\\");
    EXPECT_EQ(form.mygetwinspfold(kCsidlDesktop), L"C:\\USERS\\SHOP\\DESKTOP\\");
    EXPECT_EQ(form.mygetwinspfold(0x28), L"\\");   // no such folder: the empty text normalised
    sys.tempPath = std::wstring(100, L'x');          // no room for it in the buffer: the empty text
    EXPECT_EQ(form.getwintempath(), L"\\");
}
