// Installer recognition and launch: the translation search order, version
// resources read from real fixture programs, the choice of silent switches
// for every kind of installer, the command line, and real launches of fake
// installers and of an MSI package from folders whose names have blanks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "run/Installer.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// --- Which string table is read ---------------------------------------------

struct TranslationCase {
    const char* name;
    std::vector<DWORD> translations;  // code page << 16 | language
    WORD userLanguage;
    DWORD expected;
};

void PrintTo(const TranslationCase& c, std::ostream* os) { *os << c.name; }

class TranslationOrder : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationOrder, FirstSearchThatFindsAnEntryGivesTheWholeEntry) {
    const TranslationCase& c = GetParam();
    EXPECT_EQ(PickTranslation(c.translations, c.userLanguage), c.expected)
        << std::hex << "expected 0x" << c.expected;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, TranslationOrder,
    ::testing::Values(
        TranslationCase{"empty_list", {}, 0x0412, 0},
        TranslationCase{"user_language", {0x04E40409, 0x03B50412, 0x04B00000}, 0x0412, 0x03B50412},
        TranslationCase{"user_language_before_earlier_same_low_byte",
                        {0x03B50812, 0x04B00412},
                        0x0412,
                        0x04B00412},
        TranslationCase{"same_low_byte_as_user", {0x04E40409, 0x03B50812}, 0x0412, 0x03B50812},
        TranslationCase{"neutral", {0x04E40409, 0x04B00000}, 0x0412, 0x04B00000},
        TranslationCase{
            "neutral_before_earlier_low_byte_0", {0x04B00400, 0x04B00000}, 0x0412, 0x04B00000},
        TranslationCase{"low_byte_0", {0x04E40409, 0x04B00400}, 0x0412, 0x04B00400},
        TranslationCase{
            "english_before_earlier_low_byte_9", {0x04E40409, 0x04E40009}, 0x0412, 0x04E40009},
        TranslationCase{"low_byte_9", {0x04E40407, 0x04E40809}, 0x0412, 0x04E40809},
        TranslationCase{
            "code_page_is_not_a_language", {0x04120407, 0x04120409}, 0x0412, 0x04120409},
        TranslationCase{"otherwise_the_first", {0x04E40407, 0x04E4040C}, 0x0412, 0x04E40407},
        TranslationCase{"english_user", {0x04E40407, 0x03B50412, 0x04E40409}, 0x0409, 0x04E40409}),
    CaseName<TranslationCase>);

// --- Version resources of real files ------------------------------------------

struct InfoCase {
    const char* name;
    const char* fixture;
    const char* description;
    const char* company;
    const char* orgName;
    const char* engine;
    bool hasEngine;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.name; }

class VersionResource : public ::testing::TestWithParam<InfoCase> {};

TEST_P(VersionResource, ReadsTheFourStringsOfTheChosenTable) {
    const InfoCase& c = GetParam();
    InstallerInfo info;
    info.description = "left over from an earlier file";
    ASSERT_EQ(ReadInstallerInfo(FixtureFile(c.fixture), info), 1) << FixtureFile(c.fixture);
    EXPECT_EQ(info.description, c.description);
    EXPECT_EQ(info.company, c.company);
    EXPECT_EQ(info.orgName, c.orgName);
    EXPECT_EQ(info.engine, c.engine);
    EXPECT_EQ(info.hasEngine, c.hasEngine);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, VersionResource,
    ::testing::Values(
        InfoCase{"no_engine", "fake_iexpress.exe", "IExpress Setup", "Quellfix Tests", "SFXCAB.EXE",
                 "", false},
        InfoCase{"engine", "fake_sfxcab.exe", "Hotfix Package for Windows XP", "Quellfix Tests",
                 "KB990402.exe", "SFXCAB.EXE", true},
        InfoCase{"empty_engine", "fake_hotfix.exe", "Hotfix Package", "Quellfix Tests",
                 "SFXCAB.EXE", "", true},
        InfoCase{"korean_strings_in_cp949", "fake_unknown.exe", "보안 업데이트 설치 프로그램",
                 "퀠픽스 테스트", "other.exe", "", false},
        // The user's language is Korean under the tests.
        InfoCase{"user_language_table", "fake_lang_korean.exe", "Table 041203B5", "", "lang.exe",
                 "", false},
        InfoCase{"neutral_table", "fake_lang_neutral.exe", "Table 000004B0", "", "lang.exe", "",
                 false},
        InfoCase{"english_table", "fake_lang_english.exe", "Table 040904E4", "", "lang.exe", "",
                 false},
        InfoCase{"first_table", "fake_lang_first.exe", "Table 040704E4", "", "lang.exe", "", false},
        InfoCase{"no_translation_list_reads_00000000", "fake_lang_none.exe", "Table 00000000", "",
                 "lang.exe", "", false}),
    CaseName<InfoCase>);

