#include "tests/unit/stand_in/stand_in_writes.h"

#include "os/errors.h"
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_platform.h"

namespace fakeos {

WriteState& Writes()
{
    static WriteState state;
    return state;
}

} // namespace fakeos

namespace os {

void WriteToFile(std::wstring_view path, std::string_view bytes, bool append)
{
    const std::wstring file(path);
    if (fakeos::Writes().fails && fakeos::Writes().fails(file)) throw PlatformError("CreateFile: sharing violation", 32);
    std::string old;
    uint32_t attributes = kAttrArchive;
    if (fakeos::Exists(file)) {
        attributes = fakeos::Attributes(file);
        if (attributes & (kAttrReadOnly | kAttrFolder)) throw PlatformError("CreateFile: access denied", 5);
        if (append) old = OpenForReading(file)->Read(static_cast<size_t>(FileLength(file)));
    }
    fakeos::AddFile(file, old + std::string(bytes), attributes);
    if (fakeos::Writes().written) fakeos::Writes().written(file, std::string(bytes), append);
}

} // namespace os
