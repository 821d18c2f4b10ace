// Files and folders (os/platform.h) as the programs rely on them: the trace and config files, the
// installer's copies, renames, listings and removals, the existence tests.
#include "os/platform.h"
#include "tests/unit/contract/contract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using contract::ErrorOf;
using contract::Scratch;

namespace {

std::vector<std::wstring> Names(std::wstring_view pattern, uint32_t mask)
{
    std::vector<std::wstring> names;
    for (const auto& entry : os::ListFolder(pattern, mask)) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

using Listing = std::vector<std::wstring>;

} // namespace

TEST(FilesContract, WrittenFileReadsBackWithItsLengthAndTheArchiveBit)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "ab", false);
    os::WriteToFile(dir / L"a.txt", "cd", true);
    EXPECT_EQ(os::FileLength(dir / L"a.txt"), 4);
    EXPECT_EQ(os::OpenForReading(dir / L"a.txt")->Read(100), "abcd");
    EXPECT_EQ(os::GetAttributes(dir / L"a.txt"), os::kAttrArchive);
    os::WriteToFile(dir / L"a.txt", "x", false);
    EXPECT_EQ(os::OpenForReading(dir / L"a.txt")->Read(100), "x");
}

TEST(FilesContract, ReadsContinueWhereTheLastStopped)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "abcde", false);
    const auto file = os::OpenForReading(dir / L"a.txt");
    EXPECT_EQ(file->Read(2), "ab");
    EXPECT_EQ(file->Read(9), "cde");
    EXPECT_EQ(file->Read(9), "");
}

TEST(FilesContract, NamesIgnoreCaseAndAFolderTakesAClosingBackslash)
{
    Scratch dir;
    os::WriteToFile(dir / L"Mixed.txt", "x", false);
    os::CreateFolder(dir / L"Sub");
    EXPECT_EQ(os::FileLength(dir / L"MIXED.TXT"), 1);
    EXPECT_EQ(os::GetAttributes(dir / L"sub\\"), os::kAttrFolder);
}

TEST(FilesContract, MissingNamesFailWith2Or3WhenTheirFolderIsMissingToo)
{
    Scratch dir;
    EXPECT_EQ(ErrorOf([&] { os::GetAttributes(dir / L"missing.txt"); }), 2u);
    EXPECT_EQ(ErrorOf([&] { os::FileLength(dir / L"missing.txt"); }), 2u);
    EXPECT_EQ(ErrorOf([&] { os::OpenForReading(dir / L"missing.txt"); }), 2u);
    EXPECT_EQ(ErrorOf([&] { os::GetAttributes(dir / L"nofolder\\a.txt"); }), 3u);
    EXPECT_EQ(ErrorOf([&] { os::WriteToFile(dir / L"nofolder\\a.txt", "x", false); }), 3u);
}

TEST(FilesContract, CreateFolderRefusesAnExistingNameAndAMissingParent)
{
    Scratch dir;
    os::CreateFolder(dir / L"sub");
    EXPECT_EQ(ErrorOf([&] { os::CreateFolder(dir / L"SUB"); }), 183u);
    EXPECT_EQ(ErrorOf([&] { os::CreateFolder(dir / L"no\\sub"); }), 3u);
}

// Wine keeps the archive bit that Windows clears here, and run as root writes over a read-only file.
// Linux keeps no hidden bit.
TEST(FilesContract, ReadOnlyFilesAndFoldersRefuseDeletionAndOverwriting)
{
    Scratch dir;
    const bool wine = contract::UnderWine();
    os::WriteToFile(dir / L"ro.txt", "x", false);
    os::WriteToFile(dir / L"src.txt", "y", false);
    os::SetAttributes(dir / L"ro.txt", os::kAttrReadOnly | os::kAttrHidden);
    const uint32_t hidden = contract::KeepsHiddenBit() ? os::kAttrHidden : os::kAttrArchive;
    EXPECT_EQ(os::GetAttributes(dir / L"ro.txt"), os::kAttrReadOnly | hidden | (wine ? os::kAttrArchive : 0u));
    EXPECT_EQ(ErrorOf([&] { os::DeleteFileAt(dir / L"ro.txt"); }), 5u);
    EXPECT_EQ(ErrorOf([&] { os::WriteToFile(dir / L"ro.txt", "z", true); }), wine ? 0u : 5u);
    EXPECT_EQ(ErrorOf([&] { os::CopyFileTo(dir / L"src.txt", dir / L"ro.txt"); }), wine ? 0u : 5u);
    os::CreateFolder(dir / L"sub");
    EXPECT_EQ(ErrorOf([&] { os::DeleteFileAt(dir / L"sub"); }), 5u);
    os::SetAttributes(dir / L"ro.txt", 0);
    os::DeleteFileAt(dir / L"ro.txt");
    EXPECT_EQ(ErrorOf([&] { os::GetAttributes(dir / L"ro.txt"); }), 2u);
}

