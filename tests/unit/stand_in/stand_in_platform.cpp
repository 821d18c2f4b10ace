#include "tests/unit/stand_in/stand_in_platform.h"

#include "os/errors.h"
#include "tests/unit/stand_in/stand_in_machine.h"
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/portable/program_ended.h"

#include <map>
#include <set>

namespace {

struct Node {
    bool folder = false;
    std::string bytes;
    uint32_t attributes = 0;
    int heldAttempts = 0;
    bool denyAttributes = false;
    bool failLength = false;
};

struct State {
    std::map<std::wstring, Node> nodes;  // keyed by upper-cased path, as the platform ignores case
    std::wstring programFolder;
    std::wstring systemFolder = L"C:\\windows\\system32";
    std::set<std::wstring> failingPrefixes;
    std::wstring currentDirectory;
    wchar_t currentDrive = L'C';
    std::wstring commandLine = L"C:\\prog\\program.exe";
    int pumps = 0;
    int attributeChanges = 0;
    std::wstring exeName = L"program";
    bool failSettingWrites = false;
    int exitCode = -1;
    std::wstring reportTitle, reportText;
};

std::map<std::wstring, std::wstring>& Settings();

State& S()
{
    static State state;
    return state;
}

std::wstring Key(std::wstring_view path)
{
    std::wstring key(path);
    for (auto& c : key)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    if (key.size() > 3 && key.back() == L'\\') key.pop_back();  // a folder named with its backslash
    return key;
}

// '*' and '?' as the platform's name patterns have them, without regard to case.
bool Matches(std::wstring_view pattern, std::wstring_view name)
{
    if (pattern.empty()) return name.empty();
    if (pattern[0] == L'*')
        return Matches(pattern.substr(1), name) || (!name.empty() && Matches(pattern, name.substr(1)));
    if (name.empty()) return false;
    return (pattern[0] == L'?' || pattern[0] == name[0]) && Matches(pattern.substr(1), name.substr(1));
}

Node& Existing(std::wstring_view path, const char* what)
{
    auto found = S().nodes.find(Key(path));
    if (found == S().nodes.end()) throw PlatformError(std::string(what) + ": not found", 2);
    return found->second;
}

class FakeReadableFile : public os::ReadableFile {
public:
    explicit FakeReadableFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string Read(size_t count) override { return bytes_.substr(0, count); }

private:
    std::string bytes_;
};

} // namespace

namespace fakeos {

std::vector<std::wstring>& Journal()
{
    static std::vector<std::wstring> lines;
    return lines;
}

void Reset(const std::wstring& programFolder)
{
    S() = State{};
    Settings().clear();
    Journal().clear();
    ResetMachine();
    S().programFolder = programFolder;
    S().currentDirectory = L"C:\\";
}

void AddFile(const std::wstring& path, const std::string& bytes, uint32_t attributes)
{
    Node node;
    node.bytes = bytes;
    node.attributes = attributes;
    S().nodes[Key(path)] = node;
}

void AddFolder(const std::wstring& path)
{
    Node node;
    node.folder = true;
    node.attributes = os::kAttrFolder;
    S().nodes[Key(path)] = node;
}

bool Exists(const std::wstring& path) { return S().nodes.count(Key(path)) != 0; }
uint32_t Attributes(const std::wstring& path) { return Existing(path, "Attributes").attributes; }
void HoldExclusively(const std::wstring& path, int attempts) { Existing(path, "Hold").heldAttempts = attempts; }
void DenyAttributeChanges(const std::wstring& path) { Existing(path, "Deny").denyAttributes = true; }
void FailSearchesUnder(const std::wstring& prefix) { S().failingPrefixes.insert(Key(prefix)); }
void FailLengthOf(const std::wstring& path) { Existing(path, "FailLength").failLength = true; }
int PumpCount() { return S().pumps; }
int AttributeChanges() { return S().attributeChanges; }
std::wstring CurrentDirectory() { return S().currentDirectory; }
wchar_t CurrentDrive() { return S().currentDrive; }
void SetSystemDirectory(const std::wstring& folder) { S().systemFolder = folder; }
void SetCommandLine(const std::wstring& commandLine) { S().commandLine = commandLine; }
void SetExeName(const std::wstring& name) { S().exeName = name; }
void FailSettingWrites() { S().failSettingWrites = true; }
int ExitCode() { return S().exitCode; }
std::wstring ReportTitle() { return S().reportTitle; }
std::wstring ReportText() { return S().reportText; }

} // namespace fakeos

