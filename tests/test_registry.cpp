// The registry key object and the key permission repair, against the test
// prefix's HKLM.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>

#include "registry/KeyRepair.h"
#include "registry/RegistryKey.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"
#include "ui/Dialog.h"

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

// The paths below HKLM that a repair of `path` treats, top-most first.
Strings Prefixes(const std::string& path) {
    Strings prefixes;
    for (auto slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
        prefixes.push_back(path.substr(0, slash));
    }
    prefixes.push_back(path);
    return prefixes;
}

Strings Securities(const Strings& paths) {
    Strings securities;
    for (const std::string& path : paths) securities.push_back(KeySecurity(HKEY_LOCAL_MACHINE, path));
    return securities;
}

// A key's DACL as SDDL text.
std::string DaclText(const std::string& path) {
    std::string descriptor = KeySecurity(HKEY_LOCAL_MACHINE, path);
    char* text = nullptr;
    if (descriptor.empty() || !::ConvertSecurityDescriptorToStringSecurityDescriptorA(
                                  &descriptor[0], SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "";
    }
    std::string sddl = text;
    ::LocalFree(text);
    return sddl;
}

class RegistryTest : public ::testing::Test {
protected:
    // Our key, whose DACL lets everybody only read its security: as owner we
    // may still change the DACL, so the repair works.
    std::string PlantLocked(const std::string& relative) {
        std::string path = tree.Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("7.0.5730.11")));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "D:(A;;RC;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
        return path;
    }

    // A key handed to SYSTEM with `dacl`: the repair cannot change it.
    std::string PlantForeign(const std::string& relative, const char* dacl = "D:(A;;KR;;;WD)(A;;SD;;;WD)") {
        std::string path = tree.Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("8.0")));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\alpha"));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\beta"));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "O:SY", OWNER_SECURITY_INFORMATION, WRITE_OWNER));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, dacl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        return path;
    }

    TestKeyTree tree{"Registry"};
};

TEST_F(RegistryTest, ProbeTellsWhetherAKeyOpensAndWhetherItNeedsRepair) {
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Plain")));
    std::string locked = PlantLocked("Locked");
    // Not even its security may be read, only listed and deleted.
    std::string unreadable = PlantForeign("Unreadable", "D:(A;;SD;;;WD)(A;;0x8;;;WD)");
    struct {
        std::string path;
        BOOL found;
        int needsRepair;
    } cases[] = {{tree.Child("Plain"), TRUE, 0}, {"\\" + tree.Child("Plain"), TRUE, 0},
                 {tree.Child("Missing"), FALSE, 0}, {locked, TRUE, 1}, {unreadable, FALSE, 0}};
    for (const auto& c : cases) {
        int needsRepair = 7;
        EXPECT_EQ(ProbeRegistryKey(HKEY_LOCAL_MACHINE, c.path, needsRepair), c.found) << c.path;
        EXPECT_EQ(needsRepair, c.needsRepair) << c.path;
    }
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, unreadable, FALSE, FALSE));
    EXPECT_TRUE(key.ChangedPaths().empty());
}

TEST_F(RegistryTest, RepairedKeyOpensAndEveryDaclIsBackAfterCloseAndAfterDestruction) {
    std::string locked = PlantLocked("Locked");
    Strings prefixes = Prefixes(locked);  // Software, QuellfixTest, Registry, Locked
    Strings before = Securities(prefixes);
    for (const std::string& security : before) ASSERT_FALSE(security.empty());

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
    EXPECT_EQ(key.ChangedPaths(), prefixes);
    EXPECT_EQ(key.ChangedRoots(), std::vector<HKEY>(4, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(key.SavedSecurityCount(), 4u);
    // While open, SYSTEM (GENERIC_ALL) then Administrators (GENERIC_ALL | KEY_ALL_ACCESS), inheritable.
    const char* kRepairedDacl = "D:(A;OICI;GA;;;SY)(A;OICI;CCDCLCSWRPWPSDRCWDWOGA;;;BA)";
    for (const std::string& path : prefixes) EXPECT_EQ(DaclText(path), kRepairedDacl) << path;
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, TRUE));
    EXPECT_EQ(version, "7.0.5730.11");
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(key.ChangedPaths().empty());
    EXPECT_EQ(Securities(prefixes), before);

    {
        CRegistryKey destroyed;
        ASSERT_TRUE(destroyed.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
        ASSERT_NE(Securities(prefixes), before);
    }
    EXPECT_EQ(Securities(prefixes), before);
}

TEST_F(RegistryTest, KeyTheRepairCannotOpenUpIsStillReadAndItsPathRestored) {
    std::string foreign = PlantForeign("Foreign");
    Strings prefixes = Prefixes(foreign);
    Strings before = Securities(prefixes);

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, foreign, FALSE, FALSE));
    EXPECT_EQ(key.ChangedPaths(), Strings(prefixes.begin(), prefixes.end() - 1));
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, FALSE));
    EXPECT_EQ(version, "8.0");
    Strings children;
    EXPECT_TRUE(key.EnumSubKeys(children, FALSE));
    EXPECT_EQ(children, (Strings{"beta", "alpha"}));
    key.Close();
    EXPECT_EQ(Securities(prefixes), before);
}

