// Start-up and install of `setup` against the in-memory platform: the mode dispatch, config.txt, the
// install window's refusals and the whole install plan, with the files it copies, the runtime files
// it brings up to date, the shortcuts, the record and the uninstall entry.
#include "tests/unit/with_stand_in/setup_system_double.h"

#include "os/ansi.h"
#include "os/settings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string kPageSetup = "Software\\Microsoft\\Internet Explorer\\PageSetup";
const std::string kEntry = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ToAnsi(L"收银通");
const std::wstring kPrograms = L"C:\\USERS\\SHOP\\START MENU\\PROGRAMS\\";
const std::wstring kDesktop = L"C:\\USERS\\SHOP\\DESKTOP\\";

std::string Config(const std::wstring& text) { return ToAnsi(text); }
const std::wstring kConfigText = L"收银通\r\nvemr.example.test\r\n收银通\r\n8";

std::string Narrow(const std::wstring& text) { return ToAnsi(text); }

// The program folder C:\Setup with the media; system, Start-menu, desktop and temporary folders.
void Prepare(FakeFilesSystem& sys)
{
    fakeos::Reset(L"C:\\Setup");
    fakeos::SetSystemDirectory(L"C:\\WINDOWS\\system32");
    sys.PutFolder(L"C:\\WINDOWS\\system32");
    sys.PutFolder(L"C:\\Users\\shop\\Start Menu\\Programs");
    sys.PutFolder(L"C:\\Users\\shop\\Desktop");
    sys.PutFolder(L"C:\\Users\\shop\\AppData\\Local\\Temp");
    for (const auto& name : kProductFiles) sys.PutFile(L"C:\\Setup\\" + name, "new " + Narrow(name), 32, 5000);
    sys.PutFile(L"C:\\Setup\\config.txt", Config(kConfigText), 32, 5000);
    sys.SetSeconds(30123.45f);
}

