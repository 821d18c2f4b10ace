// The print page set-up repair and the installer's registry helpers. The web browser prints with a
// header, a footer and four margins kept per user; the receipts printed from the site need them
// empty and zero, for the current user and every user hive that is loaded.
#include "installer/setup_form.h"

#include "os/ansi.h"
#include "os/errors.h"

namespace {

const std::wstring kPageSetupKey = L"Software\\Microsoft\\Internet Explorer\\PageSetup";

struct PageSetupValue {
    const wchar_t* name;
    const wchar_t* data;
};
const PageSetupValue kPageSetupValues[] = {
    {L"footer", L""},       {L"header", L""},      {L"margin_bottom", L"0"},
    {L"margin_left", L"0"}, {L"margin_right", L"0"}, {L"margin_top", L"0"},
};

constexpr size_t kNameBufferChars = 256;

// A key that an open or create call returned; closed by Close(), whose result the helpers add up,
// or else when it goes out of scope.
class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() { Close(); }

    // Keeps the key when `result` says the call that returned it succeeded.
    void Take(int32_t result, os::RegKey key)
    {
        if (result != os::kRegSuccess) return;
        key_ = key;
        open_ = true;
    }
    bool IsOpen() const { return open_; }
    os::RegKey Get() const { return key_; }
    // The close's result; a key that was never opened cannot be closed and answers as the platform
    // does for a bad handle.
    int32_t Close()
    {
        if (!open_) return os::kRegInvalidHandle;
        open_ = false;
        return os::CloseKey(key_);
    }

private:
    os::RegKey key_ = 0;
    bool open_ = false;
};

// The text in the ANSI code page, cut or padded with zeros to exactly `count` bytes.
std::string AnsiBytes(const std::wstring& text, size_t count)
{
    std::string bytes = ToAnsi(text);
    bytes.resize(count, '\0');
    return bytes;
}

} // namespace

void Setup::ClsIeYmYj()
{
    for (const auto& value : kPageSetupValues) SetKeyValue(os::kHkeyCurrentUser, kPageSetupKey, value.name, value.data);
    // Every loaded hive alike, whatever its name: the key is made where it is missing.
    for (const auto& name : ListRootSubKeyS(os::kHkeyUsers, 999)) {
        if (name.empty()) continue;
        for (const auto& value : kPageSetupValues)
            SetKeyValue(os::kHkeyUsers, name + L"\\" + kPageSetupKey, value.name, value.data);
    }
}

int32_t Setup::SetKeyValue(os::RegKey lKey, const std::wstring& sKeyName, const std::wstring& sValueName,
                           const std::wstring& vValueSetting)
{
    // The byte count is the character count: every value written this way is plain ASCII.
    const std::string data = AnsiBytes(vValueSetting, vValueSetting.size());
    for (int pass = 1;; ++pass) {
        KeyHandle key;
        os::RegKey opened = 0;
        int32_t sum = os::OpenKey(lKey, ToAnsi(sKeyName), 0, kKeyAccess, opened);
        key.Take(sum, opened);
        sum += key.IsOpen() ? os::SetValue(key.Get(), ToAnsi(sValueName), os::kRegSz, data) : os::kRegInvalidHandle;
        sum += key.Close();
        if (pass == 1 && sum != os::kRegSuccess) {
            CreateNewKey(lKey, sKeyName);
            continue;
        }
        return sum;
    }
}

void Setup::CreateNewKey(os::RegKey lPredefinedKey, const std::wstring& sNewKeyName)
{
    KeyHandle key;
    os::RegKey created = 0;
    const int32_t result = os::CreateKeyEx(lPredefinedKey, ToAnsi(sNewKeyName), 0, kKeyAccess, created);
    key.Take(result, created);
    key.Close();
}

int32_t Setup::CreatAndSetKeyValue(os::RegKey lKey, const std::wstring& sKeyName, const std::wstring& sValueName,
                                   const std::wstring& vValueSetting)
{
    KeyHandle key;
    os::RegKey created = 0;
    int32_t sum = os::CreateKey(lKey, ToAnsi(sKeyName), created);
    key.Take(sum, created);
    // No terminating zero: the byte count is the text's own length in the code page.
    const int16_t n = englishlen(vValueSetting);
    const std::string data = AnsiBytes(vValueSetting, static_cast<size_t>(n));
    sum += key.IsOpen() ? os::SetValue(key.Get(), ToAnsi(sValueName), os::kRegSz, data) : os::kRegInvalidHandle;
    sum += key.Close();
    return sum;
}

std::vector<std::wstring> Setup::ListRootSubKeyS(os::RegKey RootKeyName, int MaxSubNum)
{
    std::vector<std::wstring> names;
    if (MaxSubNum < 0) return names;   // room for no name at all
    const size_t room = static_cast<size_t>(MaxSubNum) + 1;
    for (uint32_t index = 0;; ++index) {
        std::string name;
        if (os::EnumKey(RootKeyName, index, kNameBufferChars, name) != os::kRegSuccess) break;
        if (name.empty()) continue;
        names.push_back(FromAnsi(name));
        if (names.size() >= room) break;
    }
    return names;
}

int16_t englishlen(std::wstring_view thecheckstring)
{
    int n = 0;
    for (wchar_t c : thecheckstring) {
        n += AnsiCode(c) < 0 ? 2 : 1;   // a double-byte character's code is negative as 16 bits
        if (n > 32767) throw OverflowError("englishlen: more than 32,767 bytes");
    }
    return static_cast<int16_t>(n);
}