TEST(VersionResource, TheTestsRunWithKoreanAsTheUserLanguage) {
    // The table choices above rest on this.
    EXPECT_EQ(::GetUserDefaultLangID(), 0x0412);
}

TEST(VersionResource, LongStringsAreCutTo1023Characters) {
    InstallerInfo info;
    ASSERT_EQ(ReadInstallerInfo(FixtureFile("fake_long.exe"), info), 1);
    EXPECT_EQ(info.description.size(), kInstallerInfoLimit);
    EXPECT_EQ(info.description.substr(0, 15), "Hotfix Package ");
    EXPECT_EQ(info.description.find_first_not_of('x', 15), std::string::npos);
    EXPECT_EQ(info.orgName, "KB990410.exe");
}

TEST(VersionResource, FilesWithoutOneLeaveEveryStringEmpty) {
    ScopedTempDir dir;
    std::string text = dir.File("readme.txt");
    ASSERT_TRUE(WriteBytes(text, "not a program\r\n"));
    const std::string paths[] = {text, dir.File("missing.exe"), ""};
    for (const std::string& path : paths) {
        InstallerInfo info{"stale", "stale", "stale", "stale", true};
        EXPECT_EQ(ReadInstallerInfo(path, info), 0) << path;
        EXPECT_EQ(info.description, "") << path;
        EXPECT_EQ(info.company, "") << path;
        EXPECT_EQ(info.orgName, "") << path;
        EXPECT_EQ(info.engine, "") << path;
        EXPECT_FALSE(info.hasEngine) << path;
    }
}

// --- Switches for real files --------------------------------------------------

struct RecognitionCase {
    const char* name;
    const char* fixture;   // copied into a folder with blanks in its name...
    const char* fileName;  // ...under this name
    const char* catalog;
    bool windows98;
    SwitchRule rule;
    const char* switches;
};

void PrintTo(const RecognitionCase& c, std::ostream* os) { *os << c.name; }

class Recognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(Recognition, ChoosesTheSwitchesOfTheFirstRuleThatHolds) {
    const RecognitionCase& c = GetParam();
    ScopedTempDir dir("qf updates ");
    std::string path = dir.File(c.fileName);
    ASSERT_TRUE(::CopyFileA(FixtureFile(c.fixture).c_str(), path.c_str(), FALSE)) << c.fixture;
    InstallerInfo info;
    ReadInstallerInfo(path, info);
    SwitchChoice choice = ChooseSwitches(c.catalog, info, path, c.windows98);
    EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(c.rule));
    EXPECT_EQ(choice.switches, c.switches);
    EXPECT_EQ(choice.unrecognised, c.rule == SwitchRule::Unrecognised);
    EXPECT_EQ(choice.commandLine, BuildCommandLine(path, choice));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Recognition,
    ::testing::Values(RecognitionCase{"iexpress_before_sfxcab_name", "fake_iexpress.exe", "a.exe",
                                      "", false, SwitchRule::IExpress, " /Q"},
                      RecognitionCase{"sfxcab_engine", "fake_sfxcab.exe", "a.exe", "", false,
                                      SwitchRule::SfxCab, " /quiet /norestart"},
                      RecognitionCase{"empty_engine_hides_sfxcab_orgname", "fake_hotfix.exe",
                                      "a.exe", "", false, SwitchRule::Hotfix, " /quiet /norestart"},
                      RecognitionCase{"cabinet_extractor", "fake_cabinet.exe", "a.exe", "", false,
                                      SwitchRule::CabinetExtractor, " /Q"},
                      RecognitionCase{"update_engine_over_msiexec_orgname", "fake_update.exe",
                                      "a.exe", "", false, SwitchRule::UpdateEngine,
                                      " /quiet /norestart"},
                      RecognitionCase{"msiexec_orgname", "fake_msiexec.exe", "a.exe", "", false,
                                      SwitchRule::Msiexec, " /Q"},
                      RecognitionCase{"security_update", "fake_security.exe", "a.exe", "", false,
                                      SwitchRule::SecurityUpdate, " -q -z"},
                      RecognitionCase{"gdiplus_tool", "fake_gdiplus.exe", "a.exe", "", false,
                                      SwitchRule::GdiPlusTool, " /Q"},
                      RecognitionCase{"cut_description_still_recognised", "fake_long.exe", "a.exe",
                                      "", false, SwitchRule::Hotfix, " /quiet /norestart"},
                      RecognitionCase{"unrecognised", "fake_unknown.exe", "a.exe", "", false,
                                      SwitchRule::Unrecognised, ""},
                      RecognitionCase{"catalog_none_in_capitals", "fake_iexpress.exe", "a.exe",
                                      "NONE", false, SwitchRule::CatalogNone, ""},
                      RecognitionCase{"catalog_none_mixed_case", "fake_iexpress.exe", "a.exe",
                                      "nOnE", false, SwitchRule::CatalogNone, ""},
                      RecognitionCase{"catalog_switch_over_resource", "fake_iexpress.exe", "a.exe",
                                      "/passive", false, SwitchRule::Catalog, " /passive"},
                      RecognitionCase{"catalog_over_windows98", "fake_unknown.exe", "a.exe",
                                      "/u /z", true, SwitchRule::Catalog, " /u /z"},
                      RecognitionCase{"windows98_over_resource", "fake_iexpress.exe", "a.exe", "",
                                      true, SwitchRule::Windows98, " /q:a /r:n"},
                      RecognitionCase{"windows98_unknown_file", "fake_unknown.exe", "a.exe", "",
                                      true, SwitchRule::Windows98, " /q:a /r:n"},
                      RecognitionCase{"msi_in_capitals", "test_package.msi", "SETUP.MSI", "", false,
                                      SwitchRule::WindowsInstaller, " /quiet /norestart"},
                      RecognitionCase{"msi_on_windows98", "test_package.msi", "setup.msi", "", true,
                                      SwitchRule::WindowsInstaller, " /quiet /norestart"},
                      RecognitionCase{"msi_with_catalog_switches", "test_package.msi", "setup.msi",
                                      "/qn", false, SwitchRule::Catalog, " /qn"},
                      RecognitionCase{"msu", "test_package_readme.txt",
                                      "Windows6.0-KB990416-x86.msu", "", false,
                                      SwitchRule::StandaloneUpdate, " /quiet /norestart"},
                      RecognitionCase{"no_resource_no_extension", "test_package_readme.txt",
                                      "setup", "", false, SwitchRule::Unrecognised, ""}),
    CaseName<RecognitionCase>);

// --- Switch rules over plain values --------------------------------------------

struct RuleCase {
    const char* name;
    InstallerInfo info;
    const char* path;
    SwitchRule rule;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class SwitchRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(SwitchRules, CompareAsTheyAreWritten) {
    const RuleCase& c = GetParam();
    SwitchChoice choice = ChooseSwitches("", c.info, c.path, false);
    EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(c.rule));
}

InstallerInfo Described(const char* description) {
    return InstallerInfo{description, "", "", "", false};
}
InstallerInfo Named(const char* orgName) { return InstallerInfo{"", "", orgName, "", false}; }
InstallerInfo Engine(const char* engine, const char* orgName) {
    return InstallerInfo{"", "", orgName, engine, true};
}