// Creation and load of a fresh window object; false when the program ended.
bool Open(FakeFilesSystem& sys, const std::wstring& argument)
{
    fakeos::SetCommandLine(L"\"C:\\Setup\\setup.exe\"" + (argument.empty() ? L"" : L" " + argument));
    ::Setup form(sys);
    try {
        form.Form_Initialize();
        form.Form_Load();
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

class FakeSetup : public ::testing::Test {
protected:
    void SetUp() override { Prepare(sys); }

    // Creation and load with the given argument text.
    void Start(const std::wstring& argument)
    {
        fakeos::SetCommandLine(L"\"C:\\Setup\\setup.exe\"" + (argument.empty() ? L"" : L" " + argument));
        form.Form_Initialize();
        form.Form_Load();
    }
    void Install(const std::wstring& boxText)
    {
        Start(L"");
        sys.softPathText = boxText;
        EXPECT_THROW(form.LetGo_Click(), ProgramEnded);
    }
    std::wstring Record() { return os::GetSetting(L"tavin", L"vemrclient", L"path", L"(none)"); }

    FakeFilesSystem sys;
    ::Setup form{sys};
};

} // namespace

TEST_F(FakeSetup, InstallModeReadsConfigTitlesRepairsAndSelectsTheBox)
{
    EXPECT_NO_THROW(Start(L""));   // the program did not end
    EXPECT_EQ(form.Tag(), L"C:\\SETUP\\");
    EXPECT_EQ(fakeos::CurrentDirectory(), L"C:\\SETUP\\");
    EXPECT_EQ(sys.caption, L"欢迎安装收银通客户端");
    EXPECT_EQ(form.SoftTitle(), L"收银通");
    EXPECT_EQ(form.SoftHost(), L"vemr.example.test");
    EXPECT_EQ(form.LinkName(), L"收银通");
    EXPECT_TRUE(sys.registry.HasValue("HKCU\\" + kPageSetup, "margin_top"));
    EXPECT_EQ(sys.focusGiven, std::vector<Control>{Control::SoftPath});
    EXPECT_EQ(sys.selStart, 0);
    EXPECT_EQ(sys.selLength, 13);   // "c:\vemrclient"
    EXPECT_TRUE(sys.messages.empty());
}

TEST(FakeSetupModes, ArgumentChoosesTheMode)
{
    struct Case {
        const wchar_t* argument;
        bool opens;
        std::wstring caption;
        std::vector<ShownMessage> messages;
        bool repaired;    // the print page set-up was written
        size_t started;   // command lines started (the uninstall working copy)
    } cases[] = {
        {L"", true, L"欢迎安装收银通客户端", {}, true, 0},
        {L"Uninstall", true, L"欢迎安装收银通客户端", {}, true, 0},   // not a keyword: the install window
        {L"FIXIEPAGESET", true, L"欢迎安装收银通客户端", {}, true, 0},
        {L"fixiepageset", false, L"欢迎安装", {{L"修复完成！", L"恭喜！", 64}}, true, 0},
        {L"uninstall", false, L"欢迎安装", {}, false, 1},
    };
    for (const auto& c : cases) {
        FakeFilesSystem sys;
        Prepare(sys);
        EXPECT_EQ(Open(sys, c.argument), c.opens) << c.argument;
        EXPECT_EQ(sys.caption, c.caption) << c.argument;
        EXPECT_EQ(sys.messages, c.messages) << c.argument;
        EXPECT_EQ(sys.commandLinesStarted.size(), c.started) << c.argument;
        EXPECT_EQ(sys.registry.HasValue("HKCU\\" + kPageSetup, "footer"), c.repaired) << c.argument;
    }
}

TEST(FakeSetupModes, ConfigMustSplitIntoExactlyFourPieces)
{
    struct Case {
        const wchar_t* text;   // nullptr: no config.txt
        bool opens;
    } cases[] = {
        {L"收银通\r\nhost\r\n收银通\r\n8", true},
        {L"收银通\r\nhost\r\n\r\n", true},              // empty pieces count
        {L"收银通\r\nhost\r\n收银通\r\n8\r\n", false},   // a line break after line 4: five pieces
        {L"收银通\r\nhost\r\n收银通", false},
        {L"a\r\nb\r\nc\r\nd\r\ne", false},
        {L"a\nb\nc\nd", false},
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases) {
        FakeFilesSystem sys;
        Prepare(sys);
        if (c.text) {
            sys.PutFile(L"C:\\Setup\\config.txt", Config(c.text));
        } else {
            os::DeleteFileAt(L"C:\\Setup\\config.txt");
        }
        EXPECT_EQ(Open(sys, L""), c.opens) << (c.text ? c.text : L"(missing)");
        EXPECT_TRUE(sys.messages.empty()) << "a bad config.txt ends silently";
        if (!c.opens) {
            EXPECT_EQ(sys.caption, kDesignCaption);
        }
    }
}

TEST(FakeSetupRefusal, InstallFolderOverlappingTheProgramFolderIsRefused)
{
    // Also under the other names the file system knows it by: another spelling, a short name, a link.
    for (const wchar_t* box : {L"c:\\setup\\new", L"C:\\", L"", L"c:\\setup", L"c:\\SETUP\\a\\b", L"C:/Setup", L".",
                               L"c:\\other\\..\\setup", L"c:\\setup~1\\new", L"c:\\link"}) {
        FakeFilesSystem sys;
        Prepare(sys);
        sys.resolved = {{L"C:/SETUP\\", L"C:\\Setup"}, {L".\\", L"C:\\Setup"}, {L"C:\\OTHER\\..\\SETUP\\", L"C:\\Setup"},
                        {L"C:\\SETUP~1\\NEW\\", L"C:\\Setup\\NEW"}, {L"C:\\LINK\\", L"C:\\Setup"}};
        fakeos::SetCommandLine(L"\"C:\\Setup\\setup.exe\"");
        ::Setup form(sys);
        form.Form_Initialize();
        form.Form_Load();
        sys.softPathText = box;
        EXPECT_NO_THROW(form.LetGo_Click()) << box;   // the program did not end
        EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"不能安装到当前目录！", L"遗憾……", 16})) << box;
        EXPECT_TRUE(sys.letGoEnabled) << box;   // another try is possible
        EXPECT_FALSE(sys.Has(L"C:\\Setup\\new")) << box;
        EXPECT_FALSE(sys.Has(L"C:\\Setup\\a")) << box;
        EXPECT_EQ(os::GetSetting(L"tavin", L"vemrclient", L"path", L"(none)"), L"(none)") << box;
        EXPECT_FALSE(sys.registry.HasKey(kEntry)) << box;
        EXPECT_TRUE(sys.copies.empty()) << box;
        EXPECT_TRUE(sys.shortcuts.empty()) << box;
    }
}

