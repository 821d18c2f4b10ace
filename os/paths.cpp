#include "os/paths.h"

std::wstring ParentFolder(std::wstring_view fullPath)
{
    const size_t cut = fullPath.find_last_of(L'\\');
    if (cut == std::wstring_view::npos || cut + 1 == fullPath.size()) return {};
    if (fullPath.substr(0, 2) == L"\\\\") {   // the backslash after the server is no cut point
        const size_t server = fullPath.find(L'\\', 2);
        if (server == std::wstring_view::npos || server == cut) return {};
    }
    return std::wstring(fullPath.substr(0, cut == 2 && fullPath[1] == L':' ? 3 : cut));
}
