// The installer's platform on Windows: its window and controls, message boxes, the clock, files,
// the shell and the ANSI registry calls.
#pragma once
#include "installer/setup_system.h"

#include <windows.h>

class Win32SetupSystem : public SetupSystem {
public:
    Win32SetupSystem(HWND window, HWND softPath, HWND letGo) : window_(window), softPath_(softPath), letGo_(letGo) {}

    std::wstring CommandLine() override;
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
    [[noreturn]] void EndProgram() override;
    void PumpEvents() override;

    float SecondsSinceMidnight() override;
    LocalDate Today() override;
    void SetSystemDate(const LocalDate& date) override;

    void CopyFileTo(std::wstring_view from, std::wstring_view to) override;
    void RenameFile(std::wstring_view from, std::wstring_view to) override;
    int64_t ModifiedSeconds(std::wstring_view path) override;
    std::vector<FolderEntry> ListFolder(std::wstring_view pattern, uint32_t mask) override;
    void RemoveFolder(std::wstring_view path) override;

    std::wstring TempPathBuffer(size_t chars) override;
    std::wstring SpecialFolderBuffer(int csidl, size_t chars) override;
    std::vector<std::wstring> ProtectedFolders() override;
    std::wstring ResolvedFolder(std::wstring_view folder) override;
    bool SameFile(std::wstring_view a, std::wstring_view b) override;
    void SaveShortcut(std::wstring_view file, std::wstring_view target, std::wstring_view workdir,
                      std::wstring_view description, std::wstring_view arguments, int showCommand) override;
    int32_t ShellOpen(std::wstring_view file, std::wstring_view parameters, std::wstring_view folder,
                      int32_t showCommand) override;
    void StartCommandLine(std::wstring_view commandLine) override;

    int32_t OpenKey(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                    RegKey& opened) override;
    int32_t CreateKeyEx(RegKey key, const std::string& subKey, uint32_t options, uint32_t access,
                        RegKey& created) override;
    int32_t CreateKey(RegKey key, const std::string& subKey, RegKey& created) override;
    int32_t SetValue(RegKey key, const std::string& valueName, uint32_t type, const std::string& data) override;
    int32_t CloseKey(RegKey key) override;
    int32_t DeleteKey(RegKey key, const std::string& subKey) override;
    int32_t EnumKey(RegKey key, uint32_t index, size_t chars, std::string& name) override;

private:
    // An existing folder as the file system resolves it; empty when it cannot be opened.
    static std::wstring ResolvedExistingFolder(const std::wstring& path);
    HWND ControlWindow(Control control) const { return control == Control::SoftPath ? softPath_ : letGo_; }

    HWND window_;
    HWND softPath_;
    HWND letGo_;
};
