// Facts about the PC that identify it: the serial number of a volume, the computer name and the
// processor identifiers the management service reports.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// Serial number of the volume with that root ("c:\"), as GetVolumeInformationA gives it, held as a
// signed 32-bit number; 0 when it cannot be read.
int32_t VolumeSerialNumber(std::wstring_view root);

// The computer name as GetComputerNameA leaves it in a 255-character buffer (NUL-padded).
std::wstring ComputerNameBuffer();

// The ProcessorId of every object "select * from Win32_Processor" returns through the management
// service bound by `moniker`, in order; nullopt for a null value. Stops at the first failure and
// returns what it had by then (nothing when the service cannot be reached).
std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view moniker);

} // namespace os
