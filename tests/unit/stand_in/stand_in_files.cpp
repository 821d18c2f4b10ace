#include "tests/unit/stand_in/stand_in_files.h"

#include "os/errors.h"
#include "os/paths.h"
#include "tests/unit/stand_in/stand_in_platform.h"

#include <algorithm>

namespace {

struct Node {
    bool folder = false;
    std::wstring name;   // as written when it was made
    std::string bytes;
    uint32_t attributes = 0;
    int64_t modified = 1000;
    int heldAttempts = 0;
    bool denyAttributes = false;
    bool failLength = false;
};

struct FileState {
    std::map<std::wstring, Node> nodes;   // by FileKey
    std::wstring programFolder = L"C:\\prog";
    std::wstring systemFolder = L"C:\\windows\\system32";
    std::wstring currentDirectory = L"C:\\";
    wchar_t currentDrive = L'C';
    std::set<std::wstring> failingPrefixes;
    int attributeChanges = 0;
};

FileState& F() { return fakeos::TheOne<FileState>(); }

Node* Find(const std::wstring& path)
{
    const auto found = F().nodes.find(fakeos::FileKey(path));
    return found == F().nodes.end() ? nullptr : &found->second;
}

// A new entry goes into an existing folder (a drive root always exists).
void NeedFolderOf(const std::wstring& key, const char* what)
{
    const std::wstring parent = ParentFolder(key);
    const auto found = F().nodes.find(parent);
    if (parent.size() > 3 && (found == F().nodes.end() || !found->second.folder))
        throw PlatformError(std::string(what) + ": path not found", 3);
}

// The node of an existing path; else the platform's "file not found", or "path not found" when its
// folder is missing too.
Node& Existing(std::wstring_view path, const char* what)
{
    const std::wstring key = fakeos::FileKey(path);
    const auto found = F().nodes.find(key);
    if (found != F().nodes.end()) return found->second;
    NeedFolderOf(key, what);
    throw PlatformError(std::string(what) + ": not found", 2);
}

// The path taken in the current directory, without a closing backslash below a drive root.
std::wstring Resolved(std::wstring_view path)
{
    std::wstring full(path);
    if (!path.empty() && path.find(L':') == std::wstring_view::npos && path[0] != L'\\') {
        const std::wstring& current = F().currentDirectory;
        full = current + (current.empty() || current.back() == L'\\' ? L"" : L"\\") + full;
    }
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

// Records the node under the path's key, named as the path has it.
Node& Make(std::wstring_view path, Node node)
{
    const std::wstring full = Resolved(path);
    node.name = full.substr(full.find_last_of(L'\\') + 1);
    return F().nodes[fakeos::FileKey(full)] = std::move(node);
}

void PutParents(const std::wstring& path)
{
    for (std::wstring at = ParentFolder(Resolved(path)); at.size() > 3 && !Find(at); at = ParentFolder(at))
        Make(at, Node{true, {}, {}, os::kAttrFolder});
}

// '*' and '?' as the platform's name patterns have them, without regard to case (both upper case).
bool Matches(std::wstring_view pattern, std::wstring_view name)
{
    if (pattern.empty()) return name.empty();
    if (pattern[0] == L'*')
        return Matches(pattern.substr(1), name) || (!name.empty() && Matches(pattern, name.substr(1)));
    if (name.empty()) return false;
    return (pattern[0] == L'?' || pattern[0] == name[0]) && Matches(pattern.substr(1), name.substr(1));
}

// As the platform's patterns have it, a closing ".*" also matches a name without a dot ("*.*" any).
bool NameMatches(std::wstring_view pattern, std::wstring_view name)
{
    const bool anyExtension = pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == L".*";
    return Matches(pattern, name) || (anyExtension && Matches(pattern.substr(0, pattern.size() - 2), name));
}

// The entries of the pattern's folder whose names match it, "." and ".." below a drive root first;
// the folder must exist.
std::vector<os::FolderEntry> Matching(std::wstring_view pattern)
{
    const std::wstring key = fakeos::FileKey(pattern);
    const std::wstring folder = ParentFolder(key);
    const std::wstring namePattern = key.substr(std::min(key.size(), folder.size() + (folder.size() > 3 ? 1 : 0)));
    for (const auto& prefix : F().failingPrefixes)
        if (key.compare(0, prefix.size(), prefix) == 0) throw PlatformError("FindFirstFile: device not ready", 21);
    if (folder.size() > 3 && !F().nodes.count(folder)) throw PlatformError("FindFirstFile: path not found", 3);
    std::vector<os::FolderEntry> entries;
    if (folder.size() > 3)
        for (const wchar_t* dots : {L".", L".."})
            if (NameMatches(namePattern, dots)) entries.push_back({dots, os::kAttrFolder});
    const std::wstring below = folder.size() > 3 ? folder + L"\\" : folder;
    for (auto it = F().nodes.lower_bound(below); it != F().nodes.end() && it->first.compare(0, below.size(), below) == 0;
         ++it) {
        const std::wstring name = it->first.substr(below.size());
        if (name.find(L'\\') == std::wstring::npos && NameMatches(namePattern, name))
            entries.push_back({it->second.name, it->second.attributes});
    }
    return entries;
}

class StandInReadableFile : public os::ReadableFile {
public:
    explicit StandInReadableFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string Read(size_t count) override
    {
        std::string part = bytes_.substr(at_, count);
        at_ += part.size();
        return part;
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

} // namespace

namespace fakeos {

FileScript& Files() { return fakeos::TheOne<FileScript>(); }

WriteState& Writes() { return fakeos::TheOne<WriteState>(); }

void ResetFiles()
{
    F() = FileState{};
    Files() = FileScript{};
    Writes() = WriteState{};
}

void SetProgramFolder(const std::wstring& folder)
{
    F().programFolder = folder;
    if (folder.size() > 3 && folder[1] == L':') PutFolder(folder);
}

void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes, int64_t modified)
{
    PutParents(path);
    Make(path, Node{false, {}, bytes, attributes, modified});
}

void PutFolder(const std::wstring& path, uint32_t attributes)
{
    PutParents(path);
    Make(path, Node{true, {}, {}, attributes | os::kAttrFolder});
}

void PutRunningFile(const std::wstring& path, const std::string& bytes)
{
    PutFile(path, bytes, os::kAttrReadOnly);
    DenyAttributeChanges(path);
}

bool Has(const std::wstring& path) { return Find(path) != nullptr; }
std::string Bytes(const std::wstring& path) { return Existing(path, "Bytes").bytes; }
uint32_t Attributes(const std::wstring& path) { return Existing(path, "Attributes").attributes; }
void HoldExclusively(const std::wstring& path, int attempts) { Existing(path, "Hold").heldAttempts = attempts; }
void DenyAttributeChanges(const std::wstring& path) { Existing(path, "Deny").denyAttributes = true; }
void FailSearchesUnder(const std::wstring& prefix) { F().failingPrefixes.insert(FileKey(prefix)); }
void FailLengthOf(const std::wstring& path) { Existing(path, "FailLength").failLength = true; }
int AttributeChanges() { return F().attributeChanges; }
std::wstring CurrentDirectory() { return F().currentDirectory; }
wchar_t CurrentDrive() { return F().currentDrive; }
void SetSystemDirectory(const std::wstring& folder) { F().systemFolder = folder; }

std::wstring FileKey(std::wstring_view path)
{
    return UpperCase(Resolved(path));
}

} // namespace fakeos

namespace os {

using fakeos::FileKey;
using fakeos::Files;
using fakeos::Writes;

bool FindFirstMatch(std::wstring_view pattern, uint32_t mask)
{
    fakeos::Journal().push_back(L"find:" + std::wstring(pattern));
    try {
        for (const auto& entry : Matching(pattern))
            if (!(entry.attributes & kAttrFolder) || (mask & kAttrFolder)) return true;
    } catch (const PlatformError& error) {
        if (error.code() != 3) throw;   // a missing folder holds no match
    }
    return false;
}

uint32_t GetAttributes(std::wstring_view path) { return Existing(path, "GetAttributes").attributes; }

void SetAttributes(std::wstring_view path, uint32_t attributes)
{
    Node& node = Existing(path, "SetAttributes");
    if (node.denyAttributes) throw PlatformError("SetAttributes: access denied", 5);
    node.attributes = attributes | (node.folder ? uint32_t{kAttrFolder} : 0u);
    ++F().attributeChanges;
}

int64_t FileLength(std::wstring_view path)
{
    const Node& node = Existing(path, "FileLength");
    if (node.failLength) throw PlatformError("FileLength: access denied", 5);
    return static_cast<int64_t>(node.bytes.size());
}

void DeleteFileAt(std::wstring_view path)
{
    const Node& node = Existing(path, "DeleteFile");
    if (node.folder || (node.attributes & kAttrReadOnly)) throw PlatformError("DeleteFile: access denied", 5);
    F().nodes.erase(FileKey(path));
}

void CreateFolder(std::wstring_view path)
{
    const std::wstring key = FileKey(path);
    if (F().nodes.count(key)) throw PlatformError("CreateFolder: already exists", 183);
    NeedFolderOf(key, "CreateFolder");
    Make(path, Node{true, {}, {}, kAttrFolder});
}

void CopyFileTo(std::wstring_view from, std::wstring_view to)
{
    fakeos::Journal().push_back(L"CopyFile " + std::wstring(from) + L" -> " + std::wstring(to));
    const Node& source = Existing(from, "CopyFile");
    if (source.folder) throw PlatformError("CopyFile: access denied", 5);
    const std::wstring target = FileKey(to);
    NeedFolderOf(target, "CopyFile");
    if (const Node* old = Find(target); old && (old->folder || (old->attributes & kAttrReadOnly)))
        throw PlatformError("CopyFile: access denied", 5);
    if (int& failing = Files().failingCopies[target]; failing > 0 && failing--)
        throw PlatformError("CopyFile: disk full", 112);
    Make(to, Node{false, {}, source.bytes, source.attributes, source.modified});
    Files().copies.emplace_back(from, to);
}

void RenameFile(std::wstring_view from, std::wstring_view to)
{
    const std::wstring source = FileKey(from), target = FileKey(to);
    Existing(from, "MoveFile");
    if (F().nodes.count(target)) throw PlatformError("MoveFile: already exists", 183);
    NeedFolderOf(target, "MoveFile");
    if (Files().failingRenames.count(target)) throw PlatformError("MoveFile: access denied", 5);
    Make(to, F().nodes[source]);
    F().nodes.erase(source);
}

void WriteToFile(std::wstring_view path, std::string_view bytes, bool append)
{
    const std::wstring file(path);
    if (Writes().fails && Writes().fails(file)) throw PlatformError("CreateFile: sharing violation", 32);
    const std::wstring key = FileKey(path);
    Node* node = Find(key);
    if (node && (node->attributes & (kAttrReadOnly | kAttrFolder))) throw PlatformError("CreateFile: access denied", 5);
    if (!node) {
        NeedFolderOf(key, "CreateFile");
        node = &Make(path, Node{false, {}, {}, kAttrArchive});
    }
    node->bytes = (append ? node->bytes : std::string()) + std::string(bytes);
    if (Writes().written) Writes().written(file, std::string(bytes), append);
}

int64_t ModifiedSeconds(std::wstring_view path) { return Existing(path, "GetFileAttributesEx").modified; }

std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask)
{
    std::vector<FolderEntry> entries = Matching(pattern);
    const uint32_t choosable = kAttrHidden | kAttrSystem | kAttrFolder;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const FolderEntry& e) { return (e.attributes & choosable & ~mask) != 0; }),
                  entries.end());
    return entries;
}

