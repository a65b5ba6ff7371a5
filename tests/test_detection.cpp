// Component and language detection: version texts and the summary line from
// tables, and every detection against values planted in the test prefix's
// registry and fixture files with version resources built with the tests.
#include <gtest/gtest.h>

#include <windows.h>

#include "inventory/Detection.h"
#include "inventory/OsIdentify.h"
#include "inventory/RegistryValues.h"
#include "inventory/VersionText.h"
#include "support/InventorySupport.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// ---------------------------------------------------------------- texts

struct DottedCase {
    const char* text;
    int parts[4];
    bool atLeast30;  // at least 3.0.4506.26
};

class DottedVersions : public ::testing::TestWithParam<DottedCase> {};

TEST_P(DottedVersions, PartsAndTheThreeZeroThreshold) {
    DottedVersion v = ParseDottedVersion(GetParam().text);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v.part[i], GetParam().parts[i]) << "part " << i;
    EXPECT_EQ(IsVersionAtLeast(v, 3, 0, 4506, 26), GetParam().atLeast30);
}

// The thresholds themselves are driven through the registry in the .NET
// table below; these are the texts the parsing has to cope with.
INSTANTIATE_TEST_SUITE_P(
    Texts, DottedVersions,
    ::testing::Values(DottedCase{"3.0.4507", {3, 0, 4507, 0}, true},
                      DottedCase{"..3..0.4506.26", {3, 0, 4506, 26}, true},
                      DottedCase{"3.0.4506.26.1.2", {3, 0, 4506, 26}, true},
                      DottedCase{"3.x.4506.25", {3, 0, 4506, 25}, false},
                      DottedCase{"v3.0.4506.26", {0, 0, 4506, 26}, false},
                      DottedCase{"", {0, 0, 0, 0}, false},
                      DottedCase{"...", {0, 0, 0, 0}, false}));

TEST(VersionText, MajorBeforeTheFirstDot) {
    EXPECT_EQ(MajorFromDottedText(".5"), 0);
    EXPECT_EQ(MajorFromDottedText("x7.0"), 0);
    EXPECT_EQ(MajorFromDottedText("10.0"), 10);
    EXPECT_EQ(NumberAfterLastComma(""), -1);
}

TEST(LanguageName, FollowsThePrimaryLanguage) {
    struct {
        int id;
        const char* name;
    } cases[] = {{0x0412, "한글판"}, {0x0812, "한글판"},  {0x0409, "영문판"}, {0x0809, "영문판"},
                 {0x0407, "알 수 없음"}, {0, "알 수 없음"}, {0x80A5, "알 수 없음"}, {0x12, "한글판"}};
    for (const auto& c : cases) EXPECT_EQ(GetLanguageName(c.id), c.name) << std::hex << c.id;
}

struct SummaryCase {
    const char* label;
    SystemProfile profile;
    const char* wmp;
    bool iis;
    bool snmp;
    int dotNet;
    bool wmf;
    std::string line;
};

SystemProfile Profile(int osCode, int bits, int sp, unsigned short language, int ie, int iis,
                      int dotNet, int wmfMajor) {
    SystemProfile p;
    p.osCode = osCode;
    p.osBits = bits;
    p.servicePack = sp;
    p.languageId = language;
    p.ieVersion = ie;
    p.iisVersion = iis;
    p.dotNetVersion = dotNet;
    p.wmfMajor = wmfMajor;
    return p;
}

