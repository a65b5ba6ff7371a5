// Component and language detection against values planted in the test
// prefix's registry and fixture DLLs with version resources, and the summary
// line byte for byte.
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

// Everything the .NET detection reads, emptied and put back afterwards.
struct DotNetRegistry {
    DotNetRegistry() {
        for (const char* key : {kNetSetup, kNet10, kNet10Component}) DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
    }
    RegistryBackup setup{HKEY_LOCAL_MACHINE, kNetSetup}, policy{HKEY_LOCAL_MACHINE, kNet10},
        component{HKEY_LOCAL_MACHINE, kNet10Component};
};

struct Plant {
    const char* key;
    const char* name;
    RegValue value;
};

struct DotNetCase {
    const char* label;
    std::vector<Plant> plants;
    int version, servicePack;
};

class DotNetDetection : public ::testing::TestWithParam<DotNetCase> {};

TEST_P(DotNetDetection, NewestFrameworkAndItsServicePack) {
    DotNetRegistry registry;
    for (const Plant& plant : GetParam().plants) {
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, plant.key, plant.name, plant.value)) << plant.key;
    }
    SystemProfile p;
    p.dotNetServicePack = 99;  // written only when a framework is found
    EXPECT_EQ(DetectDotNetFramework(p), GetParam().version);
    EXPECT_EQ(p.dotNetVersion, GetParam().version);
    EXPECT_EQ(p.dotNetServicePack, GetParam().version == -1 ? 99 : GetParam().servicePack);
}

const Plant k11 = {kNet11, "Install", DwordValue(1)};
const Plant k20 = {kNet20, "Install", DwordValue(1)};
const Plant k30 = {kNet30Setup, "InstallSuccess", DwordValue(1)};
const Plant k35 = {kNet35, "Install", DwordValue(1)};
Plant Sp(const char* key, DWORD sp) { return Plant{key, "SP", DwordValue(sp)}; }
Plant Version(const char* key, const char* text) { return Plant{key, "Version", SzValue(text)}; }

// 3.0 counts from 3.0.4506.26, 3.5 from 3.5.21022.8, each only on top of the one before.
INSTANTIATE_TEST_SUITE_P(
    Systems, DotNetDetection,
    ::testing::Values(
        DotNetCase{"none", {}, -1, -1},
        DotNetCase{"v10_sp_from_active_setup", {{kNet10, "3705", SzValue("")}, Version(kNet10Component, "1,0,3705,3")}, 10, 3},
        DotNetCase{"v11_sp1", {k11, Sp(kNet11, 1)}, 11, 1},
        DotNetCase{"v11_install_2_is_not_installed", {{kNet11, "Install", DwordValue(2)}}, -1, -1},
        DotNetCase{"v20_over_v11", {k11, Sp(kNet11, 2), k20, Sp(kNet20, 1)}, 20, 1},
        DotNetCase{"v20_sp0_is_none", {k20, Sp(kNet20, 0)}, 20, -1},
        DotNetCase{"v30_without_v20", {k11, k30, Version(kNet30Setup, "3.0.4506.30")}, 11, -1},
        DotNetCase{"v30_below_threshold", {k20, k30, Version(kNet30Setup, "3.0.4506.25")}, 20, -1},
        DotNetCase{"v30_at_threshold_sp_from_v30_key", {k20, k30, Version(kNet30Setup, "3.0.4506.26"), Sp(kNet30, 2)}, 30, 2},
        DotNetCase{"v30_install_failed", {k20, {kNet30Setup, "InstallSuccess", DwordValue(0)}, Version(kNet30Setup, "3.1")}, 20, -1},
        DotNetCase{"v35_at_threshold", {k20, k30, Version(kNet30Setup, "3.0.4506.26"), k35, Version(kNet35, "3.5.21022.8"), Sp(kNet35, 1)}, 35, 1},
        DotNetCase{"v35_below_threshold", {k20, k30, Version(kNet30Setup, "3.0.4506.26"), k35, Version(kNet35, "3.5.21022.7")}, 30, -1},
        DotNetCase{"v35_without_v30", {k20, k35, Version(kNet35, "3.5.30729.1")}, 20, -1}),
    [](const ::testing::TestParamInfo<DotNetCase>& info) { return std::string(info.param.label); });

