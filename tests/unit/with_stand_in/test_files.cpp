// The file and folder routines' logic against the in-memory platform: retries, read states,
// attribute memo, error policies that a real file system can hardly produce on demand.
#include "os/errors.h"
#include "common/filemaint.h"
#include "common/textfiles.h"
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_platform.h"

#include <gtest/gtest.h>

namespace {

class FakeFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeos::Reset(L"C:\\prog");
        fakeos::PutFolder(L"C:\\prog");
    }
};

std::wstring Read(const std::wstring& path, bool noEndCrLf, int16_t& state)
{
    return GetStrFromFile(path, noEndCrLf, state);
}

} // namespace

TEST_F(FakeFiles, MissingAndEmptyFilesReadAsNothing)
{
    fakeos::PutFile(L"C:\\prog\\empty.txt", "");
    int16_t state = -1;
    EXPECT_EQ(Read(L"C:\\prog\\missing.txt", false, state), L"");
    EXPECT_EQ(state, kReadDone);
    EXPECT_EQ(Read(L"C:\\prog\\empty.txt", false, state), L"");
    EXPECT_EQ(state, kReadDone);
    EXPECT_EQ(TavinGetFileSize(L"C:\\prog\\missing.txt"), -1);
    EXPECT_EQ(TavinGetFileSize(L"C:\\prog\\empty.txt"), 0);
}

TEST_F(FakeFiles, OneClosingCrLfIsDroppedOnRequest)
{
    struct Case {
        std::string bytes;
        bool noEndCrLf;
        std::wstring expected;
    } cases[] = {
        {"a\r\n\r\n", true, L"a\r\n"},
        {"\r\n", true, L""},
        {"a\r\n", false, L"a\r\n"},
        {"a\n", true, L"a\n"},
        {"\xD6\xD0\xCE\xC4\r\n", true, L"中文"},
    };
    for (const auto& c : cases) {
        fakeos::PutFile(L"C:\\prog\\t.txt", c.bytes);
        int16_t state = -1;
        EXPECT_EQ(Read(L"C:\\prog\\t.txt", c.noEndCrLf, state), c.expected);
        EXPECT_EQ(state, kReadDone);
    }
}

TEST_F(FakeFiles, HeldFileIsReadWhenReleasedBeforeTheLastAttempt)
{
    fakeos::PutFile(L"C:\\prog\\held.txt", "abc");
    fakeos::HoldExclusively(L"C:\\prog\\held.txt", 999);
    int16_t state = -1;
    EXPECT_EQ(Read(L"C:\\prog\\held.txt", false, state), L"abc");
    EXPECT_EQ(state, kReadDone);
    EXPECT_EQ(fakeos::PumpCount(), 999);   // the window's events ran after every failed attempt
}

TEST_F(FakeFiles, FileHeldForAllAttemptsGivesOpenFailed)
{
    fakeos::PutFile(L"C:\\prog\\held.txt", "abc");
    fakeos::HoldExclusively(L"C:\\prog\\held.txt", 1000);
    int16_t state = -1;
    EXPECT_EQ(Read(L"C:\\prog\\held.txt", false, state), L"");
    EXPECT_EQ(state, kReadOpenFailed);
}

TEST_F(FakeFiles, UnreadableLengthReadsAsNothingButSizeLetsItThrough)
{
    fakeos::PutFile(L"C:\\prog\\locked.txt", "abc");
    fakeos::FailLengthOf(L"C:\\prog\\locked.txt");
    int16_t state = -1;
    EXPECT_EQ(Read(L"C:\\prog\\locked.txt", false, state), L"");
    EXPECT_EQ(state, kReadDone);
    EXPECT_THROW(TavinGetFileSize(L"C:\\prog\\locked.txt"), PlatformError);
}

TEST_F(FakeFiles, ExistenceTestsTellFilesFromFolders)
{
    fakeos::PutFile(L"C:\\prog\\a.txt", "x");
    fakeos::FailSearchesUnder(L"A:\\");
    EXPECT_TRUE(LzFilExist(L"C:\\prog\\a.txt"));
    EXPECT_TRUE(LzFilExist(L"c:\\PROG\\*.txt"));   // a pattern answers for any match
    EXPECT_FALSE(LzFilExist(L"C:\\prog"));
    EXPECT_FALSE(LzFilExist(L""));
    EXPECT_FALSE(LzFilExist(L"A:\\a.txt"));
    EXPECT_THROW(inst::lzfilexist(L"A:\\a.txt"), PlatformError);
    EXPECT_TRUE(LzDirExist(L"C:\\prog"));
    EXPECT_TRUE(LzDirExist(L"C:\\prog\\"));
    EXPECT_FALSE(LzDirExist(L"C:\\prog\\a.txt"));
    EXPECT_FALSE(LzDirExist(L""));
    EXPECT_FALSE(LzDirExist(L"A:\\x"));
}

TEST_F(FakeFiles, WorkAtCurPathChangesDriveAndDirectory)
{
    fakeos::Reset(L"D:\\shop\\vemr");
    EXPECT_EQ(WorkAtCurPath(), L"D:\\shop\\vemr\\");
    EXPECT_EQ(fakeos::CurrentDrive(), L'D');
    EXPECT_EQ(fakeos::CurrentDirectory(), L"D:\\shop\\vemr\\");
    fakeos::Reset(L"d:\\Setup");
    EXPECT_EQ(inst::WorkAtCurPath(), L"D:\\SETUP\\");
    fakeos::Reset(L"\\\\srv\\share\\vemr");
    EXPECT_EQ(WorkAtCurPath(), L"\\\\srv\\share\\vemr\\");   // no drive to change to
    EXPECT_EQ(fakeos::CurrentDirectory(), L"\\\\srv\\share\\vemr\\");
}

