#include "common/launch.h"

#include "os/platform.h"

int32_t TavinShell(std::wstring_view OpenFileName, std::wstring_view OpenParameters,
                   std::wstring_view WorkAtPath, int32_t WorkType)
{
    return os::ShellOpen(OpenFileName, OpenParameters, WorkAtPath, WorkType);
}
