// Paths between the programs' Windows form and the Linux file tree, and the errors of the Linux
// services. The programs name files as Windows does (a drive, backslashes, any case); here drive C:
// is the root of the one tree, a backslash is a slash, and a name in another case reaches the
// entry that exists under that name in any case (ASCII letters), so the programs find their files
// as they do on Windows. Another drive or a network path leads nowhere.
#pragma once
#include <string>
#include <string_view>

namespace os::native {

// The native (UTF-8) path of a Windows-form path; throws PlatformError 3 for a drive other than C:
// or a network path.
std::string NativePath(std::wstring_view path);

// The Windows form of a native absolute path ("/opt/x" → "C:\opt\x").
std::wstring WindowsPath(std::string_view native);

// The platform error number of errno `err` met at `nativePath`, as Windows numbers it: 2 (or 3 when
// the folder is missing too), 5, 145, 183; any other errno as 0x20000000 + errno.
unsigned long ErrorNumber(int err, const std::string& nativePath);

// Throws PlatformError for errno `err` met by `what` at `nativePath`.
[[noreturn]] void Fail(const char* what, int err, const std::string& nativePath);

} // namespace os::native
