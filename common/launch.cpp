#include "common/launch.h"

#include "os/shell.h"

int32_t TavinShell(std::wstring_view OpenFileName, std::wstring_view OpenParameters,
                   std::wstring_view WorkAtPath, int32_t WorkType)
{
    return os::ShellOpen(OpenFileName, OpenParameters, WorkAtPath, WorkType);
}

std::wstring CommandArguments(std::wstring_view commandLine)
{
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring_view::npos ? commandLine.size() : at + 1;
    } else {
        while (at < commandLine.size() && !blank(commandLine[at])) ++at;
    }
    while (at < commandLine.size() && blank(commandLine[at])) ++at;
    return std::wstring(commandLine.substr(at));
}
