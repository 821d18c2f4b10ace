// vemr: the client. One window, Vemrix, that opens the operator's site in a signed way.
#include "client/frame_win32.h"
#include "os/win32/scoped.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const os::ComForThread ole(true);   // the browser control is activated in place
    vemr::Win32VemrixWindow window(instance);
    return window.Run();
}
