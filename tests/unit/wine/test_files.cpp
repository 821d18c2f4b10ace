// The file, folder and launch routines against the real Windows file system.
#include "common/filemaint.h"
#include "common/launch.h"
#include "common/textfiles.h"
#include "tests/unit/wine/wine_support.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A file of `size` bytes without writing them: the length is what the routines look at.
void MakeFileOfSize(const std::wstring& path, LONGLONG size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = size;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

// A hidden window whose first message lets the holding helper go, so the file is released while
// GetStrFromFile is between two open attempts.
struct ReleaseOnFirstEvent {
    static HANDLE release;
    static HANDLE helper;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l)
    {
        if (message == WM_APP) {
            SetEvent(release);
            WaitForSingleObject(helper, 10000);
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    }
};
HANDLE ReleaseOnFirstEvent::release = nullptr;
HANDLE ReleaseOnFirstEvent::helper = nullptr;

} // namespace

TEST(RealFiles, ReadStatesOnTheRealFileSystem)
{
    TempFolder dir;
    int16_t state = -1;
    EXPECT_EQ(GetStrFromFile(dir / L"missing.txt", false, state), L"");
    EXPECT_EQ(state, kReadDone);
    WriteBytes(dir / L"empty.txt", "");
    EXPECT_EQ(GetStrFromFile(dir / L"empty.txt", false, state), L"");
    EXPECT_EQ(state, kReadDone);
    EXPECT_EQ(TavinGetFileSize(dir / L"empty.txt"), 0);
    EXPECT_EQ(TavinGetFileSize(dir / L"missing.txt"), -1);

    WriteBytes(dir / L"gbk.txt", "\xB1\xEA\xCC\xE2\r\nhost\r\n\r\n");
    EXPECT_EQ(GetStrFromFile(dir / L"gbk.txt", true, state), L"标题\r\nhost\r\n");
    EXPECT_EQ(GetStrFromFile(dir / L"gbk.txt", false, state), L"标题\r\nhost\r\n\r\n");
    WriteBytes(dir / L"crlf.txt", "\r\n");
    EXPECT_EQ(GetStrFromFile(dir / L"crlf.txt", true, state), L"");

    MakeFileOfSize(dir / L"big.bin", 100000000);
    EXPECT_EQ(TavinGetFileSize(dir / L"big.bin"), 100000000);
    EXPECT_EQ(GetStrFromFile(dir / L"big.bin", false, state), L"");
    EXPECT_EQ(state, kReadTooLarge);
}

TEST(RealFiles, FileHeldByAnotherProcessIsReadOnceReleased)
{
    TempFolder dir;
    const std::wstring path = dir / L"held.txt";
    WriteBytes(path, "held text");
    const std::wstring ready = L"ut_ready_" + std::to_wstring(GetCurrentProcessId());
    const std::wstring release = L"ut_release_" + std::to_wstring(GetCurrentProcessId());
    HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    ReleaseOnFirstEvent::release = CreateEventW(nullptr, TRUE, FALSE, release.c_str());
    ReleaseOnFirstEvent::helper = StartHelper(L"hold \"" + path + L"\" " + ready + L" " + release);
    ASSERT_EQ(WaitForSingleObject(readyEvent, 10000), WAIT_OBJECT_0);

    // Held for every attempt: nothing is read.
    int16_t state = -1;
    EXPECT_EQ(GetStrFromFile(path, false, state), L"");
    EXPECT_EQ(state, kReadOpenFailed);

    // Released after the first failed attempt: read normally.
    WNDCLASSW wc{};
    wc.lpfnWndProc = ReleaseOnFirstEvent::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ReleaseOnFirstEvent";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(GetStrFromFile(path, false, state), L"held text");
    EXPECT_EQ(state, kReadDone);
    DestroyWindow(window);
    CloseHandle(ReleaseOnFirstEvent::helper);
    CloseHandle(ReleaseOnFirstEvent::release);
    CloseHandle(readyEvent);
}

