// Linux implementation of the shared routines' platform operations (os/platform.h), with the
// programs' Windows-form paths mapped by native_path. Windows' rules the programs rely on are kept:
// names in any case, a read-only file refuses writing and deletion (even to root), a rename never
// replaces. The attribute bits: folder, read-only (no owner write permission), hidden (a name
// starting with "."), archive (every file); system is never set. The error report and the main
// window are the window files' (os/linux/error_report_qt.cpp).
#include "os/platform.h"

#include "os/ansi.h"
#include "os/errors.h"
#include "os/linux/native_path.h"

#include <QCoreApplication>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace os {
namespace {

using native::Fail;
using native::NativePath;

struct stat StatOf(const std::string& path, const char* what)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) Fail(what, errno, path);
    return st;
}

std::string NameOf(const std::string& path)
{
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    const size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

uint32_t AttributesOf(const struct stat& st, const std::string& name)
{
    uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrFolder : kAttrArchive;
    if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
    return attributes;
}

// Windows refuses to write over or delete a read-only file, whoever asks.
void RefuseReadOnly(const std::string& path, const char* what)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR)) Fail(what, EACCES, path);
}

class FdFile {
public:
    explicit FdFile(int fd) : fd_(fd) {}
    ~FdFile()
    {
        if (fd_ >= 0) close(fd_);
    }
    FdFile(const FdFile&) = delete;
    FdFile& operator=(const FdFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", errno, path);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

class LinuxReadableFile : public ReadableFile {
public:
    LinuxReadableFile(int fd, std::string path) : file_(fd), path_(std::move(path)) {}
    std::string Read(size_t count) override
    {
        std::string bytes(count, '\0');
        size_t done = 0;
        while (done < count) {
            const ssize_t n = read(file_.fd(), bytes.data() + done, count - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail("read", errno, path_);
            }
            if (n == 0) break;  // the file shrank since its size was taken
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    }

private:
    FdFile file_;
    std::string path_;
};

// Windows' wildcards over a name in any case (ASCII letters): "*" any run, "?" one character, "*.*"
// everything; no other character is special.
bool MatchesPattern(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*") return true;
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The entries of the pattern's folder that match it, with their attributes; throws when the folder
// cannot be listed.
std::vector<FolderEntry> Matches(std::wstring_view pattern)
{
    const std::string path = NativePath(pattern);
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string namePattern = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir) Fail("opendir", errno == ENOENT ? ENOTDIR : errno, folder);
    std::vector<FolderEntry> entries;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!MatchesPattern(namePattern, name)) continue;
        struct stat st;
        if (stat((folder + name).c_str(), &st) != 0) continue;  // a dangling link is no entry
        std::wstring wide;
        Utf8ToWide(name, wide);
        entries.push_back({wide, AttributesOf(st, name)});
    }
    closedir(dir);
    return entries;
}

std::string ExePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) Fail("readlink", n < 0 ? errno : ENAMETOOLONG, "/proc/self/exe");
    return std::string(buffer, static_cast<size_t>(n));
}

} // namespace

bool FindFirstMatch(std::wstring_view pattern, uint32_t mask)
{
    std::vector<FolderEntry> entries;
    try {
        entries = Matches(pattern);
    } catch (const PlatformError& error) {
        if (error.code() == 2 || error.code() == 3) return false;  // no folder, no match
        throw;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.name == L"." || entry.name == L"..") continue;
        if (!(entry.attributes & kAttrFolder) || (mask & kAttrFolder)) return true;
    }
    return false;
}

uint32_t GetAttributes(std::wstring_view path)
{
    const std::string native = NativePath(path);
    return AttributesOf(StatOf(native, "stat"), NameOf(native));
}

void SetAttributes(std::wstring_view path, uint32_t attributes)
{
    // Only read-only has a counterpart: the write permissions.
    const std::string native = NativePath(path);
    const struct stat st = StatOf(native, "stat");
    const mode_t mode = (attributes & kAttrReadOnly) ? st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                                                     : st.st_mode | S_IWUSR;
    if (chmod(native.c_str(), mode & 07777) != 0) Fail("chmod", errno, native);
}

int64_t FileLength(std::wstring_view path)
{
    const std::string native = NativePath(path);
    return StatOf(native, "stat").st_size;
}

void DeleteFileAt(std::wstring_view path)
{
    const std::string native = NativePath(path);
    const struct stat st = StatOf(native, "stat");
    if (S_ISDIR(st.st_mode)) Fail("unlink", EACCES, native);
    RefuseReadOnly(native, "unlink");
    if (unlink(native.c_str()) != 0) Fail("unlink", errno, native);
}

void CreateFolder(std::wstring_view path)
{
    const std::string native = NativePath(path);
    if (mkdir(native.c_str(), 0755) != 0) Fail("mkdir", errno, native);
}

void CopyFileTo(std::wstring_view from, std::wstring_view to)
{
    const std::string source = NativePath(from), target = NativePath(to);
    const FdFile in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd() < 0) Fail("open", errno, source);
    struct stat st;
    if (fstat(in.fd(), &st) != 0) Fail("fstat", errno, source);
    RefuseReadOnly(target, "open");
    const FdFile out(open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777));
    if (out.fd() < 0) Fail("open", errno, target);
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(in.fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("read", errno, source);
        if (n == 0) break;
        WriteAll(out.fd(), std::string_view(buffer, static_cast<size_t>(n)), target);
    }
    // As Windows copies: the source's permissions (its read-only bit) and modification time.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (fchmod(out.fd(), st.st_mode & 07777) != 0 || futimens(out.fd(), times) != 0) Fail("futimens", errno, target);
}

