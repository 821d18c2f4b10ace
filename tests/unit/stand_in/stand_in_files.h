// The stand-in's folder work beyond single files, as the installer uses it: copies (names taken in
// the current directory), renames, modification times, listings, removing folders, the temporary
// folder and the names the file system knows folders and files by. The tests lay files out with
// PutFile/PutFolder, script the rest through Files() and read there what the program did.
#pragma once
#include "os/platform.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fakeos {

struct FileScript {
    // Folders as the file system resolves them (as given -> resolved; others cannot be told), copy
    // targets (upper case) that are their own source under another name, targets of renames that
    // are refused, copy targets with the number of copies to them that fail (a full disk), and the
    // temporary folder.
    std::map<std::wstring, std::wstring> resolved;
    std::set<std::wstring> sameFiles, failingRenames;
    std::map<std::wstring, int> failingCopies;
    std::wstring tempPath = L"C:\\Users\\shop\\AppData\\Local\\Temp\\";

    // What the program did, in order.
    std::vector<std::pair<std::wstring, std::wstring>> copies;   // from, to (as given)
    std::vector<std::wstring> removedFolders;                    // upper case, in removal order
};
FileScript& Files();
// A fresh script; files put before are no longer listed.
void ResetFiles();

// A file with its bytes, attributes and modification time; its folders are made as needed.
void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = os::kAttrArchive,
             int64_t modified = 1000);
void PutFolder(const std::wstring& path, uint32_t attributes = os::kAttrFolder);
// A file that a running program holds: it can be neither deleted nor overwritten.
void PutRunningFile(const std::wstring& path, const std::string& bytes);
bool Has(const std::wstring& path);
std::string Bytes(const std::wstring& path);

// The path as the stand-in compares it: upper case, no closing backslash below a drive root.
std::wstring FileKey(std::wstring_view path);
std::wstring ParentKey(const std::wstring& key);
// A bare or relative name taken in the current directory.
std::wstring InCurrentDirectory(std::wstring_view path);

} // namespace fakeos
