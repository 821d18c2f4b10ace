// The installer `setup`: one window object with four modes chosen by its command line. Install mode
// shows the window and installs on `LetGo`; "uninstall" and "movenow" are the two stages of removal;
// "fixiepageset" repairs the web browser's print page set-up. Every mode ends the process itself.
#pragma once
#include "common/texthelpers.h"
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



// VB's Timer: seconds since local midnight, to the millisecond, as a single.
float SecondsSinceMidnight();

// The rename stamp of a replaced system file: seconds since midnight printed as a single, dots removed.
std::wstring RenameStamp(float secondsSinceMidnight);

// True when either folder text contains the other (exact, case-sensitive).
bool FoldersOverlap(const std::wstring& programFolder, const std::wstring& installFolder);

// The folders that make up the chain of the raw folder-box text, outermost first, ending with the
// text itself: cut at every backslash from the fifth character on, so a drive root is never made.
std::vector<std::wstring> FolderChain(const std::wstring& rawText);

// A path for a command line: quoted when it holds a blank, as written otherwise.
std::wstring CommandPath(const std::wstring& path);

// True when removing `folder` (upper case, closing backslash) could take the system or a user's
// data with it: not an absolute folder below a drive or share, a path that climbs or names the
// current folder, or one of `protectedFolders` itself or a folder that holds one. An entry of
// `protectedFolders` written as "FOLDER\*" protects everything inside FOLDER as well.
bool UnsafeToRemove(const std::wstring& folder, const std::vector<std::wstring>& protectedFolders);

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
    void ReadConfigFromFile(const std::wstring& TheConfigFile);
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
    const std::wstring& SoftTitle() const { return SoftTitle_; }
    const std::wstring& SoftHost() const { return SoftHost_; }
    const std::wstring& LinkName() const { return LinkName_; }
    const std::wstring& Tag() const { return Tag_; }

private:
    SetupWindow& window_;
    std::wstring SoftTitle_, SoftHost_, LinkName_;
    std::wstring Tag_;               // the program folder, upper case, closing backslash
    float lastFocusTime_ = 0.0f;     // seconds since midnight of the last focus change
};

// Byte count of the text in the ANSI code page, as a signed 16-bit count: 2 for each double-byte
// character, 1 for any other. Throws OverflowError past 32,767.
int16_t englishlen(std::wstring_view thecheckstring);