class SummaryLine : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryLine, ByteForByte) {
    const SummaryCase& c = GetParam();
    EXPECT_EQ(FormatSummaryLine(c.profile, c.wmp, c.iis, c.snmp, c.dotNet, c.wmf), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SummaryLine,
    ::testing::Values(
        SummaryCase{"korean_xp_everything", Profile(4, 32, 3, 0x0412, 7, 5, 20, 11), "11.0.5721.5145", true,
                    true, 20, true,
                    "운영체제 코드 : 4 (32 비트, 한글판(18)), 서비스 팩 3, 인터넷 익스플로러 7, "
                    "윈도우즈 미디어 플레이어 11.0.5721.5145, IIS 버전 : 5, SNMP 설치됨, "
                    "닷넷 프레임워크 2.0 설치됨, 윈도우즈 미디어 포맷 11 설치됨"},
        SummaryCase{"nothing_found", SystemProfile(), "0", false, false, -1, false,
                    "운영체제 코드 : 0 (32 비트, 알 수 없음(0)), 서비스 팩 0, 인터넷 익스플로러 0, "
                    "윈도우즈 미디어 플레이어 0, IIS 가 설치되지 않음, SNMP 설치되지 않음, "
                    "닷넷 프레임워크 설치되지 않음, 윈도우즈 미디어 포맷 설치되지 않음"},
        SummaryCase{"english_vista_64_iis_zero", Profile(6, 64, 1, 0x0409, 8, 0, 35, 11), "11.0.6001.7000", true,
                    false, 35, true,
                    "운영체제 코드 : 6 (64 비트, 영문판(9)), 서비스 팩 1, 인터넷 익스플로러 8, "
                    "윈도우즈 미디어 플레이어 11.0.6001.7000, IIS 버전 : 0, SNMP 설치되지 않음, "
                    "닷넷 프레임워크 3.5 설치됨, 윈도우즈 미디어 포맷 11 설치됨"},
        // The detections' results decide the texts, not leftovers in the profile.
        SummaryCase{"german_flags_decide", Profile(5, 32, 2, 0x0407, 6, 6, 11, 9), "9.0.0.3250", false,
                    true, -1, false,
                    "운영체제 코드 : 5 (32 비트, 알 수 없음(7)), 서비스 팩 2, 인터넷 익스플로러 6, "
                    "윈도우즈 미디어 플레이어 9.0.0.3250, IIS 가 설치되지 않음, SNMP 설치됨, "
                    "닷넷 프레임워크 설치되지 않음, 윈도우즈 미디어 포맷 설치되지 않음"}),
    [](const ::testing::TestParamInfo<SummaryCase>& info) { return std::string(info.param.label); });

TEST(SummaryLineEncoding, IsCodePage949) {
    std::string line = FormatSummaryLine(Profile(4, 32, 3, 0x0412, 7, 5, 20, 11), "11.0.5721.5145", true,
                                         true, 20, true);
    int length = ::MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                                       nullptr, 0);
    ASSERT_GT(length, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(949, 0, line.data(), static_cast<int>(line.size()), &wide[0], length);
    EXPECT_TRUE(wide == L"운영체제 코드 : 4 (32 비트, 한글판(18)), 서비스 팩 3, 인터넷 익스플로러 7, "
                        L"윈도우즈 미디어 플레이어 11.0.5721.5145, IIS 버전 : 5, SNMP 설치됨, "
                        L"닷넷 프레임워크 2.0 설치됨, 윈도우즈 미디어 포맷 11 설치됨");
}

// ---------------------------------------------------------------- live

const char kIeKey[] = "Software\\Microsoft\\Internet Explorer";
const char kPlayerKey[] = "CLSID\\{6BF52A52-394A-11d3-B153-00C04F79FAA6}\\InprocServer32";
const char kIisKey[] = "SOFTWARE\\Microsoft\\InetStp";
const char kNet10[] = "Software\\Microsoft\\.NETFramework\\Policy\\v1.0";
const char kNet10Component[] =
    "Software\\Microsoft\\Active Setup\\Installed Components\\{78705f0d-e8db-4b2d-8193-982bdda15ecd}";
const char kNet11[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v1.1.4322";
const char kNet20[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
const char kNet30[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0";
const char kNet30Setup[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.0\\Setup";
const char kNet35[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5";

struct Plant {
    const char* key;
    const char* name;
    RegValue value;
};

// Everything the .NET detection reads, put back as it was afterwards.
class DotNetRegistry {
public:
    DotNetRegistry()
        : m_setup(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\NET Framework Setup"),
          m_policy(HKEY_LOCAL_MACHINE, kNet10),
          m_component(HKEY_LOCAL_MACHINE, kNet10Component) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\NET Framework Setup");
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kNet10);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kNet10Component);
    }

private:
    RegistryBackup m_setup;
    RegistryBackup m_policy;
    RegistryBackup m_component;
};

struct DotNetCase {
    const char* label;
    std::vector<Plant> plants;
    int version;
    int servicePack;
};

class DotNetDetection : public ::testing::TestWithParam<DotNetCase> {};

TEST_P(DotNetDetection, NewestFrameworkAndItsServicePack) {
    DotNetRegistry registry;
    for (const Plant& plant : GetParam().plants) {
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, plant.key, plant.name, plant.value)) << plant.key;
    }
    SystemProfile p;
    p.dotNetVersion = 99;
    p.dotNetServicePack = 99;  // written only when a framework is found
    EXPECT_EQ(DetectDotNetFramework(p), GetParam().version);
    EXPECT_EQ(p.dotNetVersion, GetParam().version);
    EXPECT_EQ(p.dotNetServicePack, GetParam().version == -1 ? 99 : GetParam().servicePack);
}

const Plant k20 = {kNet20, "Install", DwordValue(1)};
const Plant k30Success = {kNet30Setup, "InstallSuccess", DwordValue(1)};
Plant Version30(const char* text) { return Plant{kNet30Setup, "Version", SzValue(text)}; }
const Plant k35 = {kNet35, "Install", DwordValue(1)};
Plant Version35(const char* text) { return Plant{kNet35, "Version", SzValue(text)}; }

INSTANTIATE_TEST_SUITE_P(
    Systems, DotNetDetection,
    ::testing::Values(
        DotNetCase{"none", {}, -1, -1},
        DotNetCase{"v10_with_service_pack", {{kNet10, "3705", SzValue("3705-x")}, {kNet10Component, "Version", SzValue("1,0,3705,3")}}, 10, 3},
        DotNetCase{"v10_any_value_type", {{kNet10, "3705", DwordValue(0)}}, 10, -1},
        DotNetCase{"v10_version_without_comma", {{kNet10, "3705", SzValue("")}, {kNet10Component, "Version", SzValue("1.0.3705.3")}}, 10, -1},
        DotNetCase{"v10_version_ending_in_comma", {{kNet10, "3705", SzValue("")}, {kNet10Component, "Version", SzValue("1,0,3705,")}}, 10, -1},
        DotNetCase{"v11_sp1", {{kNet11, "Install", DwordValue(1)}, {kNet11, "SP", DwordValue(1)}}, 11, 1},
        DotNetCase{"v11_install_2_is_not_installed", {{kNet11, "Install", DwordValue(2)}}, -1, -1},
        DotNetCase{"v11_install_as_text_is_not_1", {{kNet11, "Install", SzValue("1")}}, -1, -1},
        DotNetCase{"v11_and_v20_sp1", {{kNet11, "Install", DwordValue(1)}, {kNet11, "SP", DwordValue(2)}, k20, {kNet20, "SP", DwordValue(1)}}, 20, 1},
        DotNetCase{"v20_sp0", {k20, {kNet20, "SP", DwordValue(0)}}, 20, -1},
        DotNetCase{"v20_without_sp", {k20}, 20, -1},
        DotNetCase{"v30_without_v20", {{kNet11, "Install", DwordValue(1)}, k30Success, Version30("3.0.4506.30")}, 11, -1},
        DotNetCase{"v30_below_threshold", {k20, k30Success, Version30("3.0.4506.25")}, 20, -1},
        DotNetCase{"v30_three_parts", {k20, k30Success, Version30("3.0.4507")}, 30, -1},
        DotNetCase{"v30_3_1", {k20, k30Success, Version30("3.1.0.0")}, 30, -1},
        DotNetCase{"v30_2_9", {k20, k30Success, Version30("2.9.9999.99")}, 20, -1},
        DotNetCase{"v30_install_failed", {k20, {kNet30Setup, "InstallSuccess", DwordValue(0)}, Version30("3.0.4506.30")}, 20, -1},
        DotNetCase{"v30_version_too_long", {k20, k30Success, Version30(("3.0.4506.30" + std::string(300, '0')).c_str())}, 20, -1},
        DotNetCase{"v30_sp_from_v30_key", {k20, k30Success, Version30("3.0.4506.26"), {kNet30, "SP", DwordValue(2)}}, 30, 2},
        DotNetCase{"v30_sp_under_setup_is_ignored", {k20, k30Success, Version30("3.0.4506.26"), {kNet30Setup, "SP", DwordValue(2)}}, 30, -1},
        DotNetCase{"v35_sp1", {k20, k30Success, Version30("3.0.4506.26"), k35, Version35("3.5.21022.8"), {kNet35, "SP", DwordValue(1)}}, 35, 1},
        DotNetCase{"v35_below_threshold", {k20, k30Success, Version30("3.0.4506.26"), k35, Version35("3.5.21022.7")}, 30, -1},
        DotNetCase{"v35_without_version", {k20, k30Success, Version30("3.0.4506.26"), k35}, 30, -1},
        DotNetCase{"v35_without_v30", {k20, k35, Version35("3.5.30729.1")}, 20, -1}),
    [](const ::testing::TestParamInfo<DotNetCase>& info) { return std::string(info.param.label); });

struct IeCase {
    const char* label;
    bool present;
    RegValue value;
    int version;
};

class InternetExplorer : public ::testing::TestWithParam<IeCase> {};

TEST_P(InternetExplorer, MajorVersionFromTheVersionValue) {
    ValueBackup backup(HKEY_LOCAL_MACHINE, kIeKey, "Version");
    if (GetParam().present) {
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIeKey, "Version", GetParam().value));
    } else {
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kIeKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ::RegDeleteValueA(key, "Version");
        ::RegCloseKey(key);
    }
    EXPECT_EQ(DetectInternetExplorer(), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Values, InternetExplorer,
    ::testing::Values(IeCase{"ie7", true, SzValue("7.0.5730.11"), 7},
                      IeCase{"ie11_style", true, SzValue("11.0.9600.18376"), 11},
                      IeCase{"no_dot", true, SzValue("8"), 0},
                      IeCase{"empty", true, SzValue(""), 0},
                      IeCase{"number_read_as_text", true, DwordValue(0x2E36), 6},  // bytes "6." then zeros
                      IeCase{"missing_value", false, RegValue(), 3}),
    [](const ::testing::TestParamInfo<IeCase>& info) { return std::string(info.param.label); });

TEST(InternetExplorerKey, MissingKeyGivesZeroAndALockedKeyIsStillRead) {
    TestKeyTree tree("Detection");
    EXPECT_EQ(ReadInternetExplorerVersion(tree.Child("NoSuchKey")), 0);
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Child("Locked"), "Version", SzValue("6.0.2900.2180")));
    ASSERT_TRUE(SetKeySddl(HKEY_LOCAL_MACHINE, tree.Child("Locked"), "D:(A;;RC;;;WD)",
                           DACL_SECURITY_INFORMATION, WRITE_DAC));
    std::string before = KeySecurity(HKEY_LOCAL_MACHINE, tree.Child("Locked"));
    EXPECT_EQ(ReadInternetExplorerVersion(tree.Child("Locked")), 6);
    EXPECT_EQ(KeySecurity(HKEY_LOCAL_MACHINE, tree.Child("Locked")), before);
}

