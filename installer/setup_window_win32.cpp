#include "installer/setup_window_win32.h"

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

std::wstring Win32SetupWindow::Caption() { return WindowText(window_); }

void Win32SetupWindow::SetCaption(std::wstring_view text) { SetWindowTextW(window_, Text(text).c_str()); }

void Win32SetupWindow::HideWindow() { ShowWindow(window_, SW_HIDE); }

std::wstring Win32SetupWindow::SoftPathText() { return WindowText(softPath_); }

void Win32SetupWindow::EnableLetGo(bool enabled) { EnableWindow(letGo_, enabled); }

bool Win32SetupWindow::OwnVisibleAndEnabled(Control control)
{
    const LONG_PTR style = GetWindowLongPtrW(ControlWindow(control), GWL_STYLE);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

void Win32SetupWindow::GiveFocus(Control control) { SetFocus(ControlWindow(control)); }

void Win32SetupWindow::SetSelStart(int start) { SendMessageW(softPath_, EM_SETSEL, start, start); }

void Win32SetupWindow::SetSelLength(int length)
{
    DWORD start = 0;
    SendMessageW(softPath_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    SendMessageW(softPath_, EM_SETSEL, start, start + static_cast<DWORD>(length));
}

void Win32SetupWindow::ShowMessage(std::wstring_view text, std::wstring_view title, int style)
{
    MessageBoxW(window_, Text(text).c_str(), Text(title).c_str(), static_cast<UINT>(style));
}
