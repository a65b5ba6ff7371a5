// Installed-update detection: the names gathered from planted Updates,
// Uninstall and HotFix trees (Filelist subtrees skipped in any letter case,
// locked keys still read), the Windows 98 sources under Wine's Windows 98
// emulation, and the rule by which an identifier counts as installed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "inventory/InstalledUpdates.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

// The entries of `list` that are in `wanted`, in list order.
std::vector<std::string> Only(const std::vector<std::string>& list, const std::vector<std::string>& wanted) {
    std::vector<std::string> picked;
    for (const std::string& entry : list) {
        if (Contains(wanted, entry)) picked.push_back(entry);
    }
    return picked;
}

// ---------------------------------------------------------------- rules

struct LookupCase {
    const char* label;
    std::vector<std::string> list;
    std::string identifier;
    bool installed;
};

class InstalledLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(InstalledLookup, LowerCasedSubstringOfAnEntry) {
    ASSERT_EQ(::GetACP(), 949u) << "the suites run with the Korean code page";
    EXPECT_EQ(IsNameInstalled(GetParam().list, GetParam().identifier), GetParam().installed);
}

const std::vector<std::string> kEntries = {"Windows XP", "SP3", "KB900000-IE7", "Q246009"};

INSTANTIATE_TEST_SUITE_P(
    Identifiers, InstalledLookup,
    ::testing::Values(
        LookupCase{"exact_within_entry", kEntries, "KB900000", true},
        LookupCase{"lower_case_identifier", kEntries, "kb900000", true},
        LookupCase{"shorter_identifier_is_a_substring", kEntries, "KB90000", true},
        LookupCase{"upper_case_entry_matched_by_mixed", kEntries, "windows xp", true},
        LookupCase{"longer_than_every_entry", kEntries, "KB900000-IE7-SP1", false},
        LookupCase{"other_number", kEntries, "KB900001", false},
        LookupCase{"empty_list", {}, "KB900000", false},
        // 0x81 0x41 is one Korean character whose second byte looks like 'A':
        // lower-casing must not turn it into the character 0x81 0x61.
        LookupCase{"trail_byte_is_not_a_capital", {"\x81\x41"}, "\x81\x61", false},
        LookupCase{"double_byte_text_matches_itself", {"KB\x81\x41-1"}, "kb\x81\x41", true},
        LookupCase{"letter_after_double_byte_is_lowered", {"\xC7\xD1" "A"}, "\xC7\xD1" "a", true},
        // The second byte of one character and the first of the next are no
        // character of the entry.
        LookupCase{"no_match_across_characters", {"\xB0\xA1\xB0\xA1"}, "\xA1\xB0", false},
        LookupCase{"korean_identifier", {"보안 업데이트 KB123"}, "업데이트 kb", true}),
    [](const ::testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.label); });

TEST(QfeEntries, LeadingKbDroppedAndCutToSixCharacters) {
    struct {
        const char* file;
        const char* entry;
    } cases[] = {{"KB891711.inf", "891711"}, {"Q123456.inf", "Q12345"}, {"kb12.txt", "12.txt"},
                 {"Kb1", "1"},              {"kB", ""},                {"abc", "abc"},
                 {"k", "k"},                {"891711.inf", "891711"},  {"xKB891711", "xKB891"}};
    for (const auto& c : cases) EXPECT_EQ(QfeEntryName(c.file), c.entry) << c.file;
}

TEST(FilelistKeys, AnyLetterCaseButNothingElse) {
    for (const char* name : {"Filelist", "FILELIST", "filelist", "FileList"}) EXPECT_TRUE(IsFilelistKey(name)) << name;
    for (const char* name : {"Filelist0", "Filelis", "File list", "", "FilelistBackup"}) {
        EXPECT_FALSE(IsFilelistKey(name)) << name;
    }
}

// ---------------------------------------------------------------- live

const char kUpdates[] = "SOFTWARE\\Microsoft\\Updates";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kHotFix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix";
const char kActiveSetup[] = "Software\\Microsoft\\Active Setup\\Installed Components";
const char kComponent[] = "{0F0E0D0C-0B0A-4909-8807-QUELLFIXTEST}";

