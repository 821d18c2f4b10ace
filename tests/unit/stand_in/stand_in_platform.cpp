#include "tests/unit/stand_in/stand_in_platform.h"

#include "os/errors.h"
#include "os/platform.h"
#include "tests/unit/stand_in/program_ended.h"
#include "tests/unit/stand_in/stand_in_clock.h"
#include "tests/unit/stand_in/stand_in_files.h"
#include "tests/unit/stand_in/stand_in_machine.h"
#include "tests/unit/stand_in/stand_in_settings.h"
#include "tests/unit/stand_in/stand_in_single_copy.h"

namespace {

struct State {
    std::wstring commandLine = L"C:\\prog\\program.exe";
    int pumps = 0;
    std::wstring exeName = L"program";
    int exitCode = -1;
    std::wstring reportTitle, reportText;
};

State& S() { return fakeos::TheOne<State>(); }

} // namespace

namespace fakeos {

std::vector<std::wstring>& Journal()
{
    static std::vector<std::wstring> lines;
    return lines;
}

void Reset(const std::wstring& programFolder)
{
    S() = State{};
    Journal().clear();
    ResetFiles();
    SetProgramFolder(programFolder);
    ResetSettings();
    ResetMachine();
    ResetSingleCopy();
}

std::wstring UpperCase(std::wstring_view name)
{
    std::wstring upper(name);
    for (auto& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return upper;
}

int PumpCount() { return S().pumps; }
void SetCommandLine(const std::wstring& commandLine) { S().commandLine = commandLine; }
void SetExeName(const std::wstring& name) { S().exeName = name; }
int ExitCode() { return S().exitCode; }
std::wstring ReportTitle() { return S().reportTitle; }
std::wstring ReportText() { return S().reportText; }

} // namespace fakeos

namespace os {

void PumpEvents()
{
    ++S().pumps;
    fakeos::AdvanceClock(fakeos::Clock().msPerPump);
    fakeos::Journal().push_back(L"pump");
}

void SetMainWindow(void*) {}

std::wstring CommandLine() { return S().commandLine; }

std::wstring ExeName() { return S().exeName; }

namespace {

// Where the program would end, the stand-in throws: a test sees that nothing ran after it.
[[noreturn]] void End(int exitCode)
{
    S().exitCode = exitCode;
    fakeos::Journal().push_back(L"end");
    throw ProgramEnded{};
}

} // namespace

void EndProgram(int exitCode) { End(exitCode); }

void EndWithErrorReport(const std::exception& error)
{
    S().reportTitle = ExeName();
    S().reportText = ErrorReportText(error);
    fakeos::Journal().push_back(L"report:" + S().reportText);
    End(1);
}

} // namespace os
