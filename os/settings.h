// The per-user settings store: text values addressed by application, section and key, kept per
// user of the PC (HKCU\Software\VB and VBA Program Settings\<application>\<section>, REG_SZ), where
// the machine identifiers, first-run markers and install records of shop PCs already live.
#pragma once
#include <string>
#include <string_view>

namespace os {

// The value, or `defaultValue` when it is missing or cannot be read.
std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                        std::wstring_view defaultValue);

// Writes the value, creating the keys; throws PlatformError when it cannot.
void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value);

// Removes the whole section with its values; throws PlatformError when it cannot (a missing section
// is not an error).
void DeleteSection(std::wstring_view application, std::wstring_view section);

} // namespace os
