#include "installer/setup_system_win32.h"

#include "os/win32/local_time.h"
#include "os/win32/scoped.h"

#include <string>

using os::Fail;

namespace {

std::wstring Text(std::wstring_view text) { return std::wstring(text); }

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

std::wstring Win32SetupSystem::Caption() { return WindowText(window_); }

void Win32SetupSystem::SetCaption(std::wstring_view text) { SetWindowTextW(window_, Text(text).c_str()); }

void Win32SetupSystem::HideWindow() { ShowWindow(window_, SW_HIDE); }

std::wstring Win32SetupSystem::SoftPathText() { return WindowText(softPath_); }

void Win32SetupSystem::EnableLetGo(bool enabled) { EnableWindow(letGo_, enabled); }

bool Win32SetupSystem::OwnVisibleAndEnabled(Control control)
{
    const LONG_PTR style = GetWindowLongPtrW(ControlWindow(control), GWL_STYLE);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

void Win32SetupSystem::GiveFocus(Control control) { SetFocus(ControlWindow(control)); }

void Win32SetupSystem::SetSelStart(int start) { SendMessageW(softPath_, EM_SETSEL, start, start); }

void Win32SetupSystem::SetSelLength(int length)
{
    DWORD start = 0;
    SendMessageW(softPath_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    SendMessageW(softPath_, EM_SETSEL, start, start + static_cast<DWORD>(length));
}

void Win32SetupSystem::ShowMessage(std::wstring_view text, std::wstring_view title, int style)
{
    MessageBoxW(window_, Text(text).c_str(), Text(title).c_str(), static_cast<UINT>(style));
}

float Win32SetupSystem::SecondsSinceMidnight()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<float>(now.wHour * 3600 + now.wMinute * 60 + now.wSecond + now.wMilliseconds / 1000.0);
}

LocalDate Win32SetupSystem::Today() { return os::LocalNow(); }

void Win32SetupSystem::SetSystemDate(const LocalDate& date)
{
    // Exactly the reading given: a second reading could fall on the next day and put the date back.
    const SYSTEMTIME set = os::ToSystemTime(date);
    if (!SetLocalTime(&set)) Fail("SetLocalTime");
}

void Win32SetupSystem::StartCommandLine(std::wstring_view commandLine)
{
    std::wstring command(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail("CreateProcess");
    const os::KernelHandle process(info.hProcess), thread(info.hThread);   // not waited for: only released
}
