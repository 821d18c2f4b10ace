// The installer's registry helpers, the print page set-up repair, the uninstall entry, the wait and
// the special and temporary folders against the stand-in's registry, shell and files.
#include "tests/unit/with_stand_in/setup_system_double.h"

#include "os/ansi.h"

#include <gtest/gtest.h>

namespace {

const std::string kPageSetup = "Software\\Microsoft\\Internet Explorer\\PageSetup";
const char* const kPageSetupNames[] = {"footer", "header", "margin_bottom", "margin_left", "margin_right", "margin_top"};

// The six values as the repair leaves them: empty header and footer, margins "0", REG_SZ, no zero byte.
void ExpectRepaired(const FakeRegistry& registry, const std::string& key)
{
    ASSERT_TRUE(registry.HasKey(key)) << key;
    for (const char* name : kPageSetupNames) {
        ASSERT_TRUE(registry.HasValue(key, name)) << key << " " << name;
        const auto& value = registry.At(key, name);
        EXPECT_EQ(value.type, kRegSz) << name;
        EXPECT_EQ(value.data, std::string(name).rfind("margin", 0) == 0 ? "0" : "") << key << " " << name;
    }
}

} // namespace

TEST(SetupRegistry, CreatAndSetKeyValueWritesTheGbkBytesWithoutAZero)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    EXPECT_EQ(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\T\\收银通", L"DisplayName", L"Vemr客户端"), 0);
    const auto& value = sys.registry.At("HKLM\\SOFTWARE\\T\\" + ToAnsi(L"收银通"), "DisplayName");
    EXPECT_EQ(value.type, kRegSz);
    EXPECT_EQ(value.data, "Vemr\xBF\xCD\xBB\xA7\xB6\xCB");   // 10 bytes, GBK
    EXPECT_EQ(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\T", L"Empty", L""), 0);
    EXPECT_EQ(sys.registry.At("HKLM\\SOFTWARE\\T", "Empty").data, "");
    sys.registry.DenyCreatesUnder("HKLM\\SOFTWARE\\LOCKED");
    EXPECT_NE(form.CreatAndSetKeyValue(kHkeyLocalMachine, L"SOFTWARE\\LOCKED", L"x", L"y"), 0);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupRegistry, SetKeyValueCreatesAMissingKeyOnItsSecondPass)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKCU\\Existing");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Existing", L"margin_top", L"0"), 0);
    EXPECT_EQ(sys.registry.At("HKCU\\Existing", "margin_top").data, "0");
    EXPECT_FALSE(sys.registry.HasKey("HKCU\\Missing"));
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Missing\\Deeper", L"footer", L""), 0);
    EXPECT_EQ(sys.registry.At("HKCU\\Missing\\Deeper", "footer").data, "");
    // A key that cannot be made: both passes fail, the sum of the second is the answer.
    sys.registry.DenyCreatesUnder("HKCU\\Forbidden");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"Forbidden", L"header", L""), 2 + kRegInvalidHandle * 2);
    EXPECT_FALSE(sys.registry.HasKey("HKCU\\Forbidden"));
    // A key whose values cannot be written: the write's code is the answer.
    sys.registry.MakeKey("HKCU\\ReadOnly");
    sys.registry.DenyWritesUnder("HKCU\\ReadOnly");
    EXPECT_EQ(form.SetKeyValue(kHkeyCurrentUser, L"ReadOnly", L"header", L""), 5);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupRegistry, ListRootSubKeySGivesAtMostMaxPlusOneNonEmptyNames)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    EXPECT_TRUE(form.ListRootSubKeyS(kHkeyUsers, 999).empty());
    for (const char* name : {"A", "B", "C", "D"}) sys.registry.MakeKey(std::string("HKU\\") + name);
    sys.registry.MakeKey("HKU\\");   // an empty name is passed over
    sys.registry.MakeKey("HKU\\E");
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 999), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 2), (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(form.ListRootSubKeyS(kHkeyUsers, 0), (std::vector<std::wstring>{L"A"}));
}

