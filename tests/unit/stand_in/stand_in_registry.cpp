#include "tests/unit/stand_in/stand_in_registry.h"

#include "tests/unit/stand_in/stand_in_platform.h"

namespace fakeos {

FakeRegistry& Registry() { return fakeos::TheOne<FakeRegistry>(); }

void ResetRegistry() { Registry() = FakeRegistry{}; }

} // namespace fakeos

namespace os {

using fakeos::Registry;

int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t, uint32_t, RegKey& opened)
{
    return Registry().Open(key, subKey, opened);
}

int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t, uint32_t, RegKey& created)
{
    return Registry().Create(key, subKey, created);
}

int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created) { return Registry().Create(key, subKey, created); }

int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type, const std::string& data)
{
    return Registry().Set(key, valueName, type, data);
}

int32_t CloseKey(RegKey key) { return Registry().Close(key); }

int32_t DeleteKey(RegKey key, const std::string& subKey)
{
    const int32_t result = Registry().Delete(key, subKey);
    // Taken down in one order with the folders: the uninstall tests read both.
    if (result == 0) fakeos::Journal().push_back(L"delete key " + std::wstring(subKey.begin(), subKey.end()));
    return result;
}

int32_t EnumKey(RegKey key, uint32_t index, size_t, std::string& name) { return Registry().Enum(key, index, name); }

} // namespace os
