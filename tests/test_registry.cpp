// The registry key object and the key permission repair, against the test
// prefix's HKLM.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/KeyJournal.h"
#include "registry/KeyJournalFile.h"
#include "registry/RegistryKey.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

// The paths below HKLM that a repair of `path` treats, top-most first.
Strings Prefixes(const std::string& path) {
    Strings prefixes;
    for (auto slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1))
        prefixes.push_back(path.substr(0, slash));
    prefixes.push_back(path);
    return prefixes;
}

Strings Securities(const Strings& paths) {
    Strings securities;
    for (const std::string& path : paths) securities.push_back(KeySecurity(HKEY_LOCAL_MACHINE, path));
    return securities;
}

std::string ThisComputer() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

// Sets the key journal file for a scope; the suite's other tests run without one.
struct JournalFile {
    explicit JournalFile(std::string where) : path(std::move(where)) { SetKeyRepairJournal(path); }
    ~JournalFile() { SetKeyRepairJournal(""); }
    const std::string path;
};

// Puts the DACLs of `paths` back as they were when it was made, should a
// test fail with a repair in force (HKLM\Software among them).
struct DaclGuard {
    explicit DaclGuard(Strings keys) : paths(std::move(keys)), before(Securities(paths)) {}
    ~DaclGuard() {
        for (size_t i = 0; i < paths.size(); ++i) {
            CRegKeyGuard key;
            if (!before[i].empty() && KeySecurity(HKEY_LOCAL_MACHINE, paths[i]) != before[i] &&
                ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, paths[i].c_str(), 0, WRITE_DAC, key.Receive()) == ERROR_SUCCESS)
                ::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &before[i][0]);
        }
    }
    const Strings paths;
    Strings before;
};

// The repair's own DACL, as a test sets it.
const char kRepairSddl[] = "D:(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)";

class RegistryTest : public ::testing::Test {
protected:
    // Our key, whose DACL lets everybody only read its security: as owner we
    // may still change the DACL, so the repair works.
    std::string PlantLocked(const std::string& relative) {
        std::string path = Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("7.0.5730.11")));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "D:(A;;RC;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
        return path;
    }

    // A key handed to SYSTEM with `dacl`: the repair cannot change it.
    std::string PlantForeign(const std::string& relative, const char* dacl = "D:(A;;KR;;;WD)(A;;SD;;;WD)") {
        std::string path = Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("8.0")));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\alpha"));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\beta"));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "O:SY", OWNER_SECURITY_INFORMATION, WRITE_OWNER));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, dacl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        return path;
    }

    const std::string root = "Software\\QuellfixTest\\Registry";
    RegistryBackup backup{HKEY_LOCAL_MACHINE, root};
    std::string Child(const std::string& relative) const { return root + "\\" + relative; }
};

TEST_F(RegistryTest, ProbeTellsWhetherAKeyOpensAndWhetherItNeedsRepair) {
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, Child("Plain")));
    std::string locked = PlantLocked("Locked");
    // Not even its security may be read, only listed and deleted.
    std::string unreadable = PlantForeign("Unreadable", "D:(A;;SD;;;WD)(A;;0x8;;;WD)");
    const struct { std::string path; BOOL found; int needsRepair; } cases[] = {
        {Child("Plain"), TRUE, 0}, {"\\" + Child("Plain"), TRUE, 0}, {Child("Missing"), FALSE, 0},
        {locked, TRUE, 1}, {unreadable, FALSE, 0}};
    for (const auto& c : cases) {
        int needsRepair = 7;
        EXPECT_EQ(ProbeRegistryKey(HKEY_LOCAL_MACHINE, c.path, needsRepair), c.found) << c.path;
        EXPECT_EQ(needsRepair, c.needsRepair) << c.path;
    }
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, unreadable, FALSE, FALSE));
}

// The key is read whether the repair could open it up (ours) or not (a key
// handed to SYSTEM); every DACL on its path is back after Close and after
// destruction.
TEST_F(RegistryTest, RepairedOrNotTheKeyIsReadAndEveryDaclOnItsPathPutBack) {
    const struct { std::string path, version; Strings children; } cases[] = {
        {PlantLocked("Locked"), "7.0.5730.11", {"kept"}}, {PlantForeign("Foreign"), "8.0", {"kept", "beta", "alpha"}}};
    for (const auto& c : cases) {
        Strings prefixes = Prefixes(c.path);  // Software, QuellfixTest, Registry, the key
        Strings before = Securities(prefixes);
        for (const std::string& security : before) ASSERT_FALSE(security.empty()) << c.path;
        CRegistryKey key;
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, c.path, FALSE, FALSE)) << c.path;
        std::string version;
        EXPECT_TRUE(key.ReadString("Version", version, FALSE)) << c.path;
        EXPECT_EQ(version, c.version);
        Strings children = {"kept"};
        EXPECT_TRUE(key.EnumSubKeys(children)) << c.path;
        EXPECT_EQ(children, c.children);
        key.Close();
        EXPECT_EQ(Securities(prefixes), before) << c.path;
        {
            CRegistryKey destroyed;
            ASSERT_TRUE(destroyed.Open(HKEY_LOCAL_MACHINE, c.path, FALSE, FALSE)) << c.path;
        }
        EXPECT_EQ(Securities(prefixes), before) << c.path;
    }
}

