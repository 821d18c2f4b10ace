#include "os/win32/first_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return RunWindowThatEndsAtOnce(instance, L"Vemrix", L"vemr");
}
