// What the installer's logic needs from Windows beyond the shared routines: its window and message
// boxes, ending the process, the clock, a few file operations, the shell and the registry in its
// ANSI form. The product implements it with Win32 (setup_system_win32.cpp); the unit tests with a
// recording fake. Operations that can fail throw PlatformError unless they answer a result code.
#pragma once
#include "os/clock.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A registry key as the ANSI registry calls take it: a handle they returned or a predefined root.
using RegKey = std::uintptr_t;
constexpr RegKey kHkeyCurrentUser = 0x80000001;
constexpr RegKey kHkeyLocalMachine = 0x80000002;
constexpr RegKey kHkeyUsers = 0x80000003;
constexpr uint32_t kRegSz = 1;

// Registry result codes the logic itself produces.
constexpr int32_t kRegSuccess = 0;
constexpr int32_t kRegInvalidHandle = 6;   // a call that cannot run because its key was never opened

// Shell folder numbers.
constexpr int kCsidlDesktop = 0;
constexpr int kCsidlPrograms = 2;

// Message box styles: one OK button and an icon.
constexpr int kStopIcon = 16;
constexpr int kExclamationIcon = 48;
constexpr int kInformationIcon = 64;

// The window's controls that the logic reaches.
enum class Control { SoftPath, LetGo };

using LocalDate = os::LocalDateTime;

struct FolderEntry {
    std::wstring name;
    uint32_t attributes = 0;
};

class SetupSystem {
public:
    virtual ~SetupSystem() = default;

    // The whole command line as the process received it.
    virtual std::wstring CommandLine() = 0;

    // The window `Setup` and its controls.
    virtual std::wstring Caption() = 0;
    virtual void SetCaption(std::wstring_view text) = 0;
    virtual void HideWindow() = 0;
    virtual std::wstring SoftPathText() = 0;
    virtual void EnableLetGo(bool enabled) = 0;
    // The control's own visible and enabled settings, whatever its window's state.
    virtual bool OwnVisibleAndEnabled(Control control) = 0;
    virtual void GiveFocus(Control control) = 0;
    // Selection of the text box: the start (collapsing the selection there), then its length.
    virtual void SetSelStart(int start) = 0;
    virtual void SetSelLength(int length) = 0;

    // A modal box with one OK button; returns when it is closed.
    virtual void ShowMessage(std::wstring_view text, std::wstring_view title, int style) = 0;
    // Ends the process at once: no further window logic runs.
    [[noreturn]] virtual void EndProgram() = 0;
    // Lets the pending window messages run once.
    virtual void PumpEvents() = 0;

    // The clock: seconds since local midnight, a reading of the local clock, and setting the local
    // clock to a reading, date and time of day as given. SetSystemDate throws PlatformError without
    // the right to set the clock.
    virtual float SecondsSinceMidnight() = 0;
    virtual LocalDate Today() = 0;
    virtual void SetSystemDate(const LocalDate& date) = 0;

    // Files: copy (replacing the target), rename, modification time in whole local seconds,
    // a folder listing (pattern with wildcards; entries whose hidden, system or folder bits are
    // not in `mask` are left out; "." and ".." included as the platform lists them), removing
    // an empty folder. Relative names are taken in the current directory.
    virtual void CopyFileTo(std::wstring_view from, std::wstring_view to) = 0;
    virtual void RenameFile(std::wstring_view from, std::wstring_view to) = 0;
    virtual int64_t ModifiedSeconds(std::wstring_view path) = 0;
    virtual std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask) = 0;
    virtual void RemoveFolder(std::wstring_view path) = 0;

    // GetTempPathA into a buffer of `chars` characters, the whole buffer as text (zeros included).
    virtual std::wstring TempPathBuffer(size_t chars) = 0;
    // The special folder's item-id list turned into a path in a buffer of `chars` characters
    // (SHGetSpecialFolderLocation, SHGetPathFromIDListA); the whole buffer. Throws when the folder
    // has no location.
    virtual std::wstring SpecialFolderBuffer(int csidl, size_t chars) = 0;
    // Folders that uninstall must never remove nor empty: the Windows and system folders, every
    // profile, the temporary folder and the shell's special folders. "FOLDER\*" stands for FOLDER
    // and everything inside it.
    virtual std::vector<std::wstring> ProtectedFolders() = 0;
    // The folder as the file system takes it: a full path ("/" taken as "\\", "." and ".."
    // removed, relative to the current directory), short names made long, links and junctions
    // followed, no device prefix. A folder that does not exist yet is resolved as far as its
    // folders exist, the rest kept as written. Empty when that cannot be told (not even its drive
    // can be opened); the text of the folder alone then counts.
    virtual std::wstring ResolvedFolder(std::wstring_view folder)
    {
        (void)folder;
        return {};
    }
    // True when both names lead to one existing file (the same volume and file identity).
    virtual bool SameFile(std::wstring_view a, std::wstring_view b)
    {
        (void)a;
        (void)b;
        return false;
    }

    // A shortcut file with its target, working folder, description, arguments (left unset when
    // empty) and show command. Throws PlatformError when it cannot be saved.
    virtual void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                              std::wstring_view description, std::wstring_view arguments, int showCommand) = 0;
    // The shell's "open" (TavinShell), not waited for; the platform's result.
    virtual int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                              int32_t showCommand) = 0;
    // Starts a command line as a normal window with the focus, not waited for. Throws PlatformError.
    virtual void StartCommandLine(std::wstring_view commandLine) = 0;

    // The registry calls in their ANSI form; names and data are bytes in the ANSI code page and the
    // data is written with exactly its size as byte count. Each answers the platform's result code.
    virtual int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                            RegKey& opened) = 0;                                    // RegOpenKeyExA
    virtual int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                                RegKey& created) = 0;                               // RegCreateKeyExA
    virtual int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created) = 0;   // RegCreateKeyA
    virtual int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type,
                             const std::string& data) = 0;                          // RegSetValueExA
    virtual int32_t CloseKey(RegKey key) = 0;                                       // RegCloseKey
    virtual int32_t DeleteKey(RegKey key, const std::string& subKey) = 0;           // RegDeleteKeyA
    // RegEnumKeyA with a buffer of `chars` characters: the name up to its first zero.
    virtual int32_t EnumKey(RegKey key, uint32_t index, size_t chars, std::string& name) = 0;
};
