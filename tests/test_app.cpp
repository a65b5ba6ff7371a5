// Start-up: the debug switch from the command line, the program directory,
// and the real program started by bare name from its own folder.
#include <gtest/gtest.h>

#include "app/Globals.h"
#include "catalog/Catalog.h"
#include "support/WindowDriving.h"

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

TEST(ProgramDirectory, IsEverythingBeforeTheLastBackslashAndHoldsTheCatalog) {
    EXPECT_EQ(DirectoryOfPath("C:\\Tools\\Updater\\app.exe"), "C:\\Tools\\Updater");
    EXPECT_EQ(DirectoryOfPath("C:\\app.exe"), "C:");
    EXPECT_EQ(DirectoryOfPath("app.exe"), "");
    EXPECT_EQ(DirectoryOfPath(""), "");
    std::string saved = g_strProgramDir;
    g_strProgramDir = "C:\\Tools\\Updater";
    EXPECT_EQ(CatalogPath(), "C:\\Tools\\Updater\\quellfix.ini");
    g_strProgramDir = saved;
}

// The real program copied into a folder of its own beside `catalog`.
class MainProgram : public ::testing::Test {
protected:
    void Install(const std::string& entries, int count) {
        ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));
        ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), CatalogText(entries, count)));
    }
    ScopedTempDir dir{"qf main "};
    std::string exe = dir.File("Quellfix.exe");
};

// Started by bare name in debug mode (no catalog download), it lists the
// catalog beside it, asks nothing, and ends when its window is closed.
TEST_F(MainProgram, ListsTheCatalogBesideItAndEndsWhenClosed) {
    Install("[1]\r\nTITLE=첫째\r\n[2]\r\nTITLE=둘째\r\n", 2);
    TestProcess app("Quellfix.exe debug", dir.Path(), exe);
    ASSERT_TRUE(app.Started());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (main = FindProcessDialog(app.Pid(), MainWindowCaption())) != nullptr; },
        30000));
    char title[512] = {};
    ::GetWindowTextA(main, title, sizeof title);
    EXPECT_EQ(title, MainWindowCaption());
    std::vector<RemoteRow> rows;
    ASSERT_TRUE(WaitFor([&] { return (rows = ReadRemoteList(::GetDlgItem(main, 1006))).size() == 2; },
                        30000));
    EXPECT_EQ(rows, (std::vector<RemoteRow>{{"첫째", "설치안됨", true, 1},
                                            {"둘째", "설치안됨", true, 2}}));
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit(30000));
}

// With nothing to list the program asks whether to quit; Yes ends it.
TEST_F(MainProgram, YesToTheQuestionEndsTheProcess) {
    Install("", 0);
    TestProcess app("\"" + exe + "\" debug", dir.Path());
    ASSERT_TRUE(app.Started());
    BoxSequence boxes(MainWindowCaption(), {IDYES}, 30000, app.Pid());
    EXPECT_EQ(boxes.Wait(), std::vector<std::string>{
                                "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?"});
    EXPECT_TRUE(app.WaitExit(30000));
}

}  // namespace
