// Win32 implementation of the ANSI registry calls.
#include "os/registry.h"

#include <windows.h>

namespace os {
namespace {

HKEY ToHkey(RegKey key)
{
    switch (key) {
    case kHkeyCurrentUser: return HKEY_CURRENT_USER;
    case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case kHkeyUsers: return HKEY_USERS;
    default: return reinterpret_cast<HKEY>(key);
    }
}

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

} // namespace

int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t options, uint32_t access, RegKey& opened)
{
    HKEY result = nullptr;
    const LONG rc = RegOpenKeyExA(ToHkey(key), subKey.c_str(), options, access, &result);
    opened = FromHkey(result);
    return rc;
}

int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t options, uint32_t access, RegKey& created)
{
    HKEY result = nullptr;
    const LONG rc = RegCreateKeyExA(ToHkey(key), subKey.c_str(), 0, nullptr, options, access, nullptr, &result, nullptr);
    created = FromHkey(result);
    return rc;
}

int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created)
{
    HKEY result = nullptr;
    const LONG rc = RegCreateKeyA(ToHkey(key), subKey.c_str(), &result);
    created = FromHkey(result);
    return rc;
}

int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type, const std::string& data)
{
    return RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

int32_t CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

int32_t DeleteKey(RegKey key, const std::string& subKey) { return RegDeleteKeyA(ToHkey(key), subKey.c_str()); }

int32_t EnumKey(RegKey key, uint32_t index, size_t chars, std::string& name)
{
    std::string buffer(chars, '\0');
    const LONG rc = RegEnumKeyA(ToHkey(key), index, buffer.data(), static_cast<DWORD>(chars));
    name = buffer.substr(0, buffer.find('\0'));
    return rc;
}

} // namespace os
