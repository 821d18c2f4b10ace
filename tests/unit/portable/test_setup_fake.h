// A recording stand-in for the installer's platform: window and controls, message boxes, the end of
// the program (thrown as ProgramEnded), a settable clock, an in-memory registry in its ANSI form and
// the shell's starts and shortcuts. File operations are left to a derived fake (native tests only).
#pragma once
#include "tests/unit/portable/program_ended.h"
#include "installer/setup_form.h"

#include "common/errors.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct ShownMessage {
    std::wstring text, title;
    int style;
    bool operator==(const ShownMessage& o) const { return text == o.text && title == o.title && style == o.style; }
};

struct ShellStart {
    std::wstring file, parameters, folder;
    int32_t show;
    bool operator==(const ShellStart& o) const
    {
        return file == o.file && parameters == o.parameters && folder == o.folder && show == o.show;
    }
};

struct SavedShortcut {
    std::wstring target, workdir, description, arguments;
    int show;
};

// Registry keys by full path ("HKLM\SOFTWARE\..."; names compared without regard to ASCII case),
// each with its values as raw bytes; children enumerate in the order they were created.
class FakeRegistry {
public:
    struct Value {
        uint32_t type;
        std::string data;
    };

    bool HasKey(const std::string& path) const { return keys_.count(Upper(path)) != 0; }
    // The value's bytes; throws std::out_of_range when key or value is missing.
    const Value& At(const std::string& path, const std::string& name) const
    {
        return keys_.at(Upper(path)).values.at(Upper(name));
    }
    bool HasValue(const std::string& path, const std::string& name) const
    {
        auto key = keys_.find(Upper(path));
        return key != keys_.end() && key->second.values.count(Upper(name)) != 0;
    }
    size_t ValueCount(const std::string& path) const
    {
        auto key = keys_.find(Upper(path));
        return key == keys_.end() ? 0 : key->second.values.size();
    }
    void MakeKey(const std::string& path)
    {
        std::string sofar;
        for (size_t start = 0;;) {
            const size_t end = path.find('\\', start);
            sofar = path.substr(0, end);
            if (!keys_.count(Upper(sofar))) {
                keys_[Upper(sofar)];
                order_.push_back(sofar);
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    void DenyWritesUnder(const std::string& prefix) { deniedWrites_.insert(Upper(prefix)); }
    void DenyCreatesUnder(const std::string& prefix) { deniedCreates_.insert(Upper(prefix)); }
    size_t OpenHandles() const { return handles_.size(); }

    int32_t Open(RegKey key, const std::string& sub, RegKey& opened)
    {
        opened = 0;
        const std::string path = Join(key, sub);
        if (path.empty()) return kRegInvalidHandle;
        if (!keys_.count(Upper(path))) return 2;   // not found
        opened = NewHandle(path);
        return 0;
    }
    int32_t Create(RegKey key, const std::string& sub, RegKey& created)
    {
        created = 0;
        const std::string path = Join(key, sub);
        if (path.empty()) return kRegInvalidHandle;
        if (!keys_.count(Upper(path))) {
            if (Denied(deniedCreates_, path)) return 5;   // access denied
            MakeKey(path);
        }
        created = NewHandle(path);
        return 0;
    }
    int32_t Set(RegKey key, const std::string& name, uint32_t type, const std::string& data)
    {
        auto handle = handles_.find(key);
        if (handle == handles_.end()) return kRegInvalidHandle;
        if (Denied(deniedWrites_, handle->second)) return 5;
        keys_[Upper(handle->second)].values[Upper(name)] = Value{type, data};
        return 0;
    }
    int32_t Close(RegKey key) { return handles_.erase(key) ? 0 : kRegInvalidHandle; }
    int32_t Delete(RegKey key, const std::string& sub)
    {
        const std::string path = Join(key, sub);
        if (path.empty() || !keys_.count(Upper(path))) return 2;
        for (const auto& other : order_)   // only a key without subkeys can be deleted
            if (Upper(other).rfind(Upper(path) + "\\", 0) == 0) return 5;
        keys_.erase(Upper(path));
        for (auto it = order_.begin(); it != order_.end(); ++it)
            if (Upper(*it) == Upper(path)) {
                order_.erase(it);
                break;
            }
        return 0;
    }
    int32_t Enum(RegKey key, uint32_t index, std::string& name)
    {
        name.clear();
        const std::string parent = Join(key, "");
        if (parent.empty()) return kRegInvalidHandle;
        uint32_t seen = 0;
        for (const auto& path : order_) {
            if (Upper(path).rfind(Upper(parent) + "\\", 0) != 0) continue;
            const std::string rest = path.substr(parent.size() + 1);
            if (rest.find('\\') != std::string::npos) continue;
            if (seen++ == index) {
                name = rest;
                return 0;
            }
        }
        return 259;   // no more items
    }

    static std::string Upper(std::string s)
    {
        for (auto& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return s;
    }

private:
    struct Key {
        std::map<std::string, Value> values;
    };

    std::string Root(RegKey key) const
    {
        if (key == kHkeyCurrentUser) return "HKCU";
        if (key == kHkeyLocalMachine) return "HKLM";
        if (key == kHkeyUsers) return "HKU";
        auto handle = handles_.find(key);
        return handle == handles_.end() ? std::string() : handle->second;
    }
    std::string Join(RegKey key, const std::string& sub) const
    {
        const std::string root = Root(key);
        if (root.empty()) return {};
        return sub.empty() ? root : root + "\\" + sub;
    }
    RegKey NewHandle(const std::string& path)
    {
        handles_[next_] = path;
        return next_++;
    }
    static bool Denied(const std::set<std::string>& prefixes, const std::string& path)
    {
        for (const auto& p : prefixes)
            if (Upper(path).rfind(p, 0) == 0) return true;
        return false;
    }

    std::map<std::string, Key> keys_{{"HKCU", {}}, {"HKLM", {}}, {"HKU", {}}};
    std::vector<std::string> order_;
    std::map<RegKey, std::string> handles_;
    std::set<std::string> deniedWrites_, deniedCreates_;
    RegKey next_ = 0x100;
};

class FakeSetupSystem : public SetupSystem {
public:
    // What the tests set up.
    std::wstring commandLine = L"\"C:\\SETUP\\setup.exe\"";
    std::wstring caption = kDesignCaption;
    std::wstring softPathText = kSoftPathText;
    bool softPathVisible = true, softPathEnabled = true;
    float seconds = 36000.0f;        // seconds since midnight
    float pumpAdvance = 0.0f;        // the clock moves on by this much at each pump
    LocalDate today{2024, 5, 17};
    bool todayFails = false, setDateFails = false;
    std::wstring tempPath = L"C:\\Users\\shop\\AppData\\Local\\Temp\\";
    std::map<int, std::wstring> specialFolders = {
        {kCsidlPrograms, L"C:\\Users\\shop\\Start Menu\\Programs"},
        {kCsidlDesktop, L"C:\\Users\\shop\\Desktop"},
    };
    std::vector<std::wstring> protectedFolders = {
        L"C:\\WINDOWS", L"C:\\WINDOWS\\system32", L"C:\\Users\\shop", L"C:\\Users\\shop\\Start Menu\\Programs",
        L"C:\\Users\\shop\\Desktop", L"C:\\Program Files", L"C:\\Users\\shop\\AppData\\Local\\Temp\\",
    };
    bool startFails = false;
    std::set<std::wstring> failingShortcuts;
    FakeRegistry registry;

    // What the tests read.
    std::vector<ShownMessage> messages;
    bool ended = false, hidden = false, letGoEnabled = true;
    std::vector<Control> focusGiven;
    int selStart = -1, selLength = -1, pumps = 0;
    std::vector<LocalDate> datesWritten;
    std::vector<ShellStart> shellStarts;
    std::vector<std::wstring> commandLinesStarted;
    std::map<std::wstring, SavedShortcut> shortcuts;   // by file name as given

    std::wstring CommandLine() override { return commandLine; }
    std::wstring Caption() override { return caption; }
    void SetCaption(std::wstring_view text) override { caption = text; }
    void HideWindow() override { hidden = true; }
    std::wstring SoftPathText() override { return softPathText; }
    void EnableLetGo(bool enabled) override { letGoEnabled = enabled; }
    bool OwnVisibleAndEnabled(Control control) override
    {
        return control == Control::SoftPath ? softPathVisible && softPathEnabled : letGoEnabled;
    }
    void GiveFocus(Control control) override { focusGiven.push_back(control); }
    void SetSelStart(int start) override
    {
        selStart = start;
        selLength = 0;
    }
    void SetSelLength(int length) override { selLength = length; }

    void ShowMessage(std::wstring_view text, std::wstring_view title, int style) override
    {
        messages.push_back({std::wstring(text), std::wstring(title), style});
    }
    [[noreturn]] void EndProgram() override
    {
        ended = true;
        throw ProgramEnded{};
    }
    void PumpEvents() override
    {
        ++pumps;
        seconds += pumpAdvance;
    }

    float SecondsSinceMidnight() override { return seconds; }
    LocalDate Today() override
    {
        if (todayFails) throw PlatformError("GetLocalTime", 1);
        return today;
    }
    void SetSystemDate(const LocalDate& date) override
    {
        if (setDateFails) throw PlatformError("SetLocalTime: privilege not held", 1314);
        datesWritten.push_back(date);
    }

    void CopyFileTo(std::wstring_view, std::wstring_view) override { NoFiles(); }
    void RenameFile(std::wstring_view, std::wstring_view) override { NoFiles(); }
    int64_t ModifiedSeconds(std::wstring_view) override { NoFiles(); }
    std::vector<FolderEntry> ListFolder(std::wstring_view, uint32_t) override { NoFiles(); }
    void RemoveFolder(std::wstring_view) override { NoFiles(); }

    std::wstring TempPathBuffer(size_t chars) override
    {
        // A path that does not fit leaves the buffer as it was: all zeros.
        return tempPath.size() < chars ? Padded(tempPath, chars) : std::wstring(chars, L'\0');
    }
    std::wstring SpecialFolderBuffer(int csidl, size_t chars) override
    {
        auto found = specialFolders.find(csidl);
        if (found == specialFolders.end()) throw PlatformError("SHGetSpecialFolderLocation", 2);
        return Padded(found->second, chars);
    }
    std::vector<std::wstring> ProtectedFolders() override { return protectedFolders; }
    void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                      std::wstring_view description, std::wstring_view arguments, int showCommand) override
    {
        if (failingShortcuts.count(std::wstring(file))) throw PlatformError("IPersistFile::Save", 5);
        shortcuts[std::wstring(file)] = {std::wstring(target), std::wstring(workdir), std::wstring(description),
                                         std::wstring(arguments), showCommand};
    }
    int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                      int32_t showCommand) override
    {
        shellStarts.push_back({std::wstring(file), std::wstring(parameters), std::wstring(folder), showCommand});
        return 42;
    }
    void StartCommandLine(std::wstring_view commandLine) override
    {
        if (startFails) throw PlatformError("CreateProcess", 2);
        commandLinesStarted.emplace_back(commandLine);
    }

    int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t, uint32_t, RegKey& opened) override
    {
        return registry.Open(key, subKey, opened);
    }
    int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t, uint32_t, RegKey& created) override
    {
        return registry.Create(key, subKey, created);
    }
    int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created) override
    {
        return registry.Create(key, subKey, created);
    }
    int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type, const std::string& data) override
    {
        return registry.Set(key, valueName, type, data);
    }
    int32_t CloseKey(RegKey key) override { return registry.Close(key); }
    int32_t DeleteKey(RegKey key, const std::string& subKey) override { return registry.Delete(key, subKey); }
    int32_t EnumKey(RegKey key, uint32_t index, size_t, std::string& name) override
    {
        return registry.Enum(key, index, name);
    }

    // The one message shown, or an empty record when none or several were.
    ShownMessage OnlyMessage() const { return messages.size() == 1 ? messages[0] : ShownMessage{L"", L"", 0}; }

protected:
    [[noreturn]] static void NoFiles() { throw PlatformError("no file system in this fake", 1); }
    static std::wstring Padded(const std::wstring& text, size_t chars)
    {
        std::wstring buffer = text.substr(0, chars);
        buffer.resize(chars, L'\0');
        return buffer;
    }
};
