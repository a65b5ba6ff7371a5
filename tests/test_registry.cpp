// The registry key object and the key permission repair, against the test
// prefix's HKLM: keys that refuse full access are opened up, opened, and
// every changed key's access rights are back byte for byte afterwards;
// a key the repair cannot open up is still read; values and sub-key lists
// read back as the inventory needs them.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>

#include "registry/KeyRepair.h"
#include "registry/RegistryKey.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kSystemSid[] = "S-1-5-18";
const char kAdministratorsSid[] = "S-1-5-32-544";
constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// The paths below HKLM that a repair of `path` treats, top-most first.
std::vector<std::string> Prefixes(const std::string& path) {
    std::vector<std::string> prefixes;
    for (std::string::size_type slash = path.find('\\'); slash != std::string::npos;
         slash = path.find('\\', slash + 1)) {
        prefixes.push_back(path.substr(0, slash));
    }
    prefixes.push_back(path);
    return prefixes;
}

std::vector<std::string> Securities(HKEY root, const std::vector<std::string>& paths) {
    std::vector<std::string> securities;
    for (const std::string& path : paths) securities.push_back(KeySecurity(root, path));
    return securities;
}

class RegistryTest : public ::testing::Test {
protected:
    // A key of ours whose DACL lets everybody do nothing but read its
    // security: the owner may still change the DACL, so the repair works.
    std::string PlantReadControlOnly(const std::string& relative) {
        std::string path = tree.Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("7.0.5730.11")));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\child"));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "D:(A;;RC;;;WD)", DACL_SECURITY_INFORMATION,
                               WRITE_DAC));
        return path;
    }

    // A key owned by SYSTEM that others may only read (and delete, so the
    // test can remove it): the repair cannot change it.
    std::string PlantForeign(const std::string& relative, const char* dacl = "D:(A;;KR;;;WD)(A;;SD;;;WD)") {
        std::string path = tree.Child(relative);
        EXPECT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, path, "Version", SzValue("8.0")));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\alpha"));
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path + "\\beta"));
        return MakeForeign(path, dacl);
    }

    // Hands an existing key over to SYSTEM with the given DACL.
    std::string MakeForeign(const std::string& path, const char* dacl) {
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "D:(A;;GA;;;WD)", DACL_SECURITY_INFORMATION,
                               WRITE_DAC));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, "O:SY", OWNER_SECURITY_INFORMATION, WRITE_OWNER));
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, dacl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        return path;
    }

    // A key owned by SYSTEM whose security we may not even read; it may be
    // listed and deleted, so the test can remove it.
    std::string PlantUnreadable(const std::string& relative) {
        std::string path = tree.Child(relative);
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path));
        return MakeForeign(path, "D:(A;;SD;;;WD)(A;;0x8;;;WD)");
    }

    TestKeyTree tree{"Registry"};
};

TEST_F(RegistryTest, ProbeTellsWhetherAKeyCanBeOpenedAndWhetherItNeedsRepair) {
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Plain")));
    std::string locked = PlantReadControlOnly("Locked");
    std::string unreadable = PlantUnreadable("Unreadable");

    struct {
        std::string path;
        BOOL found;
        int needsRepair;
    } cases[] = {
        {tree.Child("Plain"), TRUE, 0},
        {"\\" + tree.Child("Plain"), TRUE, 0},       // one leading backslash is dropped
        {"\\\\" + tree.Child("Plain"), FALSE, 0},    // but only one
        {tree.Child("Missing"), FALSE, 0},
        {locked, TRUE, 1},
        {unreadable, FALSE, 0},
    };
    for (const auto& c : cases) {
        int needsRepair = 7;
        EXPECT_EQ(ProbeRegistryKey(HKEY_LOCAL_MACHINE, c.path, needsRepair), c.found) << c.path;
        EXPECT_EQ(needsRepair, c.needsRepair) << c.path;
    }
    // Probing changes nothing.
    EXPECT_EQ(KeyDaclEntries(HKEY_LOCAL_MACHINE, locked).size(), 1u);
}

