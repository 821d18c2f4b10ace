// The machine-identifier cache "serial|cpu|id" as anything the per-user store may hold: ParseSerial
// and HexForm, and GetMachineId trusting an entry only when it checks out, otherwise writing a fresh
// one that the next run trusts.
#include "client/machine_id.h"
#include "common/digest.h"
#include "os/errors.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/unit/with_stand_in/vemr_window_double.h"

#include <cwchar>
#include <optional>

namespace {

constexpr wchar_t kSoftName[] = L"QpnDurix";
constexpr size_t kDigestLimit = 65534;

constexpr wchar_t kAlphabet[] = {L'|', L'|', L'-', L'0', L'1', L'9', L'+', L' ', L'A', L'F', L'a', 0x4E2D, L'\0'};

// A signed 32-bit decimal number: an optional "-", then one or more digits, in range.
std::optional<int32_t> Decimal(const std::wstring& text)
{
    size_t i = text.size() > 0 && text[0] == L'-' ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    long double value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        value = value * 10 + (text[i] - L'0');
        if (value > 1e11L) return std::nullopt;
    }
    if (text[0] == L'-') value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::vector<std::wstring> SplitAtBar(const std::wstring& text)
{
    std::vector<std::wstring> pieces(1);
    for (wchar_t c : text) {
        if (c == L'|') pieces.emplace_back();
        else pieces.back().push_back(c);
    }
    return pieces;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    const bool wide = shape & 1;

    // The number forms.
    const std::wstring number = fuzz::ConsumeText(in, wide, kAlphabet, 16);
    FUZZ_CHECK(vemr::ParseSerial(number) == Decimal(number));
    const auto serial = in.ConsumeIntegral<int32_t>();
    const std::wstring hex = vemr::HexForm(serial);
    FUZZ_CHECK(!hex.empty() && hex.size() <= 8 && (hex.size() == 1 || hex[0] != L'0'));
    for (wchar_t c : hex) FUZZ_CHECK((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    FUZZ_CHECK(std::wcstoul(hex.c_str(), nullptr, 16) == static_cast<uint32_t>(serial));

    // The machine as the stand-in reports it.
    vemrtest::FakeWindow host;
    fakeos::SetVolumeSerial(serial);
    std::vector<std::optional<std::wstring>> processorIds;
    for (int n = in.ConsumeIntegralInRange<int>(0, 3); n > 0; --n) {
        if (in.ConsumeBool()) processorIds.push_back(std::nullopt);
        else {
            // Processor identifiers are hexadecimal text: never a "|" of the entry's own.
            std::wstring id = fuzz::ConsumeText(in, wide, kAlphabet, 24);
            for (wchar_t& c : id)
                if (c == L'|') c = L'F';
            processorIds.push_back(id);
        }
    }
    fakeos::SetProcessorIds(processorIds);

    // The stored entry: anything, or one this routine wrote on another disk and then damaged a little.
    std::wstring entry;
    if (shape & 2) {
        entry = fuzz::ConsumeText(in, wide, kAlphabet, 96);
    } else {
        fakeos::SetVolumeSerial(in.ConsumeIntegral<int32_t>());
        vemr::GetMachineId(kSoftName);
        entry = host.Setting();
        fakeos::SetVolumeSerial(serial);
        const size_t at = in.ConsumeIntegralInRange<size_t>(0, entry.size());
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: break;
        case 1: entry.insert(at, fuzz::ConsumeText(in, wide, kAlphabet, 8)); break;
        case 2: entry.erase(at, in.ConsumeIntegralInRange<size_t>(0, 4)); break;
        case 3:   // a processor piece too long for the digest
            if (entry.find(L'|') != std::wstring::npos)
                entry.insert(entry.find(L'|') + 1, kDigestLimit - 20 + in.ConsumeIntegralInRange<size_t>(0, 20), L'7');
            break;
        }
    }
    fakeos::Reset(L"C:\\vemr");
    fakeos::SetExeName(L"vemr");
    if (!entry.empty()) host.SetCache(entry);
    fakeos::SetVolumeSerial(serial);
    fakeos::SetProcessorIds(processorIds);

    const std::vector<std::wstring> pieces = SplitAtBar(entry);
    std::wstring id;
    try {
        id = vemr::GetMachineId(kSoftName);
    } catch (const OverflowError&) {
        // Only a well-formed entry whose text to digest is past the digest's limit.
        FUZZ_CHECK(pieces.size() == 3 && Decimal(pieces[0]));
        FUZZ_CHECK(vemr::HexForm(*Decimal(pieces[0])).size() + std::wcslen(kSoftName) + pieces[1].size() > kDigestLimit);
        return 0;
    }
    FUZZ_CHECK(fuzz::IsCapitalCode(id));
    const bool trusted = host.HardwareReads() == 0;
    if (trusted) {
        // Kept: a well-formed entry whose third piece is the identifier, not rewritten.
        FUZZ_CHECK(pieces.size() == 3 && Decimal(pieces[0]) && pieces[2] == id);
        FUZZ_CHECK(host.Setting() == entry);
    } else {
        // Replaced: the fresh entry holds the host's serial and processors and this identifier.
        std::wstring cpu;
        for (const auto& p : processorIds)
            if (p) cpu += *p;
        FUZZ_CHECK(host.Setting() == std::to_wstring(serial) + L"|" + cpu + L"|" + id);
    }

    // The next run trusts what this one left, without reading the hardware.
    const int reads = host.HardwareReads();
    const std::wstring stored = host.Setting();
    FUZZ_CHECK(vemr::GetMachineId(kSoftName) == id);
    FUZZ_CHECK(host.HardwareReads() == reads && host.Setting() == stored);
    return 0;
}