void RemoveFolder(std::wstring_view path)
{
    const std::wstring folder = FileKey(path);
    const Node& node = Existing(path, "RemoveDirectory");
    if (!node.folder) throw PlatformError("RemoveDirectory: not a folder", 267);
    const auto inside = F().nodes.lower_bound(folder + L"\\");
    if (inside != F().nodes.end() && inside->first.compare(0, folder.size() + 1, folder + L"\\") == 0)
        throw PlatformError("RemoveDirectory: not empty", 145);
    F().nodes.erase(folder);
    Files().removedFolders.push_back(folder);
    fakeos::Journal().push_back(L"delete folder " + folder);
}

std::wstring ProgramFolder() { return F().programFolder; }

std::wstring TraceFolder(std::wstring_view) { return ProgramFolder(); }

void ChangeDrive(wchar_t driveLetter) { F().currentDrive = driveLetter; }

void ChangeDirectory(std::wstring_view path) { F().currentDirectory = std::wstring(path); }

std::unique_ptr<ReadableFile> OpenForReading(std::wstring_view path)
{
    Node& node = Existing(path, "Open");
    if (node.heldAttempts > 0) {
        --node.heldAttempts;
        throw PlatformError("Open: sharing violation", 32);
    }
    return std::make_unique<StandInReadableFile>(node.bytes);
}

std::wstring SystemDirectory() { return F().systemFolder; }

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

bool SameFile(std::wstring_view, std::wstring_view b) { return Files().sameFiles.count(FileKey(b)) != 0; }

} // namespace os