TEST_F(RegistryTest, ProbeOnWindows98NeverAsksForRepair) {
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Plain")));
    std::string locked = PlantReadControlOnly("Locked");
    EXPECT_EQ(RunInventoryProbe("win98", "probe \"" + tree.Child("Plain") + "\""), "1 0\r\n");
    // Windows 98 has no access rights: the key simply opens.
    EXPECT_EQ(RunInventoryProbe("win98", "probe \"" + locked + "\""), "1 0\r\n");
    EXPECT_EQ(RunInventoryProbe("win98", "probe \"" + tree.Child("Missing") + "\""), "0 0\r\n");
    EXPECT_EQ(RunInventoryProbe("winxp", "probe \"" + locked + "\""), "1 1\r\n");
}

TEST_F(RegistryTest, RepairedKeyIsOpenedAndEveryDaclIsBackAfterClose) {
    std::string locked = PlantReadControlOnly("Locked");
    std::vector<std::string> prefixes = Prefixes(locked);
    ASSERT_EQ(prefixes.size(), 4u);  // Software, QuellfixTest, Registry, Locked
    std::vector<std::string> before = Securities(HKEY_LOCAL_MACHINE, prefixes);
    for (const std::string& security : before) ASSERT_FALSE(security.empty());

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
    // Journal: top-most first, each under the root it was opened with.
    EXPECT_EQ(key.ChangedPaths(), prefixes);
    EXPECT_EQ(key.ChangedRoots(), std::vector<HKEY>(4, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(key.SavedSecurityCount(), 4u);
    // While open, every key on the path gives SYSTEM and Administrators full control.
    for (const std::string& path : prefixes) {
        std::vector<AceInfo> aces = KeyDaclEntries(HKEY_LOCAL_MACHINE, path);
        ASSERT_EQ(aces.size(), 2u) << path;
        EXPECT_EQ(aces[0].sid, kSystemSid);
        EXPECT_EQ(aces[1].sid, kAdministratorsSid);
        EXPECT_EQ(aces[0].flags & kInherit, kInherit);
    }
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, TRUE));
    EXPECT_EQ(version, "7.0.5730.11");
    std::vector<std::string> children;
    EXPECT_TRUE(key.EnumSubKeys(children, FALSE));
    EXPECT_EQ(children, std::vector<std::string>{"child"});

    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(key.ChangedPaths().empty());
    EXPECT_TRUE(key.ChangedRoots().empty());
    EXPECT_EQ(key.SavedSecurityCount(), 0u);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(Securities(HKEY_LOCAL_MACHINE, prefixes), before);
    // Closing again changes nothing.
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(Securities(HKEY_LOCAL_MACHINE, prefixes), before);
}

TEST_F(RegistryTest, DestroyingAnOpenKeyRestoresEveryDacl) {
    std::string locked = PlantReadControlOnly("Locked");
    std::vector<std::string> prefixes = Prefixes(locked);
    std::vector<std::string> before = Securities(HKEY_LOCAL_MACHINE, prefixes);
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, locked, FALSE, FALSE));
        ASSERT_NE(Securities(HKEY_LOCAL_MACHINE, prefixes), before);
    }
    EXPECT_EQ(Securities(HKEY_LOCAL_MACHINE, prefixes), before);
}

TEST_F(RegistryTest, KeyTheRepairCannotOpenUpIsStillReadAndItsPathRestored) {
    std::string foreign = PlantForeign("Foreign");
    std::vector<std::string> prefixes = Prefixes(foreign);
    std::vector<std::string> before = Securities(HKEY_LOCAL_MACHINE, prefixes);

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, foreign, FALSE, FALSE));
    // The ancestors were opened up; the foreign key itself was not.
    EXPECT_EQ(key.ChangedPaths(), std::vector<std::string>(prefixes.begin(), prefixes.end() - 1));
    std::string version;
    EXPECT_TRUE(key.ReadString("Version", version, FALSE));
    EXPECT_EQ(version, "8.0");
    std::vector<std::string> children;
    EXPECT_TRUE(key.EnumSubKeys(children, FALSE));
    EXPECT_EQ(children, (std::vector<std::string>{"beta", "alpha"}));
    key.Close();
    EXPECT_EQ(Securities(HKEY_LOCAL_MACHINE, prefixes), before);
}