// A repair whose record cannot be written changes nothing: a folder that
// cannot be made, a journal that cannot be read (a folder in its place).
TEST_F(RegistryTest, NoRecordNoChange) {
    ScopedTempDir dir("qfkeys");
    ASSERT_TRUE(::CreateDirectoryA(dir.File("quellfix.keys").c_str(), nullptr));
    const std::string locked = PlantLocked("Unrecorded");
    const Strings path = Prefixes(locked);
    DaclGuard guard(path);
    for (const std::string& file : {dir.File("no\\such\\quellfix.keys"), dir.File("quellfix.keys")}) {
        JournalFile journal(file);
        CRegistryKey key;
        EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE)) << file;
        EXPECT_EQ(key.SavedSecurityCount(), 0u) << file;
        EXPECT_EQ(Securities(path), guard.before) << file;
    }
    EXPECT_FALSE(FileExists(dir.File("no")));
}

// At start only a key still holding the repair's DACL gets its recorded
// DACL back; other computers' records stay, the rest is dropped unused.
TEST_F(RegistryTest, TheStartGivesBackOnlyWhatARepairLeftOnThisComputer) {
    ScopedTempDir dir("qfkeys");
    JournalFile journal(dir.File("quellfix.keys"));
    struct Key { const char* name; const char* sddl; const char* recorded; const char* after; } keys[] = {
        {"Left", kRepairSddl, "D:(A;;KR;;;WD)", "D:(A;;KR;;;WD)"},         // given back
        {"Undone", "D:(A;;KA;;;WD)", "D:(A;;RC;;;WD)", "D:(A;;KA;;;WD)"},  // no longer the repair's
        {"Invalid", kRepairSddl, nullptr, kRepairSddl},                     // a descriptor that is none
        {"Elsewhere", kRepairSddl, "D:(A;;RC;;;WD)", kRepairSddl},         // another computer's
    };
    std::vector<KeyJournalEntry> entries;
    Strings expected;
    for (const Key& k : keys) {
        const std::string path = Child("Start\\") + k.name;
        ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path));
        ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, k.after, DACL_SECURITY_INFORMATION, WRITE_DAC));
        expected.push_back(KeySecurity(HKEY_LOCAL_MACHINE, path));
        if (k.recorded) {
            ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, k.recorded, DACL_SECURITY_INFORMATION, WRITE_DAC));
        }
        const std::string recorded = k.recorded ? KeySecurity(HKEY_LOCAL_MACHINE, path) : std::string(20, '\0');
        ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, k.sddl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        entries.push_back({std::string(k.name) == "Elsewhere" ? "OTHER-PC" : ThisComputer(), "HKEY_LOCAL_MACHINE",
                           path, recorded});
    }
    entries.push_back({ThisComputer(), "HKEY_LOCAL_MACHINE", Child("Start\\Gone"), expected[0]});
    const std::string damaged = "PC\tHKEY_LOCAL_MACHINE\t01XY\tSoftware\r\n";
    ASSERT_TRUE(WriteBytes(journal.path, FormatKeyJournal(entries) + damaged));

    Strings restored;
    EXPECT_EQ(RestoreJournaledKeys(restored), 1);
    EXPECT_EQ(restored, Strings{"HKEY_LOCAL_MACHINE\\" + Child("Start\\Left")});
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, entries[i].path), expected[i]) << keys[i].name;
    EXPECT_EQ(ReadBytes(journal.path), FormatKeyJournal({entries[3]}));

    // Nothing of this computer's left: nothing given back, the file stays.
    restored.clear();
    EXPECT_EQ(RestoreJournaledKeys(restored), 0);
    EXPECT_TRUE(restored.empty());
    EXPECT_EQ(ReadBytes(journal.path), FormatKeyJournal({entries[3]}));
    // Only damaged lines: the file goes.
    ASSERT_TRUE(WriteBytes(journal.path, damaged + "PC\tHKEY_LOCAL_MACHINE\t0102"));
    EXPECT_EQ(RestoreJournaledKeys(restored), 0);
    EXPECT_FALSE(FileExists(journal.path));
}

