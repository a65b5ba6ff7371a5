// Installed-update detection: names gathered from planted Updates, Uninstall
// and HotFix trees, and from the Windows 98 qfe folders and Active Setup
// components under Wine's Windows 98 emulation.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "inventory/InstalledUpdates.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

// Every name of `listed` is in `list`, none of `unlisted`.
void ExpectListing(const Strings& list, const Strings& listed, const Strings& unlisted) {
    auto has = [&](const std::string& name) { return std::find(list.begin(), list.end(), name) != list.end(); };
    for (const std::string& name : listed) EXPECT_TRUE(has(name)) << name;
    for (const std::string& name : unlisted) EXPECT_FALSE(has(name)) << name;
}

Strings Collected() {
    Strings list;
    CollectInstalledUpdates(list);
    return list;
}

const char kUpdates[] = "SOFTWARE\\Microsoft\\Updates\\QfTest Windows XP";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kHotFix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\HotFix\\KB900002QF";
const char kComponent[] = "{0F0E0D0C-0B0A-4909-8807-QUELLFIXTEST}";
const std::string kActiveSetup = std::string("Software\\Microsoft\\Active Setup\\Installed Components\\") + kComponent;

// Update records where Windows keeps them, under names of our own, with the
// Windows 98 qfe folders and an Active Setup component; all removed afterwards.
class PlantedRecords : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string sp3 = std::string(kUpdates) + "\\SP3";
        for (const std::string& key : {sp3 + "\\KB900000QF\\Filelist\\0QfFile", sp3 + "\\KB900003QF\\FILELIST\\QfUpper",
                                       sp3 + "\\KB900005QF\\FilelistBackup", std::string(kUninstall) + "\\KB900001QF-IE7",
                                       std::string(kHotFix) + "\\Filelist\\QfHotfixFile", kActiveSetup + "\\QfDeeper"})
            ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, key)) << key;
        qfeExisted = FileExists(qfe);
        for (const std::string& folder : {qfe, qfe + "\\w98", qfe + "\\w98.se", qfe + "\\w98\\KB777777"})
            ::CreateDirectoryA(folder.c_str(), nullptr);
        for (const char* file : {"\\w98\\KB891711.inf", "\\w98.se\\Q123456.inf", "\\w98\\KB777777\\KB888888.inf"})
            ASSERT_TRUE(WriteBytes(qfe + file, "[Version]\r\n"));
    }
    void TearDown() override {
        RemoveTree(qfe + "\\w98");
        RemoveTree(qfe + "\\w98.se");
        if (!qfeExisted) RemoveTree(qfe);
    }

    RegistryBackup updates{HKEY_LOCAL_MACHINE, kUpdates}, hotfix{HKEY_LOCAL_MACHINE, kHotFix},
        uninstall{HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\KB900001QF-IE7"},
        vendor{HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\QfVendorLocked"},
        component{HKEY_LOCAL_MACHINE, kActiveSetup};
    std::string qfe = WindowsDirectory() + "\\inf\\qfe";
    bool qfeExisted = false;
};

TEST_F(PlantedRecords, EveryKeyBelowTheThreeTreesExceptFilelists) {
    ExpectListing(Collected(),
                  {"QfTest Windows XP", "SP3", "KB900000QF", "KB900003QF", "KB900005QF", "FilelistBackup",
                   "KB900001QF-IE7", "KB900002QF"},
                  {"Filelist", "FILELIST", "0QfFile", "QfUpper", "QfHotfixFile", "Updates", "Uninstall", "HotFix",
                   "891711", kComponent});
}

TEST_F(PlantedRecords, RecordsUnderAKeyOtherAccountsOwnAreListed) {
    // Administrators may only read it, so the repair cannot open it up.
    std::string foreign = std::string(kUninstall) + "\\QfVendorLocked";
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, foreign + "\\KB966666QF"));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "D:(A;;GA;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "O:SY", OWNER_SECURITY_INFORMATION, WRITE_OWNER));
    ASSERT_TRUE(
        SetKeySddl(HKEY_LOCAL_MACHINE, foreign, "D:(A;;KR;;;WD)(A;;SD;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC));
    std::string before = KeySecurity(HKEY_LOCAL_MACHINE, kUninstall);
    ExpectListing(Collected(), {"KB966666QF"}, {});
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, kUninstall), before);
}

TEST_F(PlantedRecords, Windows98ReadsQfeFilesAndComponentsOnly) {
    // A leading "KB" dropped, cut to six characters; files in sub-folders and deeper keys not.
    ExpectListing(RunInventoryProbe("win98", "updates"), {"891711", "Q12345", kComponent},
                  {"888888", "KB7777", "777777", "QfDeeper", "QfTest Windows XP", "KB900001QF-IE7"});
    // Windows Me is no Windows 98: it reads the registry trees.
    ExpectListing(RunInventoryProbe("winme", "updates"), {"KB900001QF-IE7"}, {"891711"});
}

}  // namespace