TEST_F(FakeSetup, InstallMakesTheFolderChainCopiesRecordsAndLinks)
{
    Install(L"d:\\a\\b\\c");
    const std::wstring folder = L"D:\\A\\B\\C\\";
    EXPECT_TRUE(sys.Has(L"D:\\A"));
    EXPECT_TRUE(sys.Has(L"D:\\A\\B"));
    EXPECT_TRUE(sys.Has(L"D:\\A\\B\\C"));
    EXPECT_FALSE(sys.letGoEnabled);
    EXPECT_EQ(Record(), folder);

    // The product files in order, each from the program folder by bare name.
    ASSERT_GE(sys.copies.size(), kProductFiles.size());
    for (size_t i = 0; i < kProductFiles.size(); ++i) {
        EXPECT_EQ(sys.copies[i].first, kProductFiles[i]);
        EXPECT_EQ(sys.copies[i].second, folder + kProductFiles[i]);
        EXPECT_EQ(sys.Bytes(folder + kProductFiles[i]), sys.Bytes(L"C:\\Setup\\" + kProductFiles[i]));
    }

    EXPECT_EQ(sys.registry.At(kEntry, "DisplayName").data, ToAnsi(L"收银通"));
    EXPECT_EQ(sys.registry.At(kEntry, "InstallLocation").data, "D:\\A\\B\\C\\");
    EXPECT_EQ(sys.registry.At(kEntry, "UninstallString").data, "D:\\A\\B\\C\\setup.exe uninstall");
    EXPECT_EQ(sys.registry.At(kEntry, "DisplayIcon").data, "D:\\A\\B\\C\\vemr.exe");
    EXPECT_EQ(sys.registry.ValueCount(kEntry), 4u);

    const std::wstring group = kPrograms + L"收银通";
    EXPECT_TRUE(sys.Has(group));
    struct Link {
        std::wstring file, target, description, arguments;
    } links[] = {
        {group + L"\\收银通.lnk", folder + L"vemr.exe", L"Vemr客户端", L""},
        {group + L"\\自动卸载.lnk", folder + L"setup.exe", L"从您的电脑中彻底删除Vemr客户端", L"uninstall"},
        {group + L"\\自动修复.lnk", folder + L"setup.exe", L"修复系统打印相关设置", L"fixiepageset"},
        {kDesktop + L"收银通.lnk", folder + L"vemr.exe", L"Vemr客户端", L""},
    };
    EXPECT_EQ(sys.shortcuts.size(), 4u);
    for (const auto& link : links) {
        ASSERT_TRUE(sys.shortcuts.count(link.file)) << link.file;
        const auto& saved = sys.shortcuts[link.file];
        EXPECT_EQ(saved.target, link.target);
        EXPECT_EQ(saved.workdir, folder);
        EXPECT_EQ(saved.description, link.description);
        EXPECT_EQ(saved.arguments, link.arguments);
        EXPECT_EQ(saved.show, 1);
    }

    EXPECT_TRUE(sys.hidden);
    EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"安装完成！", L"恭喜！", 48}));
}

TEST_F(FakeSetup, MissingRuntimeFilesAreCopiedAndRegisteredTwice)
{
    Install(L"d:\\vemr");
    const std::wstring sys32 = L"C:\\WINDOWS\\SYSTEM32\\";
    std::vector<ShellStart> expected;
    for (const auto& f : kSystemFiles) {
        EXPECT_EQ(sys.Bytes(sys32 + f), sys.Bytes(L"C:\\Setup\\" + f));
        expected.push_back({sys32 + L"regsvr32.exe", L"/s " + sys32 + f, sys32, 1});
        expected.push_back({sys32 + L"regsvr32.exe", L"/s D:\\VEMR\\" + f, L"D:\\VEMR\\", 1});
    }
    EXPECT_EQ(sys.shellStarts, expected);
    EXPECT_GE(fakeos::PumpCount(), 9);   // window messages ran between the steps
}

