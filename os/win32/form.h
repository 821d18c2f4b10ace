// The window class of a program's form: the program's icon (resource 1), the arrow and the
// button face, as every form of the programs has them.
#pragma once
#include <windows.h>

namespace os {

inline bool RegisterFormClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassW(&wc) != 0;
}

// What a form does with a message it does not handle itself: its end (WM_DESTROY) ends the
// message loop.
inline LRESULT FormDefault(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, w, l);
}

} // namespace os