TEST(SetupRepair, SixValuesUnderTheCurrentUserAndEveryUserHive)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKU\\.DEFAULT\\" + kPageSetup);
    sys.registry.MakeKey("HKU\\S-1-5-21-1\\Software");   // no page set-up key yet
    sys.registry.MakeKey("HKU\\S-1-5-21-2");             // not even Software
    sys.registry.MakeKey("HKCU\\" + kPageSetup);
    RegKey key = 0;
    sys.registry.Open(kHkeyCurrentUser, kPageSetup, key);
    sys.registry.Set(key, "header", kRegSz, "&w&bPage &p of &P");
    sys.registry.Set(key, "font", kRegSz, "keep me");
    sys.registry.Close(key);

    form.ClsIeYmYj();
    ExpectRepaired(sys.registry, "HKCU\\" + kPageSetup);
    EXPECT_EQ(sys.registry.At("HKCU\\" + kPageSetup, "font").data, "keep me");   // nothing else is touched
    for (const char* hive : {".DEFAULT", "S-1-5-21-1", "S-1-5-21-2"})
        ExpectRepaired(sys.registry, std::string("HKU\\") + hive + "\\" + kPageSetup);
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
    EXPECT_TRUE(sys.messages.empty());
}

TEST(SetupRepair, OnlyTheFirstThousandUserHivesAreTreated)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    for (int i = 0; i < 1003; ++i) sys.registry.MakeKey("HKU\\U" + std::to_string(10000 + i));   // in name order
    form.ClsIeYmYj();
    EXPECT_TRUE(sys.registry.HasKey("HKU\\U10000\\" + kPageSetup));
    EXPECT_TRUE(sys.registry.HasKey("HKU\\U10999\\" + kPageSetup));
    EXPECT_FALSE(sys.registry.HasKey("HKU\\U11000\\" + kPageSetup));
    EXPECT_FALSE(sys.registry.HasKey("HKU\\U11002\\" + kPageSetup));
}

TEST(SetupRepair, AValueThatCannotBeWrittenDoesNotStopTheRest)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    sys.registry.MakeKey("HKU\\Locked\\" + kPageSetup);
    sys.registry.DenyWritesUnder("HKU\\Locked");
    sys.registry.MakeKey("HKU\\Open");
    form.ClsIeYmYj();
    EXPECT_EQ(sys.registry.ValueCount("HKU\\Locked\\" + kPageSetup), 0u);
    ExpectRepaired(sys.registry, "HKU\\Open\\" + kPageSetup);
}

TEST(SetupUninstallEntry, FourValuesWrittenEmptyOnesSkippedAndDeletedWithoutLocation)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + ToAnsi(L"收银通");
    form.adduninstallinfo(L"收银通", L"C:\\MY SHOP\\", L"\"C:\\MY SHOP\\setup.exe\" uninstall", L"");
    EXPECT_EQ(sys.registry.At(key, "DisplayName").data, ToAnsi(L"收银通"));
    EXPECT_EQ(sys.registry.At(key, "DisplayName").data.size(), 6u);
    EXPECT_EQ(sys.registry.At(key, "InstallLocation").data, "C:\\MY SHOP\\");
    EXPECT_EQ(sys.registry.At(key, "UninstallString").data, "\"C:\\MY SHOP\\setup.exe\" uninstall");
    EXPECT_FALSE(sys.registry.HasValue(key, "DisplayIcon"));   // an empty value is not written
    form.adduninstallinfo(L"收银通", L"", L"", L"");
    EXPECT_FALSE(sys.registry.HasKey(key));
    form.adduninstallinfo(L"收银通", L"", L"", L"");   // a missing entry is no error
    EXPECT_EQ(sys.registry.OpenHandles(), 0u);
}

TEST(SetupWaits, WaitsecondPumpsUntilTheTimeHasPassed)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    sys.clock.msPerPump = 250;
    int before = fakeos::PumpCount();
    form.waitsecond(1);
    EXPECT_EQ(fakeos::PumpCount() - before, 4);
    // Across midnight the seconds since midnight fall back: the wait ends at once.
    before = fakeos::PumpCount();
    sys.SetSeconds(86399.9f);
    sys.clock.msPerPump = 200;
    form.waitsecond(1);
    EXPECT_EQ(fakeos::PumpCount() - before, 1);
}

TEST(SetupFolders, SpecialAndTemporaryFoldersAreUpperCaseWithABackslash)
{
    FakeFilesSystem sys;
    ::Setup form(sys);
    EXPECT_EQ(form.getwintempath(), L"C:\\USERS\\SHOP\\APPDATA\\LOCAL\\TEMP\\");
    EXPECT_EQ(form.mygetwinspfold(os::kCsidlPrograms), L"C:\\USERS\\SHOP\\START MENU\\PROGRAMS\\");
    EXPECT_EQ(form.mygetwinspfold(os::kCsidlDesktop), L"C:\\USERS\\SHOP\\DESKTOP\\");
    EXPECT_EQ(form.mygetwinspfold(0x28), L"\\");   // no such folder: the empty text normalised
    sys.tempPath = std::wstring(100, L'x');          // no room for it in the buffer: the empty text
    EXPECT_EQ(form.getwintempath(), L"\\");
}
