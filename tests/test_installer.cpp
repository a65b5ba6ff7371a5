// Installer recognition from real version resources and the launch of real
// fake installers and a real MSI package, in folders whose names have blanks.
#include <gtest/gtest.h>

#include <cstdint>

#include "run/Launch.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

std::string CopyFixture(const ScopedTempDir& dir, const std::string& fixture, const std::string& name) {
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

// Recognised by its version resource, started with the switches chosen,
// waited for, and its exit code (above the range of int) given back whole;
// a file that is not there is not started.
TEST(Launch, RunsTheInstallerWithItsSwitchesAndGivesItsExitCode) {
    ScopedTempDir dir("qf 100% updates ");
    std::string path = CopyFixture(dir, "fake_msiexec.exe", "fake_msiexec setup.exe");
    FakeRecord record;
    DeleteUninstallKey("KB990406");
    InstallerInfo info;
    ReadInstallerInfo(path, info);
    SwitchChoice choice = ChooseSwitches("", info, path, false);
    EXPECT_EQ(static_cast<int>(choice.rule), static_cast<int>(SwitchRule::Msiexec));
    RunResult result = RunAndWait(choice.commandLine);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3221225477u);
    EXPECT_EQ(record.Lines(), std::vector<std::string>{choice.commandLine});
    EXPECT_TRUE(UninstallKeyExists("KB990406"));
    DeleteUninstallKey("KB990406");

    RunResult missing = RunAndWait("\"" + dir.File("not downloaded.exe") + "\" /Q");
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.exitCode, 0u);
}

TEST(Launch, TheInstallerInheritsNoHandleAndGetsTheDefaultAccessList) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = ::CreateEventA(&inheritable, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::string commandLine =
        "\"" + FixtureFile("probe_launch.exe") + "\" " + std::to_string(reinterpret_cast<uintptr_t>(event));
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
    ASSERT_TRUE(::CreateProcessA(nullptr, &commandLine[0], &everyone, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &process));
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD careless = 0;
    ::GetExitCodeProcess(process.hProcess, &careless);
    EXPECT_EQ(careless, 3u);
    for (HANDLE handle : {process.hThread, process.hProcess, event}) ::CloseHandle(handle);
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
