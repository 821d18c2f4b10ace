// In-memory stand-in for the platform, for the unit tests of every build: a few files and folders, files
// held exclusively for a number of open attempts, searches that fail like a drive that is not ready.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fakeos {

// Empties the stand-in; the program runs from `programFolder`.
void Reset(const std::wstring& programFolder = L"C:\\prog");

// The one record, in order, of each call that reached the platform where a test follows the order of
// events: "find:<pattern>", "shell:<file>|<parameters>|<folder>|<show>", "zone", "save:<value>", "pump",
// "report:<text>", "end", "now", those of stand_in_machine.h, the clock's "GetSystemTime",
// "SetLocalDate <y>-<m>-<d>", "SetSystemTime", the network's and processes' calls, "CopyFile <from> ->
// <to>", "delete key <subkey>", "delete folder <FOLDER>" and "event:<what>" for horasync's test events.
// The programs' fake windows write their own calls into it too.
std::vector<std::wstring>& Journal();

void AddFile(const std::wstring& path, const std::string& bytes, uint32_t attributes = 32);
void AddFolder(const std::wstring& path);
bool Exists(const std::wstring& path);
uint32_t Attributes(const std::wstring& path);

// The next `attempts` opens of the file fail, as while another program holds it exclusively.
void HoldExclusively(const std::wstring& path, int attempts);
// Attribute changes of the file fail, as for a file the user may not change.
void DenyAttributeChanges(const std::wstring& path);
// Searches below this prefix fail, as on a drive that is not ready.
void FailSearchesUnder(const std::wstring& prefix);
// Lengths of this file cannot be read.
void FailLengthOf(const std::wstring& path);

int PumpCount();
int AttributeChanges();
std::wstring CurrentDirectory();
wchar_t CurrentDrive();
void SetSystemDirectory(const std::wstring& folder);
void SetCommandLine(const std::wstring& commandLine);
void SetExeName(const std::wstring& name);
// Setting writes fail, as for a user who may not write the key.
void FailSettingWrites();

// How the program ended: its exit code (1 after an error), -1 while it has not.
int ExitCode();
std::wstring ReportTitle();
std::wstring ReportText();

} // namespace fakeos
