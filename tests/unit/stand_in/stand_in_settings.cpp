#include "tests/unit/stand_in/stand_in_settings.h"

#include "os/errors.h"
#include "os/settings.h"
#include "tests/unit/stand_in/stand_in_platform.h"

#include <iterator>
#include <map>
#include <string>

namespace {

struct SettingsState {
    std::map<std::wstring, std::wstring> values;   // by upper-cased application\section\key
    bool failWrites = false;
};

SettingsState& Settings() { return fakeos::TheOne<SettingsState>(); }

std::wstring SettingKey(std::wstring_view application, std::wstring_view section, std::wstring_view key)
{
    return fakeos::UpperCase(application) + L"\\" + fakeos::UpperCase(section) + L"\\" + fakeos::UpperCase(key);
}

} // namespace

namespace fakeos {

void ResetSettings() { Settings() = SettingsState{}; }
void FailSettingWrites() { Settings().failWrites = true; }

} // namespace fakeos

namespace os {

std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                        std::wstring_view defaultValue)
{
    const auto found = Settings().values.find(SettingKey(application, section, key));
    return found == Settings().values.end() ? std::wstring(defaultValue) : found->second;
}

void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value)
{
    if (Settings().failWrites) throw PlatformError("SaveSetting: access denied", 5);
    fakeos::Journal().push_back(L"save:" + std::wstring(value));
    Settings().values[SettingKey(application, section, key)] = std::wstring(value);
}

void DeleteSection(std::wstring_view application, std::wstring_view section)
{
    const std::wstring prefix = fakeos::UpperCase(application) + L"\\" + fakeos::UpperCase(section) + L"\\";
    auto& values = Settings().values;
    for (auto it = values.begin(); it != values.end();)
        it = it->first.compare(0, prefix.size(), prefix) == 0 ? values.erase(it) : std::next(it);
}

} // namespace os
