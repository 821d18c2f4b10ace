// The error report's text, as every implementation of the platform shows it.
#include "os/errors.h"

#include "os/ansi.h"

std::wstring ErrorReportText(const std::exception& error)
{
    int number = 5;  // invalid procedure call: a platform step that failed
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error)) number = runtime->number();
    if (dynamic_cast<const OverflowError*>(&error)) number = 6;
    std::wstring description;
    if (!Utf8ToWide(error.what(), description)) description = FromAnsi(error.what());
    return L"运行时错误 '" + std::to_wstring(number) + L"':\n\n" + description;
}