TEST_F(FakeFiles, AttributeMemoSkipsRepeatsOnly)
{
    fakeos::PutFile(L"C:\\prog\\a.txt", "x", os::kAttrReadOnly);
    AttributeMemo memo;
    SetMyAttr(memo, L"C:\\prog\\a.txt", 0, true);
    EXPECT_EQ(fakeos::Attributes(L"C:\\prog\\a.txt"), 0u);
    EXPECT_EQ(memo.Text(), L"/0>C:\\prog\\a.txt/");
    fakeos::PutFile(L"C:\\prog\\a.txt", "x", os::kAttrReadOnly);
    SetMyAttr(memo, L"C:\\prog\\a.txt", 0, true);           // already made in this run
    EXPECT_EQ(fakeos::Attributes(L"C:\\prog\\a.txt"), os::kAttrReadOnly);
    SetMyAttr(memo, L"C:\\prog\\a.txt", 2, true);           // another value is a new setting
    EXPECT_EQ(fakeos::Attributes(L"C:\\prog\\a.txt"), 2u);
    SetMyAttr(memo, L"C:\\prog\\a.txt", 0, false);          // without the memo it always runs
    EXPECT_EQ(fakeos::Attributes(L"C:\\prog\\a.txt"), 0u);
    EXPECT_EQ(memo.Text(), L"/2>C:\\prog\\a.txt//0>C:\\prog\\a.txt/");
    SetMyAttr(memo, L"C:\\prog\\missing.txt", 0, true);     // a missing file is no error
}

TEST_F(FakeFiles, AttributeMemoKeepsTheNewest9999Characters)
{
    AttributeMemo memo;
    for (int i = 0; i < 2000; ++i) memo.SeenBefore(L"C:\\f" + std::to_wstring(i), 0);
    EXPECT_EQ(memo.Text().size(), AttributeMemo::kMaxChars);
    EXPECT_EQ(memo.Text().rfind(L"/0>C:\\f1999/", 0), 0u);
    EXPECT_FALSE(memo.SeenBefore(L"C:\\f0", 0));   // fell off the end, so it is made again
    EXPECT_TRUE(memo.SeenBefore(L"C:\\f1998", 0));
}

TEST_F(FakeFiles, KillAFileAnswersWhetherTheFileIsGone)
{
    AttributeMemo memo;
    EXPECT_TRUE(KillAFile(memo, L"C:\\prog\\missing.txt"));
    fakeos::PutFile(L"C:\\prog\\ro.txt", "x", os::kAttrReadOnly | os::kAttrHidden);
    EXPECT_TRUE(KillAFile(memo, L"C:\\prog\\ro.txt"));
    EXPECT_FALSE(fakeos::Has(L"C:\\prog\\ro.txt"));
    fakeos::PutFile(L"C:\\prog\\denied.txt", "x", os::kAttrReadOnly);
    fakeos::DenyAttributeChanges(L"C:\\prog\\denied.txt");
    EXPECT_FALSE(KillAFile(memo, L"C:\\prog\\denied.txt"));
    EXPECT_TRUE(fakeos::Has(L"C:\\prog\\denied.txt"));
}

TEST_F(FakeFiles, KillAFileAfterAnEarlierClearingDoesNotClearAgain)
{
    // The memo says the attributes were cleared; a file made read-only since then stays.
    AttributeMemo memo;
    fakeos::PutFile(L"C:\\prog\\t.txt", "x");
    SetMyAttr(memo, L"C:\\prog\\t.txt", 0, true);
    fakeos::PutFile(L"C:\\prog\\t.txt", "x", os::kAttrReadOnly);
    EXPECT_FALSE(KillAFile(memo, L"C:\\prog\\t.txt"));
    EXPECT_TRUE(fakeos::Has(L"C:\\prog\\t.txt"));
}

TEST_F(FakeFiles, InstallerVariantsSwallowFailures)
{
    fakeos::PutFolder(L"C:\\a");
    inst::chkadir(L"C:\\a");                  // exists: nothing happens
    inst::chkadir(L"C:\\x\\y");               // parent missing: nothing created, nothing reported
    EXPECT_FALSE(fakeos::Has(L"C:\\x\\y"));
    inst::chkadir(L"C:\\a\\b");
    EXPECT_TRUE(LzDirExist(L"C:\\a\\b"));
    fakeos::PutFile(L"C:\\a\\ro.txt", "x", os::kAttrReadOnly);
    inst::killafile(L"C:\\a\\ro.txt");
    EXPECT_FALSE(fakeos::Has(L"C:\\a\\ro.txt"));
    fakeos::PutFile(L"C:\\a\\denied.txt", "x", os::kAttrReadOnly);
    fakeos::DenyAttributeChanges(L"C:\\a\\denied.txt");
    inst::killafile(L"C:\\a\\denied.txt");
    EXPECT_TRUE(fakeos::Has(L"C:\\a\\denied.txt"));
    fakeos::FailSearchesUnder(L"A:\\");
    inst::killafile(L"A:\\x.txt");
    inst::myattrset(L"A:\\x.txt", 1);
}

TEST_F(FakeFiles, SystemFolderGetsItsClosingBackslash)
{
    fakeos::SetSystemDirectory(L"C:\\windows\\system32");
    EXPECT_EQ(getsysdir(), L"C:\\windows\\system32\\");
    EXPECT_EQ(inst::getsysdir(), L"C:\\WINDOWS\\SYSTEM32\\");
    fakeos::SetSystemDirectory(L"");
    EXPECT_EQ(getsysdir(), L"C:\\prog\\");   // nothing from the platform: the program folder
}
