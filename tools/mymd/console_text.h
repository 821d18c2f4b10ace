// mymd's text at the console: its arguments, standard input and output are UTF-8 on Linux and the
// ANSI code page on Windows, as each system's console programs use them.
#pragma once
#include <string>
#include <string_view>

namespace mymd {

// The console's name for the texts it reads, for messages ("UTF-8").
extern const char kConsoleEncoding[];

// Console bytes to wide text; false when they are not valid in the console's encoding.
bool FromConsole(std::string_view bytes, std::wstring& text);

// Wide text to console bytes.
std::string ToConsole(std::wstring_view text);

} // namespace mymd
