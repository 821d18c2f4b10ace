// Install: the `LetGo` handler with the runtime files, the shortcuts and the uninstall entry.
#include "installer/setup_form.h"
#include "installer/setup_rules.h"
#include "common/steplog.h"

#include "common/filemaint.h"
#include "common/textfiles.h"
#include "os/ansi.h"
#include "os/errors.h"
#include "os/platform.h"
#include "os/registry.h"
#include "os/settings.h"
#include "os/shell.h"

const std::vector<std::wstring> kProductFiles = {L"MSWINSCK.OCX", L"horasync.exe", L"vemr.exe", L"config.txt",
                                                 L"setup.exe",    L"SHDOCVW.dll",  L"MSVBVM60.DLL"};
const std::vector<std::wstring> kSystemFiles = {L"MSWINSCK.OCX", L"SHDOCVW.dll", L"MSVBVM60.DLL"};

namespace {

const std::wstring kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr int kNormalWindow = 1;

} // namespace

void Setup::LetGo_Click()
{
    const std::wstring rawText = window_.SoftPathText();
    std::wstring installFolder = rawText;
    inst::lzjzpath(installFolder);
    // As written, and as the file system resolves both: another spelling of the program folder, its
    // short name or a link to it must not pass either.
    const auto resolved = [&](const std::wstring& folder) {
        std::wstring found = os::ResolvedFolder(folder);
        return found.empty() ? folder : inst::lzjzpath(found);
    };
    if (FoldersOverlap(Tag_, installFolder) || FoldersOverlap(resolved(Tag_), resolved(installFolder))) {
        window_.ShowMessage(L"不能安装到当前目录！", L"遗憾……", kStopIcon);
        return;   // the window stays open for another try
    }

    StepLog steps;   // every step below skips its own failure
    steps.Run([&] { window_.EnableLetGo(false); });
    for (const auto& folder : FolderChain(rawText)) inst::chkadir(folder);
    // chkadir keeps its failures to itself: a folder still missing after the chain is the one failure
    // that stops the install, before anything is recorded, registered or linked to it.
    steps.Run([&] { return inst::lzdirexist(installFolder); });
    if (steps.AnyFailed()) os::EndProgram();

    steps.Run([&] { os::SaveSetting(L"tavin", L"vemrclient", L"path", installFolder); });
    const std::wstring group = mygetwinspfold(os::kCsidlPrograms) + config_.title;
    steps.Run([&] { os::CreateFolder(group); });   // fails and is skipped when it exists already
    steps.Run([&] {
        adduninstallinfo(config_.title, installFolder, CommandPath(installFolder + L"setup.exe") + L" uninstall",
                         installFolder + L"vemr.exe");
    });
    for (const auto& name : kProductFiles) {
        if (os::SameFile(name, installFolder + name)) continue;   // deleting the target would lose the source
        steps.Run([&] { inst::killafile(installFolder + name); });
        steps.Run([&] { os::CopyFileTo(name, installFolder + name); });   // from the program folder
    }
    CopySystemFiles(installFolder, kSystemFiles);

    const std::wstring client = installFolder + L"vemr.exe";
    const std::wstring setup = installFolder + L"setup.exe";
    const std::wstring link = config_.linkName + L".lnk";
    steps.Run([&] { creatshortcut(group + L"\\" + link, client, installFolder, L"Vemr客户端", L""); });
    steps.Run([&] {
        creatshortcut(group + L"\\自动卸载.lnk", setup, installFolder, L"从您的电脑中彻底删除Vemr客户端", L"uninstall");
    });
    steps.Run([&] {
        creatshortcut(group + L"\\自动修复.lnk", setup, installFolder, L"修复系统打印相关设置", L"fixiepageset");
    });
    const std::wstring desktop = mygetwinspfold(os::kCsidlDesktop);
    steps.Run([&] { creatshortcut(desktop + link, client, installFolder, L"Vemr客户端", L""); });

    window_.HideWindow();
    window_.ShowMessage(L"安装完成！", L"恭喜！", kExclamationIcon);
    os::EndProgram();
}

