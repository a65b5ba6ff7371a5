// Installer recognition and launch, against real fake installers and a real
// MSI package copied into folders whose names have blanks.
#include <gtest/gtest.h>

#include <cstdint>

#include "run/Installer.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Copies a fixture into `dir` under `name`; its full path.
std::string CopyFixture(const ScopedTempDir& dir, const std::string& fixture,
                        const std::string& name) {
    std::string path = dir.File(name);
    EXPECT_TRUE(::CopyFileA(FixtureFile(fixture).c_str(), path.c_str(), FALSE)) << fixture;
    return path;
}

TEST(VersionResource, IsReadFromTheTableOfTheUsersLanguage) {
    ASSERT_EQ(::GetUserDefaultLangID(), 0x0412);
    InstallerInfo info;
    ASSERT_EQ(ReadInstallerInfo(FixtureFile("fake_lang_korean.exe"), info), 1);
    EXPECT_EQ(info.description, "Table 041203B5");  // not the first table, 040904E4
    EXPECT_EQ(ReadInstallerInfo(FixtureFile("test_package_readme.txt"), info), 0);
    EXPECT_EQ(info.description, "");
}

// One row per rule of the switch table, in the table's order.
struct RecognitionCase {
    const char* name;
    const char* fixture;
    const char* fileName;
    const char* catalog;
    bool windows98;
    SwitchRule rule;
    const char* launcher;  // what the quoted path is handed to, if anything
    const char* switches;
};

class Recognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(Recognition, ChoosesTheSwitchesAndQuotesThePath) {
    const RecognitionCase& c = GetParam();
    ScopedTempDir dir("qf updates ");
    std::string path = CopyFixture(dir, c.fixture, c.fileName);
    InstallerInfo info;
    ReadInstallerInfo(path, info);
    SwitchChoice choice = ChooseSwitches(c.catalog, info, path, c.windows98);
    EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(c.rule));
    EXPECT_EQ(choice.switches, c.switches);
    EXPECT_EQ(choice.unrecognised, c.rule == SwitchRule::Unrecognised);
    EXPECT_EQ(choice.commandLine, c.launcher + ("\"" + path + "\"") + c.switches);
}

const char* const kQuiet = " /quiet /norestart";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Recognition,
    ::testing::Values(
        RecognitionCase{"catalog_none", "fake_iexpress.exe", "a.exe", "nOnE", false,
                        SwitchRule::CatalogNone, "", ""},
        RecognitionCase{"catalog", "fake_iexpress.exe", "a.exe", "/passive", true,
                        SwitchRule::Catalog, "", " /passive"},
        RecognitionCase{"windows98", "fake_iexpress.exe", "a.exe", "", true,
                        SwitchRule::Windows98, "", " /q:a /r:n"},
        RecognitionCase{"iexpress", "fake_iexpress.exe", "a.exe", "", false,
                        SwitchRule::IExpress, "", " /Q"},
        RecognitionCase{"sfxcab", "fake_sfxcab.exe", "a.exe", "", false, SwitchRule::SfxCab, "",
                        kQuiet},
        RecognitionCase{"hotfix_empty_engine", "fake_hotfix.exe", "a.exe", "", false,
                        SwitchRule::Hotfix, "", kQuiet},
        RecognitionCase{"cabinet", "fake_cabinet.exe", "a.exe", "", false,
                        SwitchRule::CabinetExtractor, "", " /Q"},
        RecognitionCase{"update_engine", "fake_update.exe", "a.exe", "", false,
                        SwitchRule::UpdateEngine, "", kQuiet},
        RecognitionCase{"msiexec", "fake_msiexec.exe", "a.exe", "", false, SwitchRule::Msiexec,
                        "", " /Q"},
        RecognitionCase{"security_update", "fake_security.exe", "a.exe", "", false,
                        SwitchRule::SecurityUpdate, "", " -q -z"},
        RecognitionCase{"gdiplus", "fake_gdiplus.exe", "a.exe", "", false,
                        SwitchRule::GdiPlusTool, "", " /Q"},
        RecognitionCase{"msi", "test_package.msi", "SETUP.MSI", "", true,
                        SwitchRule::WindowsInstaller, "msiexec /i ", kQuiet},
        RecognitionCase{"unrecognised", "fake_unknown.exe", "a.exe", "", false,
                        SwitchRule::Unrecognised, "", ""},
        RecognitionCase{"msu", "test_package_readme.txt", "Windows6.0-KB990416-x86.msu", "",
                        false, SwitchRule::StandaloneUpdate, "wusa.exe ", kQuiet}),
    CaseName<RecognitionCase>);

