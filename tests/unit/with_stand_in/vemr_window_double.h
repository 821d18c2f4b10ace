// A recording double of the client's window for its window object: configurable answers and a journal of what
// the client did, in order. The journal is the platform stand-in's own by default, so window calls and
// platform calls (the guard, the files, the shell, the settings, the end) stand in one order.
#pragma once
#include "client/launch_request.h"
#include "client/vemrix_window.h"
#include "os/ansi.h"
#include "os/settings.h"
#include "tests/unit/stand_in/program_ended.h"
#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_machine.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/stand_in/stand_in_settings.h"
#include "tests/unit/stand_in/stand_in_single_copy.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace vemrtest {

// Sets the stand-in's local clock.
inline void SetNow(const vemr::LocalTime& t)
{
    fakeos::Clock() = {};
    fakeos::Clock().utcMs =
        fakeos::EpochMs(t.year, t.month, t.day, t.hour, t.minute, t.second, 0) - fakeos::Clock().zoneMs;
}

// A fresh stand-in as the client finds it: the program vemr in C:\vemr on a PC in UTC+8, its clock
// at 2026-12-06 14:15:30.
inline std::vector<std::wstring>& FreshPlatform()
{
    fakeos::Reset(L"C:\\vemr");
    fakeos::SetExeName(L"vemr");
    SetNow({2026, 12, 6, 14, 15, 30});
    return fakeos::Journal();
}

class FakeWindow : public vemr::VemrixWindow {
public:
    // Journals into `journal`: by default a fresh stand-in's.
    explicit FakeWindow(std::vector<std::wstring>& into = FreshPlatform()) : journal(into) {}

    // Answers.
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

    // Journal: one line per call that reached the window or the platform.
    std::vector<std::wstring>& journal;
    std::wstring navigatedUrl, navigatedHeaders;

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
    // Reads of the volume serial and the processors.
    int HardwareReads() const
    {
        int reads = 0;
        for (const auto& line : journal) reads += line.rfind(L"serial:", 0) == 0 || line.rfind(L"wmi:", 0) == 0;
        return reads;
    }
    std::wstring Setting(const std::wstring& app = L"vemr") const
    {
        return os::GetSetting(app, L"function", L"getmachineid", L"");
    }
    // The cached identifier found at the start; the journal starts after it.
    void SetCache(const std::wstring& entry, const std::wstring& app = L"vemr")
    {
        os::SaveSetting(app, L"function", L"getmachineid", entry);
        journal.clear();
    }
    // config.txt in the program folder, as the ANSI bytes the installer writes.
    void SetConfig(const std::wstring& text) { fakeos::PutFile(L"C:\\vemr\\config.txt", ToAnsi(text)); }

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
