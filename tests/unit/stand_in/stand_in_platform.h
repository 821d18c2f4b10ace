// In-memory stand-in for the platform, for the unit tests of every build (and the fuzz targets): the
// rest of os/platform.h beside the files (stand_in_files.h): window events, the command line, the
// error report and the end; and the one journal of every service.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fakeos {

// The one state of a stand-in service, made on first use: one per type, so each service keeps its
// state in a type of its own.
template <class State>
State& TheOne()
{
    static State state;
    return state;
}

// Empties the files, settings, machine facts, single-copy claims, journal and the rest of this
// header; the program runs from `programFolder`, which exists. The clock, processes, network, shell
// and registry start afresh through their own headers.
void Reset(const std::wstring& programFolder = L"C:\\prog");

// A name as the platform compares it, without regard to (ASCII) case.
std::wstring UpperCase(std::wstring_view name);

// The one record, in order, of each call that reached the platform where a test follows the order of
// events: "find:<pattern>", "shell:<file>|<parameters>|<folder>|<show>", "zone", "save:<value>", "pump",
// "report:<text>", "end", "now", those of stand_in_machine.h and stand_in_single_copy.h, the clock's
// "GetSystemTime", "SetLocalDate <y>-<m>-<d>", "SetSystemTime", the network's and processes' calls,
// "CopyFile <from> -> <to>", "delete key <subkey>", "delete folder <FOLDER>" and "event:<what>" for
// horasync's test events. The programs' window doubles write their own calls into it too.
std::vector<std::wstring>& Journal();

int PumpCount();
void SetCommandLine(const std::wstring& commandLine);
void SetExeName(const std::wstring& name);

// How the program ended: its exit code (1 after an error), -1 while it has not.
int ExitCode();
std::wstring ReportTitle();
std::wstring ReportText();

} // namespace fakeos
