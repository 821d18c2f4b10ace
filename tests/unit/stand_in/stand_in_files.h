// The stand-in's files and folders (the file service of os/platform.h): one record of the files and
// folders that exist, each under one key, with their bytes, attributes and modification times;
// relative names are taken in the current directory. The tests lay files out with PutFile and
// PutFolder, script failures here and through Files() and Writes(), and read there what the program
// did.
#pragma once
#include "os/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fakeos {

struct FileScript {
    // Folders as the file system resolves them (as given -> resolved; others cannot be told), copy
    // targets (keys) that are their own source under another name, targets of renames that are
    // refused, copy targets with the number of copies to them that fail (a full disk), and the
    // temporary folder.
    std::map<std::wstring, std::wstring> resolved;
    std::set<std::wstring> sameFiles, failingRenames;
    std::map<std::wstring, int> failingCopies;
    std::wstring tempPath = L"C:\\Users\\shop\\AppData\\Local\\Temp\\";

    // What the program did, in order.
    std::vector<std::pair<std::wstring, std::wstring>> copies;   // from, to (as given)
    std::vector<std::wstring> removedFolders;                    // keys, in removal order
};
FileScript& Files();

// os::WriteToFile's script: files that cannot be written now, and a watch on every write.
struct WriteState {
    std::function<bool(const std::wstring& path)> fails;
    std::function<void(const std::wstring& path, const std::string& bytes, bool append)> written;
};
WriteState& Writes();

// No files nor folders, a fresh script; the program runs from C:\prog, the current directory C:\.
void ResetFiles();
// The program's folder (made), where the program runs from.
void SetProgramFolder(const std::wstring& folder);

// A file with its bytes, attributes and modification time; its folders are made as needed.
void PutFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = os::kAttrArchive,
             int64_t modified = 1000);
void PutFolder(const std::wstring& path, uint32_t attributes = os::kAttrFolder);
// A file that a running program holds: it can be neither deleted nor overwritten.
void PutRunningFile(const std::wstring& path, const std::string& bytes);
bool Has(const std::wstring& path);
std::string Bytes(const std::wstring& path);
uint32_t Attributes(const std::wstring& path);

// The next `attempts` opens of the file fail, as while another program holds it exclusively.
void HoldExclusively(const std::wstring& path, int attempts);
// Attribute changes of the file fail, as for a file the user may not change.
void DenyAttributeChanges(const std::wstring& path);
// Searches below this prefix fail, as on a drive that is not ready.
void FailSearchesUnder(const std::wstring& prefix);
// Lengths of this file cannot be read.
void FailLengthOf(const std::wstring& path);

int AttributeChanges();
std::wstring CurrentDirectory();
wchar_t CurrentDrive();
void SetSystemDirectory(const std::wstring& folder);

// The one key of a path: taken in the current directory, upper case (the platform ignores case),
// no closing backslash below a drive root.
std::wstring FileKey(std::wstring_view path);

} // namespace fakeos