TEST(RealFiles, ExistenceOfFilesAndFolders)
{
    TempFolder dir;
    WriteBytes(dir / L"a.txt", "x");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    EXPECT_TRUE(LzFilExist(dir / L"a.txt"));
    EXPECT_TRUE(LzFilExist(dir / L"*.txt"));
    EXPECT_FALSE(LzFilExist(dir / L"sub"));
    EXPECT_FALSE(LzFilExist(L""));
    EXPECT_FALSE(LzFilExist(L"Q:\\nothing\\a.txt"));    // a drive that is not there
    EXPECT_FALSE(LzFilExist(dir / L"a|b.txt"));
    EXPECT_TRUE(LzDirExist(dir / L"sub"));
    EXPECT_TRUE(LzDirExist(dir / L"sub\\"));
    EXPECT_TRUE(LzDirExist(L"C:\\"));
    EXPECT_FALSE(LzDirExist(dir / L"a.txt"));
    EXPECT_FALSE(LzDirExist(L""));
}

TEST(RealFiles, ProgramFolderAndWorkingDirectory)
{
    const std::wstring folder = ExeFolder();
    EXPECT_EQ(LzJzPath(L""), folder);
    EXPECT_EQ(LzJzPath(L"data"), folder + L"data\\");
    EXPECT_EQ(LzJzPath(L"\\data"), folder.substr(0, 2) + L"\\data\\");
    EXPECT_EQ(WorkAtCurPath(), folder);
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(std::wstring(current) + L"\\", folder);
    std::wstring upper = folder;
    EXPECT_EQ(inst::WorkAtCurPath(), inst::lzjzpath(upper));
}

TEST(RealFiles, DeletingReadOnlyAndHiddenFiles)
{
    TempFolder dir;
    AttributeMemo memo;
    EXPECT_TRUE(KillAFile(memo, dir / L"missing.txt"));
    WriteBytes(dir / L"ro.txt", "x");
    SetFileAttributesW((dir / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(KillAFile(memo, dir / L"ro.txt"));
    EXPECT_FALSE(FileExists(dir / L"ro.txt"));

    WriteBytes(dir / L"inst.txt", "x");
    SetFileAttributesW((dir / L"inst.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    inst::killafile(dir / L"inst.txt");
    EXPECT_FALSE(FileExists(dir / L"inst.txt"));
}

TEST(RealFiles, AttributeSettingsAreNotReplayed)
{
    TempFolder dir;
    AttributeMemo memo;
    const std::wstring path = dir / L"a.txt";
    WriteBytes(path, "x");
    SetMyAttr(memo, path, FILE_ATTRIBUTE_READONLY, true);
    EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetMyAttr(memo, path, FILE_ATTRIBUTE_READONLY, true);   // made once already: not again
    EXPECT_FALSE(Attributes(path) & FILE_ATTRIBUTE_READONLY);
    SetMyAttr(memo, path, FILE_ATTRIBUTE_HIDDEN, true);
    EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
    inst::myattrset(path, 0);
    EXPECT_FALSE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(RealFiles, FolderCreationMakesOneLevelOnly)
{
    TempFolder dir;
    inst::chkadir(dir / L"a\\b");
    EXPECT_FALSE(FileExists(dir / L"a"));
    inst::chkadir(dir / L"a");
    inst::chkadir(dir / L"a");
    inst::chkadir(dir / L"a\\b");
    EXPECT_TRUE(LzDirExist(dir / L"a\\b"));
}

TEST(RealFiles, SystemFolder)
{
    wchar_t expected[MAX_PATH];
    const UINT n = GetSystemDirectoryW(expected, MAX_PATH);
    const std::wstring folder = getsysdir();
    EXPECT_EQ(folder, std::wstring(expected, n) + L"\\");
    EXPECT_TRUE(LzDirExist(folder));
    std::wstring upper = folder;
    EXPECT_EQ(inst::getsysdir(), inst::lzjzpath(upper));
}

TEST(RealFiles, ShellStartsProgramsAndReportsMissingOnes)
{
    TempFolder dir;
    const std::wstring marker = dir / L"started.txt";
    const int32_t started = TavinShell(ExeFolder() + L"test_helper.exe", L"touch \"" + marker + L"\"", dir.Path(), 1);
    EXPECT_GT(started, 32);
    for (int i = 0; i < 100 && !FileExists(marker); ++i) Sleep(50);
    EXPECT_TRUE(FileExists(marker));
    EXPECT_LE(TavinShell(dir / L"no_such_program.exe", L"", dir.Path(), 1), 32);
    EXPECT_GT(TavinShell(ExeFolder() + L"test_helper.exe", L"", dir.Path(), 1), 32);   // no command line
}