TEST_F(RegistryTest, KeyThatCannotEvenBeProbedIsNotOpened) {
    std::string unreadable = PlantUnreadable("Unreadable");
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, unreadable, FALSE, FALSE));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.ChangedPaths().empty());
}

TEST_F(RegistryTest, GrantResultsTellHowFarTheRepairGot) {
    std::string locked = PlantReadControlOnly("Locked");
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Plain")));
    PlantForeign("Foreign");
    PlantForeign("Plain\\Foreign");
    std::string lockedBefore = KeySecurity(HKEY_LOCAL_MACHINE, locked);
    std::string plainBefore = KeySecurity(HKEY_LOCAL_MACHINE, tree.Child("Plain"));

    std::vector<HKEY> roots;
    std::vector<std::string> paths;
    std::vector<HeapBlock> saved;

    // 1: every key of the path treated.
    EXPECT_EQ(GrantKeyPathAccess(HKEY_LOCAL_MACHINE, locked, TRUE, roots, paths, saved), 1);
    EXPECT_EQ(paths, Prefixes(locked));
    EXPECT_EQ(RestoreKeySecurity(roots, paths, saved), 1);
    EXPECT_TRUE(roots.empty() && paths.empty() && saved.empty());
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, locked), lockedBefore);

    // Without walking the prefixes only the key itself is treated.
    EXPECT_EQ(GrantKeyPathAccess(HKEY_LOCAL_MACHINE, locked, FALSE, roots, paths, saved), 1);
    EXPECT_EQ(paths, std::vector<std::string>{locked});
    RestoreKeySecurity(roots, paths, saved);

    // A path without a backslash, relative to an open key, takes one pass.
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Locked", TRUE, roots, paths, saved), 1);
    EXPECT_EQ(paths, std::vector<std::string>{"Locked"});
    EXPECT_EQ(roots, std::vector<HKEY>{tree.Handle()});
    RestoreKeySecurity(roots, paths, saved);
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, locked), lockedBefore);

    // -1: the first key of the path cannot be opened up; nothing recorded.
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Foreign\\alpha", TRUE, roots, paths, saved), -1);
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Missing\\Key", TRUE, roots, paths, saved), -1);
    EXPECT_TRUE(paths.empty());

    // -2: the second cannot; the first was changed and is in the journal.
    EXPECT_EQ(GrantKeyPathAccess(tree.Handle(), "Plain\\Foreign", TRUE, roots, paths, saved), -2);
    EXPECT_EQ(paths, std::vector<std::string>{"Plain"});
    EXPECT_NE(KeySecurity(HKEY_LOCAL_MACHINE, tree.Child("Plain")), plainBefore);
    RestoreKeySecurity(roots, paths, saved);
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, tree.Child("Plain")), plainBefore);
}

TEST_F(RegistryTest, GrantOnWindows98AttemptsNothing) {
    std::string locked = PlantReadControlOnly("Locked");
    std::string before = KeySecurity(HKEY_LOCAL_MACHINE, locked);
    EXPECT_EQ(RunInventoryProbe("win98", "grant \"" + locked + "\""), "0 0\r\n");
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, locked), before);
}

TEST_F(RegistryTest, RestoreWritesTheJournalBackNewestFirst) {
    std::string path = tree.Child("Twice");
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path));
    auto saveAs = [&](const char* sddl) {
        EXPECT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, path, sddl, DACL_SECURITY_INFORMATION, WRITE_DAC));
        std::string bytes = KeySecurity(HKEY_LOCAL_MACHINE, path);
        HeapBlock block(static_cast<DWORD>(bytes.size()));
        std::memcpy(block.Data(), bytes.data(), bytes.size());
        return std::make_pair(bytes, std::move(block));
    };
    auto first = saveAs("D:(A;;KA;;;WD)");
    auto second = saveAs("D:(A;;KA;;;BA)(A;;KR;;;WD)");
    SetKeySddl(HKEY_LOCAL_MACHINE, path, "D:(A;;KA;;;SY)(A;;KA;;;BA)", DACL_SECURITY_INFORMATION, WRITE_DAC);

    // The same key twice, plus an entry whose key is gone by now.
    std::vector<HKEY> roots = {HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
    std::vector<std::string> paths = {path, path, tree.Child("Gone")};
    std::vector<HeapBlock> saved;
    saved.push_back(std::move(first.second));
    saved.push_back(std::move(second.second));
    saved.push_back(HeapBlock(16));
    EXPECT_EQ(RestoreKeySecurity(roots, paths, saved), 1);
    // The first entry was written last, so its DACL is the one in force.
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, path), first.first);
    EXPECT_TRUE(roots.empty() && paths.empty() && saved.empty());
}

