// Helpers for the unit tests that run against the real Windows platform (under Wine here).
#pragma once
#include <windows.h>

#include <string>

namespace testsupport {

// A fresh empty folder below the temporary folder, removed with everything in it at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return path_; }   // with its closing backslash
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
DWORD Attributes(const std::wstring& path);

// Folder of the running test executable, with its closing backslash.
std::wstring ExeFolder();

// The helper program beside the test executable, started with `arguments`; the process handle.
HANDLE StartHelper(const std::wstring& arguments);

// Ends when the process ends or the time is up; the exit code, or STILL_ACTIVE.
DWORD WaitFor(HANDLE process, DWORD milliseconds);

// Deletes a folder with everything in it (read-only files included).
void RemoveTree(const std::wstring& folder);

} // namespace testsupport
