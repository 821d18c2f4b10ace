// The installer's window on Windows: its caption, controls and message boxes.
#pragma once
#include "installer/setup_window.h"

#include <windows.h>

class Win32SetupWindow : public SetupWindow {
public:
    Win32SetupWindow(HWND window, HWND softPath, HWND letGo) : window_(window), softPath_(softPath), letGo_(letGo) {}

    std::wstring Caption() override;
    void SetCaption(std::wstring_view text) override;
    void HideWindow() override;
    std::wstring SoftPathText() override;
    void EnableLetGo(bool enabled) override;
    bool OwnVisibleAndEnabled(Control control) override;
    void GiveFocus(Control control) override;
    void SetSelStart(int start) override;
    void SetSelLength(int length) override;

    void ShowMessage(std::wstring_view text, std::wstring_view title, int style) override;


private:
    HWND ControlWindow(Control control) const { return control == Control::SoftPath ? softPath_ : letGo_; }

    HWND window_;
    HWND softPath_;
    HWND letGo_;
};
