// The shell's "open", apart from the shell's folders and shortcuts: a program links a whole object
// file as soon as it calls one of its functions, and one that only starts others through the shell
// keeps the folder calls and COM out of its imports.
#include "os/shell.h"

#include "os/ansi.h"
#include "os/win32/main_window.h"

#include <windows.h>
#include <shellapi.h>

namespace os {

std::wstring ProgramFileName(std::wstring_view program) { return std::wstring(program) + L".exe"; }

int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                  int32_t showCommand)
{
    const std::string fileAnsi = ToAnsi(file);
    const std::string parametersAnsi = ToAnsi(parameters);
    const std::string folderAnsi = ToAnsi(folder);
    const HINSTANCE result = ShellExecuteA(MainWindow(), "open", fileAnsi.c_str(), parametersAnsi.c_str(),
                                           folderAnsi.c_str(), showCommand);
    return static_cast<int32_t>(reinterpret_cast<INT_PTR>(result));
}

} // namespace os
