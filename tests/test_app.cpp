// Start-up: the debug switch from the command line, the program directory,
// and the real program started by bare name from its own folder.
#include <gtest/gtest.h>

#include "app/Config.h"
#include "app/Globals.h"
#include "catalog/Catalog.h"
#include "inventory/Detection.h"
#include "support/TestSupport.h"
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

}  // namespace

namespace {

std::string Caption() { return std::string("Quellfix 2.0 - ") + kHomePage; }

int SystemLanguage() {
    SystemProfile p;
    DetectLanguage(p);
    return p.languageId & 0x3FF;
}

// Started by bare name from its folder, in debug mode (no catalog download),
// the real program lists the catalog beside it; the question to quit is not
// asked since the list has rows, and closing the window ends the process.
TEST(MainProgram, ListsTheCatalogBesideItAndEndsWhenClosed) {
    ScopedTempDir dir("qf main ");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(),
                            dir.File("Quellfix.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"),
                           "[INFO]\r\nCOUNT=2\r\nLANGUAGE=" + std::to_string(SystemLanguage()) +
                               "\r\n[1]\r\nTITLE=첫째\r\n[2]\r\nTITLE=둘째\r\n"));

    TestProcess app("Quellfix.exe debug", dir.Path(), dir.File("Quellfix.exe"));
    ASSERT_TRUE(app.Started());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindProcessDialog(app.Pid(), Caption())) != nullptr; },
                        30000));
    char title[512] = {};
    ::GetWindowTextA(main, title, sizeof title);
    EXPECT_EQ(std::string(title), Caption());

    HWND list = ::GetDlgItem(main, 1006);
    std::vector<RemoteRow> rows;
    ASSERT_TRUE(WaitFor([&] { return (rows = ReadRemoteList(list)).size() == 2; }, 30000));
    EXPECT_EQ(rows[0].text, "첫째");
    EXPECT_EQ(rows[0].installed, "설치안됨");
    EXPECT_TRUE(rows[0].checked);
    EXPECT_EQ(rows[0].data, 1);
    EXPECT_EQ(rows[1].text, "둘째");
    EXPECT_EQ(rows[1].data, 2);

    ::PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitExit(30000));
}

// With nothing to list the program asks whether to quit; Yes ends it.
TEST(MainProgram, YesToTheQuestionEndsTheProcess) {
    ScopedTempDir dir("qf main ");
    std::string exe = dir.File("Quellfix.exe");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"),
                           "[INFO]\r\nCOUNT=0\r\nLANGUAGE=" + std::to_string(SystemLanguage()) +
                               "\r\n"));
    TestProcess app("\"" + exe + "\" debug", dir.Path());
    ASSERT_TRUE(app.Started());
    BoxSequence boxes(Caption(), {IDYES}, 30000, app.Pid());
    ASSERT_EQ(boxes.Wait().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?");
    EXPECT_TRUE(app.WaitExit(30000));
}

}  // namespace