struct PlayerCase {
    const char* label;
    bool present;
    RegValue value;
    std::string text;
    int major;
};

class MediaPlayer : public ::testing::TestWithParam<PlayerCase> {};

TEST_P(MediaPlayer, VersionOfTheFileTheClassKeyNames) {
    ValueBackup backup(HKEY_CLASSES_ROOT, kPlayerKey, "");
    if (GetParam().present) {
        ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", GetParam().value));
    } else {
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kPlayerKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ::RegDeleteValueA(key, nullptr);
        ::RegCloseKey(key);
    }
    SystemProfile p;
    p.wmpMajor = 5;
    EXPECT_EQ(DetectMediaPlayer(p), GetParam().text);
    EXPECT_EQ(p.wmpMajor, GetParam().major);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MediaPlayer,
    ::testing::Values(
        PlayerCase{"fixture_dll", true, SzValue(InventoryFixture("qf_player.dll")), "12.0.7601.65535", 12},
        PlayerCase{"missing_file", true, SzValue("C:\\no\\such\\wmp.dll"), "0", 0},
        PlayerCase{"file_without_version", true, SzValue(InventoryFixture("qf_no_version.dll")), "0", 0},
        PlayerCase{"environment_variables_not_expanded", true,
                   RawValue(REG_EXPAND_SZ, std::string("%QUELLFIX_NO_SUCH_DIR%\\qf_player.dll") + '\0'), "0", 0},
        PlayerCase{"missing_value", false, RegValue(), "0", 0}),
    [](const ::testing::TestParamInfo<PlayerCase>& info) { return std::string(info.param.label); });

