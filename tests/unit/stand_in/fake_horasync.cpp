// horasync's trace file and first-run registration against the in-memory file system: the size
// limit, read-only and locked trace files, the first-run marker and the component's copy.
#include "os/platform.h"
#include "tests/unit/stand_in/stand_in_platform.h"
#include "tests/unit/portable/test_horasync_fake.h"
#include "timesync/autotime.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// The scripted platform with its files in the in-memory file system, where a read-only file
// cannot be opened for writing, as on Windows.
class FilePlatform : public FakePlatform {
public:
    bool WriteToFile(const std::wstring& path, const std::string& bytes, bool append) override
    {
        ++writeAttempts;
        if (writeFails && writeFails(path)) return false;
        std::string old;
        uint32_t attributes = 32;
        if (fakeos::Exists(path)) {
            attributes = fakeos::Attributes(path);
            if (attributes & os::kAttrReadOnly) return false;
            if (append) old = Bytes(path);
        }
        fakeos::AddFile(path, old + bytes, attributes);
        Store(path, bytes, append);
        return true;
    }
    bool CopyOneFile(const std::wstring& from, const std::wstring& to) override
    {
        FakePlatform::CopyOneFile(from, to);
        if (!copySucceeds || !fakeos::Exists(from)) return false;
        fakeos::AddFile(to, Bytes(from));
        return true;
    }
    int writeAttempts = 0;
};

class HorasyncFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakeos::Reset(L"C:\\prog");
        fakeos::AddFolder(L"C:\\prog");
        fakeos::AddFolder(L"C:\\windows");
        fakeos::AddFolder(L"C:\\windows\\system32");
        fakeos::SetSystemDirectory(L"C:\\windows\\system32");
    }

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
        SetUp();
        fakeos::AddFile(kTrace, std::string(c.size, 'x'));
        FilePlatform pc;
        AutoTime autotime(pc);
        autotime.TavinDebug(L"0", L"cn.pool.ntp.org");
        const std::string line = "2024-03-05 10:00:00\t0\tcn.pool.ntp.org\r\n";
        EXPECT_EQ(Bytes(kTrace), (c.restarted ? "" : std::string(c.size, 'x')) + line) << c.size;
    }
}

TEST_F(HorasyncFiles, TraceFileIsNeverRestartedTwiceInARun)
{
    FilePlatform pc;
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"first");
    fakeos::AddFile(kTrace, std::string(200000, 'x'));   // grows past the limit during the run
    autotime.TavinDebug(L"1", L"second");
    EXPECT_EQ(Bytes(kTrace).size(), 200000u + std::string("2024-03-05 10:00:00\t1\tsecond\r\n").size());
}

TEST_F(HorasyncFiles, ReadOnlyTraceFileIsClearedOnceAndAppended)
{
    fakeos::AddFile(kTrace, "old\r\n", os::kAttrReadOnly | os::kAttrArchive);
    FilePlatform pc;
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"a");
    autotime.TavinDebug(L"1", L"b");
    EXPECT_EQ(Bytes(kTrace), "old\r\n2024-03-05 10:00:00\t0\ta\r\n2024-03-05 10:00:00\t1\tb\r\n");
    EXPECT_EQ(fakeos::Attributes(kTrace) & os::kAttrReadOnly, 0u);
    EXPECT_EQ(fakeos::AttributeChanges(), 1) << "attributes cleared once per file and run";
}

TEST_F(HorasyncFiles, TraceFileThatCannotBeWrittenCostsTheLineNotTheRun)
{
    fakeos::AddFile(kTrace, "old\r\n", os::kAttrReadOnly);
    fakeos::DenyAttributeChanges(kTrace);
    FilePlatform pc;
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"lost");
    EXPECT_EQ(Bytes(kTrace), "old\r\n");
    EXPECT_EQ(pc.pumps, 1000);
    autotime.Form_Load();   // the run goes on
    EXPECT_EQ(pc.sent.size(), 1u);
}

