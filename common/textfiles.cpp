#include "common/textfiles.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/platform.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

namespace {

constexpr int32_t kMaxReadBytes = 99999999;
constexpr int kOpenAttempts = 1000;

bool EndsWithBackslash(std::wstring_view path) { return !path.empty() && path.back() == L'\\'; }

} // namespace

std::wstring GetStrFromFile(std::wstring_view TheFile, bool NoEndCrLf, int16_t& ReadState)
{
    ReadState = kReadDone;
    int64_t size = 0;
    try {
        size = TavinGetFileSize(TheFile);
    } catch (const PlatformError&) {
        size = 0;  // an unreadable length reads as nothing to read
    }
    if (size <= 0) return {};
    if (size > kMaxReadBytes) {
        ReadState = kReadTooLarge;
        return {};
    }

    // Another program may hold the file exclusively for a moment: try again, letting the window's
    // events run in between, but never pause.
    std::unique_ptr<os::ReadableFile> file;
    for (int attempt = 0; attempt < kOpenAttempts && !file; ++attempt) {
        try {
            file = os::OpenForReading(TheFile);
        } catch (const PlatformError&) {
            os::PumpEvents();
        }
    }
    if (!file) {
        ReadState = kReadOpenFailed;
        return {};
    }

    std::string bytes;
    try {
        bytes = file->Read(static_cast<size_t>(size));
    } catch (const PlatformError&) {
        bytes.clear();
    }
    std::wstring text = FromAnsi(bytes);
    if (NoEndCrLf && text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0)
        text.erase(text.size() - 2);
    return text;
}

int32_t TavinGetFileSize(std::wstring_view TavinFileName)
{
    if (!LzFilExist(TavinFileName)) return -1;
    // A file past 2 GiB answers the largest size rather than a wrapped, possibly negative one.
    return static_cast<int32_t>(std::min<int64_t>(os::FileLength(TavinFileName), INT32_MAX));
}

bool LzFilExist(std::wstring_view LzFile)
{
    if (LzFile.empty()) return false;
    try {
        return os::FindFirstMatch(LzFile, os::kAnyFileMask);
    } catch (const PlatformError&) {
        return false;
    }
}

std::wstring AbsoluteFolderPath(std::wstring_view TempPath, std::wstring_view programFolder)
{
    std::wstring path(TempPath);
    const bool network = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
    if (!network) {
        if (!path.empty() && path[0] == L'\\') path.insert(0, programFolder.substr(0, 2));
        if (path.find(L':') == std::wstring::npos) {
            std::wstring base(programFolder);
            if (!EndsWithBackslash(base)) base += L'\\';
            path.insert(0, base);
        }
    }
    if (!EndsWithBackslash(path)) path += L'\\';
    return path;
}

std::wstring LzJzPath(std::wstring_view TempPath)
{
    return AbsoluteFolderPath(TempPath, os::ProgramFolder());
}

namespace {

std::wstring MakeCurrent(std::wstring folder)
{
    // A folder on a network path has no drive to change to; its directory is set all the same.
    if (folder.size() >= 2 && folder[1] == L':') os::ChangeDrive(folder[0]);
    os::ChangeDirectory(folder);
    return folder;
}

} // namespace

std::wstring WorkAtCurPath()
{
    return MakeCurrent(LzJzPath(os::ProgramFolder()));
}

namespace inst {

std::wstring lzjzpath(std::wstring& lzpath)
{
    std::wstring path = lzpath;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; });
    if (!EndsWithBackslash(path)) path += L'\\';
    lzpath = path;
    return path;
}

bool lzfilexist(std::wstring_view lzfile)
{
    return os::FindFirstMatch(lzfile, os::kAnyFileMask);
}

std::wstring WorkAtCurPath()
{
    std::wstring folder = os::ProgramFolder();
    return MakeCurrent(lzjzpath(folder));
}

} // namespace inst
