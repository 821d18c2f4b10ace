// The OS boundary for files, folders and their listings, window events, the command line, the error
// report and the end of a program, in plain types; the shared routines and all three programs call
// it. An operation that can fail throws PlatformError unless its contract is an answer (nothing
// found, an empty text); the callers decide, each as its contract says, whether a failure is
// skipped, turned into an answer or passed on. The Windows implementation is
// os/win32/platform_win32.cpp; the unit tests of every build (and the fuzz targets) link the
// in-memory stand-in, tests/unit/stand_in/stand_in_platform.cpp with stand_in_files.cpp.
#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// File attribute bits as the platform has them.
enum : uint32_t {
    kAttrReadOnly = 1,
    kAttrHidden = 2,
    kAttrSystem = 4,
    kAttrFolder = 16,
    kAttrArchive = 32,
};
// The masks of the programs' searches and listings: every file (39), every file and folder (55).
constexpr uint32_t kAnyFileMask = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
constexpr uint32_t kAnyEntryMask = kAnyFileMask | kAttrFolder;

// Folder searches, as a name pattern (wildcards allowed) with an attribute mask: the first match, if
// any. Files always match; folders match only when the mask holds kAttrFolder. "Nothing found" is
// an answer; a search that cannot run (bad name, drive not ready) throws.
bool FindFirstMatch(std::wstring_view pattern, uint32_t mask);

uint32_t GetAttributes(std::wstring_view path);
void SetAttributes(std::wstring_view path, uint32_t attributes);
int64_t FileLength(std::wstring_view path);
void DeleteFileAt(std::wstring_view path);
void CreateFolder(std::wstring_view path);
// Copies the file, replacing the target.
void CopyFileTo(std::wstring_view from, std::wstring_view to);
// Appends the bytes to the file (created when missing), or writes it anew; the file is opened and
// closed here, and others may read it meanwhile.
void WriteToFile(std::wstring_view path, std::string_view bytes, bool append);

// The folder of the running executable, without a closing backslash except at a drive root.
std::wstring ProgramFolder();
// The folder of the program's trace file, for the package `appId`: the program folder on Windows;
// on Linux, where the program folder is read-only to users, the user's state folder
// ($XDG_STATE_HOME, else ~/.local/state) under appId, made when missing.
std::wstring TraceFolder(std::wstring_view appId);
void ChangeDrive(wchar_t driveLetter);
void ChangeDirectory(std::wstring_view path);

// A file opened for reading as raw bytes; other readers and writers may keep it open meanwhile.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual std::string Read(size_t count) = 0;
};
std::unique_ptr<ReadableFile> OpenForReading(std::wstring_view path);

// Renames a file; the new name must not exist yet.
void RenameFile(std::wstring_view from, std::wstring_view to);
// The file's modification time in whole local seconds.
int64_t ModifiedSeconds(std::wstring_view path);

// A folder listing: a name pattern (wildcards allowed) and an attribute mask; entries whose hidden,
// system or folder bits are not in `mask` are left out; "." and ".." come as the platform lists
// them. A pattern that matches nothing answers an empty listing. Relative names are taken in the
// current directory.
struct FolderEntry {
    std::wstring name;
    uint32_t attributes = 0;
};
std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask);
// Removes an empty folder.
void RemoveFolder(std::wstring_view path);

// GetTempPathA into a buffer of `chars` characters, the whole buffer as text (zeros included).
std::wstring TempPathBuffer(size_t chars);
// The folder as the file system takes it: a full path ("/" taken as "\\", "." and ".." removed,
// relative to the current directory), short names made long, links and junctions followed, no
// device prefix. A folder that does not exist yet is resolved as far as its folders exist, the rest
// kept as written. Empty when that cannot be told (not even its drive can be opened).
std::wstring ResolvedFolder(std::wstring_view folder);
// True when both names lead to one existing file (the same volume and file identity).
bool SameFile(std::wstring_view a, std::wstring_view b);

// Lets the program's pending window events run once.
void PumpEvents();

// The system folder as GetSystemDirectoryA gives it, without a closing backslash; empty when the
// platform answers nothing.
std::wstring SystemDirectory();

// The program's main window, owner of the shell's windows and messages (null until it exists).
void SetMainWindow(void* window);

// The program's name: its file's name without folder and extension.
std::wstring ExeName();

// The whole command line as the process received it.
std::wstring CommandLine();

// Ends the process at once with the exit code (1 only where an error ends it): no further event
// runs, nothing is saved.
[[noreturn]] void EndProgram(int exitCode = 0);

// An error that reached a window event: the platform's error report, titled with the program's
// name, then the end of the program.
[[noreturn]] void EndWithErrorReport(const std::exception& error);

// Runs a window event's handler under that rule (vemr's and setup's; horasync, which never waits for
// a user, ends without the report).
template <class Handler>
void RunEvent(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        EndWithErrorReport(error);
    }
}

} // namespace os
