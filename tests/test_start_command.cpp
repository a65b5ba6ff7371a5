// The start command: the checked rows handed to the run window in row order,
// the list evaluated again after each run, the question to quit after a run
// that leaves nothing to show; and the whole road end to end in Quellfix.exe
// started as a process, as a user would drive it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "app/Globals.h"
#include "app/MainDlg.h"
#include "resource.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"
#include "support/WindowPicture.h"
#include "ui/Controls.h"

using namespace testing_support;

namespace {

const char kAskQuit[] = "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?";

// Asks the window itself, which also works across processes.
std::string TextOf(HWND hwnd) {
    char text[16384] = {};
    ::SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// On a thread of its own, waits for the run window of process `pid`, lets
// it finish, keeps its log and closes it, as a user would.
struct RunCloser {
    explicit RunCloser(DWORD pid, std::function<void(HWND)> beforeClose = nullptr)
        : thread([this, pid, beforeClose] {
              HWND run = nullptr;
              if (!WaitFor([&] { return (run = FindProcessDialog(pid, "업데이트 중...")) != nullptr; }, 60000) ||
                  !WaitFor([&] { return TextOf(::GetDlgItem(run, IDCANCEL)) == "닫기"; }, 120000))
                  return;
              log = TextOf(::GetDlgItem(run, IDC_RUN_LOG));
              if (beforeClose) beforeClose(run);
              ::PostMessageA(run, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(::GetDlgItem(run, IDCANCEL)));
              WaitFor([&] { return !::IsWindow(run); }, 30000);
          }) {}
    ~RunCloser() { Wait(); }
    // The finished run's log (empty when none finished).
    const std::string& Wait() {
        if (thread.joinable()) thread.join();
        return log;
    }
    std::string log;
    std::thread thread;
};

class StartCommand : public ::testing::Test {
protected:
    void TearDown() override { window.reset(); }
    // One catalog entry.
    std::string Entry(int n, const std::string& title, const std::string& file,
                      const std::string& installedName) {
        return "[" + std::to_string(n) + "]\r\nTITLE=" + title + "\r\nFILENAME=" + file +
               "\r\nURL=" + HttpUrl(file) + "\r\nREGKEY=" + installedName + "\r\n";
    }
    // The catalog beside the program and, the same, on the server for
    // whatever OS code this Wine reports, as the program fetches it at start.
    void WriteCatalog(const std::string& entries, int count) {
        std::string catalog = CatalogText(entries, count);
        ASSERT_TRUE(WriteBytes(program.dir.File("quellfix.ini"), catalog));
        ::CreateDirectoryA((HttpRoot() + "\\update").c_str(), nullptr);
        ::CreateDirectoryA((HttpRoot() + "\\update\\v2").c_str(), nullptr);
        for (int code = 0; code <= 7; ++code)
            for (int bits : {32, 64})
                program.ServeBytes("update\\v2\\" + std::to_string(code) + "_" +
                                       std::to_string(bits) + "_" +
                                       std::to_string(SystemLanguage()) + ".ini",
                                   catalog);
    }
    ListView List() const { return ListView(::GetDlgItem(hwnd, IDC_UPDATE_LIST)); }
    // Presses `id` (Enter: IDOK from no control); a RunCloser ends the run.
    void Press(int id) {
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       id == IDOK ? 0 : reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, id)));
        PumpMessages();
    }
    std::string File(const std::string& name) const { return program.dir.File(name); }

    ProgramFolder program;
    FakeRecord record;
    std::unique_ptr<CMainDlg> window{new CMainDlg};
    HWND hwnd = nullptr;
};

