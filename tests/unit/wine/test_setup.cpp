// The installer's Windows platform and the routines that lean on it most, against the real registry,
// file system and shell (under Wine here).
#include "installer/protected_folders.h"
#include "installer/setup_form.h"
#include "installer/setup_window_win32.h"
#include "tests/unit/wine/wine_support.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "common/filemaint.h"
#include "common/textfiles.h"
#include "os/platform.h"
#include "os/processes.h"
#include "os/settings.h"
#include "os/shell.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

const wchar_t kTestKey[] = L"Software\\SetupUnitTest";

// A registry value as stored: its type and its data read back as wide text (zeros kept).
struct StoredValue {
    DWORD type = 0;
    std::wstring text;
    bool found = false;
};

StoredValue Stored(HKEY root, const std::wstring& key, const std::wstring& name)
{
    StoredValue value;
    wchar_t data[1024];
    DWORD size = sizeof data;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type, data, &size) !=
        ERROR_SUCCESS)
        return value;
    value.found = true;
    value.text.assign(data, size / sizeof(wchar_t));
    while (!value.text.empty() && value.text.back() == L'\0') value.text.pop_back();   // Windows adds one
    return value;
}

class WinSetup : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey); }

    Win32SetupWindow sys{nullptr, nullptr, nullptr};
    ::Setup form{sys};
};

} // namespace

TEST(WinSettings, DeleteSectionRemovesTheSectionWithItsSubkeysAndIgnoresAMissingOne)
{
    const std::wstring app = L"Software\\VB and VBA Program Settings\\SettingsUnitTest";
    os::SaveSetting(L"SettingsUnitTest", L"vemrclient", L"path", L"C:\\VEMR\\");
    HKEY below = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (app + L"\\vemrclient\\below").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &below, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(below);
    os::DeleteSection(L"SettingsUnitTest", L"vemrclient");
    HKEY section = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (app + L"\\vemrclient").c_str(), 0, KEY_READ, &section),
              ERROR_FILE_NOT_FOUND);
    EXPECT_NO_THROW(os::DeleteSection(L"SettingsUnitTest", L"vemrclient"));
    SHDeleteKeyW(HKEY_CURRENT_USER, app.c_str());
}

TEST_F(WinSetup, RegistryHelpersWriteAnsiTextWithItsExactByteCount)
{
    const std::wstring key = std::wstring(kTestKey) + L"\\收银通";
    EXPECT_EQ(form.CreatAndSetKeyValue(os::kHkeyCurrentUser, key, L"DisplayName", L"Vemr客户端"), 0);
    EXPECT_EQ(form.CreatAndSetKeyValue(os::kHkeyCurrentUser, key, L"InstallLocation", L"C:\\MY SHOP\\"), 0);
    auto name = Stored(HKEY_CURRENT_USER, key, L"DisplayName");
    EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name.text, L"Vemr客户端");   // all ten GBK bytes arrived, and nothing after them
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, L"InstallLocation").text, L"C:\\MY SHOP\\");
    char ansi[64] = {};
    DWORD size = sizeof ansi;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, ToAnsi(key).c_str(), "DisplayName", RRF_RT_REG_SZ, nullptr, ansi, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(ansi), "Vemr\xBF\xCD\xBB\xA7\xB6\xCB");
}

TEST_F(WinSetup, SetKeyValueWritesZeroAndOneByteValuesMakingTheKey)
{
    const std::wstring key = std::wstring(kTestKey) + L"\\Missing\\PageSetup";
    EXPECT_EQ(form.SetKeyValue(os::kHkeyCurrentUser, key, L"footer", L""), 0);   // second pass, after making the key
    EXPECT_EQ(form.SetKeyValue(os::kHkeyCurrentUser, key, L"margin_top", L"0"), 0);
    DWORD type = 0, size = 99;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"footer", RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 0u);   // no bytes at all
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, L"margin_top").text, L"0");
}

TEST_F(WinSetup, ListRootSubKeySEnumeratesARealKey)
{
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, kTestKey, &parent), ERROR_SUCCESS);
    for (const wchar_t* name : {L"One", L"Two", L"收银"}) {
        HKEY child = nullptr;
        RegCreateKeyW(parent, name, &child);
        RegCloseKey(child);
    }
    auto names = form.ListRootSubKeyS(reinterpret_cast<os::RegKey>(parent), 999);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"One", L"Two", L"收银"}));
    EXPECT_EQ(form.ListRootSubKeyS(reinterpret_cast<os::RegKey>(parent), 1).size(), 2u);
    RegCloseKey(parent);
    EXPECT_FALSE(form.ListRootSubKeyS(os::kHkeyUsers, 999).empty());
}

