// The installer `setup`: one window object with four modes chosen by its command line. Install mode
// shows the window and installs on `LetGo`; "uninstall" and "movenow" are the two stages of removal;
// "fixiepageset" repairs the web browser's print page set-up. Every mode ends the process itself.
#pragma once
#include "installer/setup_rules.h"
#include "installer/setup_window.h"
#include "os/registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Design-time texts of the window and its controls.
inline constexpr wchar_t kDesignCaption[] = L"欢迎安装";
inline constexpr wchar_t kMemoText[] = L"请选择安装路径:";
inline constexpr wchar_t kSoftPathText[] = L"c:\\vemrclient";
inline constexpr wchar_t kLetGoText[] = L"开始安装";

// The product files copied into the install folder, in this order, and the runtime files among
// them that are brought up to date in the system folder.
extern const std::vector<std::wstring> kProductFiles;
extern const std::vector<std::wstring> kSystemFiles;

// Access mask of the print page set-up keys: query, set, create subkey, enumerate, notify, link.
constexpr uint32_t kKeyAccess = 0x3F;

// Which mode an argument text chooses: whole and case-sensitive.
enum class Mode { Repair, UninstallStage1, UninstallStage2, Install };
Mode ModeOf(std::wstring_view argumentText);

class Setup {
public:
    explicit Setup(SetupWindow& window) : window_(window) {}

    // Window events.
    void Form_Initialize();   // creation: the administrator test, in every mode
    void Form_Load();         // the mode dispatch
    void LetGo_Click();
    void SoftPath_Click();

    // Start-up routines.
    bool VistAdmin();
    void AutoSelText(Control TextObj);
    void TavinSetFocus(Control whichobject);

    // Install.
    void CopySystemFiles(const std::wstring& SourcePath, const std::vector<std::wstring>& SysFileS);
    void creatshortcut(const std::wstring& shortcutfile, const std::wstring& targetfile, const std::wstring& workdir,
                       const std::wstring& description, const std::wstring& arguments);
    void adduninstallinfo(const std::wstring& DisplayName, const std::wstring& InstallLocation,
                          const std::wstring& UninstallString, const std::wstring& DisplayIcon);
    std::wstring mygetwinspfold(int whichdir);

    // Uninstall.
    void UninstallStage1();
    void UninstallStage2();
    std::wstring getwintempath();
    void waitsecond(float howsecond);
    void lzkillall(const std::wstring& thepath);
    void killdir(const std::wstring& thedir);

    // Print page set-up repair and registry helpers.
    void ClsIeYmYj();
    int32_t SetKeyValue(os::RegKey lKey, const std::wstring& sKeyName, const std::wstring& sValueName,
                        const std::wstring& vValueSetting);
    void CreateNewKey(os::RegKey lPredefinedKey, const std::wstring& sNewKeyName);
    int32_t CreatAndSetKeyValue(os::RegKey lKey, const std::wstring& sKeyName, const std::wstring& sValueName,
                                const std::wstring& vValueSetting);
    std::vector<std::wstring> ListRootSubKeyS(os::RegKey RootKeyName, int MaxSubNum);

    // State read by the tests.
    const std::wstring& SoftTitle() const { return config_.title; }
    const std::wstring& SoftHost() const { return config_.host; }
    const std::wstring& LinkName() const { return config_.linkName; }
    const std::wstring& Tag() const { return Tag_; }

private:
    SetupWindow& window_;
    SetupConfig config_;
    std::wstring Tag_;               // the program folder, upper case, closing backslash
    float lastFocusTime_ = 0.0f;     // seconds since midnight of the last focus change
};

// Byte count of the text in the ANSI code page, as a signed 16-bit count: 2 for each double-byte
// character, 1 for any other. Throws OverflowError past 32,767.
int16_t englishlen(std::wstring_view thecheckstring);