TEST(FakeSetupRuntimeFiles, ReplacedOnlyWhenTheSystemCopyIsOlder)
{
    const std::wstring sys32 = L"C:\\WINDOWS\\system32\\";
    const std::string fresh = "new MSVBVM60.DLL", old = "old runtime";
    struct Case {
        int64_t systemCopyTime;   // the fresh copy's time is 5000; 0: no system copy
        std::string systemCopy;   // what the system folder holds afterwards ("": nothing)
        bool keptAside;
        int failingCopies = 0;          // the older copy is put back
        bool renameBackFails = false;   // then it is copied back, unless that copy fails as well
    } cases[] = {{9000, old, false}, {5000, old, false}, {4999, fresh, true},      {1000, fresh, true},
                 {0, fresh, false},  {1000, old, false, 1}, {1000, old, true, 1, true}, {1000, "", true, 2, true}};
    for (const auto& c : cases) {
        FakeFilesSystem sys;
        Prepare(sys);
        sys.failingCopies[L"C:\\WINDOWS\\SYSTEM32\\MSVBVM60.DLL"] = c.failingCopies;
        if (c.renameBackFails) sys.failingRenames.insert(L"C:\\WINDOWS\\SYSTEM32\\MSVBVM60.DLL");
        if (c.systemCopyTime) sys.PutFile(sys32 + L"MSVBVM60.DLL", old, 32, c.systemCopyTime);
        ::Setup form(sys);
        form.Form_Load();
        sys.softPathText = L"d:\\vemr";
        EXPECT_THROW(form.LetGo_Click(), ProgramEnded);
        const bool registered = std::any_of(sys.shellStarts.begin(), sys.shellStarts.end(), [](const ShellStart& s) {
            return s.parameters.find(L"SYSTEM32\\MSVBVM60.DLL") != std::wstring::npos;
        });
        EXPECT_EQ(registered, c.systemCopy == fresh) << c.systemCopyTime;
        EXPECT_EQ(sys.Has(sys32 + L"MSVBVM60.DLL") ? sys.Bytes(sys32 + L"MSVBVM60.DLL") : "", c.systemCopy)
            << c.systemCopyTime << " " << c.failingCopies;
        // Seconds since midnight 30123.45 print as 30123.45: the stamp is 3012345.
        EXPECT_EQ(sys.Has(sys32 + L"MSVBVM60.DLL.3012345"), c.keptAside) << c.systemCopyTime;
        if (c.keptAside) {
            EXPECT_EQ(sys.Bytes(sys32 + L"MSVBVM60.DLL.3012345"), old);
        }
        EXPECT_EQ(sys.OnlyMessage().text, L"安装完成！");
    }
}

TEST_F(FakeSetup, PathsWithBlanksAreQuotedInCommandLinesOnly)
{
    Install(L"d:\\my shop\\vemr");
    EXPECT_EQ(sys.registry.At(kEntry, "UninstallString").data, "\"D:\\MY SHOP\\VEMR\\setup.exe\" uninstall");
    EXPECT_EQ(sys.registry.At(kEntry, "InstallLocation").data, "D:\\MY SHOP\\VEMR\\");
    EXPECT_EQ(sys.registry.At(kEntry, "DisplayIcon").data, "D:\\MY SHOP\\VEMR\\vemr.exe");
    ASSERT_EQ(sys.shellStarts.size(), 6u);
    EXPECT_EQ(sys.shellStarts[1].parameters, L"/s \"D:\\MY SHOP\\VEMR\\MSWINSCK.OCX\"");
    EXPECT_EQ(sys.shellStarts[1].folder, L"D:\\MY SHOP\\VEMR\\");
    EXPECT_EQ(sys.shellStarts[0].parameters, L"/s C:\\WINDOWS\\SYSTEM32\\MSWINSCK.OCX");
}