// The checked rows go to the run in row order, each with its switches; the
// list is evaluated again after each run. A run that leaves the list empty
// asks to quit, and so does a later one started by Enter with the start
// button disabled, which has no checked row and so nothing to do; No keeps
// the window.
TEST_F(StartCommand, RunsTheCheckedRowsAndAsksToQuitOnceTheListIsEmpty) {
    program.Serve("fake_security.exe", "sc_a.exe");
    program.Serve("fake_hotfix.exe", "sc_b.exe");
    program.Serve("fake_gdiplus.exe", "sc_c.exe");
    program.keys = {"KB990407", "KB990403", "KB990408"};
    WriteCatalog(Entry(1, "가 업데이트", "sc_a.exe", "KB990407") +
                     Entry(2, "나 업데이트", "sc_b.exe", "KB990403") +
                     Entry(3, "다 업데이트", "sc_c.exe", "KB990408") + "CMDLINE=/passive\r\n",
                 3);
    hwnd = window->Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(List().GetItemCount(), 3);
    List().SetCheck(1, false);
    {
        RunCloser closer(::GetCurrentProcessId());
        Press(IDC_START_UPDATE);
        const std::string& log = closer.Wait();
        size_t first = log.find("[1/2] 가 업데이트 를 다운로드 하고 있습니다.");
        size_t second = log.find("[2/2] 다 업데이트 를 다운로드 하고 있습니다.");
        EXPECT_TRUE(first < second && second != std::string::npos) << log;
        EXPECT_EQ(log.find("나 업데이트"), std::string::npos);
        EXPECT_EQ(record.Lines(), (std::vector<std::string>{
                                      "\"" + File("UPDATES\\sc_a.exe") + "\" -q -z",
                                      "\"" + File("UPDATES\\sc_c.exe") + "\" /passive"}));
    }
    // The installed two hidden, and the row unchecked before the run back checked.
    ASSERT_TRUE(WaitFor([&] { return List().GetItemCount() == 1; }, 10000));
    EXPECT_EQ(List().GetItemText(0, 0), "나 업데이트");
    EXPECT_TRUE(List().GetCheck(0));

    for (int run = 1; run <= 2; ++run) {
        RunCloser closer(::GetCurrentProcessId());
        BoxSequence question(MainWindowCaption(), {IDNO}, 60000);
        if (run == 1) {
            Press(IDC_START_UPDATE);
        } else {
            ::EnableWindow(::GetDlgItem(hwnd, IDC_START_UPDATE), FALSE);
            Press(IDOK);
        }
        std::string log = closer.Wait();
        EXPECT_TRUE(run == 1 ? log.find("[1/1] 나 업데이트 를 설치하고") != std::string::npos
                             : log == "다운로드 및 설치할 항목이 없습니다.") << log;
        EXPECT_EQ(question.Wait(), std::vector<std::string>{kAskQuit}) << "run " << run;
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(List().GetItemCount(), 0);
    }
}

// The whole road in the real program: the list from the catalog, the start
// button, downloads from the server, the silent installers (a real MSI
// package among them), and the list evaluated again afterwards.
TEST_F(StartCommand, EndToEndInTheRealProgram) {
    program.Serve("fake_security.exe", "e2e_security.exe");
    program.Serve("fake_hotfix.exe", "e2e_hotfix.exe");
    program.Serve("test_package.msi", "e2e_package.msi");
    program.keys = {"KB990407", "KB990403"};
    WriteCatalog(Entry(1, "보안 업데이트 (KB990407)", "e2e_security.exe", "KB990407") +
                     Entry(2, "핫픽스 (KB990403)", "e2e_hotfix.exe", "KB990403") +
                     Entry(3, "설치 관리자 패키지", "e2e_package.msi", kTestMsiProductCode) +
                     "[4]\r\nTITLE=이미 설치된 업데이트\r\n"
                     "REGKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\r\n",
                 4);
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), File("Quellfix.exe").c_str(),
                            FALSE));

    TestProcess app("\"" + File("Quellfix.exe") + "\"", program.dir.Path());
    ASSERT_TRUE(app.Started());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (main = FindProcessDialog(app.Pid(), MainWindowCaption())) != nullptr; },
        60000));
    std::vector<RemoteRow> rows;
    ASSERT_TRUE(WaitFor(
        [&] { return (rows = ReadRemoteList(::GetDlgItem(main, IDC_UPDATE_LIST))).size() == 3; },
        60000));
    EXPECT_EQ(rows[0].text, "보안 업데이트 (KB990407)");
    EXPECT_EQ(rows[2].text, "설치 관리자 패키지");
    SaveWindowPicture(main, "main_window");

    RunCloser closer(app.Pid(), [](HWND run) { SaveWindowPicture(run, "run_window"); });
    ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, IDC_START_UPDATE)));
    const std::string& log = closer.Wait();
    EXPECT_NE(log.find("[3/3] 설치 관리자 패키지 를 설치하고 있습니다...  설치 완료\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(record.Lines(), (std::vector<std::string>{
                                  "\"" + File("UPDATES\\e2e_security.exe") + "\" -q -z",
                                  "\"" + File("UPDATES\\e2e_hotfix.exe") + "\" /quiet /norestart"}));
    EXPECT_TRUE(UninstallKeyExists(kTestMsiProductCode));

    // Everything installed now: the list empties and the program asks to quit.
    BoxSequence question(MainWindowCaption(), {IDYES}, 60000, app.Pid());
    EXPECT_EQ(question.Wait().size(), 1u);
    EXPECT_TRUE(app.WaitExit(30000));

    TestProcess uninstall(std::string("msiexec /x ") + kTestMsiProductCode + " /quiet", "");
    uninstall.WaitExit(120000);
}

