// Windows: the ANSI code page (GBK on a Chinese system), in which every byte sequence is text.
#include "tools/mymd/console_text.h"

#include "os/ansi.h"

namespace mymd {

const char kConsoleEncoding[] = "the ANSI code page";

bool FromConsole(std::string_view bytes, std::wstring& text)
{
    text = FromAnsi(bytes);
    return true;
}

std::string ToConsole(std::wstring_view text) { return ToAnsi(text); }

} // namespace mymd
