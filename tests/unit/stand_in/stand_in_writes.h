// The stand-in's file writes (os::WriteToFile) into its in-memory files: a read-only file cannot be
// written, as on Windows; a test may refuse writes to chosen files and watch every write.
#pragma once
#include <functional>
#include <string>

namespace fakeos {

struct WriteState {
    std::function<bool(const std::wstring& path)> fails;   // files that cannot be written now
    std::function<void(const std::wstring& path, const std::string& bytes, bool append)> written;
};

// The writes' state; `Writes() = {}` starts afresh.
WriteState& Writes();

} // namespace fakeos