TEST(InternetExplorer, MajorVersionFromTheVersionText) {
    RegistryBackup backup(HKEY_LOCAL_MACHINE, kIeKey);
    struct {
        const char* text;  // null: no Version value
        int version;
    } cases[] = {{"7.0.5730.11", 7}, {"11.0.9600.18376", 11}, {"8", 0}, {"", 0}, {nullptr, 3}};
    for (const auto& c : cases) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kIeKey);
        ASSERT_TRUE(c.text ? PlantValue(HKEY_LOCAL_MACHINE, kIeKey, "Version", SzValue(c.text))
                           : PlantKey(HKEY_LOCAL_MACHINE, kIeKey));
        EXPECT_EQ(DetectInternetExplorer(), c.version) << (c.text ? c.text : "no value");
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kIeKey);
    EXPECT_EQ(DetectInternetExplorer(), 0);
}

TEST(MediaPlayer, VersionOfTheFileTheClassKeyNames) {
    RegistryBackup backup(HKEY_CLASSES_ROOT, kPlayerKey);
    struct {
        std::string path;  // empty: no value
        const char* text;
        int major;
    } cases[] = {{InventoryFixture("qf_player.dll"), "12.0.7601.65535", 12},
                 {"C:\\no\\such\\wmp.dll", "0", 0},
                 {InventoryFixture("qf_no_version.dll"), "0", 0},
                 {"", "0", 0}};
    for (const auto& c : cases) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, kPlayerKey);
        ASSERT_TRUE(c.path.empty() ? PlantKey(HKEY_CLASSES_ROOT, kPlayerKey)
                                   : PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", SzValue(c.path)));
        SystemProfile p;
        p.wmpMajor = 5;
        EXPECT_EQ(DetectMediaPlayer(p), c.text) << c.path;
        EXPECT_EQ(p.wmpMajor, c.major) << c.path;
    }
}

TEST(MediaFormat, VersionOfMsscpInTheSystemDirectory) {
    std::string path = SystemDirectory() + "\\msscp.dll";
    SystemProfile p;
    auto parts = [&p] { return std::vector<int>{p.wmfMajor, p.wmfMinor, p.wmfBuild, p.wmfRevision}; };
    p.wmfMajor = p.wmfRevision = 9;
    EXPECT_FALSE(DetectMediaFormat(p));
    EXPECT_EQ(parts(), (std::vector<int>{0, 0, 0, 0}));
    {
        ScopedFile dll(path, ReadBytes(InventoryFixture("msscp.dll")));
        ASSERT_TRUE(dll.Ok());
        EXPECT_TRUE(DetectMediaFormat(p));
        EXPECT_EQ(parts(), (std::vector<int>{11, 0, 5721, 5145}));
    }
    ScopedFile dll(path, ReadBytes(InventoryFixture("qf_no_version.dll")));
    ASSERT_TRUE(dll.Ok());
    EXPECT_FALSE(DetectMediaFormat(p));
    EXPECT_EQ(parts(), (std::vector<int>{0, 0, 0, 0}));
}

TEST(Language, TheLastLanguageOfTheVersionResourceWins) {
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_languages_ko.dll")), 0x0412);  // English, then Korean
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_player.dll")), 0x0409);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_version.dll")), 0);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_such_module.dll")), 0);
}

TEST(Iis, ZeroIsAVersionAMissingKeyOrValueIsNot) {
    RegistryBackup backup(HKEY_LOCAL_MACHINE, kIisKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kIisKey);
    SystemProfile p;
    EXPECT_FALSE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, -1);
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MinorVersion", DwordValue(1)));
    EXPECT_FALSE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, -1);
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(0)));
    EXPECT_TRUE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, 0);
}

