// The registry calls in their ANSI form: names and data are bytes in the ANSI code page, and data is
// written with exactly its size as byte count. Each answers the platform's result code and throws
// nothing. The Windows implementation is os/win32/registry_win32.cpp.
#pragma once
#include <cstdint>
#include <string>

namespace os {

// A registry key as the calls take it: a handle they returned or a predefined root.
using RegKey = std::uintptr_t;
constexpr RegKey kHkeyCurrentUser = 0x80000001;
constexpr RegKey kHkeyLocalMachine = 0x80000002;
constexpr RegKey kHkeyUsers = 0x80000003;
constexpr uint32_t kRegSz = 1;

// Result codes.
constexpr int32_t kRegSuccess = 0;
constexpr int32_t kRegInvalidHandle = 6;   // a call that cannot run because its key was never opened

int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                RegKey& opened);                                                     // RegOpenKeyExA
int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                    RegKey& created);                                                // RegCreateKeyExA
int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created);          // RegCreateKeyA
int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type,
                 const std::string& data);                                           // RegSetValueExA
int32_t CloseKey(RegKey key);                                                        // RegCloseKey
int32_t DeleteKey(RegKey key, const std::string& subKey);                            // RegDeleteKeyA
// RegEnumKeyA with a buffer of `chars` characters: the name up to its first zero.
int32_t EnumKey(RegKey key, uint32_t index, size_t chars, std::string& name);

} // namespace os