TEST_F(HorasyncFiles, TraceFileHeldByAnotherProgramIsWrittenOnceItLetsGo)
{
    FilePlatform pc;
    int held = 37;
    pc.writeFails = [&](const std::wstring&) { return held-- > 0; };
    AutoTime autotime(pc);
    autotime.TavinDebug(L"0", L"late");
    EXPECT_EQ(pc.pumps, 37);
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
        SetUp();
        if (c.inSystem) fakeos::AddFile(kInSystem, "component");
        if (c.beside) fakeos::AddFile(kBeside, "component");
        FilePlatform pc;
        pc.copySucceeds = c.copySucceeds;
        AutoTime autotime(pc);
        EXPECT_EQ(Ends(autotime, &AutoTime::myreg), c.ends) << c.what;
        EXPECT_EQ(std::count(pc.log.begin(), pc.log.end(),
                             "CopyFile C:\\prog\\MSWINSCK.OCX -> C:\\windows\\system32\\MSWINSCK.OCX"),
                  (c.copied || !c.copySucceeds) ? 1 : 0)
            << c.what;
        if (c.registered) {
            EXPECT_EQ(pc.startedCommands,
                      std::vector<std::wstring>{L"C:\\windows\\system32\\Regsvr32.exe /s "
                                                L"C:\\windows\\system32\\MSWINSCK.OCX"})
                << c.what;
        } else {
            EXPECT_TRUE(pc.startedCommands.empty()) << c.what;
        }
        const auto marker = pc.settings.find(L"exeapi\\AutoTime\\firstrun");
        EXPECT_EQ(marker != pc.settings.end(), c.marked) << c.what;
        if (c.marked) {
            EXPECT_EQ(marker->second, L"36000.5") << c.what;   // 10:00:00.500 local
        }
        EXPECT_TRUE(pc.trace.empty()) << c.what;
    }
}

TEST_F(HorasyncFiles, RegistrationThatCannotStartStillWritesTheMarker)
{
    fakeos::AddFile(kBeside, "component");
    FilePlatform pc;
    pc.startedProcessId = std::nullopt;
    AutoTime autotime(pc);
    EXPECT_FALSE(Ends(autotime, &AutoTime::myreg));
    EXPECT_EQ(pc.settings[L"exeapi\\AutoTime\\firstrun"], L"36000.5");
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
        SetUp();
        fakeos::AddFile(kBeside, "component");
        FilePlatform pc;
        if (c.marker) pc.settings[L"exeapi\\AutoTime\\firstrun"] = *c.marker;
        AutoTime autotime(pc);
        EXPECT_FALSE(Ends(autotime, &AutoTime::Form_Initialize));
        const std::string what = c.marker ? FakePlatform::Narrow(*c.marker) : "missing";
        EXPECT_EQ(pc.startedCommands.size(), c.registers ? 1u : 0u) << what;
        EXPECT_EQ(fakeos::Exists(kInSystem), c.registers) << what;
        if (c.registers) {
            EXPECT_EQ(pc.settings[L"exeapi\\AutoTime\\firstrun"], L"36000.5") << what;
        }
    }
}

TEST_F(HorasyncFiles, MarkerWrittenInTheFirstHundredSecondsOfTheDayLetsTheNextRunRegisterAgain)
{
    fakeos::AddFile(kBeside, "component");
    FilePlatform pc;
    pc.pcUtcMs = EpochMs(2024, 3, 4, 16, 0, 12, 0);   // 00:00:12 local
    AutoTime autotime(pc);
    EXPECT_FALSE(Ends(autotime, &AutoTime::Form_Initialize));
    EXPECT_EQ(pc.settings[L"exeapi\\AutoTime\\firstrun"], L"12");

    FilePlatform next;
    next.settings = pc.settings;
    os::DeleteFileAt(kInSystem);
    AutoTime again(next);
    EXPECT_FALSE(Ends(again, &AutoTime::Form_Initialize));
    EXPECT_EQ(next.startedCommands.size(), 1u);
}
