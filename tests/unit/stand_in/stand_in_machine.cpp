#include "tests/unit/stand_in/stand_in_machine.h"

#include "os/machine.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace {

struct Machine {
    int32_t serial = 305419896;
    std::wstring computer = L"SHOP-PC";
    std::vector<std::optional<std::wstring>> processorIds{std::wstring(L"BFEBFBFF000906EA")};
};

Machine& M() { return fakeos::TheOne<Machine>(); }

} // namespace

namespace fakeos {

void ResetMachine() { M() = Machine{}; }
void SetVolumeSerial(int32_t serial) { M().serial = serial; }
void SetComputerName(const std::wstring& name) { M().computer = name; }
void SetProcessorIds(const std::vector<std::optional<std::wstring>>& ids) { M().processorIds = ids; }

} // namespace fakeos

namespace os {

int32_t VolumeSerialNumber(std::wstring_view root)
{
    fakeos::Journal().push_back(L"serial:" + std::wstring(root));
    return !root.empty() && (root[0] == L'C' || root[0] == L'c') ? M().serial : 0;   // the one volume, C:
}

std::wstring ComputerNameBuffer()
{
    std::wstring buffer = M().computer;
    buffer.resize(255, L'\0');
    return buffer;
}

std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view moniker)
{
    fakeos::Journal().push_back(L"wmi:" + std::wstring(moniker));
    return M().processorIds;
}

} // namespace os
