// Start-up: the debug switch from the command line, the program directory,
// and a program started by bare name from its own folder.
#include <gtest/gtest.h>

#include "app/Config.h"
#include "app/Globals.h"
#include "catalog/Catalog.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct SwitchCase {
    const char* name;
    std::vector<std::string> words;
    bool debug;
};

class DebugSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(DebugSwitch, OnlyTheFirstPlainWordCounts) {
    EXPECT_EQ(IsDebugCommandLine(GetParam().words), GetParam().debug);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DebugSwitch,
    ::testing::Values(SwitchCase{"none", {}, false},
                      SwitchCase{"lower", {"debug"}, true},
                      SwitchCase{"capitals", {"DEBUG"}, true},
                      SwitchCase{"mixed", {"DeBuG"}, true},
                      SwitchCase{"slash", {"/debug"}, false},
                      SwitchCase{"hyphen", {"-debug"}, false},
                      SwitchCase{"further_letters", {"debugx"}, false},
                      SwitchCase{"shorter", {"debu"}, false},
                      SwitchCase{"debug_then_other", {"debug", "other"}, true},
                      SwitchCase{"other_then_debug", {"other", "debug"}, false},
                      SwitchCase{"flag_then_debug", {"/p", "debug"}, true},
                      SwitchCase{"empty_word_then_debug", {"", "debug"}, true}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

TEST(ProgramDirectory, IsEverythingBeforeTheLastBackslash) {
    EXPECT_EQ(DirectoryOfPath("C:\\Tools\\Updater\\app.exe"), "C:\\Tools\\Updater");
    EXPECT_EQ(DirectoryOfPath("C:\\app.exe"), "C:");
    EXPECT_EQ(DirectoryOfPath("app.exe"), "");
    EXPECT_EQ(DirectoryOfPath(""), "");
}

TEST(ProgramDirectory, CatalogPathFollowsIt) {
    std::string saved = g_strProgramDir;
    g_strProgramDir = "C:\\Tools\\Updater";
    EXPECT_EQ(CatalogPath(), "C:\\Tools\\Updater\\quellfix.ini");
    g_strProgramDir = saved;
}

// Runs the start-up probe from `dir` with `commandLine`; returns its report.
std::string RunProbe(const std::string& dir, const std::string& exeCopy,
                     const std::string& commandLine, const std::string& out) {
    ::SetEnvironmentVariableA("PROBE_OUT", out.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    BOOL ok = ::CreateProcessA(exeCopy.empty() ? nullptr : exeCopy.c_str(), cmd.data(), nullptr,
                               nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi);
    ::SetEnvironmentVariableA("PROBE_OUT", nullptr);
    if (!ok) return "<not started>";
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return ReadBytes(out);
}

TEST(ProgramDirectory, StartedByBareNameStillFindsItsOwnFolder) {
    ScopedTempDir dir("qf app dir ");
    std::string exe = dir.File("probe_startup.exe");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\tests\\probe_startup.exe").c_str(), exe.c_str(),
                            FALSE))
        << "fixture missing under " << BinaryDir();
    ScopedTempDir outDir;
    std::string out = outDir.File("report.txt");

    // Argument 0 is the bare name: the folder must come from the module path.
    std::string report = RunProbe(dir.Path(), exe, "probe_startup.exe DEBUG", out);
    EXPECT_EQ(report, dir.Path() + "\n1\n");

    report = RunProbe(dir.Path(), exe, "probe_startup.exe -debug", out);
    EXPECT_EQ(report, dir.Path() + "\n0\n");
}

}  // namespace

namespace {

struct TopLevelSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<TopLevelSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    search->found = hwnd;
    return FALSE;
}

TEST(MainProgram, OpensItsMainWindowAndEndsWhenItCloses) {
    ScopedTempDir dir("qf main ");
    std::string exe = dir.File("Quellfix.exe");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + exe + "\" debug";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 dir.Path().c_str(), &si, &pi));

    TopLevelSearch search{pi.dwProcessId, nullptr};
    bool shown = WaitFor([&] {
        search.found = nullptr;
        ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return false;
        char title[512] = {};
        ::GetWindowTextA(search.found, title, sizeof title);
        return std::string(title).rfind("Quellfix 2.0 - ", 0) == 0;
    }, 30000);
    EXPECT_TRUE(shown) << "no main window";
    if (shown) {
        char title[512] = {};
        ::GetWindowTextA(search.found, title, sizeof title);
        EXPECT_EQ(std::string(title), std::string("Quellfix 2.0 - ") + kHomePage);
        // Closing the window the way its close box does ends the process.
        ::PostMessageA(search.found, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

}  // namespace
