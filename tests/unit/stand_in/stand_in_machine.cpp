#include "tests/unit/stand_in/stand_in_machine.h"

#include "os/machine.h"
#include "os/single_copy.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace {

struct Machine {
    int32_t serial = 305419896;
    std::wstring computer = L"SHOP-PC";
    std::vector<std::optional<std::wstring>> processorIds{std::wstring(L"BFEBFBFF000906EA")};
    bool anotherCopy = false;
};

Machine& M()
{
    static Machine machine;
    return machine;
}

} // namespace

namespace fakeos {

void ResetMachine() { M() = Machine{}; }
void SetVolumeSerial(int32_t serial) { M().serial = serial; }
void SetComputerName(const std::wstring& name) { M().computer = name; }
void SetProcessorIds(const std::vector<std::optional<std::wstring>>& ids) { M().processorIds = ids; }
void SetAnotherCopyRunning(bool running) { M().anotherCopy = running; }

} // namespace fakeos

namespace os {

int32_t VolumeSerialNumber(std::wstring_view root)
{
    fakeos::Journal().push_back(L"serial:" + std::wstring(root));
    return M().serial;
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

SingleCopyClaim::SingleCopyClaim(std::wstring_view)
{
    fakeos::Journal().push_back(L"guard");
    anotherCopy_ = M().anotherCopy;
}

SingleCopyClaim::~SingleCopyClaim() = default;

} // namespace os
