// horasync's trace file and first-run registration against the in-memory file system: the size
// limit, read-only and locked trace files, the first-run marker and the component's copy.
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/with_stand_in/horasync_double.h"
#include "timesync/autotime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

using namespace horasync;
using namespace horasync_test;

namespace {

const std::wstring kTrace = L"C:\\prog\\TavinDebug.txt";
const std::wstring kBeside = L"C:\\prog\\MSWINSCK.OCX";
const std::wstring kInSystem = L"C:\\windows\\system32\\MSWINSCK.OCX";

std::string Bytes(const std::wstring& path)
{
    return os::OpenForReading(path)->Read(static_cast<size_t>(os::FileLength(path)));
}

class HorasyncFiles : public ::testing::Test {
protected:
    static bool Ends(AutoTime& autotime, void (AutoTime::*handler)())
    {
        try {
            (autotime.*handler)();
            return false;
        } catch (const ProgramEnded&) {
            return true;
        }
    }
};

} // namespace

// ---- The trace file --------------------------------------------------------------------------

TEST_F(HorasyncFiles, TraceFileLargerThanTheLimitIsStartedAfreshAtTheFirstTrace)
{
    const struct {
        size_t size;
        bool restarted;
    } cases[] = {{99999, false}, {100000, true}, {250000, true}, {0, false}};
    for (const auto& c : cases) {
        FakePlatform pc;
        fakeos::PutFile(kTrace, std::string(c.size, 'x'));
        AutoTime autotime(pc);
        autotime.TavinDebug(L"0", L"cn.pool.ntp.org");
        const std::string line = "2024-03-05 10:00:00\t0\tcn.pool.ntp.org\r\n";
        EXPECT_EQ(Bytes(kTrace), (c.restarted ? "" : std::string(c.size, 'x')) + line) << c.size;
    }
}

TEST_F(HorasyncFiles, TraceFileIsNeverRestartedTwiceInARun)
{
    FakePlatform pc;
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"first");
    fakeos::PutFile(kTrace, std::string(200000, 'x'));   // grows past the limit during the run
    autotime.TavinDebug(L"1", L"second");
    EXPECT_EQ(Bytes(kTrace).size(), 200000u + std::string("2024-03-05 10:00:00\t1\tsecond\r\n").size());
}

TEST_F(HorasyncFiles, ReadOnlyTraceFileIsClearedOnceAndAppended)
{
    FakePlatform pc;
    fakeos::PutFile(kTrace, "old\r\n", os::kAttrReadOnly | os::kAttrArchive);
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"a");
    autotime.TavinDebug(L"1", L"b");
    EXPECT_EQ(Bytes(kTrace), "old\r\n2024-03-05 10:00:00\t0\ta\r\n2024-03-05 10:00:00\t1\tb\r\n");
    EXPECT_EQ(fakeos::Attributes(kTrace) & os::kAttrReadOnly, 0u);
    EXPECT_EQ(fakeos::AttributeChanges(), 1) << "attributes cleared once per file and run";
}

TEST_F(HorasyncFiles, TraceFileThatCannotBeWrittenCostsTheLineNotTheRun)
{
    FakePlatform pc;
    fakeos::PutFile(kTrace, "old\r\n", os::kAttrReadOnly);
    fakeos::DenyAttributeChanges(kTrace);
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"lost");
    EXPECT_EQ(Bytes(kTrace), "old\r\n");
    EXPECT_EQ(pc.Pumps(), 1000);
    autotime.Form_Load();   // the run goes on
    EXPECT_EQ(pc.sent.size(), 1u);
}

TEST_F(HorasyncFiles, TraceFileHeldByAnotherProgramIsWrittenOnceItLetsGo)
{
    FakePlatform pc;
    int held = 37;
    pc.writeFails = [&](const std::wstring&) { return held-- > 0; };
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"late");
    EXPECT_EQ(pc.Pumps(), 37);
    EXPECT_EQ(Bytes(kTrace), "2024-03-05 10:00:00\t0\tlate\r\n");
}

// ---- First run -------------------------------------------------------------------------------

