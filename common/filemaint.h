// File and folder chores: folder tests and creation, deleting read-only files, attributes with a
// memo of what was already set, the system folder.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Attribute settings already made during this run, newest first, at most 9,999 characters:
// entries "/" + attribute + ">" + file + "/". Lives as long as the program's window.
class AttributeMemo {
public:
    // True when the entry was already in the memo; otherwise puts it in front and answers false.
    bool SeenBefore(std::wstring_view file, int32_t attributes);
    const std::wstring& Text() const { return text_; }

    static constexpr size_t kMaxChars = 9999;

private:
    std::wstring text_;
};

// True when the path names an existing folder; false for files, empty names and any error.
bool LzDirExist(std::wstring_view TempDir);

// Sets a file's attributes when it exists. With DoNotReplay a setting already made in this run (per
// memo) is not made again. Throws PlatformError when the change fails.
void SetMyAttr(AttributeMemo& memo, std::wstring_view TheFile, int32_t TheAttr, bool DoNotReplay);

// Deletes a file, clearing its attributes first; true when it is gone (or was never there), false
// when clearing or deleting failed. Never throws.
bool KillAFile(AttributeMemo& memo, std::wstring_view TheFile);

// The system folder with its closing backslash. Throws PlatformError.
std::wstring getsysdir();

namespace inst {

bool lzdirexist(std::wstring_view lzdir);

// Creates the one folder when it does not exist; parents are not created, failures not reported.
void chkadir(std::wstring_view thedir);

// Deletes the file when it exists, attributes cleared first; failures swallowed.
void killafile(std::wstring_view TheFile);

// Sets the attributes when the file exists; failures swallowed, no memo.
void myattrset(std::wstring_view fnamef, int32_t fattf);

// The system folder in upper case with its closing backslash.
std::wstring getsysdir();

} // namespace inst
