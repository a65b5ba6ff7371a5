// Component and language detection against values planted in the test
// prefix's registry and fixture DLLs with version resources.
#include <gtest/gtest.h>

#include <windows.h>

#include "inventory/Detection.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

const char kIeKey[] = "Software\\Microsoft\\Internet Explorer";
const char kPlayerKey[] = "CLSID\\{6BF52A52-394A-11d3-B153-00C04F79FAA6}\\InprocServer32";
const char kIisKey[] = "SOFTWARE\\Microsoft\\InetStp";
const char kNetSetup[] = "Software\\Microsoft\\NET Framework Setup";
const char kNet10[] = "Software\\Microsoft\\.NETFramework\\Policy\\v1.0";
const char kNet10Component[] =
    "Software\\Microsoft\\Active Setup\\Installed Components\\{78705f0d-e8db-4b2d-8193-982bdda15ecd}";
const char kNet11[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v1.1.4322";
const char kNet20[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
const char kNet30[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0";
const char kNet30Setup[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0\\Setup";
const char kNet35[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5";

struct Plant { const char* key; const char* name; RegValue value; };

// Everything the detections read, emptied for the test and put back afterwards.
class Detection : public ::testing::Test {
protected:
    Detection() {
        for (const char* key : {kIeKey, kIisKey, kNetSetup, kNet10, kNet10Component})
            DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
        DeleteKeyTree(HKEY_CLASSES_ROOT, kPlayerKey);
    }
    RegistryBackup ie{HKEY_LOCAL_MACHINE, kIeKey}, iis{HKEY_LOCAL_MACHINE, kIisKey},
        setup{HKEY_LOCAL_MACHINE, kNetSetup}, policy{HKEY_LOCAL_MACHINE, kNet10},
        component{HKEY_LOCAL_MACHINE, kNet10Component}, player{HKEY_CLASSES_ROOT, kPlayerKey};
    const std::string msscp = SystemDirectory() + "\\msscp.dll";
};

TEST_F(Detection, MissingOrUnreadableComponentsGiveTheirDefaults) {
    SystemProfile p;
    p.wmpMajor = p.wmfMajor = p.wmfRevision = p.snmpInstalled = 5;
    EXPECT_EQ(DetectInternetExplorer(), 0);
    EXPECT_EQ(DetectMediaPlayer(p), "0");
    EXPECT_EQ(p.wmpMajor, 0);
    EXPECT_FALSE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, -1);
    EXPECT_FALSE(DetectSNMP(p));
    EXPECT_EQ(p.snmpInstalled, 0);
    EXPECT_EQ(DetectDotNetFramework(p), -1);
    EXPECT_FALSE(DetectMediaFormat(p));
    EXPECT_EQ(p.wmfMajor + p.wmfRevision, 0);

    // Present but incomplete.
    ASSERT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, kIeKey));
    EXPECT_EQ(DetectInternetExplorer(), 3) << "no Version value";
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MinorVersion", DwordValue(1)));
    EXPECT_FALSE(DetectIIS(p)) << "no MajorVersion";
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(0)));
    EXPECT_TRUE(DetectIIS(p)) << "0 is a version";
    EXPECT_EQ(p.iisVersion, 0);
    for (const std::string& path : {std::string("C:\\no\\such\\wmp.dll"), InventoryFixture("qf_no_version.dll")}) {
        ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", SzValue(path)));
        EXPECT_EQ(DetectMediaPlayer(p), "0") << path;
    }
    ScopedFile dll(msscp, ReadBytes(InventoryFixture("qf_no_version.dll")));
    ASSERT_TRUE(dll.ok);
    EXPECT_FALSE(DetectMediaFormat(p)) << "msscp.dll without a version";
    EXPECT_EQ(p.wmfMajor, 0);
}

// 3.0 and 3.5 count only on top of the one before and from their minimum versions.
TEST_F(Detection, NewestDotNetFrameworkAndItsServicePack) {
    const Plant k11 = {kNet11, "Install", DwordValue(1)}, k20 = {kNet20, "Install", DwordValue(1)},
                k30 = {kNet30Setup, "InstallSuccess", DwordValue(1)}, k35 = {kNet35, "Install", DwordValue(1)},
                v30 = {kNet30Setup, "Version", SzValue("3.0.4506.26")};
    auto sp = [](const char* key, DWORD n) { return Plant{key, "SP", DwordValue(n)}; };
    auto version = [](const char* key, const char* text) { return Plant{key, "Version", SzValue(text)}; };
    const struct { const char* label; std::vector<Plant> plants; int version, servicePack; } cases[] = {
        {"v10_sp_from_active_setup", {{kNet10, "3705", SzValue("")}, version(kNet10Component, "1,0,3705,3")}, 10, 3},
        {"v20_over_v11", {k11, sp(kNet11, 2), k20, sp(kNet20, 1)}, 20, 1},
        {"v20_sp0_is_none", {k20, sp(kNet20, 0)}, 20, -1},
        {"v30_without_v20", {k11, k30, v30}, 11, -1},
        {"v30_below_minimum", {k20, k30, version(kNet30Setup, "3.0.4506.25")}, 20, -1},
        {"v30_sp_from_v30_key", {k20, k30, v30, sp(kNet30, 2), sp(kNet30Setup, 4)}, 30, 2},
        {"v35", {k20, k30, v30, k35, version(kNet35, "3.5.21022.8"), sp(kNet35, 1)}, 35, 1},
        {"v35_without_v30", {k20, k35, version(kNet35, "3.5.30729.1")}, 20, -1},
    };
    for (const auto& c : cases) {
        for (const char* key : {kNetSetup, kNet10, kNet10Component}) DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
        for (const Plant& plant : c.plants)
            ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, plant.key, plant.name, plant.value)) << plant.key;
        SystemProfile p;
        EXPECT_EQ(DetectDotNetFramework(p), c.version) << c.label;
        EXPECT_EQ(p.dotNetServicePack, c.servicePack) << c.label;
    }
}

TEST(Language, TheLastLanguageOfTheVersionResourceWins) {
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_languages_ko.dll")), 0x0412);  // English, then Korean
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_version.dll")), 0);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_such_module.dll")), 0);
}

// Every component planted at once, for the whole inventory under Windows XP.
TEST_F(Detection, SummaryLineOfAPlantedWindowsXpSystem) {
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", SzValue(InventoryFixture("qf_player.dll"))));
    for (const Plant& plant : {Plant{kIeKey, "Version", SzValue("8.0.6001.18702")},
                               {kIisKey, "MajorVersion", DwordValue(6)}, {kNet20, "Install", DwordValue(1)},
                               {kNet20, "SP", DwordValue(2)}})
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, plant.key, plant.name, plant.value)) << plant.key;
    ScopedFile snmp(SystemDirectory() + "\\snmp.exe", "MZ");
    ScopedFile dll(msscp, ReadBytes(InventoryFixture("msscp.dll")));
    ASSERT_TRUE(snmp.ok && dll.ok);
    // Wine's kernel32 lists language 165 last.
    EXPECT_EQ(RunInventoryProbe("winxp", "inventory"),
              (std::vector<std::string>{"Microsoft Windows XP Professional Service Pack 3 (build 2600)",
                                        "운영체제 코드 : 4 (32 비트, 알 수 없음(165)), 서비스 팩 3, 인터넷 익스플로러 8, "
                                        "윈도우즈 미디어 플레이어 12.0.7601.65535, IIS 버전 : 6, SNMP 설치됨, "
                                        "닷넷 프레임워크 2.0 설치됨, 윈도우즈 미디어 포맷 11 설치됨"}));
}

}  // namespace
