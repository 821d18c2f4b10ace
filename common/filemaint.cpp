#include "common/filemaint.h"

#include "common/textfiles.h"
#include "os/errors.h"
#include "os/platform.h"

namespace {

// The folder test shared by both programs: a match of the name that carries the folder bit.
bool FolderExists(std::wstring_view path)
{
    try {
        // A search cannot name a path with a closing backslash (a drive root among them): such a path
        // is answered by its attributes alone.
        if (path.back() != L'\\' && !os::FindFirstMatch(path, os::kAnyEntryMask)) return false;
        return (os::GetAttributes(path) & os::kAttrFolder) != 0;
    } catch (const PlatformError&) {
        return false;
    }
}

} // namespace

bool AttributeMemo::SeenBefore(std::wstring_view file, int32_t attributes)
{
    std::wstring entry = L"/" + std::to_wstring(attributes) + L">";
    entry.append(file);
    entry += L"/";
    if (text_.find(entry) != std::wstring::npos) return true;
    text_.insert(0, entry);
    if (text_.size() > kMaxChars) text_.resize(kMaxChars);
    return false;
}

bool LzDirExist(std::wstring_view TempDir)
{
    return !TempDir.empty() && FolderExists(TempDir);
}

void SetMyAttr(AttributeMemo& memo, std::wstring_view TheFile, int32_t TheAttr, bool DoNotReplay)
{
    if (DoNotReplay && memo.SeenBefore(TheFile, TheAttr)) return;
    if (LzFilExist(TheFile)) os::SetAttributes(TheFile, static_cast<uint32_t>(TheAttr));
}

bool KillAFile(AttributeMemo& memo, std::wstring_view TheFile)
{
    if (!LzFilExist(TheFile)) return true;
    bool failed = false;
    try {
        SetMyAttr(memo, TheFile, 0, true);
    } catch (const PlatformError&) {
        failed = true;
    }
    try {
        os::DeleteFileAt(TheFile);
    } catch (const PlatformError&) {
        failed = true;
    }
    return !failed && !LzFilExist(TheFile);
}

std::wstring getsysdir()
{
    return LzJzPath(os::SystemDirectory());
}

namespace inst {

bool lzdirexist(std::wstring_view lzdir)
{
    return LzDirExist(lzdir);
}

void chkadir(std::wstring_view thedir)
{
    if (lzdirexist(thedir)) return;
    try {
        os::CreateFolder(thedir);
    } catch (const PlatformError&) {
        // a missing parent or no right to write: the caller finds out when it uses the folder
    }
}

void killafile(std::wstring_view TheFile)
{
    try {
        if (!lzfilexist(TheFile)) return;
        myattrset(TheFile, 0);
        os::DeleteFileAt(TheFile);
    } catch (const PlatformError&) {
    }
}

void myattrset(std::wstring_view fnamef, int32_t fattf)
{
    try {
        if (lzfilexist(fnamef)) os::SetAttributes(fnamef, static_cast<uint32_t>(fattf));
    } catch (const PlatformError&) {
    }
}

std::wstring getsysdir()
{
    std::wstring folder = os::SystemDirectory();
    return lzjzpath(folder);
}

} // namespace inst
