// Start-up: the real program started by bare name from its own folder, its
// time limits and its one copy per folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "catalog/Retrieval.h"
#include "inventory/Detection.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

// The main window of process `pid` once it shows, told from the message
// boxes that carry the same caption by its list (a box that is still
// closing is not it); nullptr when it does not come.
HWND WaitMainWindow(DWORD pid, DWORD ms = 30000) {
    HWND main = nullptr;
    auto shown = [&] { return (main = FindProcessDialog(pid, MainWindowCaption())) && ::GetDlgItem(main, 1006); };
    return WaitFor(shown, ms) ? main : nullptr;
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

// Started by bare name in debug mode (no catalog download) beside a catalog
// claiming billions of entries, the program shows its window at once,
// listing at most 10,000 entries. A second copy from the same folder brings
// the first one's window to the front and ends without touching a file; a
// copy in another folder runs; closed, each ends. With a negative number
// there is nothing to list: the program asks whether to quit, and Yes ends it.
TEST_F(MainProgram, AnyEntryCountShowsTheWindowAtOnceAndOneCopyRunsPerFolder) {
    Install("[1]\r\nTITLE=첫째\r\n", 2000000000);
    TestProcess first("Quellfix.exe debug", dir.Path(), exe);
    // 10,000 entries, each key read afresh through the profile functions:
    // about half a minute under Wine on an idle machine, much longer on a
    // loaded one; never is the fault this catches.
    HWND main = WaitMainWindow(first.Pid(), 300000);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(::SendDlgItemMessageA(main, 1006, LVM_GETITEMCOUNT, 0, 0), 10000);
    const std::string catalog = ReadBytes(dir.File("quellfix.ini"));
    HWND other = ::CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                   nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(other);

    TestProcess second("Quellfix.exe", dir.Path(), exe);
    ASSERT_TRUE(second.Started());
    EXPECT_TRUE(second.WaitExit(20000)) << "a second copy in the same folder";
    DWORD owner = 0;
    EXPECT_TRUE(WaitFor([&] {
        ::GetWindowThreadProcessId(::GetForegroundWindow(), &owner);
        return owner == first.Pid();
    }));
    EXPECT_EQ(ReadBytes(dir.File("quellfix.ini")), catalog);
    EXPECT_FALSE(FileExists(dir.File("quellfix.ini.new")));
    EXPECT_FALSE(FileExists(dir.File("UPDATES")));
    ::DestroyWindow(other);

    ScopedTempDir elsewhere{"qf main2 "};
    const std::string exe2 = elsewhere.File("Quellfix.exe");
    ASSERT_TRUE(::CopyFileA(exe.c_str(), exe2.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(elsewhere.File("quellfix.ini"), catalog));
    TestProcess third("Quellfix.exe debug", elsewhere.Path(), exe2);
    HWND thirdMain = WaitMainWindow(third.Pid(), 300000);  // the same 10,000 entries
    EXPECT_NE(thirdMain, nullptr) << "a copy in another folder";
    for (HWND w : {main, thirdMain})
        if (w) ::PostMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitExit(30000));
    EXPECT_TRUE(third.WaitExit(30000));

    Install("[1]\r\nTITLE=첫째\r\n", -5);
    TestProcess negative("\"" + exe + "\" debug", dir.Path());
    ASSERT_TRUE(negative.Started());
    BoxSequence boxes(MainWindowCaption(), {IDYES}, 30000, negative.Pid());
    EXPECT_EQ(boxes.Wait(), std::vector<std::string>{
                                "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?"});
    EXPECT_TRUE(negative.WaitExit(30000));
}

// A server that takes the requests and never answers them holds the start
// only for the network time limits (version file, then catalog), and then
// the retrieval failure is reported.
TEST_F(MainProgram, ASilentServerDelaysTheStartOnlyForTheTimeLimits) {
    Install("", 0);
    SystemProfile live;
    RunInventory(live);
    const std::string rules = HttpRoot() + "\\.rules.json";
    ASSERT_TRUE(WriteBytes(rules, "{\"/update/version.inf\": {\"silent\": 1}, \"/update/v2/" +
                                      CatalogFileName(live) + "\": {\"silent\": 1}}"));
    TestProcess app("Quellfix.exe", dir.Path(), exe);
    ASSERT_TRUE(app.Started());
    // Two limits of 30 seconds, and the start itself.
    BoxSequence boxes(MainWindowCaption(), {IDOK}, 90000, app.Pid());
    EXPECT_EQ(boxes.Wait(), std::vector<std::string>{"업데이트 목록 파일을 다운로드 받는데 실패하였습니다"});
    ::DeleteFileA(rules.c_str());
    HWND main = WaitMainWindow(app.Pid());
    EXPECT_NE(main, nullptr);
    if (main) ::PostMessageA(main, WM_CLOSE, 0, 0);
    // Closed, it ends at once: no abandoned request holds the process.
    EXPECT_TRUE(app.WaitExit(30000));
}

}  // namespace