struct LaunchCase {
    const char* name;
    const char* fixture;
    const char* uninstallKey;
    DWORD exitCode;
};

class Launch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(Launch, RunsTheInstallerWithItsCommandLineAndGivesItsExitCode) {
    const LaunchCase& c = GetParam();
    ScopedTempDir dir("qf 100% updates ");
    std::string path = CopyFixture(dir, c.fixture, std::string(c.fixture) + " setup.exe");
    FakeRecord record;
    DeleteUninstallKey(c.uninstallKey);
    InstallerInfo info;
    ReadInstallerInfo(path, info);
    SwitchChoice choice = ChooseSwitches("", info, path, false);

    RunResult result = RunAndWait(choice.commandLine);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(record.Lines(), std::vector<std::string>{choice.commandLine});
    EXPECT_TRUE(UninstallKeyExists(c.uninstallKey));
    DeleteUninstallKey(c.uninstallKey);
}

INSTANTIATE_TEST_SUITE_P(
    Fakes, Launch,
    ::testing::Values(LaunchCase{"iexpress", "fake_iexpress.exe", "KB990401", 0},
                      LaunchCase{"restart_asked", "fake_sfxcab.exe", "KB990402", 3010},
                      LaunchCase{"unrecognised", "fake_unknown.exe", "KB990409", 7},
                      LaunchCase{"above_int_range", "fake_msiexec.exe", "KB990406", 3221225477u}),
    CaseName<LaunchCase>);

TEST(Launch, AMissingFileIsReportedAsNotStarted) {
    ScopedTempDir dir("qf missing ");
    RunResult result = RunAndWait("\"" + dir.File("not downloaded.exe") + "\" /Q");
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
}

TEST(Launch, TheInstallerInheritsNoHandleAndGetsTheDefaultAccessList) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = ::CreateEventA(&inheritable, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::string commandLine = "\"" + FixtureFile("probe_launch.exe") + "\" " +
                              std::to_string(reinterpret_cast<uintptr_t>(event));
    RunResult result = RunAndWait(commandLine);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u) << "1: handle inherited, 2: open to everyone, 4: unreadable";

    // The probe does see both when a launch grants them.
    SECURITY_DESCRIPTOR open;
    ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES everyone = {sizeof everyone, &open, TRUE};
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(::CreateProcessA(nullptr, &commandLine[0], &everyone, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process));
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD careless = 0;
    ::GetExitCodeProcess(process.hProcess, &careless);
    EXPECT_EQ(careless, 3u);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(event);
}

TEST(WindowsInstallerPackage, IsInstalledThroughMsiexec) {
    const std::string remove = std::string("msiexec /x ") + kTestMsiProductCode + " /quiet";
    if (UninstallKeyExists(kTestMsiProductCode)) RunAndWait(remove);
    ASSERT_FALSE(UninstallKeyExists(kTestMsiProductCode));
    ScopedTempDir dir("qf msi updates ");
    std::string path = CopyFixture(dir, "test_package.msi", "Quellfix Test Package.MSI");
    InstallerInfo info;
    RunResult installed = RunAndWait(ChooseSwitches("", info, path, false).commandLine);
    EXPECT_TRUE(installed.started);
    EXPECT_EQ(installed.exitCode, 0u);
    EXPECT_TRUE(UninstallKeyExists(kTestMsiProductCode));
    EXPECT_EQ(RunAndWait(remove).exitCode, 0u);
    EXPECT_FALSE(UninstallKeyExists(kTestMsiProductCode));
}

}  // namespace