// Update records planted where Windows keeps them, under names of our own,
// and removed again afterwards.
class PlantedRecords : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string xp = Xp();
        for (const std::string& key :
             {xp + "\\SP3\\KB900000QF\\Filelist\\0QfFile", xp + "\\SP3\\KB900003QF\\FILELIST\\QfFileUpper",
              xp + "\\SP3\\KB900004QF\\fileList\\QfFileMixed", xp + "\\SP3\\KB900005QF\\FilelistBackup",
              std::string(kUninstall) + "\\KB900001QF-IE7", std::string(kHotFix) + "\\KB900002QF\\Filelist\\QfHotfixFile"}) {
            ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, key)) << key;
        }
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\KB900001QF-IE7", "DisplayName",
                               SzValue("보안 업데이트 KB900001")));
    }

    static std::string Xp() { return std::string(kUpdates) + "\\QfTest Windows XP"; }

    RegistryBackup updates{HKEY_LOCAL_MACHINE, Xp()};
    RegistryBackup uninstall{HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\KB900001QF-IE7"};
    RegistryBackup hotfix{HKEY_LOCAL_MACHINE, std::string(kHotFix) + "\\KB900002QF"};
    RegistryBackup vendor{HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\QfVendorLocked"};
};

TEST_F(PlantedRecords, EveryKeyBelowTheThreeTreesExceptFilelists) {
    std::vector<std::string> list;
    CollectInstalledUpdates(list);
    for (const char* name : {"QfTest Windows XP", "SP3", "KB900000QF", "KB900003QF", "KB900004QF", "KB900005QF",
                             "FilelistBackup", "KB900001QF-IE7", "KB900002QF"}) {
        EXPECT_TRUE(Contains(list, name)) << name;
    }
    for (const char* name : {"Filelist", "FILELIST", "fileList", "0QfFile", "QfFileUpper", "QfFileMixed",
                             "QfHotfixFile", "Updates", "Uninstall", "HotFix", "Hotfix"}) {
        EXPECT_FALSE(Contains(list, name)) << name;
    }
    // Depth first, each level from its highest index down.
    EXPECT_EQ(Only(list, {"QfTest Windows XP", "SP3", "KB900000QF", "KB900003QF", "KB900004QF", "KB900005QF",
                          "FilelistBackup"}),
              (std::vector<std::string>{"QfTest Windows XP", "SP3", "KB900005QF", "FilelistBackup", "KB900004QF",
                                        "KB900003QF", "KB900000QF"}));

    EXPECT_TRUE(IsNameInstalled(list, "KB900000QF"));
    EXPECT_TRUE(IsNameInstalled(list, "kb900001qf"));
    EXPECT_TRUE(IsNameInstalled(list, "KB900002QF"));
    EXPECT_FALSE(IsNameInstalled(list, "QfFileUpper"));
    EXPECT_FALSE(IsNameInstalled(list, "KB900001QF-IE7-SP1"));
}

TEST_F(PlantedRecords, EachCollectionStartsAfresh) {
    std::vector<std::string> first;
    CollectInstalledUpdates(first);
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, Xp() + "\\SP3\\KB900099QF"));
    std::vector<std::string> second;
    CollectInstalledUpdates(second);
    EXPECT_FALSE(Contains(first, "KB900099QF"));
    EXPECT_TRUE(Contains(second, "KB900099QF"));
    EXPECT_EQ(second.size(), first.size() + 1);
}

TEST_F(PlantedRecords, LockedRecordsAreListedAndTheirAccessRightsPutBack) {
    // A key of ours that refuses full access: repaired for the walk.
    std::string locked = Xp() + "\\SP3\\KB900006QF";
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, locked + "\\KB900006QF-Sub"));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, locked, "D:(A;;RC;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
    // A key another account owns, which administrators may only read: the
    // repair cannot change it, and its records must not be missed.
    std::string foreign = std::string(kUninstall) + "\\QfVendorLocked";
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, foreign + "\\KB966666QF"));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "D:(A;;GA;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "O:SY", OWNER_SECURITY_INFORMATION, WRITE_OWNER));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "D:(A;;KR;;;WD)(A;;SD;;;WD)", DACL_SECURITY_INFORMATION,
                           WRITE_DAC));
    std::vector<std::string> keys = {"SOFTWARE", "SOFTWARE\\Microsoft", kUpdates, Xp(), Xp() + "\\SP3", locked,
                                     kUninstall, foreign};
    std::vector<std::string> before;
    for (const std::string& key : keys) before.push_back(KeySecurity(HKEY_LOCAL_MACHINE, key));

    std::vector<std::string> list;
    CollectInstalledUpdates(list);
    EXPECT_TRUE(Contains(list, "KB900006QF-Sub"));
    EXPECT_TRUE(Contains(list, "QfVendorLocked"));
    EXPECT_TRUE(Contains(list, "KB966666QF"));
    EXPECT_TRUE(IsNameInstalled(list, "KB966666QF"));
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, keys[i]), before[i]) << keys[i];
    }
}

