// Uninstall in two stages: stage 1 in the install folder starts a working copy of `setup` from the
// temporary folder, which (stage 2) removes the client, the install folder, the shortcuts, the
// uninstall entry and the install record.
#include "installer/setup_form.h"
#include "installer/protected_folders.h"
#include "installer/setup_rules.h"
#include "common/steplog.h"

#include "common/filemaint.h"
#include "common/textfiles.h"
#include "os/platform.h"
#include "os/processes.h"
#include "os/settings.h"
#include "os/shell.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr uint32_t kAttrReparsePoint = 0x400;   // a junction or symbolic link

} // namespace

void Setup::UninstallStage1()
{
    const std::wstring workingCopy = getwintempath() + L"uninstallvemr.exe";
    // Without a fresh working copy running, nothing is removed: an old copy is not started instead.
    try {
        os::CopyFileTo(Tag_ + L"setup.exe", workingCopy);
        os::StartProcess(CommandPath(workingCopy) + L" movenow");
    } catch (const std::exception&) {
    }
    os::EndProgram();
}

void Setup::UninstallStage2()
{
    waitsecond(1);   // lets stage 1 end, so its setup.exe can be deleted
    // A saved record is normalised already; the fallback folder-box text is made so here as well.
    std::wstring installFolder = os::GetSetting(L"tavin", L"vemrclient", L"path", window_.SoftPathText());
    inst::lzjzpath(installFolder);
    const auto protectedFolders = ProtectedFolders();
    // The folder as written and as the file system takes it: a short name, a link or a junction may
    // lead into a protected folder under another name.
    const auto unsafe = [&](const std::wstring& folder) {
        if (UnsafeToRemove(folder, protectedFolders)) return true;
        const std::wstring resolved = os::ResolvedFolder(folder);
        return !resolved.empty() && UnsafeToRemove(resolved, protectedFolders);
    };
    if (unsafe(installFolder)) {
        window_.ShowMessage(L"记录的安装路径“" + installFolder + L"”是系统或用户的文件夹，已停止卸载，没有删除任何文件。",
                         L"卸载失败！", kStopIcon);
        os::EndProgram();
    }

    inst::killafile(installFolder + L"vemr.exe");
    config_ = ReadConfigFromFile(installFolder + L"config.txt");
    if (inst::lzfilexist(installFolder + L"vemr.exe")) {   // the client is running
        window_.ShowMessage(L"程序正在运行，请关闭后重试！", L"卸载失败！", kStopIcon);
        os::EndProgram();
    }

    StepLog steps;
    steps.Run([&] { adduninstallinfo(config_.title, L"", L"", L""); });
    steps.Run([&] { lzkillall(installFolder); });
    std::wstring group = mygetwinspfold(os::kCsidlPrograms) + config_.title;
    // The group's name comes from config.txt: it must name a folder of its own inside Programs.
    std::wstring groupFolder = group;
    if (!unsafe(inst::lzjzpath(groupFolder))) steps.Run([&] { lzkillall(group); });
    steps.Run([&] { inst::killafile(mygetwinspfold(os::kCsidlDesktop) + config_.linkName + L".lnk"); });
    steps.Run([&] { os::DeleteSection(L"tavin", L"vemrclient"); });
    window_.ShowMessage(L"卸载完成！", L"恭喜！", kInformationIcon);
    os::EndProgram();
}

std::wstring Setup::getwintempath()
{
    std::wstring path;
    try {
        path = os::TempPathBuffer(100);
    } catch (const std::exception&) {
        path.clear();
    }
    path.resize(std::min(path.size(), path.find(L'\0')));
    return inst::lzjzpath(path);
}

void Setup::waitsecond(float howsecond)
{
    const float start = SecondsSinceMidnight();
    for (;;) {
        os::PumpEvents();
        // Across midnight the difference is large and the wait ends at once.
        if (std::fabs(SecondsSinceMidnight() - start) >= howsecond) return;
    }
}

void Setup::lzkillall(const std::wstring& thepath)
{
    if (thepath.empty()) return;
    std::wstring p = thepath;
    inst::lzjzpath(p);
    StepLog steps;
    // Every name is collected before any is removed: removing changes the listing.
    std::vector<std::wstring> names;
    steps.Run([&] {
        for (const auto& entry : os::ListFolder(p + L"*.*", os::kAnyEntryMask))
            if (entry.name != L"." && entry.name != L"..") names.push_back(entry.name);
    });
    for (const auto& n : names) {
        steps.Run([&] {   // a name gone since the listing is skipped
            const uint32_t attributes = os::GetAttributes(p + n);
            if (!(attributes & os::kAttrFolder))
                inst::killafile(p + n);
            else if (attributes & kAttrReparsePoint)
                killdir(p + n);   // a link to a folder elsewhere: only the link goes, never what it holds
            else
                lzkillall(p + n);
        });
    }
    killdir(p);
}

void Setup::killdir(const std::wstring& thedir)
{
    if (thedir.empty()) return;
    std::wstring dir = thedir;
    if (dir.back() == L'\\') dir.pop_back();
    if (!inst::lzdirexist(dir)) return;
    StepLog steps;
    steps.Run([&] { os::SetAttributes(dir, 0); });
    steps.Run([&] { os::RemoveFolder(dir); });   // fails, and is skipped, while anything is left in it
}
