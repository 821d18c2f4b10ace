// Text files, folders and paths: every program finds its files relative to its own folder. Folder
// paths end with exactly one backslash; "missing" is an answer, not an error.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Read states of GetStrFromFile.
enum : int16_t {
    kReadDone = 0,        // read, or nothing to read (missing or empty file)
    kReadTooLarge = 1,    // 100,000,000 bytes or more: not read
    kReadOpenFailed = 2,  // every one of the 1,000 open attempts failed
};

// The whole file as text in the ANSI code page, or empty text when ReadState is not kReadDone or the
// file is missing or empty. With NoEndCrLf one closing CR LF is removed. Never throws.
std::wstring GetStrFromFile(std::wstring_view TheFile, bool NoEndCrLf, int16_t& ReadState);

// Size in bytes, or -1 when LzFilExist finds no such file. Throws PlatformError when the length
// query fails.
int32_t TavinGetFileSize(std::wstring_view TavinFileName);

// True when a file (not a folder) matches the name; false for an empty name and on any error.
bool LzFilExist(std::wstring_view LzFile);

// Absolute folder path with its closing backslash: network paths kept, root-relative paths on the
// program's drive, relative paths under the program folder. Throws PlatformError when the program
// folder cannot be had.
std::wstring LzJzPath(std::wstring_view TempPath);

// The same rules with the program folder given; the program folder itself has no closing backslash
// (except at a drive root).
std::wstring AbsoluteFolderPath(std::wstring_view TempPath, std::wstring_view programFolder);

// Makes the program folder the current drive and directory and returns it with its closing
// backslash. Throws PlatformError.
std::wstring WorkAtCurPath();

namespace inst {

// Installer variant: upper case and a closing backslash, nothing resolved; written back.
std::wstring lzjzpath(std::wstring& lzpath);

// Installer variant of LzFilExist: no empty-name test, search errors reach the caller.
bool lzfilexist(std::wstring_view lzfile);

// Installer variant of WorkAtCurPath: the program folder in upper case.
std::wstring WorkAtCurPath();

} // namespace inst
