// The machine facts' rules on Linux, apart so that the platform tests hold them to their examples.
// Once shops have identifiers made by these rules, they never change: a change gives every shop a
// new identifier.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace os::native {

// The serial of a file system from its UUID text: its first 8 hexadecimal digits (dashes skipped),
// read as a signed 32-bit number; 0 when it has fewer.
int32_t SerialFromUuid(std::string_view uuid);

// The UUID of the file system holding `path`, found through /proc/self/mountinfo (the device of its
// mount) and the links of /dev/disk/by-uuid, which any user may read; empty when it has none.
std::string VolumeUuid(const std::string& path);

// One processor's identifier: CPUID leaf 1's EDX then EAX, 16 upper-case hexadecimal digits.
std::wstring ProcessorIdOf(uint32_t eax, uint32_t edx);

} // namespace os::native