TEST_F(FakeSetup, SecondInstallReplacesReadOnlyFilesAndAllShortcuts)
{
    const std::wstring folder = L"D:\\VEMR\\";
    const std::wstring group = kPrograms + L"收银通";
    for (const auto& name : kProductFiles) sys.PutFile(folder + name, "old", os::kAttrReadOnly | os::kAttrHidden);
    for (const wchar_t* link : {L"\\收银通.lnk", L"\\自动卸载.lnk", L"\\自动修复.lnk"})
        sys.PutFile(group + link, "old lnk", os::kAttrReadOnly);
    sys.PutFile(kDesktop + L"收银通.lnk", "old lnk", os::kAttrReadOnly);
    Install(L"d:\\vemr");
    for (const auto& name : kProductFiles) EXPECT_EQ(sys.Bytes(folder + name), sys.Bytes(L"C:\\Setup\\" + name));
    EXPECT_EQ(sys.shortcuts.size(), 4u);   // every one deleted, then made again
    EXPECT_EQ(sys.Bytes(kDesktop + L"收银通.lnk"), "lnk");
    EXPECT_EQ(sys.OnlyMessage().text, L"安装完成！");
}

TEST_F(FakeSetup, ProductFileThatIsItsOwnSourceIsNeitherDeletedNorCopied)
{
    sys.PutFile(L"D:\\VEMR\\vemr.exe", "new vemr.exe");
    sys.sameFiles.insert(L"D:\\VEMR\\VEMR.EXE");   // the media seen through another name
    Install(L"d:\\vemr");
    for (const auto& copy : sys.copies) EXPECT_NE(copy.first, L"vemr.exe");
    EXPECT_EQ(sys.Bytes(L"D:\\VEMR\\vemr.exe"), "new vemr.exe");
    EXPECT_EQ(sys.Bytes(L"D:\\VEMR\\setup.exe"), "new setup.exe");
}

TEST_F(FakeSetup, RunningClientStaysAndTheRestIsInstalled)
{
    sys.PutRunningFile(L"D:\\VEMR\\vemr.exe", "running");
    Install(L"d:\\vemr");
    EXPECT_EQ(sys.Bytes(L"D:\\VEMR\\vemr.exe"), "running");
    EXPECT_EQ(sys.Bytes(L"D:\\VEMR\\horasync.exe"), "new horasync.exe");
    EXPECT_EQ(sys.Bytes(L"D:\\VEMR\\setup.exe"), "new setup.exe");
    EXPECT_EQ(sys.OnlyMessage().text, L"安装完成！");
}

TEST_F(FakeSetup, FailingStepsAreSkippedSilently)
{
    os::DeleteFileAt(L"C:\\Setup\\MSWINSCK.OCX");   // missing beside setup
    sys.failingShortcuts.insert(kPrograms + L"收银通\\自动修复.lnk");
    sys.registry.DenyCreatesUnder("HKLM\\SOFTWARE");
    Install(L"d:\\vemr");
    EXPECT_FALSE(sys.Has(L"D:\\VEMR\\MSWINSCK.OCX"));
    EXPECT_TRUE(sys.Has(L"D:\\VEMR\\vemr.exe"));
    EXPECT_EQ(sys.shortcuts.size(), 3u);
    EXPECT_FALSE(sys.registry.HasKey(kEntry));
    EXPECT_EQ(sys.OnlyMessage(), (ShownMessage{L"安装完成！", L"恭喜！", 48}));
}

TEST_F(FakeSetup, InstallFolderThatCannotBeMadeEndsBeforeAnythingIsWritten)
{
    sys.PutFile(L"D:\\VEMR", "a file where the folder should be");
    Install(L"d:\\vemr");
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_EQ(Record(), L"(none)");
    EXPECT_FALSE(sys.registry.HasKey(kEntry));
    EXPECT_TRUE(sys.copies.empty());
    EXPECT_TRUE(sys.shortcuts.empty());
}

TEST_F(FakeSetup, EmptyLinkNameGivesShortcutsNamedDotLnk)
{
    sys.PutFile(L"C:\\Setup\\config.txt", Config(L"收银通\r\nhost\r\n\r\n8"));
    Install(L"d:\\vemr");
    EXPECT_TRUE(sys.shortcuts.count(kPrograms + L"收银通\\.lnk"));
    EXPECT_TRUE(sys.shortcuts.count(kDesktop + L".lnk"));
}

TEST_F(FakeSetup, ExistingGroupFolderIsKept)
{
    sys.PutFile(kPrograms + L"收银通\\other.txt", "user file");
    Install(L"d:\\vemr");
    EXPECT_EQ(sys.Bytes(kPrograms + L"收银通\\other.txt"), "user file");
    EXPECT_EQ(sys.shortcuts.size(), 4u);
}