TEST(KeyTree, StartingNameFirstAndNothingBelowAMissingKey) {
    TestKeyTree tree("Installed");
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Full\\a\\b")));
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, tree.Child("Empty")));
    std::vector<std::string> list = {"kept"};
    CollectKeyTree(HKEY_LOCAL_MACHINE, tree.Child("Full"), "Start", list);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", "Start", "a", "b"}));

    list.clear();
    CollectKeyTree(HKEY_LOCAL_MACHINE, tree.Child("Empty"), "", list);
    EXPECT_TRUE(list.empty());
    CollectKeyTree(HKEY_LOCAL_MACHINE, tree.Child("Missing"), "Missing", list);
    EXPECT_EQ(list, std::vector<std::string>{"Missing"});
    list.clear();
    CollectQfeFiles(tree.Child("no such folder"), list);
    EXPECT_TRUE(list.empty());
}

// The Windows 98 sources: qfe folders under the Windows directory and the
// Active Setup components, planted and removed again.
class Windows98Records : public PlantedRecords {
protected:
    void SetUp() override {
        PlantedRecords::SetUp();
        qfe = WindowsDirectory() + "\\inf\\qfe";
        qfeExisted = FileExists(qfe);
        ::CreateDirectoryA(qfe.c_str(), nullptr);
        for (const char* folder : {"\\w98", "\\w98.se", "\\w98\\KB777777"}) {
            ::CreateDirectoryA((qfe + folder).c_str(), nullptr);
        }
        // "win98.se" is left missing: a missing folder adds nothing.
        ASSERT_TRUE(WriteBytes(qfe + "\\w98\\KB891711.inf", "[Version]\r\n"));
        ASSERT_TRUE(WriteBytes(qfe + "\\w98.se\\Q123456.inf", "[Version]\r\n"));
        ASSERT_TRUE(WriteBytes(qfe + "\\w98.se\\kb12.txt", ""));
        ASSERT_TRUE(WriteBytes(qfe + "\\w98\\KB777777\\KB888888.inf", ""));
        ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, std::string(kActiveSetup) + "\\" + kComponent + "\\QfDeeper"));
    }

    void TearDown() override {
        if (qfeExisted) {
            RemoveTree(qfe + "\\w98");
            RemoveTree(qfe + "\\w98.se");
        } else {
            RemoveTree(qfe);
        }
    }

    std::string qfe;
    bool qfeExisted = false;
    RegistryBackup component{HKEY_LOCAL_MACHINE, std::string(kActiveSetup) + "\\" + kComponent};
};

TEST_F(Windows98Records, Windows98ReadsQfeFilesAndComponentsOnly) {
    std::vector<std::string> list = SplitLines(RunInventoryProbe("win98", "updates"));
    for (const char* name : {"891711", "Q12345", "12.txt", kComponent}) EXPECT_TRUE(Contains(list, name)) << name;
    for (const char* name : {"888888", "KB7777", "777777", "QfDeeper", "QfTest Windows XP", "KB900001QF-IE7"}) {
        EXPECT_FALSE(Contains(list, name)) << name;
    }
    EXPECT_TRUE(IsNameInstalled(list, "891711"));
    EXPECT_FALSE(IsNameInstalled(list, "KB891711"));
    EXPECT_TRUE(IsNameInstalled(list, "{0f0e0d0c-0b0a-4909-8807-quellfixtest}"));
}

TEST_F(Windows98Records, OtherSystemsReadTheRegistryTreesOnly) {
    for (const char* version : {"winxp", "winme"}) {
        std::vector<std::string> list = SplitLines(RunInventoryProbe(version, "updates"));
        EXPECT_TRUE(Contains(list, "QfTest Windows XP")) << version;
        EXPECT_TRUE(Contains(list, "KB900001QF-IE7")) << version;
        for (const char* name : {"891711", "Q12345", kComponent}) EXPECT_FALSE(Contains(list, name)) << version << name;
    }
}

}  // namespace
