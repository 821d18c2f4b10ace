// The stand-in's registry in its ANSI form, scripted and read by the tests through Registry().
#pragma once
#include "os/registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// Registry keys by full path ("HKLM\SOFTWARE\..."; names compared without regard to ASCII case),
// each with its values as raw bytes; children enumerate in name order.
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

    int32_t Open(os::RegKey key, const std::string& sub, os::RegKey& opened)
    {
        opened = 0;
        const std::string path = Join(key, sub);
        if (path.empty()) return os::kRegInvalidHandle;
        if (!keys_.count(Upper(path))) return 2;   // not found
        opened = NewHandle(path);
        return 0;
    }
    int32_t Create(os::RegKey key, const std::string& sub, os::RegKey& created)
    {
        created = 0;
        const std::string path = Join(key, sub);
        if (path.empty()) return os::kRegInvalidHandle;
        if (!keys_.count(Upper(path))) {
            if (Denied(deniedCreates_, path)) return 5;   // access denied
            MakeKey(path);
        }
        created = NewHandle(path);
        return 0;
    }
    int32_t Set(os::RegKey key, const std::string& name, uint32_t type, const std::string& data)
    {
        auto handle = handles_.find(key);
        if (handle == handles_.end()) return os::kRegInvalidHandle;
        if (Denied(deniedWrites_, handle->second)) return 5;
        keys_[Upper(handle->second)].values[Upper(name)] = Value{type, data};
        return 0;
    }
    int32_t Close(os::RegKey key) { return handles_.erase(key) ? 0 : os::kRegInvalidHandle; }
    int32_t Delete(os::RegKey key, const std::string& sub)
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
    int32_t Enum(os::RegKey key, uint32_t index, std::string& name)
    {
        name.clear();
        const std::string parent = Join(key, "");
        if (parent.empty()) return os::kRegInvalidHandle;
        std::map<std::string, std::string> children;   // in name order, as the platform keeps them
        for (const auto& path : order_) {
            if (Upper(path).rfind(Upper(parent) + "\\", 0) != 0) continue;
            const std::string rest = path.substr(parent.size() + 1);
            if (rest.find('\\') == std::string::npos) children[Upper(rest)] = rest;
        }
        if (index >= children.size()) return 259;   // no more items
        name = std::next(children.begin(), index)->second;
        return 0;
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

    std::string Root(os::RegKey key) const
    {
        if (key == os::kHkeyCurrentUser) return "HKCU";
        if (key == os::kHkeyLocalMachine) return "HKLM";
        if (key == os::kHkeyUsers) return "HKU";
        auto handle = handles_.find(key);
        return handle == handles_.end() ? std::string() : handle->second;
    }
    std::string Join(os::RegKey key, const std::string& sub) const
    {
        const std::string root = Root(key);
        if (root.empty()) return {};
        return sub.empty() ? root : root + "\\" + sub;
    }
    os::RegKey NewHandle(const std::string& path)
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
    std::map<os::RegKey, std::string> handles_;
    std::set<std::string> deniedWrites_, deniedCreates_;
    os::RegKey next_ = 0x100;
};

namespace fakeos {

FakeRegistry& Registry();
void ResetRegistry();

} // namespace fakeos
