// The installer's file operations over the in-memory platform stand-in (native tests only): copies,
// renames, modification times, folder listings and folder removal. The stand-in holds the files; this
// fake remembers which paths exist below a folder (the stand-in cannot list) and which folders it
// removed (the stand-in cannot remove folders).
#pragma once
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/portable/test_setup_fake.h"

#include "common/ansi.h"
#include "common/errors.h"
#include "os/platform.h"
#include "os/settings.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeFilesSystem : public FakeSetupSystem {
public:
    // A file with its bytes, attributes and modification time; its folders are made as needed.
    void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = 32, int64_t modified = 1000)
    {
        PutParents(path);
        fakeos::AddFile(path, bytes, attributes);
        known_.insert(Key(path));
        removed_.erase(Key(path));
        modified_[Key(path)] = modified;
    }
    void PutFolder(const std::wstring& path, uint32_t attributes = os::kAttrFolder)
    {
        PutParents(path + L"\\x");
        if (attributes != os::kAttrFolder) os::SetAttributes(path, attributes);
    }
    // A file that a running program holds: it can be neither deleted nor overwritten.
    void PutRunningFile(const std::wstring& path, const std::string& bytes)
    {
        PutFile(path, bytes, os::kAttrReadOnly);
        fakeos::DenyAttributeChanges(path);
    }

    bool Has(const std::wstring& path) const
    {
        if (!fakeos::Exists(path)) return false;
        for (std::wstring at = Key(path); !at.empty(); at = Parent(at))
            if (removed_.count(at)) return false;
        return true;
    }
    std::string Bytes(const std::wstring& path) const { return os::OpenForReading(path)->Read(1 << 20); }

    // Folders as the file system resolves them (as given -> resolved; others cannot be told), targets
    // (upper case) that are their own source under another name, and copies that fail (a full disk).
    std::map<std::wstring, std::wstring> resolved;
    std::set<std::wstring> sameFiles, failingCopies;

    // What the program did, in order.
    std::vector<std::pair<std::wstring, std::wstring>> copies;   // from, to (as given)
    std::vector<std::wstring> removedFolders;                    // upper case, in removal order
    std::vector<std::wstring> events;                            // "delete key ..." and "remove ..." in order

    void CopyFileTo(std::wstring_view from, std::wstring_view to) override
    {
        const std::wstring source = Resolve(from), target = Resolve(to);
        if (!Has(source) || IsFolder(source)) throw PlatformError("CopyFile: file not found", 2);
        if (!Has(Parent(Key(target)))) throw PlatformError("CopyFile: path not found", 3);
        if (Has(target) && (fakeos::Attributes(target) & os::kAttrReadOnly)) throw PlatformError("CopyFile: denied", 5);
        if (failingCopies.count(Key(target))) throw PlatformError("CopyFile: disk full", 112);
        fakeos::AddFile(target, Bytes(source), fakeos::Attributes(source));
        Remember(target);
        modified_[Key(target)] = modified_[Key(source)];
        copies.emplace_back(from, to);
    }
    void RenameFile(std::wstring_view from, std::wstring_view to) override
    {
        const std::wstring source = Resolve(from), target = Resolve(to);
        if (!Has(source)) throw PlatformError("MoveFile: file not found", 2);
        if (Has(target)) throw PlatformError("MoveFile: already exists", 183);
        const uint32_t attributes = fakeos::Attributes(source);
        fakeos::AddFile(target, Bytes(source), attributes);
        Remember(target);
        modified_[Key(target)] = modified_[Key(source)];
        os::SetAttributes(source, 0);
        os::DeleteFileAt(source);
    }
    int64_t ModifiedSeconds(std::wstring_view path) override
    {
        if (!Has(Resolve(path))) throw PlatformError("GetFileAttributesEx: not found", 2);
        return modified_[Key(Resolve(path))];
    }
    std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t) override
    {
        const std::wstring folder = Parent(Key(Resolve(pattern)));
        if (!Has(folder)) throw PlatformError("FindFirstFile: path not found", 3);
        std::vector<FolderEntry> entries = {{L".", os::kAttrFolder}, {L"..", os::kAttrFolder}};
        for (const auto& path : known_)
            if (Parent(path) == folder && Has(path))
                entries.push_back({path.substr(folder.size() + 1), fakeos::Attributes(path)});
        return entries;
    }
    void RemoveFolder(std::wstring_view path) override
    {
        const std::wstring folder = Key(Resolve(path));
        if (!Has(folder) || !IsFolder(folder)) throw PlatformError("RemoveDirectory: not found", 2);
        for (const auto& other : known_)
            if (Parent(other) == folder && Has(other)) throw PlatformError("RemoveDirectory: not empty", 145);
        removed_.insert(folder);
        removedFolders.push_back(folder);
        events.push_back(L"remove " + folder);
    }
    std::wstring ResolvedFolder(std::wstring_view folder) override
    {
        const auto found = resolved.find(std::wstring(folder));
        return found == resolved.end() ? std::wstring() : found->second;
    }
    bool SameFile(std::wstring_view, std::wstring_view to) override { return sameFiles.count(Key(Resolve(to))) != 0; }
    int32_t DeleteKey(RegKey key, const std::string& subKey) override
    {
        const int32_t result = FakeSetupSystem::DeleteKey(key, subKey);
        if (result == 0) events.push_back(L"delete key " + std::wstring(subKey.begin(), subKey.end()));
        return result;
    }
    void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                      std::wstring_view description, std::wstring_view arguments, int showCommand) override
    {
        // A read-only shortcut left by an earlier install cannot be overwritten: it must be deleted first.
        const std::wstring path = Resolve(file);
        if (!Has(Parent(Key(path)))) throw PlatformError("IPersistFile::Save: path not found", 3);
        if (Has(path) && (fakeos::Attributes(path) & os::kAttrReadOnly)) throw PlatformError("Save: denied", 5);
        FakeSetupSystem::SaveShortcut(file, target, workdir, description, arguments, showCommand);
        PutFile(path, "lnk");
    }

    static std::wstring Key(std::wstring_view path)
    {
        std::wstring key(path);
        for (auto& c : key)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
        while (key.size() > 3 && key.back() == L'\\') key.pop_back();
        return key;
    }
    static std::wstring Parent(const std::wstring& key)
    {
        if (key.size() <= 3) return {};   // a drive root has no parent
        const size_t slash = key.find_last_of(L'\\');
        if (slash == std::wstring::npos) return {};
        return slash == 2 ? key.substr(0, 3) : key.substr(0, slash);   // "C:\" keeps its backslash
    }