// Wine's copy leaves out the hidden bit; Linux has none to copy.
TEST(FilesContract, CopyReplacesTheTargetAndKeepsAttributesAndTime)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "new", false);
    os::SetAttributes(dir / L"a.txt", os::kAttrHidden | os::kAttrArchive);
    os::WriteToFile(dir / L"b.txt", "old text", false);
    os::CopyFileTo(dir / L"a.txt", dir / L"b.txt");
    EXPECT_EQ(os::OpenForReading(dir / L"b.txt")->Read(100), "new");
    const bool hiddenCopied = contract::KeepsHiddenBit() && !contract::UnderWine();
    EXPECT_EQ(os::GetAttributes(dir / L"b.txt"), (hiddenCopied ? os::kAttrHidden : 0u) | os::kAttrArchive);
    EXPECT_EQ(os::ModifiedSeconds(dir / L"b.txt"), os::ModifiedSeconds(dir / L"a.txt"));
    EXPECT_EQ(ErrorOf([&] { os::CopyFileTo(dir / L"missing.txt", dir / L"c.txt"); }), 2u);
    EXPECT_EQ(ErrorOf([&] { os::CopyFileTo(dir / L"a.txt", dir / L"no\\c.txt"); }), 3u);
}

TEST(FilesContract, RenameMovesTheFileButNeverOntoAnExistingName)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "a", false);
    os::WriteToFile(dir / L"b.txt", "b", false);
    EXPECT_EQ(ErrorOf([&] { os::RenameFile(dir / L"a.txt", dir / L"B.TXT"); }), 183u);
    os::RenameFile(dir / L"a.txt", dir / L"c.txt");
    EXPECT_EQ(os::OpenForReading(dir / L"c.txt")->Read(100), "a");
    EXPECT_EQ(ErrorOf([&] { os::GetAttributes(dir / L"a.txt"); }), 2u);
}

// Every entry, however it was made, in the pattern's folder; hidden, system and folder entries only
// when the mask holds their bit (on Linux a hidden file is one whose name starts with ".").
TEST(FilesContract, ListingFollowsThePatternAndTheMask)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "a", false);
    os::WriteToFile(dir / L"b.log", "b", false);
    const std::wstring hiddenName = contract::KeepsHiddenBit() ? L"h.txt" : L".h.txt";
    os::WriteToFile(dir / hiddenName, "h", false);
    os::SetAttributes(dir / hiddenName, os::kAttrHidden);
    os::CreateFolder(dir / L"sub");
    os::WriteToFile(dir / L"sub\\inner.txt", "i", false);
    Listing all{L".", L"..", L"a.txt", L"b.log", hiddenName, L"sub"};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(Names(dir / L"*.*", os::kAnyEntryMask), all);
    EXPECT_EQ(Names(dir / L"*.txt", 0), (Listing{L"a.txt"}));
    EXPECT_EQ(Names(dir / L"*", os::kAttrFolder), (Listing{L".", L"..", L"a.txt", L"b.log", L"sub"}));
    EXPECT_EQ(Names(dir / L"?.LOG", os::kAnyFileMask), (Listing{L"b.log"}));
    EXPECT_TRUE(Names(dir / L"none*.*", os::kAnyEntryMask).empty());
    EXPECT_EQ(ErrorOf([&] { os::ListFolder(dir / L"no\\*.*", os::kAnyEntryMask); }), 3u);
}

TEST(FilesContract, RemovedFolderIsGoneAndCanBeMadeAgainButAFolderWithEntriesStays)
{
    Scratch dir;
    os::CreateFolder(dir / L"sub");
    os::RemoveFolder(dir / L"sub");
    EXPECT_EQ(ErrorOf([&] { os::GetAttributes(dir / L"sub"); }), 2u);
    EXPECT_FALSE(os::FindFirstMatch(dir / L"sub", os::kAnyEntryMask));
    EXPECT_EQ(ErrorOf([&] { os::CreateFolder(dir / L"sub"); }), 0u);
    os::WriteToFile(dir / L"sub\\a.txt", "a", false);
    EXPECT_EQ(ErrorOf([&] { os::RemoveFolder(dir / L"sub"); }), 145u);
}

TEST(FilesContract, SearchesFindFilesAndFoldersOnlyWhenAsked)
{
    Scratch dir;
    os::WriteToFile(dir / L"a.txt", "a", false);
    os::CreateFolder(dir / L"sub");
    EXPECT_TRUE(os::FindFirstMatch(dir / L"*.TXT", os::kAnyFileMask));
    EXPECT_FALSE(os::FindFirstMatch(dir / L"sub", os::kAnyFileMask));
    EXPECT_TRUE(os::FindFirstMatch(dir / L"sub", os::kAnyEntryMask));
    EXPECT_FALSE(os::FindFirstMatch(dir / L"*.log", os::kAnyEntryMask));
    EXPECT_FALSE(os::FindFirstMatch(dir / L"no\\a.txt", os::kAnyEntryMask));   // a missing folder: no match
}

TEST(FilesContract, RelativeNamesAreTakenInTheCurrentDirectory)
{
    Scratch dir;
    os::ChangeDirectory(dir.Path() + L"\\");
    os::WriteToFile(L"r.txt", "r", false);
    os::CopyFileTo(L"r.txt", L"s.txt");
    EXPECT_EQ(os::FileLength(dir / L"s.txt"), 1);
    EXPECT_EQ(Names(L"*.txt", 0), (Listing{L"r.txt", L"s.txt"}));
}
