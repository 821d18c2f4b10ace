// Linux: UTF-8.
#include "tools/mymd/console_text.h"

#include "os/ansi.h"

namespace mymd {

const char kConsoleEncoding[] = "UTF-8";

bool FromConsole(std::string_view bytes, std::wstring& text) { return Utf8ToWide(bytes, text); }

std::string ToConsole(std::wstring_view text) { return WideToUtf8(text); }

} // namespace mymd
