// Start-up of `setup`: the administrator test, the mode dispatch, config.txt, the focus routines, and
// the small text rules the modes share.
#include "installer/setup_form.h"

#include "common/launch.h"
#include "common/textfiles.h"
#include "os/clock.h"
#include "os/platform.h"

#include <cstdio>
#include <exception>

namespace {


} // namespace

Mode ModeOf(std::wstring_view argumentText)
{
    if (argumentText == L"fixiepageset") return Mode::Repair;
    if (argumentText == L"uninstall") return Mode::UninstallStage1;
    if (argumentText == L"movenow") return Mode::UninstallStage2;
    return Mode::Install;
}

float SecondsSinceMidnight()
{
    const os::LocalDateTime now = os::LocalNow();
    return static_cast<float>(now.hour * 3600 + now.minute * 60 + now.second + now.milliseconds / 1000.0);
}

std::wstring RenameStamp(float secondsSinceMidnight)
{
    std::wstring stamp;
    for (wchar_t c : SingleText(secondsSinceMidnight))
        if (c != L'.') stamp += c;
    return stamp;
}

bool FoldersOverlap(const std::wstring& programFolder, const std::wstring& installFolder)
{
    return programFolder.find(installFolder) != std::wstring::npos ||
           installFolder.find(programFolder) != std::wstring::npos;
}

std::vector<std::wstring> FolderChain(const std::wstring& rawText)
{
    std::vector<std::wstring> chain;
    // The search starts after the fourth character, so "d:\" is never cut off as a folder of its own.
    for (size_t at = rawText.find(L'\\', 4); at != std::wstring::npos; at = rawText.find(L'\\', at + 1))
        chain.push_back(rawText.substr(0, at));
    chain.push_back(rawText);
    return chain;
}

std::wstring CommandPath(const std::wstring& path)
{
    // Unquoted, "C:\Program Files\x.exe" would let Windows start "C:\Program.exe" instead.
    if (path.find_first_of(L" \t") == std::wstring::npos) return path;
    return L"\"" + path + L"\"";
}

void Setup::Form_Initialize()
{
    if (VistAdmin()) return;
    window_.HideWindow();
    window_.ShowMessage(L"当前用户不具有本计算机管理员权限，无法进行软件安装。", L"请联系系统管理员！", kStopIcon);
    os::EndProgram();
}

void Setup::Form_Load()
{
    // The program folder becomes the current directory: install copies the product files by bare name.
    Tag_ = inst::WorkAtCurPath();
    switch (ModeOf(CommandArguments(os::CommandLine()))) {
    case Mode::Repair:
        ClsIeYmYj();
        window_.ShowMessage(L"修复完成！", L"恭喜！", kInformationIcon);
        os::EndProgram();
    case Mode::UninstallStage1:
        UninstallStage1();
        os::EndProgram();
    case Mode::UninstallStage2:
        UninstallStage2();
        os::EndProgram();
    case Mode::Install:
        break;
    }
    ReadConfigFromFile(Tag_ + L"config.txt");
    window_.SetCaption(window_.Caption() + SoftTitle_ + L"客户端");
    ClsIeYmYj();   // the print page set-up is repaired every time the window opens
    AutoSelText(Control::SoftPath);
}

void Setup::SoftPath_Click() { AutoSelText(Control::SoftPath); }

bool Setup::VistAdmin()
{
    // Writing today's date back changes nothing but needs the right to set the clock, which only
    // an administrator has.
    try {
        os::SetLocalClock(os::LocalNow());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void Setup::ReadConfigFromFile(const std::wstring& TheConfigFile)
{
    int16_t state = 0;   // not looked at: a file that cannot be read is as good as a missing one
    const auto pieces = SplitAtCrLf(GetStrFromFile(TheConfigFile, false, state));
    if (pieces.size() != 4) os::EndProgram();
    SoftTitle_ = pieces[0];
    SoftHost_ = pieces[1];
    LinkName_ = pieces[2];
}

void Setup::AutoSelText(Control TextObj)
{
    const size_t n = window_.SoftPathText().size();
    TavinSetFocus(TextObj);
    window_.SetSelStart(0);
    if (n < 65536) window_.SetSelLength(static_cast<int>(n));
}

void Setup::TavinSetFocus(Control whichobject)
{
    if (!window_.OwnVisibleAndEnabled(whichobject)) return;
    const float now = SecondsSinceMidnight();
    const float since = now - lastFocusTime_;
    if (since > 0.1) {
        window_.GiveFocus(whichobject);
        lastFocusTime_ = now;
    }
}