void WriteToFile(std::wstring_view path, std::string_view bytes, bool append)
{
    const std::string native = NativePath(path);
    RefuseReadOnly(native, "open");
    const FdFile file(open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644));
    if (file.fd() < 0) Fail("open", errno, native);
    WriteAll(file.fd(), bytes, native);
}

std::wstring ProgramFolder()
{
    const std::string exe = ExePath();
    const size_t slash = exe.find_last_of('/');
    return slash == 0 ? L"C:\\" : native::WindowsPath(exe.substr(0, slash));
}

std::wstring TraceFolder(std::wstring_view appId)
{
    // The XDG base directories: an absolute $XDG_STATE_HOME, else ~/.local/state; each folder made
    // when missing, private to the user, as the XDG base directories want them.
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state && *state == '/') {
        folder = state;
    } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
        folder = std::string(home) + "/.local/state";
    } else if (const passwd* user = getpwuid(getuid())) {
        folder = std::string(user->pw_dir) + "/.local/state";
    } else {
        throw PlatformError("no home folder", 3);
    }
    folder += "/" + WideToUtf8(appId);
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        if (mkdir(folder.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) Fail("mkdir", errno, folder);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("mkdir", errno, folder);
    return native::WindowsPath(folder);
}

void ChangeDrive(wchar_t driveLetter)
{
    if (driveLetter != L'c' && driveLetter != L'C') throw PlatformError("no such drive", 15);
}

void ChangeDirectory(std::wstring_view path)
{
    const std::string native = NativePath(path);
    if (chdir(native.c_str()) != 0) Fail("chdir", errno, native);
}

std::unique_ptr<ReadableFile> OpenForReading(std::wstring_view path)
{
    const std::string native = NativePath(path);
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("open", errno, native);
    return std::make_unique<LinuxReadableFile>(fd, native);
}

void RenameFile(std::wstring_view from, std::wstring_view to)
{
    const std::string source = NativePath(from), target = NativePath(to);
    // renameat2's RENAME_NOREPLACE is not on every file system: a hard link never replaces either.
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL) Fail("rename", errno, errno == EEXIST ? target : source);
    if (link(source.c_str(), target.c_str()) != 0) Fail("link", errno, errno == EEXIST ? target : source);
    if (unlink(source.c_str()) != 0) Fail("unlink", errno, source);
}

int64_t ModifiedSeconds(std::wstring_view path)
{
    const std::string native = NativePath(path);
    const time_t seconds = StatOf(native, "stat").st_mtim.tv_sec;
    struct tm local;
    localtime_r(&seconds, &local);
    return static_cast<int64_t>(seconds) + local.tm_gmtoff;
}

std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask)
{
    std::vector<FolderEntry> listed;
    for (FolderEntry& entry : Matches(pattern))
        if ((entry.attributes & (kAttrHidden | kAttrSystem | kAttrFolder) & ~mask) == 0) listed.push_back(std::move(entry));
    return listed;
}

void RemoveFolder(std::wstring_view path)
{
    const std::string native = NativePath(path);
    if (rmdir(native.c_str()) != 0) Fail("rmdir", errno, native);
}

std::wstring TempPathBuffer(size_t chars)
{
    const char* tmp = std::getenv("TMPDIR");
    std::wstring path = native::WindowsPath(tmp && *tmp == '/' ? tmp : "/tmp");
    if (path.back() != L'\\') path += L'\\';
    if (path.size() >= chars) return std::wstring(chars, L'\0');  // too long: an empty buffer, as Windows leaves it
    path.resize(chars, L'\0');
    return path;
}

std::wstring ResolvedFolder(std::wstring_view folder)
{
    std::string path;
    try {
        path = NativePath(folder);
    } catch (const PlatformError&) {
        return {};
    }
    if (path.empty() || path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return {};
        path = std::string(cwd) + "/" + path;
    }
    // The deepest folder that exists, resolved; the rest as written.
    std::string rest;
    for (;;) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            if (resolved != "/" || rest.empty()) return native::WindowsPath(resolved + rest);
            return native::WindowsPath(rest);
        }
        const size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || path == "/") return {};
        const std::string name = path.substr(slash + 1);
        if (name != "." && name != "..") rest = "/" + name + rest;
        path.erase(slash == 0 ? 1 : slash);
    }
}

bool SameFile(std::wstring_view a, std::wstring_view b)
{
    struct stat first, second;
    try {
        if (stat(NativePath(a).c_str(), &first) != 0 || stat(NativePath(b).c_str(), &second) != 0) return false;
    } catch (const PlatformError&) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void PumpEvents()
{
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

std::wstring SystemDirectory() { return {}; }

std::wstring ExeName()
{
    const std::string exe = ExePath();
    std::string name = exe.substr(exe.find_last_of('/') + 1);
    if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    std::wstring wide;
    Utf8ToWide(name, wide);
    return wide;
}

std::wstring CommandLine()
{
    // The arguments as one line, as Windows hands it over: each quoted when it holds a blank.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string line;
    size_t at = 0;
    while (at < all.size()) {
        const size_t end = std::min(all.find('\0', at), all.size());
        const std::string argument = all.substr(at, end - at);
        if (!line.empty()) line += ' ';
        line += argument.find_first_of(" \t") == std::string::npos && !argument.empty() ? argument
                                                                                       : "\"" + argument + "\"";
        at = end + 1;
    }
    std::wstring wide;
    Utf8ToWide(line, wide);
    return wide;
}

void EndProgram(int exitCode)
{
    std::fflush(nullptr);
    _exit(exitCode);
}

} // namespace os
