// What the client's window object asks of the platform. The Windows frame implements it with the
// real window, browser control, tray and system calls; the unit tests implement it with a fake whose
// EndProgram throws, so a test sees where the program ended and that nothing ran after it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemr {

enum class WindowState { Normal, Minimised, Maximised };

// A local date and time in whole seconds.
struct LocalTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// The desktop work area in pixels (the screen less the taskbar).
struct WorkArea {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// Operations on the notification-area icon, as the platform numbers them.
enum TrayOperation : int { kTrayAdd = 0, kTrayDelete = 2 };

// The tray record of the window, in the ANSI NOTIFYICONDATA layout of 488 bytes. The window handle,
// the icon identifier and the icon handle are the frame's own and are filled in by it.
struct TrayRecord {
    uint32_t size = 0;               // 488 while the icon is shown, 0 otherwise: the presence flag
    uint32_t flags = 0;
    uint32_t callbackMessage = 0;
    std::wstring tip;                // the text before its NUL
    uint32_t state = 0, stateMask = 0;
    std::wstring balloonText, balloonTitle;
    uint32_t balloonTimeout = 0, balloonKind = 0;
};

class VemrixHost {
public:
    virtual ~VemrixHost() = default;

    // Ends the process at once: no further event runs, nothing is saved, the tray icon stays.
    [[noreturn]] virtual void EndProgram() = 0;
    // The modal error report of an error that reached a window event (title, text, stop icon).
    virtual void ShowErrorReport(std::wstring_view title, std::wstring_view text) = 0;

    // True when another copy of this program is already running.
    virtual bool AnotherCopyRunning() = 0;

    // The program folder with its closing backslash, made the current directory. May throw.
    virtual std::wstring WorkAtCurPath() = 0;
    // The whole ANSI text file as wide text; empty when missing, empty or unreadable.
    virtual std::wstring ReadTextFile(std::wstring_view path) = 0;
    // The shell's "open" of a program, not waited for; the platform's result.
    virtual int32_t TavinShell(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                               int32_t workType) = 0;
    // The PC's standard offset from UTC in seconds, positive east of Greenwich.
    virtual int32_t GeTimeZone() = 0;
    virtual LocalTime Now() = 0;

    // The executable's file name without extension: the application name of its settings.
    virtual std::wstring ExeName() = 0;
    virtual std::wstring GetSetting(std::wstring_view application, std::wstring_view section,
                                    std::wstring_view key, std::wstring_view defaultValue) = 0;
    // Throws when the value cannot be written.
    virtual void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value) = 0;
    // Serial number of the volume with that root ("c:\"), or 0 when it cannot be read.
    virtual int32_t VolumeSerial(std::wstring_view root) = 0;
    // The computer name as the platform's 255-character buffer holds it (cut at the first NUL by the
    // caller).
    virtual std::wstring ComputerName() = 0;
    // ProcessorId of each processor the management service returns through the moniker, in its
    // order; nullopt for a null value. Stops where a failure occurs, keeping what it had.
    virtual std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view moniker) = 0;

    virtual std::wstring Caption() = 0;
    virtual void SetCaption(std::wstring_view caption) = 0;
    virtual WindowState GetWindowState() = 0;
    virtual void SetWindowState(WindowState state) = 0;
    virtual void SetWindowVisible(bool visible) = 0;
    // Outer size of the window in twips.
    virtual double WindowWidth() = 0;
    virtual double WindowHeight() = 0;
    // Moves the window's outer top-left corner (twips). Throws while minimised or maximised.
    virtual void MoveWindow(double left, double top) = 0;
    virtual double TwipsPerPixelX() = 0;
    virtual double TwipsPerPixelY() = 0;
    virtual WorkArea GetWorkArea() = 0;
    // Removes the Size command from the window menu.
    virtual void RemoveSizeCommand() = 0;
    // Topmost (true) or bottom of the z-order (false), keeping size and position.
    virtual void SetZOrder(bool topmost) = 0;
    // Lets pending window events run once.
    virtual void PumpEvents() = 0;
    virtual void NotifyIcon(TrayOperation operation, const TrayRecord& record) = 0;

    // The browser control Tavin.
    virtual void Navigate(std::wstring_view url, std::wstring_view headers) = 0;
    virtual bool BrowserVisible() = 0;
    virtual void SetBrowserVisible(bool visible) = 0;
    virtual void SetBrowserTop(double twips) = 0;
};

} // namespace vemr
