// Folder paths and config splitting: pure rules, the same in every build.
#include "common/textfiles.h"
#include "common/texthelpers.h"
#include "os/paths.h"

#include <gtest/gtest.h>

TEST(AbsoluteFolderPath, ResolvesAgainstTheProgramFolder)
{
    struct Case {
        const wchar_t* input;
        const wchar_t* programFolder;
        const wchar_t* expected;
    } cases[] = {
        {L"D:\\data", L"C:\\prog", L"D:\\data\\"},
        {L"\\data", L"C:\\prog", L"C:\\data\\"},
        {L"data", L"C:\\prog", L"C:\\prog\\data\\"},
        {L"", L"C:\\prog", L"C:\\prog\\"},
        {L"\\\\srv\\share", L"C:\\prog", L"\\\\srv\\share\\"},
        {L"C:\\x\\", L"C:\\prog", L"C:\\x\\"},
        {L"data", L"C:\\", L"C:\\data\\"},
        {L"..\\up", L"C:\\prog", L"C:\\prog\\..\\up\\"},   // kept as written, not simplified
        {L"Mixed\\Case", L"c:\\Prog", L"c:\\Prog\\Mixed\\Case\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(AbsoluteFolderPath(c.input, c.programFolder), c.expected) << c.input;
}

TEST(ParentFolder, StopsAtTheDriveRootOrTheNetworkShare)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\A\\B", L"C:\\A"}, {L"C:\\A", L"C:\\"}, {L"C:\\", L""},  {L"\\\\SRV\\SHARE\\X", L"\\\\SRV\\SHARE"},
        {L"\\\\SRV\\SHARE", L""}, {L"\\\\SRV", L""}, {L"X", L""},
    };
    for (const auto& [path, parent] : cases) EXPECT_EQ(ParentFolder(path), parent) << path;
}

TEST(InstallerPath, UpperCasesAddsBackslashAndWritesBack)
{
    std::wstring path = L"c:\\prog";
    EXPECT_EQ(inst::lzjzpath(path), L"C:\\PROG\\");
    EXPECT_EQ(path, L"C:\\PROG\\");
    std::wstring relative = L"data";
    EXPECT_EQ(inst::lzjzpath(relative), L"DATA\\");
    std::wstring chinese = L"d:\\收银\\";
    EXPECT_EQ(inst::lzjzpath(chinese), L"D:\\收银\\");
}

TEST(SplitAtCrLf, CountsPiecesAsConfigReadingDoes)
{
    struct Case {
        const wchar_t* text;
        size_t pieces;
    } cases[] = {
        {L"a\r\nb\r\nc\r\n8", 4},
        {L"a\r\nb\r\nc\r\n8\r\n", 5},     // a line break after line 4 makes a fifth, empty piece
        {L"a\nb\nc\n8", 1},               // bare LF separates nothing
        {L"\r\n\r\n\r\n", 4},             // empty lines are values
        {L"a\r\nb\r\nc", 3},
        {L"", 0},
        {L"\r\r\n\n", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitAtCrLf(c.text).size(), c.pieces) << c.text;
    const auto lines = SplitAtCrLf(L"标题\r\nhost:8080\r\n \r\n8");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"标题");
    EXPECT_EQ(lines[1], L"host:8080");
    EXPECT_EQ(lines[2], L" ");   // nothing is trimmed
    EXPECT_EQ(lines[3], L"8");
}
