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
