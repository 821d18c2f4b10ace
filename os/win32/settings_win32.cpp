#include "os/settings.h"

#include "os/win32/scoped.h"

#include <windows.h>
#include <shlwapi.h>

namespace os {
namespace {

std::wstring SectionKey(std::wstring_view application, std::wstring_view section)
{
    std::wstring path = L"Software\\VB and VBA Program Settings\\";
    path.append(application);
    path += L'\\';
    path.append(section);
    return path;
}

using Key = Scoped<HKEY, &RegCloseKey>;

} // namespace

std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                        std::wstring_view defaultValue)
{
    Key k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey(application, section).c_str(), 0, KEY_QUERY_VALUE, &k.handle) !=
        ERROR_SUCCESS)
        return std::wstring(defaultValue);
    const std::wstring name(key);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(k.handle, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::wstring(defaultValue);
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(k.handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::wstring(defaultValue);
    value.resize(bytes / sizeof(wchar_t));
    const auto nul = value.find(L'\0');   // stored with or without its terminating NUL
    if (nul != std::wstring::npos) value.resize(nul);
    return value;
}

void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value)
{
    Key k;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, SectionKey(application, section).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &k.handle, nullptr);
    if (rc != ERROR_SUCCESS) throw PlatformError("SaveSetting: cannot create the key", static_cast<unsigned long>(rc));
    const std::wstring name(key), data(value);
    rc = RegSetValueExW(k.handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) throw PlatformError("SaveSetting: cannot write the value", static_cast<unsigned long>(rc));
}

void DeleteSection(std::wstring_view application, std::wstring_view section)
{
    // SHDeleteKeyW rather than RegDeleteTreeW, which Windows XP lacks.
    const LONG rc = SHDeleteKeyW(HKEY_CURRENT_USER, SectionKey(application, section).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        throw PlatformError("DeleteSection failed", static_cast<unsigned long>(rc));
}

} // namespace os