INSTANTIATE_TEST_SUITE_P(
    Values, SwitchRules,
    ::testing::Values(
        RuleCase{"security_update_lower_case", Described("security update for Windows 2000"),
                 "C:\\u\\a.exe", SwitchRule::Unrecognised},
        RuleCase{"shorter_than_the_words", Described("IExpress"), "C:\\u\\a.exe",
                 SwitchRule::Unrecognised},
        RuleCase{"words_not_at_the_start", Described("The Hotfix Package"), "C:\\u\\a.exe",
                 SwitchRule::Unrecognised},
        RuleCase{"orgname_longer", Named("update.exe.mui"), "C:\\u\\a.exe",
                 SwitchRule::UpdateEngine},
        RuleCase{"orgname_lower_case_sfxcab", Named("sfxcab.exe"), "C:\\u\\a.exe",
                 SwitchRule::Unrecognised},
        RuleCase{"empty_engine_hides_orgname", Engine("", "update.exe"), "C:\\u\\a.exe",
                 SwitchRule::Unrecognised},
        RuleCase{"msi_not_last", InstallerInfo{}, "C:\\u\\setup.msi.exe", SwitchRule::Unrecognised},
        RuleCase{"dot_in_folder_only", InstallerInfo{}, "C:\\u.msi\\setup",
                 SwitchRule::Unrecognised}),
    CaseName<RuleCase>);

TEST(SwitchDiagnostics, CatalogSwitchesAreNamedWithThePath) {
    const InstallerInfo none;
    EXPECT_EQ(ChooseSwitches("None", none, "C:\\Q\\UPDATES\\a.exe", false).diagnostics,
              std::vector<std::string>{"[ALREADY SETTED] C:\\Q\\UPDATES\\a.exe [NONE]"});
    EXPECT_EQ(
        ChooseSwitches("/passive /norestart", none, "C:\\Q\\UPDATES\\a.exe", false).diagnostics,
        std::vector<std::string>{"[ALREADY SETTED] C:\\Q\\UPDATES\\a.exe [ /passive /norestart]"});
    EXPECT_TRUE(
        ChooseSwitches("", Described("IExpress Setup"), "C:\\a.exe", false).diagnostics.empty());
    EXPECT_TRUE(ChooseSwitches("", none, "C:\\a.exe", true).diagnostics.empty());
}

TEST(SwitchDiagnostics, AnUnrecognisedInstallerIsDescribedInFiveLines) {
    InstallerInfo info{"보안 업데이트", "Contoso 100%", "x.exe", "", true};
    SwitchChoice choice = ChooseSwitches("", info, "C:\\Q 100%\\UPDATES\\x.exe", false);
    EXPECT_EQ(choice.diagnostics, (std::vector<std::string>{
                                      "C:\\Q 100%\\UPDATES\\x.exe [.exe]",
                                      " - productname [보안 업데이트]",
                                      " - companyname [Contoso 100%]",
                                      " - orgname [x.exe]",
                                      " - installer engine []",
                                  }));
    EXPECT_EQ(choice.switches, "");
    EXPECT_EQ(choice.commandLine, "\"C:\\Q 100%\\UPDATES\\x.exe\"");

    // Without an extension the brackets stay empty.
    EXPECT_EQ(ChooseSwitches("", InstallerInfo{}, "C:\\UPDATES\\setup", false).diagnostics.front(),
              "C:\\UPDATES\\setup []");
}

// --- Command lines -------------------------------------------------------------