TEST_F(WinSetup, RepairWritesTheSixValuesForTheCurrentUser)
{
    form.ClsIeYmYj();
    const std::wstring key = L"Software\\Microsoft\\Internet Explorer\\PageSetup";
    for (const wchar_t* name : {L"footer", L"header"}) EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, name).text, L"");
    for (const wchar_t* name : {L"margin_bottom", L"margin_left", L"margin_right", L"margin_top"})
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, key, name).text, L"0") << name;
}

TEST_F(WinSetup, UninstallEntryIsWrittenAndDeleted)
{
    const std::wstring title = L"SetupUnitTest收银";
    const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + title;
    form.adduninstallinfo(title, L"C:\\MY SHOP\\", L"\"C:\\MY SHOP\\setup.exe\" uninstall", L"C:\\MY SHOP\\vemr.exe");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, key, L"DisplayName").text, title);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, key, L"UninstallString").text, L"\"C:\\MY SHOP\\setup.exe\" uninstall");
    form.adduninstallinfo(title, L"", L"", L"");
    EXPECT_FALSE(Stored(HKEY_LOCAL_MACHINE, key, L"DisplayName").found);
}

TEST_F(WinSetup, LzkillallRemovesARealTreeWithReadOnlyAndHiddenEntries)
{
    TempFolder dir;
    const std::wstring root = dir / L"Install";
    for (const auto& folder : {root, root + L"\\sub", root + L"\\sub\\deeper", root + L"\\空"})
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WriteBytes(root + L"\\a.txt", "a");
    WriteBytes(root + L"\\sub\\b.txt", "b");
    WriteBytes(root + L"\\sub\\deeper\\c.txt", "c");
    SetFileAttributesW((root + L"\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((root + L"\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((root + L"\\sub\\deeper\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((root + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(dir / L"outside.txt", "kept");
    form.lzkillall(root);
    EXPECT_FALSE(FileExists(root));
    EXPECT_TRUE(FileExists(dir / L"outside.txt"));
}

TEST_F(WinSetup, KilldirLeavesAFolderThatIsNotEmpty)
{
    TempFolder dir;
    const std::wstring folder = dir / L"busy";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WriteBytes(folder + L"\\x.txt", "x");
    form.killdir(folder + L"\\");
    EXPECT_TRUE(FileExists(folder));
    DeleteFileW((folder + L"\\x.txt").c_str());
    form.killdir(folder + L"\\");
    EXPECT_FALSE(FileExists(folder));
}

TEST_F(WinSetup, ShortcutsReadBackWithEveryField)
{
    TempFolder dir;
    const std::wstring file = dir / L"自动卸载.lnk";
    WriteBytes(file, "an old shortcut");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    form.creatshortcut(file, L"C:\\VEMR\\setup.exe", L"C:\\VEMR\\", L"从您的电脑中彻底删除Vemr客户端", L"uninstall");

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t target[MAX_PATH] = {}, workdir[MAX_PATH] = {}, description[MAX_PATH] = {}, arguments[MAX_PATH] = {};
    int show = 0;
    HRESULT loaded = E_FAIL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        loaded = persist->Load(file.c_str(), STGM_READ);
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetWorkingDirectory(workdir, MAX_PATH);
        link->GetDescription(description, MAX_PATH);
        link->GetArguments(arguments, MAX_PATH);
        link->GetShowCmd(&show);
    }
    if (persist) persist->Release();
    if (link) link->Release();
    EXPECT_EQ(loaded, S_OK);
    EXPECT_STREQ(target, L"C:\\VEMR\\setup.exe");
    EXPECT_STREQ(workdir, L"C:\\VEMR\\");
    EXPECT_STREQ(description, L"从您的电脑中彻底删除Vemr客户端");
    EXPECT_STREQ(arguments, L"uninstall");
    EXPECT_EQ(show, 1);
    CoUninitialize();
}

TEST_F(WinSetup, FileOperationsOfThePlatform)
{
    TempFolder dir;
    WriteBytes(dir / L"a.txt", "a");
    WriteBytes(dir / L"h.txt", "h");
    SetFileAttributesW((dir / L"h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    auto names = [&](uint32_t mask) {
        std::vector<std::wstring> found;
        for (const auto& entry : os::ListFolder(dir / L"*.*", mask)) found.push_back(entry.name);
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(os::kAnyEntryMask), (std::vector<std::wstring>{L".", L"..", L"a.txt", L"h.txt", L"sub"}));
    EXPECT_EQ(names(0), (std::vector<std::wstring>{L"a.txt"}));
    EXPECT_TRUE(os::ListFolder(dir / L"none*.*", os::kAnyEntryMask).empty());

    // Local time 2020-03-04 05:06:07 as a file time.
    SYSTEMTIME local{2020, 3, 0, 4, 5, 6, 7, 0}, utc{};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME written{};
    SystemTimeToFileTime(&utc, &written);
    HANDLE file = CreateFileW((dir / L"a.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    const int64_t seconds = os::ModifiedSeconds(dir / L"a.txt");
    WriteBytes(dir / L"b.txt", "b");
    EXPECT_GT(os::ModifiedSeconds(dir / L"b.txt") - seconds, 0);
    EXPECT_EQ(seconds % 60, 7);

    os::CopyFileTo(dir / L"a.txt", dir / L"b.txt");   // replaces
    EXPECT_EQ(ReadBytes(dir / L"b.txt"), "a");
    os::RenameFile(dir / L"b.txt", dir / L"b.txt.3012345");
    EXPECT_TRUE(FileExists(dir / L"b.txt.3012345"));
    EXPECT_TRUE(os::SameFile(dir / L"a.txt", dir / L"sub\\..\\A.TXT"));   // one file under two names
    EXPECT_FALSE(os::SameFile(dir / L"a.txt", dir / L"b.txt.3012345"));   // a copy is another file
    EXPECT_FALSE(os::SameFile(dir / L"a.txt", dir / L"missing.txt"));
    EXPECT_THROW(os::CopyFileTo(dir / L"missing.txt", dir / L"c.txt"), PlatformError);
    EXPECT_THROW(os::RemoveFolder(dir.Path()), PlatformError);   // not empty
}

TEST_F(WinSetup, CommandLineWithAQuotedPathStartsTheRightProgram)
{
    TempFolder dir;
    const std::wstring folder = dir / L"with blank";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring helper = folder + L"\\uninstallvemr.exe";
    ASSERT_TRUE(CopyFileW((ExeFolder() + L"test_helper.exe").c_str(), helper.c_str(), FALSE));
    const std::wstring marker = dir / L"ran.txt";
    os::StartProcess(CommandPath(helper) + L" touch \"" + marker + L"\"");
    for (int i = 0; i < 200 && !FileExists(marker); ++i) Sleep(25);
    EXPECT_TRUE(FileExists(marker));
    Sleep(200);   // let the helper end before its folder goes
    EXPECT_THROW(os::StartProcess(dir / L"missing.exe movenow"), PlatformError);
}

TEST_F(WinSetup, FoldersOfThePlatform)
{
    const std::wstring temp = form.getwintempath();
    ASSERT_GE(temp.size(), 4u);
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_EQ(temp, [&] { std::wstring upper = temp; return inst::lzjzpath(upper); }());
    const std::wstring programs = form.mygetwinspfold(os::kCsidlPrograms);
    EXPECT_NE(programs.find(L"PROGRAMS"), std::wstring::npos) << std::string(ToAnsi(programs));
    EXPECT_GE(form.mygetwinspfold(os::kCsidlDesktop).size(), 4u);
    const auto kept = ProtectedFolders();
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_NE(std::find(kept.begin(), kept.end(), windows), kept.end());
    EXPECT_TRUE(UnsafeToRemove(inst::getsysdir(), kept));
    EXPECT_TRUE(UnsafeToRemove(programs, kept));
    EXPECT_FALSE(UnsafeToRemove(L"C:\\VEMRCLIENT\\", kept));
}

TEST_F(WinSetup, AdministratorTestPassesUnderThisPlatform)
{
    // Writing today's date back leaves the clock as it was: under Wine this succeeds without touching it.
    EXPECT_TRUE(form.VistAdmin());
}