// A process dies with two keys open up (the second recording upper keys the
// first had opened up). A second copy of the program from the same folder
// leaves all as it is; the next start of the program gives every DACL back
// byte for byte, deletes the journal and names each key in the run log.
TEST_F(RegistryTest, ACrashedRepairIsUndoneAtTheNextStartOfTheProgram) {
    const std::string locked = PlantLocked("Crash\\잠긴 키"), foreign = PlantForeign("Crash\\Foreign");
    Strings paths = Prefixes(locked);
    paths.push_back(foreign);
    DaclGuard guard(paths);
    ScopedTempDir dir("qf crash ");
    const std::string exe = dir.File("Quellfix.exe"), journal = dir.File("UPDATES\\quellfix.keys");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), CatalogText("", 0)));
    auto askedToQuit = [&](DWORD pid) {
        return WaitFor([&] { return FindMessageBox(MainWindowCaption(), pid).hwnd != nullptr; }, 300000);
    };

    // The first copy runs (nothing to give back yet) while the other process dies.
    TestProcess running("Quellfix.exe debug", dir.Path(), exe);
    ASSERT_TRUE(askedToQuit(running.Pid()));
    EXPECT_EQ(RunInventoryProbe("winxp", "repair-and-die \"" + journal + "\" \"" + locked + "\" \"" + foreign + "\""),
              (Strings{"1 5", "1 4"}));
    const std::string left = ReadBytes(journal);
    EXPECT_EQ(ParseKeyJournal(left).size(), 9u);
    for (size_t i = 0; i + 1 < paths.size(); ++i)
        EXPECT_NE(KeySecurity(HKEY_LOCAL_MACHINE, paths[i]), guard.before[i]) << paths[i] << " was not opened up";

    TestProcess second("Quellfix.exe debug", dir.Path(), exe);
    EXPECT_TRUE(second.WaitExit(60000));
    EXPECT_EQ(ReadBytes(journal), left) << "a second copy touched the journal";
    EXPECT_NE(KeySecurity(HKEY_LOCAL_MACHINE, locked), guard.before[paths.size() - 2]);
    {
        BoxSequence quit(MainWindowCaption(), {IDYES}, 30000, running.Pid());
        EXPECT_EQ(quit.Wait().size(), 1u);
    }
    EXPECT_TRUE(running.WaitExit(30000));

    TestProcess next("Quellfix.exe debug", dir.Path(), exe);
    ASSERT_TRUE(askedToQuit(next.Pid()));
    EXPECT_EQ(Securities(paths), guard.before);
    EXPECT_FALSE(FileExists(journal));
    EXPECT_FALSE(FileExists(journal + ".new"));
    const std::string log = ReadBytes(dir.File("UPDATES\\quellfix.log"));
    EXPECT_EQ(log.rfind("==== ", 0), 0u) << log;
    for (size_t i = 0; i + 1 < paths.size(); ++i) {
        const std::string line = "레지스트리 키의 접근 권한을 되돌렸습니다: HKEY_LOCAL_MACHINE\\" + paths[i] + "\r\n";
        const size_t at = log.find(line);
        EXPECT_NE(at, std::string::npos) << line << log;
        EXPECT_EQ(log.find(line, at + 1), std::string::npos) << "named twice: " << line;
    }
    EXPECT_EQ(log.find("Foreign"), std::string::npos) << "the key the repair could not change";
    const std::string outcome = "실행 결과: 완료 (0)\r\n\r\n";
    EXPECT_EQ(log.size() - outcome.size(), log.rfind(outcome)) << log;
    BoxSequence quit(MainWindowCaption(), {IDYES}, 30000, next.Pid());
    EXPECT_EQ(quit.Wait().size(), 1u);
    EXPECT_TRUE(next.WaitExit(30000));
}

TEST_F(RegistryTest, Windows98HasNoAccessRightsToRepair) {
    std::string locked = PlantLocked("Locked");
    std::string before = KeySecurity(HKEY_LOCAL_MACHINE, locked);
    EXPECT_EQ(RunInventoryProbe("win98", "probe \"" + locked + "\""), Strings{"1 0"});
    EXPECT_EQ(RunInventoryProbe("win98", "grant \"" + locked + "\""), Strings{"0 0"});
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, locked), before);
}

// The reads the inventory makes: Internet Explorer's "Version" and IIS's
// "MajorVersion".
TEST_F(RegistryTest, ReadStringAndReadDword) {
    const std::string values = Child("Values"), k1024(1024, 'b');
    const struct { const char* name; RegValue value; } plants[] = {
        {"long", SzValue(k1024)}, {"multi", {REG_MULTI_SZ, std::string("one\0two\0\0", 9)}},
        {"empty", SzValue("")}, {"dword", DwordValue(0xDEADBEEF)}, {"short", {REG_BINARY, "\x34\x12"}},
        {"qword", {REG_QWORD, std::string(8, 1)}}};
    for (const auto& p : plants) ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, p.name, p.value)) << p.name;
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, values, FALSE, FALSE));
    const struct { const char* name; BOOL ok; std::string text; } strings[] = {
        {"long", TRUE, k1024}, {"multi", TRUE, "one\ntwo\n\n"}, {"empty", TRUE, ""}, {"missing", FALSE, ""}};
    for (const auto& c : strings) {
        std::string text = "left over";
        EXPECT_EQ(key.ReadString(c.name, text, FALSE), c.ok) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
    const struct { const char* name; BOOL ok; DWORD number; } dwords[] = {
        {"dword", TRUE, 0xDEADBEEF}, {"short", TRUE, 0x1234}, {"qword", FALSE, 0}, {"missing", FALSE, 0}};
    for (const auto& c : dwords) {
        DWORD number = 77;
        EXPECT_EQ(key.ReadDWORD(c.name, number), c.ok) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
}

}  // namespace