TEST(AccessDescriptor, GivesSystemAndAdministratorsInheritableAccessInOrder) {
    AccessDescriptor descriptor;
    ASSERT_TRUE(BuildAccessDescriptor(
        descriptor, {{"SYSTEM", GENERIC_ALL}, {"Administrators", GENERIC_ALL | KEY_ALL_ACCESS}}));
    EXPECT_TRUE(::IsValidSecurityDescriptor(descriptor.Get()));
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(dacl, descriptor.Dacl());
    std::vector<AceInfo> aces = DaclEntries(dacl);
    ASSERT_EQ(aces.size(), 2u);
    EXPECT_EQ(aces[0].sid, kSystemSid);
    EXPECT_EQ(aces[0].mask, 0x10000000u);
    EXPECT_EQ(aces[0].flags, kInherit);
    EXPECT_EQ(aces[1].sid, kAdministratorsSid);
    EXPECT_EQ(aces[1].mask, 0x100F003Fu);
    EXPECT_EQ(aces[1].flags, kInherit);
    PSID owner = reinterpret_cast<PSID>(1);
    ::GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted);
    EXPECT_EQ(owner, nullptr);
}

TEST(AccessDescriptor, UnknownAccountOrNoEntriesBuildNothing) {
    AccessDescriptor descriptor;
    EXPECT_FALSE(BuildAccessDescriptor(descriptor, {{"SYSTEM", GENERIC_ALL}, {"NoSuchAccountQf", GENERIC_ALL}}));
    EXPECT_EQ(descriptor.Dacl(), nullptr);
    EXPECT_FALSE(BuildAccessDescriptor(descriptor, {}));
    EXPECT_EQ(descriptor.Dacl(), nullptr);
    // A failed build after a good one leaves no DACL behind either.
    ASSERT_TRUE(BuildAccessDescriptor(descriptor, {{"SYSTEM", GENERIC_ALL}}));
    EXPECT_FALSE(BuildAccessDescriptor(descriptor, {{"NoSuchAccountQf", GENERIC_ALL}}));
    EXPECT_EQ(descriptor.Dacl(), nullptr);
}

TEST(AccountSid, LooksUpLocalAccountsByName) {
    struct {
        const char* name;
        const char* sid;
    } cases[] = {{"SYSTEM", kSystemSid}, {"Administrators", kAdministratorsSid}, {"NoSuchAccountQf", nullptr}};
    for (const auto& c : cases) {
        LocalBlock sid(::LocalAlloc(LMEM_FIXED, 4));  // replaced, also on failure
        BOOL found = GetAccountSid(c.name, sid);
        EXPECT_EQ(found != FALSE, c.sid != nullptr) << c.name;
        if (!c.sid) {
            EXPECT_EQ(sid.get(), nullptr);
            continue;
        }
        ASSERT_NE(sid.get(), nullptr);
        char* text = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidA(sid.get(), &text));
        EXPECT_STREQ(text, c.sid);
        ::LocalFree(text);
    }
}

// Values as ReadString gives them back, limited and not.
struct StringCase {
    const char* label;
    RegValue value;
    BOOL limited;
    BOOL ok;
    std::string text;
};

class ReadStringValues : public RegistryTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(ReadStringValues, ReadBack) {
    const StringCase& c = GetParam();
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("Values"), "value", c.value));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Values"), FALSE, FALSE));
    std::string text = "left over";
    EXPECT_EQ(key.ReadString("value", text, c.limited), c.ok);
    EXPECT_EQ(text, c.text);
}

