// The registry key object and the key permission repair, against the test
// prefix's HKLM.
#include <gtest/gtest.h>

#include <windows.h>

#include "registry/RegistryKey.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

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
    const struct {
        std::string path;
        BOOL found;
        int needsRepair;
    } cases[] = {{Child("Plain"), TRUE, 0}, {"\\" + Child("Plain"), TRUE, 0},
                 {Child("Missing"), FALSE, 0}, {locked, TRUE, 1}, {unreadable, FALSE, 0}};
    for (const auto& c : cases) {
        int needsRepair = 7;
        EXPECT_EQ(ProbeRegistryKey(HKEY_LOCAL_MACHINE, c.path, needsRepair), c.found) << c.path;
        EXPECT_EQ(needsRepair, c.needsRepair) << c.path;
    }
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, unreadable, FALSE, FALSE));
}

TEST_F(RegistryTest, RepairedKeyOpensAndEveryDaclIsBackAfterCloseAndAfterDestruction) {
    std::string locked = PlantLocked("Locked");
    Strings prefixes = Prefixes(locked);  // Software, QuellfixTest, Registry, Locked
    Strings before = Securities(prefixes);
    for (const std::string& security : before) ASSERT_FALSE(security.empty());

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
    for (size_t i = 0; i < prefixes.size(); ++i) EXPECT_NE(KeySecurity(HKEY_LOCAL_MACHINE, prefixes[i]), before[i]);
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, FALSE));
    EXPECT_EQ(version, "7.0.5730.11");
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(Securities(prefixes), before);
    {
        CRegistryKey destroyed;
        ASSERT_TRUE(destroyed.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
    }
    EXPECT_EQ(Securities(prefixes), before);
}

// The path above it is opened up and put back; the key itself is read.
TEST_F(RegistryTest, KeyTheRepairCannotOpenUpIsStillReadAndItsPathRestored) {
    std::string foreign = PlantForeign("Foreign");
    Strings prefixes = Prefixes(foreign);
    Strings before = Securities(prefixes);

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, foreign, FALSE, FALSE));
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, FALSE));
    EXPECT_EQ(version, "8.0");
    Strings children = {"kept"};
    EXPECT_TRUE(key.EnumSubKeys(children));
    EXPECT_EQ(children, (Strings{"kept", "beta", "alpha"}));
    key.Close();
    EXPECT_EQ(Securities(prefixes), before);
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
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "long", SzValue(k1024)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "multi", RegValue{REG_MULTI_SZ, std::string("one\0two\0\0", 9)}));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "empty", SzValue("")));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "dword", DwordValue(0xDEADBEEF)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "short", RegValue{REG_BINARY, "\x34\x12"}));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, values, "qword", RegValue{REG_QWORD, std::string(8, '\x01')}));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, values, FALSE, FALSE));
    const struct {
        const char* name;
        BOOL ok;
        std::string text;
    } strings[] = {{"long", TRUE, k1024}, {"multi", TRUE, "one\ntwo\n\n"}, {"empty", TRUE, ""}, {"missing", FALSE, ""}};
    for (const auto& c : strings) {
        std::string text = "left over";
        EXPECT_EQ(key.ReadString(c.name, text, FALSE), c.ok) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
    const struct {
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

}  // namespace