struct CommandCase {
    const char* name;
    const char* path;
    const char* catalog;
    const char* commandLine;
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class CommandLines : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLines, QuoteThePathAndHandPackagesToTheirProgram) {
    const CommandCase& c = GetParam();
    EXPECT_EQ(ChooseSwitches(c.catalog, InstallerInfo{}, c.path, false).commandLine, c.commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CommandLines,
    ::testing::Values(
        CommandCase{"blanks_in_folder", "C:\\Program Files\\Quellfix\\UPDATES\\kb1.exe", "/q",
                    "\"C:\\Program Files\\Quellfix\\UPDATES\\kb1.exe\" /q"},
        CommandCase{"percent_in_path", "C:\\100% sure\\kb1.exe", "/q",
                    "\"C:\\100% sure\\kb1.exe\" /q"},
        CommandCase{"korean_folder", "C:\\업데이트\\kb1.exe", "/q", "\"C:\\업데이트\\kb1.exe\" /q"},
        CommandCase{"msi", "C:\\Program Files\\Q\\UPDATES\\p.MSI", "",
                    "msiexec /i \"C:\\Program Files\\Q\\UPDATES\\p.MSI\" /quiet /norestart"},
        CommandCase{"msi_catalog", "C:\\Q\\p.msi", "/qn REBOOT=ReallySuppress",
                    "msiexec /i \"C:\\Q\\p.msi\" /qn REBOOT=ReallySuppress"},
        CommandCase{"msi_none", "C:\\Q\\p.msi", "NONE", "msiexec /i \"C:\\Q\\p.msi\""},
        CommandCase{"msu", "C:\\Q\\UPDATES\\Windows6.0-KB1-x86.msu", "",
                    "wusa.exe \"C:\\Q\\UPDATES\\Windows6.0-KB1-x86.msu\" /quiet /norestart"},
        CommandCase{"msu_catalog", "C:\\Q\\u.msu", "/quiet", "wusa.exe \"C:\\Q\\u.msu\" /quiet"}),
    CaseName<CommandCase>);

struct ExtensionCase {
    const char* name;
    const char* path;
    const char* extension;
};

void PrintTo(const ExtensionCase& c, std::ostream* os) { *os << c.name; }

class Extensions : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(Extensions, RunFromTheLastDotOfTheWholePath) {
    EXPECT_EQ(ExtensionOf(GetParam().path), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Extensions,
    ::testing::Values(ExtensionCase{"plain", "C:\\UPDATES\\kb1.exe", ".exe"},
                      ExtensionCase{"two_dots", "C:\\UPDATES\\kb1.tar.gz", ".gz"},
                      ExtensionCase{"none", "C:\\UPDATES\\setup", ""},
                      ExtensionCase{"dot_in_folder", "C:\\v1.2\\setup", ".2\\setup"},
                      ExtensionCase{"trailing_dot", "C:\\UPDATES\\setup.", "."},
                      ExtensionCase{"empty", "", ""}),
    CaseName<ExtensionCase>);

// --- Launching -----------------------------------------------------------------

// Removes an Uninstall key now and again at the end, so that a launch is
// seen to write it and no run leaves it behind.
class UninstallKeyGuard {
public:
    explicit UninstallKeyGuard(std::string name) : m_name(std::move(name)) {
        DeleteUninstallKey(m_name);
    }
    ~UninstallKeyGuard() { DeleteUninstallKey(m_name); }

private:
    std::string m_name;
};

struct LaunchCase {
    const char* name;
    const char* fixture;
    const char* uninstallKey;
    const char* catalog;
    const char* exitOverride;  // QUELLFIX_FAKE_EXIT, or null
    DWORD exitCode;
};

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class Launch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(Launch, StartsTheInstallerFromAFolderWithBlanksAndGivesItsExitCode) {
    const LaunchCase& c = GetParam();
    ScopedTempDir dir("qf 100% updates ");
    std::string path = dir.File(std::string(c.fixture) + " setup.exe");
    ASSERT_TRUE(
        ::CopyFileA(FixtureFile(c.fixture + std::string(".exe")).c_str(), path.c_str(), FALSE));
    FakeRecord record;
    UninstallKeyGuard key(c.uninstallKey);
    std::unique_ptr<ScopedEnv> exit;
    if (c.exitOverride) exit.reset(new ScopedEnv("QUELLFIX_FAKE_EXIT", c.exitOverride));

    InstallerInfo info;
    ASSERT_EQ(ReadInstallerInfo(path, info), 1);
    SwitchChoice choice = ChooseSwitches(c.catalog, info, path, false);
    RunResult result = RunAndWait(choice.commandLine);

    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, c.exitCode);
    // The installer saw exactly the command line it was given, quoted path first.
    EXPECT_EQ(record.Lines(), std::vector<std::string>{choice.commandLine});
    EXPECT_EQ(choice.commandLine.substr(0, path.size() + 2), "\"" + path + "\"");
    EXPECT_TRUE(UninstallKeyExists(c.uninstallKey));
}

INSTANTIATE_TEST_SUITE_P(
    Fakes, Launch,
    ::testing::Values(
        LaunchCase{"iexpress", "fake_iexpress", "KB990401", "", nullptr, 0},
        LaunchCase{"hotfix_asking_for_restart", "fake_sfxcab", "KB990402", "", nullptr, 3010},
        LaunchCase{"msiexec_engine", "fake_msiexec", "KB990406", "", nullptr, 1641},
        LaunchCase{"unrecognised_without_switches", "fake_unknown", "KB990409", "", nullptr, 7},
        LaunchCase{"catalog_switches_with_korean_path", "fake_security", "KB990407",
                   "/log:\"C:\\설치 기록\\kb.log\" %TEMP%", nullptr, 0},
        LaunchCase{"failing_installer", "fake_iexpress", "KB990401", "", "1603", 1603},
        LaunchCase{"exit_code_above_int_range", "fake_gdiplus", "KB990408", "", "3221225477",
                   3221225477u}),
    CaseName<LaunchCase>);

TEST(Launch, WaitsForTheInstallerToEnd) {
    ScopedTempDir dir("qf wait ");
    std::string path = dir.File("kb.exe");
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), path.c_str(), FALSE));
    FakeRecord record;
    UninstallKeyGuard key("KB990404");
    // Once RunAndWait returns, everything the installer does has happened.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(RunAndWait("\"" + path + "\" /Q").started);
        EXPECT_EQ(record.Lines().size(), static_cast<size_t>(i + 1));
    }
    EXPECT_TRUE(UninstallKeyExists("KB990404"));
}

