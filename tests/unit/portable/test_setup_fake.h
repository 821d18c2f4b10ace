// A recording fake of the installer's window: caption, hiding, the folder box and the install button,
// focus and selection, the message boxes; for now also a settable clock and the command lines
// started. Every other platform service is the stand-in's (tests/unit/stand_in/).
#pragma once
#include "tests/unit/portable/program_ended.h"
#include "installer/setup_form.h"

#include "common/errors.h"

#include <string>
#include <vector>

struct ShownMessage {
    std::wstring text, title;
    int style;
    bool operator==(const ShownMessage& o) const { return text == o.text && title == o.title && style == o.style; }
};

class FakeSetupSystem : public SetupSystem {
public:
    // What the tests set up.
    std::wstring caption = kDesignCaption;
    std::wstring softPathText = kSoftPathText;
    bool softPathVisible = true, softPathEnabled = true;
    float seconds = 36000.0f;        // seconds since midnight
    LocalDate today{2024, 5, 17};
    bool todayFails = false, setDateFails = false;
    bool startFails = false;

    // What the tests read.
    std::vector<ShownMessage> messages;
    bool hidden = false, letGoEnabled = true;
    std::vector<Control> focusGiven;
    int selStart = -1, selLength = -1;
    std::vector<LocalDate> datesWritten;
    std::vector<std::wstring> commandLinesStarted;

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

    float SecondsSinceMidnight() override { return seconds; }
    LocalDate Today() override
    {
        if (todayFails) throw PlatformError("GetLocalTime", 1);
        return today;
    }
    void SetSystemDate(const LocalDate& date) override
    {
        if (setDateFails) throw PlatformError("SetLocalTime: privilege not held", 1314);
        datesWritten.push_back(date);
    }
    void StartCommandLine(std::wstring_view commandLine) override
    {
        if (startFails) throw PlatformError("CreateProcess", 2);
        commandLinesStarted.emplace_back(commandLine);
    }

    // The one message shown, or an empty record when none or several were.
    ShownMessage OnlyMessage() const { return messages.size() == 1 ? messages[0] : ShownMessage{L"", L"", 0}; }
};
