// A recording double of the installer's window: caption, hiding, the folder box and the install button,
// focus and selection, the message boxes. Every other platform service is the stand-in's
// (tests/unit/stand_in/); the fake starts the stand-in's clock and processes afresh and gives a
// short way to the clock's time of day.
#pragma once
#include "tests/unit/stand_in/program_ended.h"
#include "installer/setup_form.h"

#include "os/errors.h"
#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/stand_in/stand_in_processes.h"

#include <string>
#include <vector>

struct ShownMessage {
    std::wstring text, title;
    int style;
    bool operator==(const ShownMessage& o) const { return text == o.text && title == o.title && style == o.style; }
};

class FakeSetupWindow : public SetupWindow {
public:
    // What the tests set up.
    std::wstring caption = kDesignCaption;
    std::wstring softPathText = kSoftPathText;
    bool softPathVisible = true, softPathEnabled = true;

    // What the tests read.
    std::vector<ShownMessage> messages;
    bool hidden = false, letGoEnabled = true;
    std::vector<Control> focusGiven;
    int selStart = -1, selLength = -1;
    fakeos::ClockState& clock = fakeos::Clock();
    std::vector<os::LocalDateTime>& datesWritten = clock.localWritten;
    std::vector<std::wstring>& commandLinesStarted = fakeos::Processes().started;

    // The local clock at 10:00:00 on 2024-05-17, processes that start.
    FakeSetupWindow()
    {
        fakeos::Clock() = {};
        fakeos::Processes() = {};
        SetNow({2024, 5, 17, 10, 0, 0, 0});
    }
    // Sets the stand-in's local clock to this reading.
    void SetNow(const os::LocalDateTime& t)
    {
        clock.utcMs = fakeos::EpochMs(t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds) -
                      clock.zoneMs;
    }
    // The local time of day in seconds, as the logic reads it; setting it keeps the date.
    float Seconds() const { return SecondsSinceMidnight(); }
    void SetSeconds(float seconds)
    {
        const os::LocalDateTime now = os::LocalNow();
        const int64_t ms = static_cast<int64_t>(seconds * 1000.0 + 0.5);
        SetNow({now.year, now.month, now.day, 0, 0, 0, 0});
        clock.utcMs += ms;
    }

    std::wstring Caption() override { return caption; }
    void SetCaption(std::wstring_view text) override { caption = text; }
    void HideWindow() override { hidden = true; }
    std::wstring SoftPathText() override { return softPathText; }
    void EnableLetGo(bool enabled) override { letGoEnabled = enabled; }
    bool OwnVisibleAndEnabled(Control control) override
    {
        return control == Control::SoftPath ? softPathVisible && softPathEnabled : letGoEnabled;
    }
    void GiveFocus(Control control) override { focusGiven.push_back(control); }
    void SetSelStart(int start) override
    {
        selStart = start;
        selLength = 0;
    }
    void SetSelLength(int length) override { selLength = length; }

    void ShowMessage(std::wstring_view text, std::wstring_view title, int style) override
    {
        messages.push_back({std::wstring(text), std::wstring(title), style});
    }

    // The one message shown, or an empty record when none or several were.
    ShownMessage OnlyMessage() const { return messages.size() == 1 ? messages[0] : ShownMessage{L"", L"", 0}; }
};
