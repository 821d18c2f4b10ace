// A fake platform for the client's window object: configurable answers, and a journal of what the
// client did, in order. EndProgram throws ProgramEnded, which is no std::exception, so it passes the
// client's error handling the way the real end passes everything.
#pragma once
#include "tests/unit/portable/program_ended.h"
#include "client/vemrix_host.h"

#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace vemrtest {

class FakeHost : public vemr::VemrixHost {
public:
    // Answers.
    bool anotherCopy = false;
    std::wstring folder = L"C:\\vemr\\";
    std::map<std::wstring, std::wstring> files;   // path -> text
    int32_t zoneOffset = 28800;
    vemr::LocalTime now{2026, 12, 6, 14, 15, 30};
    std::wstring exeName = L"vemr";
    std::map<std::tuple<std::wstring, std::wstring, std::wstring>, std::wstring> settings;
    bool failSettingWrites = false;
    int32_t serial = 305419896;
    std::wstring computer = std::wstring(L"SHOP-PC") + std::wstring(255 - 7, L'\0');
    std::vector<std::optional<std::wstring>> processorIds{std::wstring(L"BFEBFBFF000906EA")};
    bool failPlacement = false;
    double twipsX = 15, twipsY = 15;
    vemr::WorkArea area{0, 0, 1280, 1024};

    // State the client changes.
    std::wstring caption;
    vemr::WindowState state = vemr::WindowState::Normal;
    bool windowVisible = false;
    double width = 15480, height = 11130;   // outer twips of a 1016 x 704 client area with a frame
    double left = 0, top = 0;
    bool sizeCommandRemoved = false;
    bool topmost = false;
    bool browserVisible = true;
    double browserTop = 0;
    int trayIcons = 0;
    std::vector<vemr::TrayRecord> trayCalls;

    // Journal: one line per call that reached the platform.
    std::vector<std::wstring> journal;
    std::wstring navigatedUrl, navigatedHeaders;
    std::wstring reportTitle, reportText;
    int hardwareReads = 0;

    bool Did(const std::wstring& prefix) const
    {
        for (const auto& line : journal)
            if (line.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }
    // Position of the first journal line with that prefix, or -1.
    int IndexOf(const std::wstring& prefix) const
    {
        for (size_t i = 0; i < journal.size(); ++i)
            if (journal[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
        return -1;
    }
    std::wstring Setting(const std::wstring& app = L"vemr") const
    {
        auto it = settings.find({app, L"function", L"getmachineid"});
        return it == settings.end() ? L"" : it->second;
    }
    void SetConfig(const std::wstring& text) { files[folder + L"config.txt"] = text; }

    [[noreturn]] void EndProgram() override
    {
        journal.push_back(L"end");
        throw ProgramEnded{};
    }
    void ShowErrorReport(std::wstring_view title, std::wstring_view text) override
    {
        reportTitle = title;
        reportText = text;
        journal.push_back(L"report:" + std::wstring(text));
    }
    bool AnotherCopyRunning() override
    {
        journal.push_back(L"guard");
        return anotherCopy;
    }
    std::wstring WorkAtCurPath() override
    {
        journal.push_back(L"folder");
        return folder;
    }
    std::wstring ReadTextFile(std::wstring_view path) override
    {
        journal.push_back(L"read:" + std::wstring(path));
        auto it = files.find(std::wstring(path));
        return it == files.end() ? L"" : it->second;
    }
    int32_t TavinShell(std::wstring_view file, std::wstring_view parameters, std::wstring_view folderArg,
                       int32_t workType) override
    {
        journal.push_back(L"shell:" + std::wstring(file) + L"|" + std::wstring(parameters) + L"|" +
                          std::wstring(folderArg) + L"|" + std::to_wstring(workType));
        return 42;
    }
    int32_t GeTimeZone() override
    {
        journal.push_back(L"zone");
        return zoneOffset;
    }
    vemr::LocalTime Now() override
    {
        journal.push_back(L"now");
        return now;
    }
    std::wstring ExeName() override { return exeName; }
    std::wstring GetSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                            std::wstring_view defaultValue) override
    {
        auto it = settings.find({std::wstring(application), std::wstring(section), std::wstring(key)});
        return it == settings.end() ? std::wstring(defaultValue) : it->second;
    }
    void SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                     std::wstring_view value) override
    {
        if (failSettingWrites) throw std::runtime_error("SaveSetting: cannot create the key");
        journal.push_back(L"save:" + std::wstring(value));
        settings[{std::wstring(application), std::wstring(section), std::wstring(key)}] = std::wstring(value);
    }
    int32_t VolumeSerial(std::wstring_view root) override
    {
        ++hardwareReads;
        journal.push_back(L"serial:" + std::wstring(root));
        return serial;
    }
    std::wstring ComputerName() override { return computer; }
    std::vector<std::optional<std::wstring>> ProcessorIds(std::wstring_view moniker) override
    {
        ++hardwareReads;
        journal.push_back(L"wmi:" + std::wstring(moniker));
        return processorIds;
    }
    std::wstring Caption() override { return caption; }
    void SetCaption(std::wstring_view text) override
    {
        journal.push_back(L"caption:" + std::wstring(text));
        caption = text;
    }
    vemr::WindowState GetWindowState() override { return state; }
    void SetWindowState(vemr::WindowState s) override
    {
        journal.push_back(L"state");
        state = s;
    }
    void SetWindowVisible(bool visible) override
    {
        journal.push_back(visible ? L"show" : L"hide");
        windowVisible = visible;
    }
    double WindowWidth() override { return width; }
    double WindowHeight() override { return height; }
    void MoveWindow(double l, double t) override
    {
        if (failPlacement) throw std::runtime_error("cannot move");
        journal.push_back(L"move");
        left = l;
        top = t;
    }
    double TwipsPerPixelX() override { return twipsX; }
    double TwipsPerPixelY() override { return twipsY; }
    vemr::WorkArea GetWorkArea() override { return area; }
    void RemoveSizeCommand() override
    {
        journal.push_back(L"nosize");
        sizeCommandRemoved = true;
    }
    void SetZOrder(bool top) override
    {
        journal.push_back(top ? L"topmost" : L"bottom");
        topmost = top;
    }
    void PumpEvents() override { journal.push_back(L"pump"); }
    void NotifyIcon(vemr::TrayOperation operation, const vemr::TrayRecord& record) override
    {
        journal.push_back(operation == vemr::kTrayAdd ? L"tray-add" : L"tray-delete");
        trayCalls.push_back(record);
        trayIcons += operation == vemr::kTrayAdd ? 1 : -1;
    }
    void Navigate(std::wstring_view url, std::wstring_view headers) override
    {
        journal.push_back(L"navigate:" + std::wstring(url));
        navigatedUrl = url;
        navigatedHeaders = headers;
    }
    bool BrowserVisible() override { return browserVisible; }
    void SetBrowserVisible(bool visible) override
    {
        journal.push_back(visible ? L"browser-show" : L"browser-hide");
        browserVisible = visible;
    }
    void SetBrowserTop(double twips) override
    {
        journal.push_back(L"browser-top:" + std::to_wstring(static_cast<int>(twips)));
        browserTop = twips;
    }
};

// Runs one handler; true when the program ended in it.
template <class Handler>
bool Ends(Handler handler)
{
    try {
        handler();
    } catch (const ProgramEnded&) {
        return true;
    }
    return false;
}

} // namespace vemrtest