// "Quellfix.exe auto" asks nothing, runs every missing update, closes its
// windows itself and ends with a code a script can read: 3010 when an
// installer wants a restart, 0 with nothing left to do, 1 when an installer
// fails, 2 without a catalog. Each run is appended to UPDATES\quellfix.log,
// which stays under its bound by losing its oldest runs whole.
TEST_F(StartCommand, UnattendedRunsEndWithTheirOutcomeAndLogIt) {
    program.Serve("fake_security.exe", "un_a.exe");
    program.Serve("fake_sfxcab.exe", "un_b.exe");
    program.Serve("fake_unknown.exe", "un_c.exe");
    program.keys = {"KB990407", "KB990402", "KB990409"};
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), File("Quellfix.exe").c_str(),
                            FALSE));
    const std::string logPath = File("UPDATES\\quellfix.log");
    auto runUnattended = [&](long expected) {
        TestProcess app("\"" + File("Quellfix.exe") + "\" AUTO", program.dir.Path());
        EXPECT_TRUE(app.WaitExit(180000)) << "a window waits for someone";
        EXPECT_EQ(app.ExitCode(), expected);
        return ReadBytes(logPath);
    };
    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };

    WriteCatalog(Entry(1, "보안 업데이트", "un_a.exe", "KB990407") +
                     Entry(2, "다시 시작 업데이트", "un_b.exe", "KB990402"),
                 2);
    std::string log = runUnattended(3010);
    EXPECT_EQ(log.rfind("==== ", 0), 0u) << log;
    EXPECT_NE(log.find("[2/2] 다시 시작 업데이트 를 설치하고 있습니다..."), std::string::npos) << log;
    EXPECT_TRUE(endsWith(log, "실행 결과: 완료, 다시 시작 필요 (3010)\r\n\r\n")) << log;

    const std::string first = log;
    log = runUnattended(0);  // both installed now
    EXPECT_EQ(log.rfind(first, 0), 0u) << "the earlier run stays as it was";
    EXPECT_TRUE(endsWith(log, "실행 결과: 완료 (0)\r\n\r\n")) << log;

    WriteCatalog(Entry(1, "실패하는 업데이트", "un_c.exe", "KB990409"), 1);
    log = runUnattended(1);
    EXPECT_TRUE(endsWith(log, "실행 결과: 실패한 항목 있음 (1)\r\n\r\n")) << log;

    // No catalog on the server, and a log grown past its bound.
    for (int code = 0; code <= 7; ++code)
        for (int bits : {32, 64})
            ::DeleteFileA((HttpRoot() + "\\update\\v2\\" + std::to_string(code) + "_" +
                           std::to_string(bits) + "_" + std::to_string(SystemLanguage()) + ".ini")
                              .c_str());
    std::string grown;
    while (grown.size() < 1100 * 1024)
        grown += "==== 2000-01-01 00:00:00 | Quellfix 1.000 | 옛 기록 ====\r\n" +
                 std::string(100000, '-') + "\r\n실행 결과: 완료 (0)\r\n\r\n";
    ASSERT_TRUE(WriteBytes(logPath, grown + log));
    log = runUnattended(2);
    EXPECT_LT(log.size(), 1024u * 1024u);
    EXPECT_EQ(log.rfind("==== ", 0), 0u) << "only whole runs are kept";
    EXPECT_NE(log.find(first), std::string::npos) << "the newer runs stay";
    EXPECT_TRUE(endsWith(log, "업데이트 목록 파일을 다운로드 받는데 실패하였습니다\r\n"
                              "실행 결과: 업데이트 목록 없음 (2)\r\n\r\n"))
        << log.substr(log.size() > 300 ? log.size() - 300 : 0);
}

}  // namespace
