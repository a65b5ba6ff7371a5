// The real program as a process: started by bare name from its own folder,
// its time limits, its one copy per folder, and its unattended runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <algorithm>
#include <commctrl.h>

#include "catalog/Retrieval.h"
#include "inventory/Detection.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

// The main window of process `pid` once it shows, told by its list from the
// boxes with the same caption; nullptr when it does not come.
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
    // The catalog the program fetches at start on this system, and beside it.
    std::string ServedCatalog() {
        SystemProfile live;
        RunInventory(live);
        return "update\\v2\\" + CatalogFileName(live);
    }
    ProgramFolder program;
    ScopedTempDir& dir = program.dir;
    std::string exe = dir.File("Quellfix.exe");
};

// Started by bare name in debug mode beside a catalog claiming billions of
// entries, it lists at most 10,000. A second copy from the same folder brings
// the first one's window to the front and ends without touching a file; a
// copy in another folder runs. A negative count: it asks to quit, Yes ends it.
TEST_F(MainProgram, AnyEntryCountShowsTheWindowAtOnceAndOneCopyRunsPerFolder) {
    Install("[1]\r\nTITLE=첫째\r\n", 2000000000);
    TestProcess first("Quellfix.exe debug", dir.Path(), exe);
    // Half a minute under Wine on an idle machine, much longer on a loaded
    // one; never is the fault this catches.
    HWND main = WaitMainWindow(first.Pid(), 300000);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(::SendDlgItemMessageA(main, 1006, LVM_GETITEMCOUNT, 0, 0), 10000);
    const std::string catalog = ReadBytes(dir.File("quellfix.ini"));
    HWND other = ::CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                   nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(other);

    TestProcess second("Quellfix.exe", dir.Path(), exe);
    EXPECT_TRUE(second.WaitExit(20000)) << "a second copy in the same folder";
    EXPECT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == main; }))
        << "the first copy's window was not brought to the front";
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
    BoxSequence boxes(MainWindowCaption(), {IDYES}, 30000, negative.Pid());
    EXPECT_EQ(boxes.Wait(), std::vector<std::string>{"모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?"});
    EXPECT_TRUE(negative.WaitExit(30000));
}

// A server that never answers holds the start only for the time limits of
// the version file and the catalog; then the failure is reported.
TEST_F(MainProgram, ASilentServerDelaysTheStartOnlyForTheTimeLimits) {
    Install("", 0);
    std::string catalog = ServedCatalog();
    std::replace(catalog.begin(), catalog.end(), '\\', '/');
    const std::string rules = HttpRoot() + "\\.rules.json";
    ASSERT_TRUE(WriteBytes(rules, "{\"/update/version.inf\": {\"silent\": 1}, \"/" + catalog +
                                      "\": {\"silent\": 1}}"));
    TestProcess app("Quellfix.exe", dir.Path(), exe);
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

// "Quellfix.exe auto" asks nothing, runs every missing update (a real MSI
// among them) and ends with 3010 for a restart, 0 with nothing left to do, 1
// when an installer fails, 2 without a catalog. Each run is appended to
// UPDATES\quellfix.log, which stays under its bound by losing its oldest runs whole.
TEST_F(MainProgram, UnattendedRunsEndWithTheirOutcomeAndLogIt) {
    FakeRecord record;
    program.Serve("fake_security.exe", "un_a.exe");
    program.Serve("fake_sfxcab.exe", "un_b.exe");
    program.Serve("test_package.msi", "un_p.msi");
    program.Serve("fake_unknown.exe", "un_c.exe");
    program.keys = {"KB990407", "KB990402", "KB990409"};
    const std::string served = ServedCatalog();
    ::CreateDirectoryA((HttpRoot() + "\\update").c_str(), nullptr);
    ::CreateDirectoryA((HttpRoot() + "\\update\\v2").c_str(), nullptr);
    const std::string logPath = dir.File("UPDATES\\quellfix.log");
    auto runUnattended = [&](const std::string& entries, int count, long expected, bool onServer = true) {
        Install(entries, count);
        if (onServer) program.ServeBytes(served, CatalogText(entries, count));
        else ::DeleteFileA((HttpRoot() + "\\" + served).c_str());
        TestProcess app("\"" + exe + "\" AUTO", dir.Path());
        EXPECT_TRUE(app.WaitExit(180000)) << "a window waits for someone";
        EXPECT_EQ(app.ExitCode(), expected);
        return ReadBytes(logPath);
    };
    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };

    const std::string entries = CatalogEntry(1, "보안 업데이트", "un_a.exe", "KB990407") +
                                CatalogEntry(2, "다시 시작 업데이트", "un_b.exe", "KB990402") +
                                CatalogEntry(3, "설치 관리자 패키지", "un_p.msi", kTestMsiProductCode);
    const std::string first = runUnattended(entries, 3, 3010);
    EXPECT_EQ(first.rfind("==== ", 0), 0u) << first;
    EXPECT_NE(first.find("[3/3] 설치 관리자 패키지 를 설치하고 있습니다...  설치 완료\r\n"), std::string::npos) << first;
    EXPECT_TRUE(endsWith(first, "실행 결과: 완료, 다시 시작 필요 (3010)\r\n\r\n")) << first;
    ASSERT_FALSE(record.Lines().empty());
    EXPECT_EQ(record.Lines()[0], "\"" + dir.File("UPDATES\\un_a.exe") + "\" -q -z");
    EXPECT_TRUE(UninstallKeyExists(kTestMsiProductCode));

    std::string log = runUnattended(entries, 3, 0);  // all installed now
    EXPECT_EQ(log.rfind(first, 0), 0u) << "the earlier run stays as it was";
    EXPECT_TRUE(endsWith(log, "실행 결과: 완료 (0)\r\n\r\n")) << log;

    const std::string failing = CatalogEntry(1, "실패하는 업데이트", "un_c.exe", "KB990409");
    log = runUnattended(failing, 1, 1);
    EXPECT_TRUE(endsWith(log, "실행 결과: 실패한 항목 있음 (1)\r\n\r\n")) << log;
    TestProcess uninstall(std::string("msiexec /x ") + kTestMsiProductCode + " /quiet", "");
    uninstall.WaitExit(120000);

    // No catalog on the server, and a log grown past its bound.
    std::string grown;
    while (grown.size() < 1100 * 1024)
        grown += "==== 2000-01-01 00:00:00 | Quellfix 1.000 | 옛 기록 ====\r\n" +
                 std::string(100000, '-') + "\r\n실행 결과: 완료 (0)\r\n\r\n";
    ASSERT_TRUE(WriteBytes(logPath, grown + log));
    log = runUnattended(failing, 1, 2, false);
    EXPECT_LT(log.size(), 1024u * 1024u);
    EXPECT_EQ(log.rfind("==== ", 0), 0u) << "only whole runs are kept";
    EXPECT_NE(log.find(first), std::string::npos) << "the newer runs stay";
    EXPECT_TRUE(endsWith(log, "업데이트 목록 파일을 다운로드 받는데 실패하였습니다\r\n"
                              "실행 결과: 업데이트 목록 없음 (2)\r\n\r\n"))
        << log.substr(log.size() > 300 ? log.size() - 300 : 0);
}

}  // namespace