TEST(MediaPlayerPath, ValueThatFillsTheOfferedBytesIsReadAndOneByteMoreIsNot) {
    ValueBackup backup(HKEY_CLASSES_ROOT, kPlayerKey, "");
    // The path, its NUL, and padding up to the size under test.
    std::string path = InventoryFixture("qf_player.dll") + '\0';
    auto padded = [&path](size_t size) { return path + std::string(size - path.size(), 'x'); };
    SystemProfile p;
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", RawValue(REG_BINARY, padded(1023))));
    EXPECT_EQ(DetectMediaPlayer(p), "12.0.7601.65535");
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", RawValue(REG_BINARY, padded(1024))));
    EXPECT_EQ(DetectMediaPlayer(p), "0");
    EXPECT_EQ(p.wmpMajor, 0);
    // No terminating NUL at all within the offered bytes.
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", RawValue(REG_BINARY, std::string(1023, 'C'))));
    EXPECT_EQ(DetectMediaPlayer(p), "0");
}

TEST(Language, TheLastLanguageOfTheVersionResourceWins) {
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_languages_ko.dll")), 0x0412);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_languages_en.dll")), 0x0409);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_player.dll")), 0x0409);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_version.dll")), 0);
    EXPECT_EQ(DetectModuleLanguage(InventoryFixture("qf_no_such_module.dll")), 0);
}

