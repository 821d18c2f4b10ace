// Start-up of `setup`: the administrator test, the mode dispatch and the focus routines.
#include "installer/setup_form.h"

#include "common/launch.h"
#include "common/textfiles.h"
#include "os/clock.h"
#include "os/platform.h"

#include <exception>

Mode ModeOf(std::wstring_view argumentText)
{
    if (argumentText == L"fixiepageset") return Mode::Repair;
    if (argumentText == L"uninstall") return Mode::UninstallStage1;
    if (argumentText == L"movenow") return Mode::UninstallStage2;
    return Mode::Install;
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
    config_ = ReadConfigFromFile(Tag_ + L"config.txt");
    window_.SetCaption(window_.Caption() + config_.title + L"客户端");
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
