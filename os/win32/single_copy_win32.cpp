// The single-copy claim as a named mutex in the session's namespace: the first copy creates it, a
// later copy finds it existing. The mutex goes with the last handle, so a copy that ended (even
// abruptly) never blocks the next start, and two copies starting together cannot both win.
#include "os/single_copy.h"

#include <windows.h>

#include <cwctype>
#include <string>

namespace os {

SingleCopyClaim::SingleCopyClaim(std::wstring_view programName)
{
    std::wstring name = L"Local\\VemrClient.SingleCopy.";
    for (wchar_t c : programName) name += static_cast<wchar_t>(std::towlower(c));
    handle_ = CreateMutexW(nullptr, FALSE, name.c_str());
    anotherCopy_ = handle_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

SingleCopyClaim::~SingleCopyClaim()
{
    if (handle_) CloseHandle(handle_);
}

} // namespace os