TEST(Language, WinesKernel32EndsWithLanguage165) {
    SystemProfile p;
    p.languageId = 0x0412;
    DetectLanguage(p);
    EXPECT_EQ(p.languageId & 0x3FF, 165);
    EXPECT_EQ(GetLanguageName(p.languageId), "알 수 없음");
}

TEST(Iis, ZeroIsAVersionOnlyAMissingKeyOrValueIsNot) {
    RegistryBackup backup(HKEY_LOCAL_MACHINE, kIisKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kIisKey);
    SystemProfile p;
    p.iisVersion = 9;
    EXPECT_FALSE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, -1);

    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MinorVersion", DwordValue(1)));
    p.iisVersion = 9;
    EXPECT_FALSE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, -1);

    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(0)));
    EXPECT_TRUE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, 0);
    EXPECT_NE(FormatSummaryLine(p, "0", true, false, -1, false).find(", IIS 버전 : 0, "), std::string::npos);

    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(6)));
    EXPECT_TRUE(DetectIIS(p));
    EXPECT_EQ(p.iisVersion, 6);
}

TEST(Snmp, PresentOnlyWhenTheServiceProgramIsInTheSystemDirectory) {
    std::string path = SystemDirectory() + "\\snmp.exe";
    ASSERT_FALSE(FileExists(path)) << "the prefix has its own snmp.exe";
    SystemProfile p;
    p.snmpInstalled = 1;
    EXPECT_FALSE(DetectSNMP(p));
    EXPECT_EQ(p.snmpInstalled, 0);
    {
        ScopedFile snmp = ScopedFile::Write(path, "MZ");
        ASSERT_TRUE(snmp.Ok());
        EXPECT_TRUE(DetectSNMP(p));
        EXPECT_EQ(p.snmpInstalled, 1);
    }
    EXPECT_FALSE(FileExists(path));
}

TEST(MediaFormat, VersionOfMsscpInTheSystemDirectory) {
    std::string path = SystemDirectory() + "\\msscp.dll";
    SystemProfile p;
    auto expectZero = [&p] {
        EXPECT_EQ(p.wmfMajor, 0);
        EXPECT_EQ(p.wmfMinor, 0);
        EXPECT_EQ(p.wmfBuild, 0);
        EXPECT_EQ(p.wmfRevision, 0);
    };
    p.wmfMajor = p.wmfMinor = p.wmfBuild = p.wmfRevision = 9;
    EXPECT_FALSE(DetectMediaFormat(p));
    expectZero();
    {
        ScopedFile dll = ScopedFile::Copy(InventoryFixture("msscp.dll"), path);
        ASSERT_TRUE(dll.Ok());
        EXPECT_TRUE(DetectMediaFormat(p));
        EXPECT_EQ(p.wmfMajor, 11);
        EXPECT_EQ(p.wmfMinor, 0);
        EXPECT_EQ(p.wmfBuild, 5721);
        EXPECT_EQ(p.wmfRevision, 5145);
    }
    {
        ScopedFile dll = ScopedFile::Copy(InventoryFixture("qf_no_version.dll"), path);
        ASSERT_TRUE(dll.Ok());
        p.wmfMajor = p.wmfMinor = p.wmfBuild = p.wmfRevision = 9;
        EXPECT_FALSE(DetectMediaFormat(p));
        expectZero();
    }
    EXPECT_FALSE(FileExists(path));
}

TEST(FileVersion, FourSixteenBitPartsOrZerosOnFailure) {
    ScopedTempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("text.dll"), "not a program"));
    struct {
        std::string path;
        bool ok;
        int parts[4];
    } cases[] = {
        {InventoryFixture("qf_player.dll"), true, {12, 0, 7601, 65535}},
        {InventoryFixture("msscp.dll"), true, {11, 0, 5721, 5145}},
        {InventoryFixture("qf_no_version.dll"), false, {0, 0, 0, 0}},
        {dir.File("missing.dll"), false, {0, 0, 0, 0}},
        {dir.File("text.dll"), false, {0, 0, 0, 0}},
        {"", false, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        int parts[4] = {9, 9, 9, 9};
        EXPECT_EQ(GetFileVersion(c.path, parts[0], parts[1], parts[2], parts[3]), c.ok) << c.path;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(parts[i], c.parts[i]) << c.path << " part " << i;
    }
}

