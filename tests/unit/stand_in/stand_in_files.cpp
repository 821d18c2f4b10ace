#include "tests/unit/stand_in/stand_in_files.h"

#include "os/errors.h"
#include "os/paths.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace {

// The single-file store is the platform stand-in's; this side remembers which paths exist below a
// folder (for listings), the folders removed and the modification times.
struct Tree {
    std::set<std::wstring> known, removed;
    std::map<std::wstring, int64_t> modified;
};

Tree& T()
{
    static Tree tree;
    return tree;
}

// The path and its folders become listable (folders made by the program itself among them).
void Remember(const std::wstring& path)
{
    for (std::wstring at = fakeos::FileKey(path); at.size() > 3; at = fakeos::ParentKey(at)) T().known.insert(at);
}

void PutParents(const std::wstring& path)
{
    for (std::wstring at = fakeos::ParentKey(fakeos::FileKey(path)); at.size() > 3; at = fakeos::ParentKey(at)) {
        if (!fakeos::Exists(at)) fakeos::AddFolder(at);
        T().known.insert(at);
        T().removed.erase(at);
    }
}

bool IsFolder(const std::wstring& path) { return (fakeos::Attributes(path) & os::kAttrFolder) != 0; }

// A copy or rename: the bytes, attributes and time of `source` under the name `target`.
void Duplicate(const std::wstring& source, const std::wstring& target)
{
    fakeos::AddFile(target, fakeos::Bytes(source), fakeos::Attributes(source));
    Remember(target);
    T().modified[fakeos::FileKey(target)] = T().modified[fakeos::FileKey(source)];
}

} // namespace

namespace fakeos {

FileScript& Files()
{
    static FileScript script;
    return script;
}

void ResetFiles()
{
    Files() = FileScript{};
    T() = Tree{};
}

void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes, int64_t modified)
{
    PutParents(path);
    AddFile(path, bytes, attributes);
    T().known.insert(FileKey(path));
    T().removed.erase(FileKey(path));
    T().modified[FileKey(path)] = modified;
}

void PutFolder(const std::wstring& path, uint32_t attributes)
{
    PutParents(path + L"\\x");
    if (attributes != os::kAttrFolder) os::SetAttributes(path, attributes);
}

void PutRunningFile(const std::wstring& path, const std::string& bytes)
{
    PutFile(path, bytes, os::kAttrReadOnly);
    DenyAttributeChanges(path);
}

bool Has(const std::wstring& path)
{
    if (!Exists(path)) return false;
    for (std::wstring at = FileKey(path); !at.empty(); at = ParentKey(at))
        if (T().removed.count(at)) return false;
    return true;
}

std::string Bytes(const std::wstring& path) { return os::OpenForReading(path)->Read(1 << 20); }

std::wstring FileKey(std::wstring_view path)
{
    std::wstring key(path);
    for (auto& c : key)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    while (key.size() > 3 && key.back() == L'\\') key.pop_back();
    return key;
}

std::wstring ParentKey(const std::wstring& key) { return ParentFolder(key); }

std::wstring InCurrentDirectory(std::wstring_view path)
{
    if (path.find(L':') != std::wstring_view::npos || (!path.empty() && path[0] == L'\\')) return std::wstring(path);
    return CurrentDirectory() + std::wstring(path);
}

} // namespace fakeos

namespace os {

using fakeos::FileKey;
using fakeos::Files;
using fakeos::Has;
using fakeos::InCurrentDirectory;
using fakeos::ParentKey;

void CopyFileTo(std::wstring_view from, std::wstring_view to)
{
    fakeos::Journal().push_back(L"CopyFile " + std::wstring(from) + L" -> " + std::wstring(to));
    const std::wstring source = InCurrentDirectory(from), target = InCurrentDirectory(to);
    if (!Has(source) || IsFolder(source)) throw PlatformError("CopyFile: file not found", 2);
    if (!Has(ParentKey(FileKey(target)))) throw PlatformError("CopyFile: path not found", 3);
    if (Has(target) && (fakeos::Attributes(target) & (kAttrReadOnly | kAttrFolder)))
        throw PlatformError("CopyFile: access denied", 5);
    if (int& failing = Files().failingCopies[FileKey(target)]; failing > 0 && failing--)
        throw PlatformError("CopyFile: disk full", 112);
    Duplicate(source, target);
    Files().copies.emplace_back(from, to);
}

void RenameFile(std::wstring_view from, std::wstring_view to)
{
    const std::wstring source = InCurrentDirectory(from), target = InCurrentDirectory(to);
    if (!Has(source)) throw PlatformError("MoveFile: file not found", 2);
    if (Has(target)) throw PlatformError("MoveFile: already exists", 183);
    if (Files().failingRenames.count(FileKey(target))) throw PlatformError("MoveFile: access denied", 5);
    Duplicate(source, target);
    SetAttributes(source, 0);
    DeleteFileAt(source);
}

int64_t ModifiedSeconds(std::wstring_view path)
{
    const std::wstring name = InCurrentDirectory(path);
    if (!Has(name)) throw PlatformError("GetFileAttributesEx: not found", 2);
    return T().modified[FileKey(name)];
}

std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t)
{
    const std::wstring folder = ParentKey(FileKey(InCurrentDirectory(pattern)));
    if (!Has(folder)) throw PlatformError("FindFirstFile: path not found", 3);
    std::vector<FolderEntry> entries = {{L".", kAttrFolder}, {L"..", kAttrFolder}};
    for (const auto& path : T().known)
        if (ParentKey(path) == folder && Has(path))
            entries.push_back({path.substr(folder.size() + 1), fakeos::Attributes(path)});
    return entries;
}

void RemoveFolder(std::wstring_view path)
{
    const std::wstring folder = FileKey(InCurrentDirectory(path));
    if (!Has(folder) || !IsFolder(folder)) throw PlatformError("RemoveDirectory: not found", 2);
    for (const auto& other : T().known)
        if (ParentKey(other) == folder && Has(other)) throw PlatformError("RemoveDirectory: not empty", 145);
    T().removed.insert(folder);
    Files().removedFolders.push_back(folder);
    fakeos::Journal().push_back(L"delete folder " + folder);
}

std::wstring TempPathBuffer(size_t chars)
{
    // A path that does not fit leaves the buffer as it was: all zeros.
    const std::wstring& path = Files().tempPath;
    std::wstring buffer = path.size() < chars ? path : std::wstring();
    buffer.resize(chars, L'\0');
    return buffer;
}

std::wstring ResolvedFolder(std::wstring_view folder)
{
    const auto found = Files().resolved.find(std::wstring(folder));
    return found == Files().resolved.end() ? std::wstring() : found->second;
}

bool SameFile(std::wstring_view, std::wstring_view b)
{
    return Files().sameFiles.count(FileKey(InCurrentDirectory(b))) != 0;
}

} // namespace os