TEST(Snmp, PresentOnlyWhenTheServiceProgramIsInTheSystemDirectory) {
    SystemProfile p;
    p.snmpInstalled = 1;
    EXPECT_FALSE(DetectSNMP(p));
    EXPECT_EQ(p.snmpInstalled, 0);
    ScopedFile snmp(SystemDirectory() + "\\snmp.exe", "MZ");
    ASSERT_TRUE(snmp.Ok());
    EXPECT_TRUE(DetectSNMP(p));
    EXPECT_EQ(p.snmpInstalled, 1);
}

TEST(SummaryLine, ByteForByteInCodePage949) {
    SystemProfile p;
    p.osCode = 6;
    p.osBits = 64;
    p.servicePack = 1;
    p.languageId = 0x0409;
    p.ieVersion = 8;
    p.iisVersion = 0;
    p.dotNetVersion = 35;
    p.wmfMajor = 11;
    EXPECT_EQ(FormatSummaryLine(p, "11.0.6001.7000", true, false, 35, true),
              "운영체제 코드 : 6 (64 비트, 영문판(9)), 서비스 팩 1, 인터넷 익스플로러 8, "
              "윈도우즈 미디어 플레이어 11.0.6001.7000, IIS 버전 : 0, SNMP 설치되지 않음, "
              "닷넷 프레임워크 3.5 설치됨, 윈도우즈 미디어 포맷 11 설치됨");
    // The detections' results decide the texts, not what the profile holds.
    EXPECT_EQ(FormatSummaryLine(p, "0", false, true, -1, false),
              "운영체제 코드 : 6 (64 비트, 영문판(9)), 서비스 팩 1, 인터넷 익스플로러 8, "
              "윈도우즈 미디어 플레이어 0, IIS 가 설치되지 않음, SNMP 설치됨, "
              "닷넷 프레임워크 설치되지 않음, 윈도우즈 미디어 포맷 설치되지 않음");
    EXPECT_EQ(GetLanguageName(0x0412), "\xC7\xD1\xB1\xDB\xC6\xC7");  // 한글판 in CP949
}

// Every component planted at once, for the whole inventory under Windows XP.
TEST(Inventory, SummaryLineOfAPlantedWindowsXpSystem) {
    RegistryBackup ie(HKEY_LOCAL_MACHINE, kIeKey), player(HKEY_CLASSES_ROOT, kPlayerKey),
        iis(HKEY_LOCAL_MACHINE, kIisKey);
    DotNetRegistry dotNet;
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIeKey, "Version", SzValue("8.0.6001.18702")));
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", SzValue(InventoryFixture("qf_player.dll"))));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(6)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kNet20, "Install", DwordValue(1)));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kNet20, "SP", DwordValue(2)));
    ScopedFile snmp(SystemDirectory() + "\\snmp.exe", "MZ");
    ScopedFile msscp(SystemDirectory() + "\\msscp.dll", ReadBytes(InventoryFixture("msscp.dll")));
    ASSERT_TRUE(snmp.Ok() && msscp.Ok());
    // Wine's kernel32 lists language 165 last.
    EXPECT_EQ(RunInventoryProbe("winxp", "inventory"),
              (std::vector<std::string>{"Microsoft Windows XP Professional Service Pack 3 (build 2600)",
                                        "운영체제 코드 : 4 (32 비트, 알 수 없음(165)), 서비스 팩 3, 인터넷 익스플로러 8, "
                                        "윈도우즈 미디어 플레이어 12.0.7601.65535, IIS 버전 : 6, SNMP 설치됨, "
                                        "닷넷 프레임워크 2.0 설치됨, 윈도우즈 미디어 포맷 11 설치됨"}));
}

}  // namespace