namespace os {

bool FindFirstMatch(std::wstring_view pattern, uint32_t mask)
{
    fakeos::Journal().push_back(L"find:" + std::wstring(pattern));
    const std::wstring key = Key(pattern);
    for (const auto& prefix : S().failingPrefixes)
        if (key.compare(0, prefix.size(), prefix) == 0) throw PlatformError("search: device not ready", 21);
    for (const auto& [path, node] : S().nodes)
        if (Matches(key, path) && (!node.folder || (mask & kAttrFolder))) return true;
    return false;
}

uint32_t GetAttributes(std::wstring_view path) { return Existing(path, "GetAttributes").attributes; }

void SetAttributes(std::wstring_view path, uint32_t attributes)
{
    Node& node = Existing(path, "SetAttributes");
    if (node.denyAttributes) throw PlatformError("SetAttributes: access denied", 5);
    node.attributes = attributes | (node.folder ? uint32_t{kAttrFolder} : 0u);
    ++S().attributeChanges;
}

int64_t FileLength(std::wstring_view path)
{
    const Node& node = Existing(path, "FileLength");
    if (node.failLength) throw PlatformError("FileLength: access denied", 5);
    return static_cast<int64_t>(node.bytes.size());
}

void DeleteFileAt(std::wstring_view path)
{
    Node& node = Existing(path, "DeleteFile");
    if (node.folder) throw PlatformError("DeleteFile: access denied", 5);
    if (node.attributes & kAttrReadOnly) throw PlatformError("DeleteFile: access denied", 5);
    S().nodes.erase(Key(path));
}

void CreateFolder(std::wstring_view path)
{
    std::wstring key = Key(path);
    if (S().nodes.count(key)) throw PlatformError("CreateFolder: already exists", 183);
    const auto slash = key.find_last_of(L'\\');
    const std::wstring parent = slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
    if (parent.size() > 2 && !S().nodes.count(parent)) throw PlatformError("CreateFolder: path not found", 3);
    fakeos::AddFolder(std::wstring(path));
}

std::wstring ProgramFolder() { return S().programFolder; }

void ChangeDrive(wchar_t driveLetter) { S().currentDrive = driveLetter; }

void ChangeDirectory(std::wstring_view path) { S().currentDirectory = std::wstring(path); }

std::unique_ptr<ReadableFile> OpenForReading(std::wstring_view path)
{
    Node& node = Existing(path, "Open");
    if (node.heldAttempts > 0) {
        --node.heldAttempts;
        throw PlatformError("Open: sharing violation", 32);
    }
    return std::make_unique<FakeReadableFile>(node.bytes);
}

void PumpEvents()
{
    ++S().pumps;
    fakeos::AdvanceClock(fakeos::Clock().msPerPump);
    fakeos::Journal().push_back(L"pump");
}

std::wstring SystemDirectory() { return S().systemFolder; }

void SetMainWindow(void*) {}

std::wstring CommandLine() { return S().commandLine; }

std::wstring ExeName() { return S().exeName; }

namespace {

// Where the program would end, the stand-in throws: a test sees that nothing ran after it.
[[noreturn]] void End(int exitCode)
{
    S().exitCode = exitCode;
    fakeos::Journal().push_back(L"end");
    throw ProgramEnded{};
}

} // namespace

void EndProgram(int exitCode) { End(exitCode); }

void EndWithErrorReport(const std::exception& error)
{
    S().reportTitle = ExeName();
    S().reportText = ErrorReportText(error);
    fakeos::Journal().push_back(L"report:" + S().reportText);
    End(1);
}

} // namespace os

// The per-user settings store, in memory.
#include "os/settings.h"

namespace {

std::map<std::wstring, std::wstring>& Settings()
{
    static std::map<std::wstring, std::wstring> values;
    return values;
}

std::wstring SettingKey(std::wstring_view application, std::wstring_view section, std::wstring_view key)
{
    return Key(application) + L"\\" + Key(section) + L"\\" + Key(key);
}

} // namespace

namespace os {

std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                        std::wstring_view defaultValue)
{
    const auto found = Settings().find(SettingKey(application, section, key));
    return found == Settings().end() ? std::wstring(defaultValue) : found->second;
}

void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value)
{
    if (S().failSettingWrites) throw PlatformError("SaveSetting: access denied", 5);
    fakeos::Journal().push_back(L"save:" + std::wstring(value));
    Settings()[SettingKey(application, section, key)] = std::wstring(value);
}

void DeleteSection(std::wstring_view application, std::wstring_view section)
{
    const std::wstring prefix = Key(application) + L"\\" + Key(section) + L"\\";
    for (auto it = Settings().begin(); it != Settings().end();)
        it = it->first.compare(0, prefix.size(), prefix) == 0 ? Settings().erase(it) : std::next(it);
}

} // namespace os
