#include "client/machine_id.h"

#include "common/digest.h"
#include "common/texthelpers.h"
#include "os/machine.h"
#include "os/platform.h"
#include "os/settings.h"

#include <vector>

namespace vemr {
namespace {

constexpr wchar_t kSection[] = L"function";
constexpr wchar_t kKey[] = L"getmachineid";

std::wstring Identifier(int32_t serial, std::wstring_view SoftName, std::wstring_view cpu)
{
    std::wstring text = HexForm(serial);
    text.append(SoftName).append(cpu);
    return MyMd(text);
}

} // namespace

std::wstring HexForm(int32_t value)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    auto bits = static_cast<uint32_t>(value);
    std::wstring text;
    do {
        text.insert(text.begin(), digits[bits & 15]);
        bits >>= 4;
    } while (bits != 0);
    return text;
}

std::optional<int32_t> ParseSerial(std::wstring_view text)
{
    const bool negative = !text.empty() && text[0] == L'-';
    if (negative) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > int64_t{1} << 31) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

int32_t GetSerialNumber(std::wstring_view DriveStr)
{
    std::wstring root(DriveStr);
    root += L":\\";
    return os::VolumeSerialNumber(root);
}

std::wstring GetCpuS()
{
    const std::wstring computer = GetApiBackStr(os::ComputerNameBuffer());
    const std::wstring moniker = L"winmgmts:{impersonationLevel=impersonate}!\\\\" + computer + L"\\root\\cimv2";
    std::wstring cpu;
    for (const auto& id : os::ProcessorIds(moniker))
        if (id) cpu += *id;  // a null ProcessorId adds nothing
    return cpu;
}

std::wstring GetMachineId(std::wstring_view SoftName)
{
    const std::wstring application = os::ExeName();
    const std::wstring entry = os::GetSetting(application, kSection, kKey, L"");
    if (!entry.empty()) {
        const std::vector<std::wstring> pieces = SplitText(entry, L"|");
        // Only entries this routine could have written validate: a first piece that is no signed
        // 32-bit decimal number is treated like any other damaged entry and replaced.
        if (pieces.size() == 3) {
            if (const auto serial = ParseSerial(pieces[0]))
                if (Identifier(*serial, SoftName, pieces[1]) == pieces[2]) return pieces[2];
        }
    }
    const int32_t serial = GetSerialNumber(L"c");
    const std::wstring cpu = GetCpuS();
    const std::wstring id = Identifier(serial, SoftName, cpu);
    os::SaveSetting(application, kSection, kKey, std::to_wstring(serial) + L"|" + cpu + L"|" + id);
    return id;
}

} // namespace vemr