private:
    std::wstring Resolve(std::wstring_view path) const
    {
        if (path.find(L':') != std::wstring_view::npos || (!path.empty() && path[0] == L'\\')) return std::wstring(path);
        return fakeos::CurrentDirectory() + std::wstring(path);   // a bare name: in the current directory
    }
    // The path and its folders become listable (folders made by the program itself among them).
    void Remember(const std::wstring& path)
    {
        for (std::wstring at = Key(path); at.size() > 3; at = Parent(at)) known_.insert(at);
    }
    bool IsFolder(const std::wstring& path) const { return (fakeos::Attributes(path) & os::kAttrFolder) != 0; }
    void PutParents(const std::wstring& path)
    {
        for (std::wstring at = Parent(Key(path)); at.size() > 3; at = Parent(at)) {
            if (!fakeos::Exists(at)) fakeos::AddFolder(at);
            known_.insert(at);
            removed_.erase(at);
        }
    }

    std::set<std::wstring> known_;
    std::set<std::wstring> removed_;
    std::map<std::wstring, int64_t> modified_;
};

// The shop PC the uninstall tests lay an installation out on: its temporary folder (where the
// working copy runs), the program group, the desktop shortcut and the uninstall entry.
namespace shop {
inline const std::wstring kTemp = L"C:\\Users\\shop\\AppData\\Local\\Temp";
inline const std::wstring kGroup = L"C:\\Users\\shop\\Start Menu\\Programs\\收银通";
inline const std::wstring kDesktopLink = L"C:\\Users\\shop\\Desktop\\收银通.lnk";
inline const std::string kEntry = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ToAnsi(L"收银通");
} // namespace shop

// Creation and load of setup started from `programFolder` with `argument`; true when the program
// ended (as every uninstall stage does).
inline bool RunSetup(FakeFilesSystem& sys, const std::wstring& programFolder, const std::wstring& argument)
{
    sys.commandLine = L"\"" + programFolder + L"\\setup.exe\" " + argument;
    ::Setup form(sys);
    try {
        form.Form_Initialize();
        form.Form_Load();
    } catch (const ProgramEnded&) {
        return true;
    }
    return false;
}

// The install record, "(none)" when there is none.
inline std::wstring InstallRecord() { return os::GetSetting(L"tavin", L"vemrclient", L"path", L"(none)"); }