// Every component planted at once, for the whole start-up inventory.
class PlantedSystem : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kIisKey);
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIeKey, "Version", SzValue("8.0.6001.18702")));
        ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kPlayerKey, "", SzValue(InventoryFixture("qf_player.dll"))));
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kIisKey, "MajorVersion", DwordValue(6)));
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kNet20, "Install", DwordValue(1)));
        ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, kNet20, "SP", DwordValue(2)));
        ASSERT_TRUE(snmp.Ok());
        ASSERT_TRUE(msscp.Ok());
    }

    ValueBackup ie{HKEY_LOCAL_MACHINE, kIeKey, "Version"};
    ValueBackup player{HKEY_CLASSES_ROOT, kPlayerKey, ""};
    RegistryBackup iis{HKEY_LOCAL_MACHINE, kIisKey};
    DotNetRegistry dotNet;
    ScopedFile snmp = ScopedFile::Write(SystemDirectory() + "\\snmp.exe", "MZ");
    ScopedFile msscp = ScopedFile::Copy(InventoryFixture("msscp.dll"), SystemDirectory() + "\\msscp.dll");
};

TEST_F(PlantedSystem, InventoryFillsTheWholeProfile) {
    SystemProfile p;
    InventoryTexts texts = RunInventory(p);
    OsIdentity os = IdentifyFromFacts(GatherOsFacts());
    EXPECT_EQ(texts.osName, os.name);
    EXPECT_EQ(p.osCode, os.osCode);
    EXPECT_EQ(p.osBits, os.osBits);
    EXPECT_EQ(p.servicePack, os.servicePack);
    EXPECT_EQ(p.ieVersion, 8);
    EXPECT_EQ(p.wmpMajor, 12);
    EXPECT_EQ(p.languageId & 0x3FF, 165);
    EXPECT_EQ(p.iisVersion, 6);
    EXPECT_EQ(p.snmpInstalled, 1);
    EXPECT_EQ(p.dotNetVersion, 20);
    EXPECT_EQ(p.dotNetServicePack, 2);
    EXPECT_EQ(p.wmfMajor, 11);
    EXPECT_EQ(p.wmfRevision, 5145);
}

TEST_F(PlantedSystem, SummaryLineOfAWindowsXpSystem) {
    std::vector<std::string> lines = SplitLines(RunInventoryProbe("winxp", "inventory"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Microsoft Windows XP Professional Service Pack 3 (build 2600)");
    EXPECT_EQ(lines[1],
              "운영체제 코드 : 4 (32 비트, 알 수 없음(165)), 서비스 팩 3, 인터넷 익스플로러 8, "
              "윈도우즈 미디어 플레이어 12.0.7601.65535, IIS 버전 : 6, SNMP 설치됨, "
              "닷넷 프레임워크 2.0 설치됨, 윈도우즈 미디어 포맷 11 설치됨");
}

TEST(RegistryValues, ReadsAreBoundedByTheirBuffers) {
    TestKeyTree tree("Values");
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Path(), "exact", RawValue(REG_BINARY, std::string(260, '7'))));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Path(), "over", RawValue(REG_BINARY, std::string(261, '7'))));
    ASSERT_TRUE(PlantValue(HKEY_LOCAL_MACHINE, tree.Path(), "short", RawValue(REG_BINARY, "\x05\x01")));
    std::string text;
    // A value that fills the buffer without a NUL still ends there.
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, tree.Path(), "exact", text));
    EXPECT_EQ(text, std::string(260, '7'));
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, tree.Path(), "over", text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(ReadRegistryDword(tree.Path(), "short"), 0x0105);
    EXPECT_EQ(ReadRegistryDword(tree.Path(), "over"), -1);
    EXPECT_EQ(ReadRegistryDword(tree.Path(), "missing"), -1);
    EXPECT_FALSE(IsRegistryVersionAtLeast(tree.Path(), "missing", 0, 0, 0, 1));
    EXPECT_TRUE(IsRegistryVersionAtLeast(tree.Path(), "missing", 0, 0, 0, 0));
    EXPECT_FALSE(IsTabletOrMediaCenter());
}

}  // namespace