TEST(Launch, WithoutARecordFileNamedTheFakeRecordsBesideItself) {
    ScopedTempDir dir("qf beside ");
    std::string path = dir.File("kb990404.exe");
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), path.c_str(), FALSE));
    ScopedEnv noRecord("QUELLFIX_FAKE_RECORD", nullptr);
    UninstallKeyGuard key("KB990404");
    ASSERT_TRUE(RunAndWait("\"" + path + "\" /Q").started);
    EXPECT_EQ(ReadBytes(dir.File("fake_record.txt")), "\"" + path + "\" /Q\n");
}

TEST(Launch, AMissingProgramIsReportedAsNotStarted) {
    ScopedTempDir dir("qf missing ");
    const std::string commandLines[] = {
        "\"" + dir.File("not downloaded.exe") + "\" /Q",
        "\"" + dir.Path() + "\\no such folder\\kb.exe\"",
        "",
    };
    for (const std::string& commandLine : commandLines) {
        RunResult result = RunAndWait(commandLine);
        EXPECT_FALSE(result.started) << commandLine;
        EXPECT_EQ(result.exitCode, 0u) << commandLine;
    }
}

TEST(Launch, TheQuotedPathStartsTheInstallerNotAProgramNamedByItsFirstWord) {
    // Unquoted, ...\app dir\kb.exe first means ...\app.exe to process
    // creation: whatever lies there would run in the installer's place.
    ScopedTempDir dir("qfdecoy");
    std::string folder = dir.File("app dir");
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    std::string path = folder + "\\kb.exe";
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_iexpress.exe").c_str(), path.c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileA(FixtureFile("fake_unknown.exe").c_str(), dir.File("app.exe").c_str(), FALSE));
    FakeRecord record;
    UninstallKeyGuard installer("KB990401");
    UninstallKeyGuard decoy("KB990409");

    RunResult unquoted = RunAndWait(path + " /Q");
    EXPECT_EQ(unquoted.exitCode, 7u);  // the decoy's
    EXPECT_TRUE(UninstallKeyExists("KB990409"));
    EXPECT_FALSE(UninstallKeyExists("KB990401"));

    InstallerInfo info;
    ReadInstallerInfo(path, info);
    RunResult quoted = RunAndWait(ChooseSwitches("", info, path, false).commandLine);
    EXPECT_TRUE(quoted.started);
    EXPECT_EQ(quoted.exitCode, 0u);
    EXPECT_TRUE(UninstallKeyExists("KB990401"));
    EXPECT_EQ(record.Lines().back(), "\"" + path + "\" /Q");
}

