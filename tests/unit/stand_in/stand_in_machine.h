// The stand-in's machine facts (os/machine.h). After Reset: volume serial 305419896 on its one volume,
// C:, computer SHOP-PC, one processor BFEBFBFF000906EA. The journal gets "serial:<root>"
// and "wmi:<moniker>" for each hardware read.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fakeos {

void ResetMachine();
void SetVolumeSerial(int32_t serial);
// The name as the platform leaves it in its 255-character buffer (NUL-padded by the stand-in).
void SetComputerName(const std::wstring& name);
void SetProcessorIds(const std::vector<std::optional<std::wstring>>& ids);

} // namespace fakeos
