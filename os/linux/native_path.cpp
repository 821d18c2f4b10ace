#include "os/linux/native_path.h"

#include "os/ansi.h"
#include "os/errors.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace os::native {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` named `name` in any case: `name` itself when it exists or nothing matches.
std::string EntryInAnyCase(const std::string& folder, const std::string& name)
{
    const std::string base = folder.empty() ? "." : folder;
    if (name == "." || name == ".." || Exists(folder + name)) return name;
    DIR* dir = opendir(base.c_str());
    if (!dir) return name;
    std::string found = name;
    while (const dirent* entry = readdir(dir)) {
        if (SameIgnoringAsciiCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

std::string NativePath(std::wstring_view path)
{
    std::string text = WideToUtf8(path);
    for (char& c : text)
        if (c == '\\') c = '/';
    if (text.size() >= 2 && text[1] == ':') {
        if (FoldAscii(text[0]) != 'c') throw PlatformError("no such drive: " + text, 3);
        text.erase(0, 2);
        if (text.empty()) text = "/";
    } else if (text.rfind("//", 0) == 0) {
        throw PlatformError("no network paths here: " + text, 3);
    }
    // Each name as it exists, in whatever case; the slashes as written.
    std::string resolved;
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '/') {
            resolved += '/';
            ++at;
            continue;
        }
        const size_t end = std::min(text.find('/', at), text.size());
        resolved += EntryInAnyCase(resolved, text.substr(at, end - at));
        at = end;
    }
    return resolved;
}

std::wstring WindowsPath(std::string_view native)
{
    std::wstring text;
    Utf8ToWide(native, text);
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    return L"C:" + text;
}

unsigned long ErrorNumber(int err, const std::string& nativePath)
{
    switch (err) {
    case ENOENT: {
        const size_t slash = nativePath.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : nativePath.substr(0, slash + 1);
        struct stat st;
        return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 2 : 3;
    }
    case ENOTDIR: return 3;
    case EACCES: case EPERM: case EROFS: case EISDIR: case EBUSY: return 5;
    case ENOTEMPTY: return 145;
    case EEXIST: return 183;
    default: return 0x20000000u + static_cast<unsigned long>(err);
    }
}

void Fail(const char* what, int err, const std::string& nativePath)
{
    throw PlatformError(std::string(what) + " " + nativePath + ": " + std::strerror(err), ErrorNumber(err, nativePath));
}

} // namespace os::native
