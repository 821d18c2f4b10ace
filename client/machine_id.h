// The machine identifier: MyMd of the volume serial of C: (hexadecimal), the program constant and the
// processor identifiers, cached per user as "serial|cpu|id" and trusted while it checks out.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vemr {

// Upper-case hexadecimal of the 32-bit value without leading zeros; a negative value as its 32-bit
// two's complement (8 digits).
std::wstring HexForm(int32_t value);

// The text as a signed 32-bit decimal number (an optional "-", then digits), or nothing.
std::optional<int32_t> ParseSerial(std::wstring_view text);

// Serial of the volume DriveStr + ":\", or 0 when it cannot be read.
int32_t GetSerialNumber(std::wstring_view DriveStr);

// The ProcessorId values of all processors joined without separator; empty when unavailable.
std::wstring GetCpuS();

// The cached identifier when the entry (exe name, "function", "getmachineid") recomputes to its
// third piece; otherwise a fresh one, written back to the cache. Throws when the cache cannot be
// written.
std::wstring GetMachineId(std::wstring_view SoftName);

} // namespace vemr
