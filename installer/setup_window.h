// The installer's own window as its logic reaches it: the caption, hiding the window, the folder box
// and the install button, and the modal message boxes. Every other platform service is an os::
// function. The product implements it with Win32
// (setup_window_win32.cpp); the unit tests with a recording fake. Operations that can fail throw
// PlatformError.
#pragma once
#include <string>
#include <string_view>

// Message box styles: one OK button and an icon.
constexpr int kStopIcon = 16;
constexpr int kExclamationIcon = 48;
constexpr int kInformationIcon = 64;

// The window's controls that the logic reaches.
enum class Control { SoftPath, LetGo };

class SetupWindow {
public:
    virtual ~SetupWindow() = default;

    // The window `Setup` and its controls.
    virtual std::wstring Caption() = 0;
    virtual void SetCaption(std::wstring_view text) = 0;
    virtual void HideWindow() = 0;
    virtual std::wstring SoftPathText() = 0;
    virtual void EnableLetGo(bool enabled) = 0;
    // The control's own visible and enabled settings, whatever its window's state.
    virtual bool OwnVisibleAndEnabled(Control control) = 0;
    virtual void GiveFocus(Control control) = 0;
    // Selection of the text box: the start (collapsing the selection there), then its length.
    virtual void SetSelStart(int start) = 0;
    virtual void SetSelLength(int length) = 0;

    // A modal box with one OK button; returns when it is closed.
    virtual void ShowMessage(std::wstring_view text, std::wstring_view title, int style) = 0;
};
