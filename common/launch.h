// Starting another program through the shell, without waiting for it, and the arguments a program
// was started with.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// ShellExecute "open" with the program's main window as owner. Returns the platform's result: above
// 32 when the program was started, otherwise the platform's error code. Traps nothing.
int32_t TavinShell(std::wstring_view OpenFileName, std::wstring_view OpenParameters,
                   std::wstring_view WorkAtPath, int32_t WorkType);

// The argument part of a whole command line: what follows the program's path (quoted or not) and
// the blanks after it, kept whole.
std::wstring CommandArguments(std::wstring_view commandLine);