TEST_F(HorasyncFiles, RegistrationCopiesRegistersAndMarks)
{
    const struct {
        const char* what;
        bool inSystem;
        bool beside;
        bool copySucceeds;
        bool ends;
        bool copied;
        bool registered;
        bool marked;
    } cases[] = {
        {"component already in the system folder", true, true, true, false, false, false, true},
        {"component only beside the program", false, true, true, false, true, true, true},
        {"copy fails", false, true, false, true, false, false, false},
        {"component nowhere: the exchange goes on, unmarked", false, false, true, false, false, false, false},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        if (c.inSystem) fakeos::PutFile(kInSystem, "component in system");
        if (c.beside) fakeos::PutFile(kBeside, "component beside");
        if (!c.copySucceeds) fakeos::PutFolder(kInSystem);   // no file can be copied there
        AutoTime autotime(pc);
        EXPECT_EQ(Ends(autotime, &AutoTime::myreg), c.ends) << c.what;
        EXPECT_EQ(std::count(pc.log.begin(), pc.log.end(),
                             L"CopyFile C:\\prog\\MSWINSCK.OCX -> C:\\windows\\system32\\MSWINSCK.OCX"),
                  (c.copied || !c.copySucceeds) ? 1 : 0)
            << c.what;
        // The copy goes from beside the program into the system folder, and only when needed.
        if (c.copied) {
            EXPECT_EQ(Bytes(kInSystem), "component beside") << c.what;
        } else if (c.inSystem) {
            EXPECT_EQ(Bytes(kInSystem), "component in system") << c.what;
        } else if (c.copySucceeds) {
            EXPECT_FALSE(fakeos::Has(kInSystem)) << c.what;
        }
        if (c.registered) {
            EXPECT_EQ(pc.startedCommands,
                      std::vector<std::wstring>{L"C:\\windows\\system32\\Regsvr32.exe /s "
                                                L"C:\\windows\\system32\\MSWINSCK.OCX"})
                << c.what;
        } else {
            EXPECT_TRUE(pc.startedCommands.empty()) << c.what;
        }
        const std::optional<std::wstring> marker = pc.Marker();
        EXPECT_EQ(marker.has_value(), c.marked) << c.what;
        if (c.marked) {
            EXPECT_EQ(*marker, L"36000.5") << c.what;   // 10:00:00.500 local
        }
        EXPECT_TRUE(pc.trace.empty()) << c.what;
    }
}

TEST_F(HorasyncFiles, RegistrationThatCannotStartStillWritesTheMarker)
{
    FakePlatform pc;
    fakeos::PutFile(kBeside, "component");
    pc.startedProcessId = std::nullopt;
    AutoTime autotime(pc);
    EXPECT_FALSE(Ends(autotime, &AutoTime::myreg));
    EXPECT_EQ(pc.Marker(), L"36000.5");
}

TEST_F(HorasyncFiles, MarkerShorterThanThreeCharactersMeansAFirstRun)
{
    const struct {
        std::optional<std::wstring> marker;
        bool registers;
    } cases[] = {
        {std::nullopt, true}, {L"", true}, {L"12", true}, {L"9", true},
        {L"12.5", false},     {L"100", false}, {L"30123.45", false},
    };
    for (const auto& c : cases) {
        FakePlatform pc;
        fakeos::PutFile(kBeside, "component");
        if (c.marker) pc.SetMarker(*c.marker);
        AutoTime autotime(pc);
        EXPECT_FALSE(Ends(autotime, &AutoTime::Form_Initialize));
        const std::string what = c.marker ? FakePlatform::Narrow(*c.marker) : "missing";
        EXPECT_EQ(pc.startedCommands.size(), c.registers ? 1u : 0u) << what;
        EXPECT_EQ(fakeos::Has(kInSystem), c.registers) << what;
        if (c.registers) {
            EXPECT_EQ(pc.Marker(), L"36000.5") << what;
        }
    }
}

TEST_F(HorasyncFiles, MarkerWrittenInTheFirstHundredSecondsOfTheDayLetsTheNextRunRegisterAgain)
{
    FakePlatform pc;
    fakeos::PutFile(kBeside, "component");
    pc.pcUtcMs = EpochMs(2024, 3, 4, 16, 0, 12, 0);   // 00:00:12 local
    AutoTime autotime(pc);
    EXPECT_FALSE(Ends(autotime, &AutoTime::Form_Initialize));
    EXPECT_EQ(pc.Marker(), L"12");

    // The next run, with the settings store as this one left it.
    pc.startedCommands.clear();
    os::DeleteFileAt(kInSystem);
    AutoTime again(pc);
    EXPECT_FALSE(Ends(again, &AutoTime::Form_Initialize));
    EXPECT_EQ(pc.startedCommands.size(), 1u);
}