const std::string k1023(1023, 'a');
const std::string k1024(1024, 'b');

INSTANTIATE_TEST_SUITE_P(
    Values, ReadStringValues,
    ::testing::Values(
        StringCase{"sz_1024_bytes_limited", SzValue(k1023), TRUE, TRUE, k1023},
        StringCase{"sz_1025_bytes_limited", SzValue(k1024), TRUE, FALSE, ""},
        StringCase{"sz_1025_bytes_unlimited", SzValue(k1024), FALSE, TRUE, k1024},
        StringCase{"binary_1024_bytes_without_nul", RawValue(REG_BINARY, k1024), TRUE, TRUE, k1024},
        StringCase{"binary_1025_bytes_limited", RawValue(REG_BINARY, k1024 + "c"), TRUE, FALSE, ""},
        StringCase{"multi_unlimited", MultiSzValue({"one", "two"}), FALSE, TRUE, "one\ntwo\n\n"},
        StringCase{"multi_limited", MultiSzValue({"one", "two"}), TRUE, FALSE, ""},
        StringCase{"multi_empty_list", MultiSzValue({}), FALSE, TRUE, "\n"},
        StringCase{"empty_string", SzValue(""), TRUE, TRUE, ""},
        StringCase{"expand_sz_not_expanded", RawValue(REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15)),
                   TRUE, TRUE, "%SystemRoot%\\x"},
        StringCase{"dword_bytes_up_to_zero", DwordValue(0x00434241), TRUE, TRUE, "ABC"},
        StringCase{"binary_up_to_first_zero", RawValue(REG_BINARY, std::string("ab\0cd", 5)), TRUE, TRUE, "ab"},
        StringCase{"korean_text", SzValue("보안 업데이트"), TRUE, TRUE, "보안 업데이트"}),
    [](const ::testing::TestParamInfo<StringCase>& info) { return std::string(info.param.label); });

struct DwordCase {
    const char* label;
    RegValue value;
    BOOL ok;
    DWORD number;
};

class ReadDwordValues : public RegistryTest, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(ReadDwordValues, ReadBack) {
    const DwordCase& c = GetParam();
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("Values"), "value", c.value));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Values"), FALSE, FALSE));
    DWORD number = 77;
    EXPECT_EQ(key.ReadDWORD("value", number), c.ok);
    EXPECT_EQ(number, c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadDwordValues,
    ::testing::Values(DwordCase{"dword", DwordValue(0xDEADBEEF), TRUE, 0xDEADBEEF},
                      DwordCase{"zero", DwordValue(0), TRUE, 0},
                      DwordCase{"two_bytes_fill_the_low_bytes", RawValue(REG_BINARY, "\x34\x12"), TRUE, 0x1234},
                      DwordCase{"short_text_as_bytes", SzValue("7"), TRUE, 0x37},
                      DwordCase{"eight_bytes_fail", RawValue(REG_QWORD, std::string(8, '\x01')), FALSE, 0}),
    [](const ::testing::TestParamInfo<DwordCase>& info) { return std::string(info.param.label); });

TEST_F(RegistryTest, MissingValuesAndNoOpenKeyAreFailures) {
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Values")));
    CRegistryKey closed;
    std::string text = "untouched";
    DWORD number = 77;
    std::vector<std::string> names = {"kept"};
    EXPECT_FALSE(closed.ReadString("value", text, FALSE));
    EXPECT_EQ(text, "untouched");
    EXPECT_FALSE(closed.ReadDWORD("value", number));
    EXPECT_FALSE(closed.EnumSubKeys(names, FALSE));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Values"), FALSE, FALSE));
    EXPECT_FALSE(key.ReadString("missing", text, FALSE));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(key.ReadDWORD("missing", number));
    EXPECT_EQ(number, 0u);
}