TEST_F(RegistryTest, GrantResultsTellHowFarTheRepairGot) {
    std::string locked = PlantLocked("Locked");
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Plain")));
    PlantForeign("Foreign");
    PlantForeign("Plain\\Foreign");
    Strings before = Securities({locked, tree.Child("Plain")});
    std::vector<HKEY> roots;
    Strings paths;
    std::vector<HeapBlock> saved;

    EXPECT_EQ(GrantKeyPathAccess(HKEY_LOCAL_MACHINE, locked, TRUE, roots, paths, saved), 1);
    EXPECT_EQ(paths, Prefixes(locked));
    EXPECT_EQ(RestoreKeySecurity(roots, paths, saved), 1);
    EXPECT_TRUE(roots.empty() && paths.empty() && saved.empty());

    // -1: the first key cannot be opened up, nothing recorded.
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Foreign\\alpha", TRUE, roots, paths, saved), -1);
    EXPECT_TRUE(paths.empty());
    // -2: the second cannot; the first was changed and is in the journal.
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Plain\\Foreign", TRUE, roots, paths, saved), -2);
    EXPECT_EQ(paths, Strings{"Plain"});
    RestoreKeySecurity(roots, paths, saved);
    EXPECT_EQ(Securities({locked, tree.Child("Plain")}), before);
}

TEST_F(RegistryTest, Windows98HasNoAccessRightsToRepair) {
    std::string locked = PlantLocked("Locked");
    std::string before = KeySecurity(HKEY_LOCAL_MACHINE, locked);
    EXPECT_EQ(RunInventoryProbe("win98", "probe \"" + locked + "\""), Strings{"1 0"});
    EXPECT_EQ(RunInventoryProbe("win98", "grant \"" + locked + "\""), Strings{"0 0"});
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, locked), before);
}

TEST_F(RegistryTest, RestoreWritesTheJournalBackDeepestFirst) {
    std::string path = tree.Child("Twice");
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path));
    std::vector<HeapBlock> saved;
    Strings written;
    for (const char* sddl : {"D:(A;;KA;;;WD)", "D:(A;;KA;;;BA)(A;;KR;;;WD)"}) {
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, sddl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        written.push_back(KeySecurity(HKEY_LOCAL_MACHINE, path));
        saved.emplace_back(static_cast<DWORD>(written.back().size()));
        std::memcpy(saved.back().Data(), written.back().data(), written.back().size());
    }
    saved.emplace_back(16);  // for a key that is gone by now
    std::vector<HKEY> roots(3, HKEY_LOCAL_MACHINE);
    Strings paths = {path, path, tree.Child("Gone")};
    EXPECT_EQ(RestoreKeySecurity(roots, paths, saved), 1);
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, path), written[0]);  // the first entry went back last
}

TEST_F(RegistryTest, ReadStringAndReadDword) {
    const std::string k1023(1023, 'a'), k1024(1024, 'b');
    std::string values = tree.Child("Values");
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "1024", SzValue(k1023)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "1025", SzValue(k1024)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "multi", RegValue{REG_MULTI_SZ, std::string("one\0two\0\0", 9)}));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "empty", SzValue("")));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "dword", DwordValue(0xDEADBEEF)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "short", RegValue{REG_BINARY, "\x34\x12"}));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "qword", RegValue{REG_QWORD, std::string(8, '\x01')}));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, values, FALSE, FALSE));
    struct {
        const char* name;
        BOOL limited, ok;
        std::string text;
    } strings[] = {{"1024", TRUE, TRUE, k1023},        {"1025", TRUE, FALSE, ""}, {"1025", FALSE, TRUE, k1024},
                   {"multi", FALSE, TRUE, "one\ntwo\n\n"}, {"multi", TRUE, FALSE, ""}, {"empty", TRUE, TRUE, ""},
                   {"missing", FALSE, FALSE, ""}};
    for (const auto& c : strings) {
        std::string text = "left over";
        EXPECT_EQ(key.ReadString(c.name, text, c.limited), c.ok) << c.name << " limited " << c.limited;
        EXPECT_EQ(text, c.text) << c.name << " limited " << c.limited;
    }
    struct {
        const char* name;
        BOOL ok;
        DWORD number;
    } dwords[] = {{"dword", TRUE, 0xDEADBEEF}, {"short", TRUE, 0x1234}, {"qword", FALSE, 0}, {"missing", FALSE, 0}};
    for (const auto& c : dwords) {
        DWORD number = 77;
        EXPECT_EQ(key.ReadDWORD(c.name, number), c.ok) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
}

TEST_F(RegistryTest, SubKeysComeHighestIndexFirstAfterWhatTheListHeld) {
    for (const char* name : {"alpha", "beta", "gamma", "alpha\\deeper"}) {
        ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Enum\\") + name));
    }
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Enum"), FALSE, FALSE));
    Strings names = {"kept"};
    EXPECT_TRUE(key.EnumSubKeys(names, FALSE));
    EXPECT_EQ(names, (Strings{"kept", "gamma", "beta", "alpha"}));
}

TEST_F(RegistryTest, SecondOpenFailsAndKeepsTheOpenKey) {
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("First"), "name", SzValue("first")));
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Second")));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("First"), FALSE, FALSE));
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Second"), FALSE, FALSE));
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("New"), TRUE, FALSE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New")));
    std::string text;
    EXPECT_TRUE(key.ReadString("name", text, TRUE));
    EXPECT_EQ(text, "first");
    // A missing key is created only when asked to.
    CRegistryKey other;
    EXPECT_FALSE(other.Open(HKEY_LOCAL_MACHINE, tree.Child("New"), FALSE, FALSE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New")));
    EXPECT_TRUE(other.Open(HKEY_LOCAL_MACHINE, tree.Child("New"), TRUE, FALSE));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New")));
}

TEST(PumpOneMessage, LeavesTheQuitMessageForTheMessageLoop) {
    PumpMessages();
    ::PostQuitMessage(42);
    PumpOneMessage();
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
}

}  // namespace
