// The program's main window as os::SetMainWindow set it: the owner of the shell's windows and of the
// error report (null until it exists).
#pragma once
#include <windows.h>

namespace os {

HWND MainWindow();

} // namespace os