TEST_F(RegistryTest, SubKeysComeHighestIndexFirstAfterWhatTheArrayHeld) {
    for (const char* name : {"alpha", "beta", "gamma"}) {
        ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Enum\\") + name));
    }
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Enum\\alpha\\deeper")));
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Empty")));

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Enum"), FALSE, FALSE));
    std::vector<std::string> names = {"kept"};
    EXPECT_TRUE(key.EnumSubKeys(names, FALSE));
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "gamma", "beta", "alpha"}));
    key.Close();

    CRegistryKey empty;
    ASSERT_TRUE(empty.Open(HKEY_LOCAL_MACHINE, tree.Child("Empty"), FALSE, FALSE));
    EXPECT_TRUE(empty.EnumSubKeys(names, FALSE));
    EXPECT_EQ(names.size(), 4u);
}

TEST_F(RegistryTest, DoubleByteAndLongSubKeyNamesReadBackWhole) {
    const std::string korean = "업데이트 기록";
    std::string longKorean;
    for (int i = 0; i < 100; ++i) longKorean += "한";  // 100 characters, 200 bytes
    const std::string longAscii(255, 'n');
    // Created relative to their parent: a whole path of that length is too
    // long for the ANSI registry calls.
    HKEY parent = nullptr;
    ASSERT_EQ(::RegCreateKeyA(tree.Handle(), "Names", &parent), ERROR_SUCCESS);
    for (const std::string& name : {korean, longKorean, longAscii}) {
        HKEY child = nullptr;
        EXPECT_EQ(::RegCreateKeyA(parent, name.c_str(), &child), ERROR_SUCCESS) << name.size();
        if (child) ::RegCloseKey(child);
    }
    ::RegCloseKey(parent);
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Names"), FALSE, FALSE));
    std::vector<std::string> names;
    EXPECT_TRUE(key.EnumSubKeys(names, FALSE));
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {korean, longKorean, longAscii};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST_F(RegistryTest, OpenAndCreateOnAnOpenObjectFailAndKeepTheOpenKey) {
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("First"), "name", SzValue("first")));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("Second"), "name", SzValue("second")));
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("First"), FALSE, FALSE));
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Second"), FALSE, FALSE));
    EXPECT_FALSE(key.Create(HKEY_LOCAL_MACHINE, tree.Child("Third")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("Third")));
    EXPECT_EQ(key.SubKey(), tree.Child("First"));
    std::string text;
    EXPECT_TRUE(key.ReadString("name", text, TRUE));
    EXPECT_EQ(text, "first");
}

TEST_F(RegistryTest, MissingKeyIsCreatedOnlyWhenAskedTo) {
    CRegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("New"), FALSE, FALSE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New")));
    EXPECT_EQ(key.RootKey(), nullptr);
    EXPECT_EQ(key.SubKey(), "");

    EXPECT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("New"), TRUE, FALSE));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New")));
    EXPECT_EQ(key.RootKey(), HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(key.SubKey(), "");
    EXPECT_TRUE(key.Create(HKEY_LOCAL_MACHINE, tree.Child("New\\Deeper")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree.Child("New\\Deeper")));
}

// Counts the messages it is given, so a test can see what was dispatched.
struct Counter {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_APP + 7) {
            ++count;
            return 0;
        }
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    static int count;
};
int Counter::count = 0;

TEST_F(RegistryTest, PumpingHandlesOneMessagePerNameAndKeepsTheQuitMessage) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Counter::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuellfixPumpCounter";
    ::RegisterClassA(&wc);
    HWND window = ::CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    PumpMessages();
    Counter::count = 0;

    for (const char* name : {"one", "two"}) ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Pump\\") + name));
    for (int i = 0; i < 3; ++i) ::PostMessageA(window, WM_APP + 7, 0, 0);
    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, tree.Child("Pump"), FALSE, FALSE));
    std::vector<std::string> names;
    EXPECT_TRUE(key.EnumSubKeys(names, TRUE));
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(Counter::count, 2);
    PumpOneMessage();
    EXPECT_EQ(Counter::count, 3);
    PumpOneMessage();  // nothing waiting: returns at once
    EXPECT_EQ(Counter::count, 3);

    ::PostQuitMessage(42);
    PumpOneMessage();
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
    ::DestroyWindow(window);
    ::UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

}  // namespace