// How probe_launch reports on itself (see its source).
constexpr DWORD kInheritedHandle = 1;
constexpr DWORD kOpenToEveryone = 2;

// Starts a program the way the installer launch must not: handles inherited
// and, optionally, an empty-pointer access list. Its exit code.
DWORD LaunchCarelessly(const std::string& commandLine, bool openToEveryone) {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, TRUE};
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    if (!::CreateProcessA(nullptr, writable.data(), openToEveryone ? &attributes : nullptr, nullptr,
                          TRUE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

TEST(Launch, TheInstallerInheritsNoHandleAndGetsTheDefaultAccessList) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = ::CreateEventA(&inheritable, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    const std::string commandLine = "\"" + FixtureFile("probe_launch.exe") + "\" " +
                                    std::to_string(reinterpret_cast<uintptr_t>(event));

    RunResult result = RunAndWait(commandLine);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u) << "1: handle inherited, 2: open to everyone, 4: unreadable";

    // The probe does notice both where a launch grants them.
    EXPECT_EQ(LaunchCarelessly(commandLine, true), kInheritedHandle | kOpenToEveryone);
    EXPECT_EQ(LaunchCarelessly(commandLine, false), kInheritedHandle);
    ::CloseHandle(event);
}

TEST(WindowsInstallerPackage, IsInstalledSilentlyThroughMsiexecAndRemovedAgain) {
    const std::string product = kTestMsiProductCode;
    const std::string remove = "msiexec /x " + product + " /quiet /norestart";
    ScopedTempDir dir("qf msi updates ");
    std::string path = dir.File("Quellfix Test Package.MSI");
    ASSERT_TRUE(::CopyFileA(FixtureFile("test_package.msi").c_str(), path.c_str(), FALSE));
    if (UninstallKeyExists(product)) RunAndWait(remove);
    ASSERT_FALSE(UninstallKeyExists(product));

    InstallerInfo info;
    EXPECT_EQ(ReadInstallerInfo(path, info), 0);
    SwitchChoice choice = ChooseSwitches("", info, path, false);
    EXPECT_EQ(choice.commandLine, "msiexec /i \"" + path + "\" /quiet /norestart");

    // A package is no program: started directly, it would not run at all.
    EXPECT_FALSE(RunAndWait("\"" + path + "\" /quiet /norestart").started);

    RunResult installed = RunAndWait(choice.commandLine);
    EXPECT_TRUE(installed.started);
    EXPECT_EQ(installed.exitCode, 0u);
    EXPECT_TRUE(UninstallKeyExists(product));

    RunResult removed = RunAndWait(remove);
    EXPECT_TRUE(removed.started);
    EXPECT_EQ(removed.exitCode, 0u);
    EXPECT_FALSE(UninstallKeyExists(product));
}

TEST(StandaloneUpdatePackage, IsHandedToWusa) {
    // Not a real package: Wine's wusa refuses it, but it is wusa that runs.
    ScopedTempDir dir("qf msu updates ");
    std::string path = dir.File("Windows6.0-KB990416-x86.msu");
    ASSERT_TRUE(WriteBytes(path, "not a cabinet"));
    SwitchChoice choice = ChooseSwitches("", InstallerInfo{}, path, false);
    ASSERT_EQ(choice.commandLine, "wusa.exe \"" + path + "\" /quiet /norestart");
    EXPECT_FALSE(RunAndWait("\"" + path + "\" /quiet /norestart").started);
    RunResult result = RunAndWait(choice.commandLine);
    EXPECT_TRUE(result.started);
    EXPECT_NE(result.exitCode, 0u);
}

}  // namespace