void Setup::CopySystemFiles(const std::wstring& SourcePath, const std::vector<std::wstring>& SysFileS)
{
    StepLog steps;
    const std::wstring stamp = RenameStamp(SecondsSinceMidnight());
    const std::wstring sysdir = inst::getsysdir();
    const std::wstring regsvr32 = sysdir + L"regsvr32.exe";
    for (const auto& f : SysFileS) {
        // Only a missing or older copy is replaced; an older one is kept aside under a new name.
        bool update = false;
        std::wstring aside;   // where the older copy went
        steps.Run([&] {
            if (!inst::lzfilexist(sysdir + f)) {
                update = true;
            } else if (os::ModifiedSeconds(SourcePath + f) - os::ModifiedSeconds(sysdir + f) > 0) {
                update = true;
                os::RenameFile(sysdir + f, sysdir + f + L"." + stamp);
                aside = sysdir + f + L"." + stamp;
            }
        });
        if (!update) continue;
        steps.Run([&] { os::PumpEvents(); });
        StepLog copy;
        copy.Run([&] { os::CopyFileTo(SourcePath + f, sysdir + f); });
        // Without the fresh copy the system folder keeps the file it had: the older copy goes back and
        // is not registered again. Where it cannot be renamed back (a leftover of the failed copy stays,
        // the rename is refused), a copy of it goes back; when that fails too, it stays aside.
        if (copy.AnyFailed() && !aside.empty()) {
            inst::killafile(sysdir + f);   // whatever the failed copy left
            steps.Run([&] {
                try {
                    os::RenameFile(aside, sysdir + f);
                } catch (const PlatformError&) {
                    os::CopyFileTo(aside, sysdir + f);
                }
            });
        }
        steps.Run([&] { os::PumpEvents(); });
        if (!copy.AnyFailed())
            steps.Run([&] { os::ShellOpen(regsvr32, L"/s " + CommandPath(sysdir + f), sysdir, kNormalWindow); });
        steps.Run([&] { os::PumpEvents(); });
        steps.Run([&] { os::ShellOpen(regsvr32, L"/s " + CommandPath(SourcePath + f), SourcePath, kNormalWindow); });
    }
}

void Setup::creatshortcut(const std::wstring& shortcutfile, const std::wstring& targetfile, const std::wstring& workdir,
                          const std::wstring& description, const std::wstring& arguments)
{
    inst::killafile(shortcutfile);
    os::SaveShortcut(shortcutfile, targetfile, workdir, description, arguments, kNormalWindow);
}

void Setup::adduninstallinfo(const std::wstring& DisplayName, const std::wstring& InstallLocation,
                             const std::wstring& UninstallString, const std::wstring& DisplayIcon)
{
    const std::wstring key = kUninstallKey + DisplayName;
    if (InstallLocation.empty()) {
        os::DeleteKey(os::kHkeyLocalMachine, ToAnsi(key));   // its result is not looked at
        return;
    }
    const std::pair<const wchar_t*, const std::wstring*> values[] = {
        {L"DisplayName", &DisplayName},
        {L"InstallLocation", &InstallLocation},
        {L"UninstallString", &UninstallString},
        {L"DisplayIcon", &DisplayIcon},
    };
    StepLog steps;
    for (const auto& pair : values)
        if (!pair.second->empty())
            steps.Run([&] { CreatAndSetKeyValue(os::kHkeyLocalMachine, key, pair.first, *pair.second); });
}

std::wstring Setup::mygetwinspfold(int whichdir)
{
    std::wstring path;
    try {
        path = os::SpecialFolderBuffer(whichdir, 200);
    } catch (const std::exception&) {
        path.clear();   // no such folder: the empty text, normalised below like any other
    }
    path.resize(std::min(path.size(), path.find(L'\0')));
    return inst::lzjzpath(path);
}
