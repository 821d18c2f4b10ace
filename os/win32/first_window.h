// Until a program's own frame exists: its window is created, shown by nothing, and closed at once,
// so the program starts and ends cleanly on every Windows version.
#pragma once
#include <windows.h>

inline LRESULT CALLBACK FirstWindowProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, w, l);
}

inline int RunWindowThatEndsAtOnce(HINSTANCE instance, const wchar_t* className, const wchar_t* caption)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = FirstWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    HWND window = CreateWindowW(className, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                                nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
