// The start command: the checked rows' entries handed to the run window in
// row order, the list evaluated again after the run, the question to quit
// after a run that leaves nothing to show; and the whole road end to end in
// Quellfix.exe started as a process, as a user would drive it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "app/Config.h"
#include "app/Globals.h"
#include "app/MainDlg.h"
#include "inventory/Detection.h"
#include "resource.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowPicture.h"
#include "support/WindowDriving.h"
#include "ui/Controls.h"

using namespace testing_support;

namespace {

const char kRunCaption[] = "업데이트 중...";
std::string MainCaption() { return std::string("Quellfix 2.0 - ") + kHomePage; }

int SystemLanguage() {
    SystemProfile p;
    DetectLanguage(p);
    return p.languageId & 0x3FF;
}

// Asks the window itself, which also works across processes.
std::string WindowText(HWND hwnd) {
    char text[16384] = {};
    ::SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Waits (on a thread of its own) for run windows of process `pid`, lets
// each finish, keeps its log and closes it, as a user would.
class RunCloser {
public:
    explicit RunCloser(DWORD pid, int runs = 1) : m_pid(pid), m_runs(runs) {
        m_thread = std::thread([this] { Loop(); });
    }
    ~RunCloser() { Wait(); }
    void Wait() {
        if (m_thread.joinable()) m_thread.join();
    }
    std::vector<std::string> logs;
    // Called with the finished run window before it is closed.
    std::function<void(HWND)> beforeClose;

private:
    void Loop() {
        for (int i = 0; i < m_runs; ++i) {
            HWND run = nullptr;
            if (!WaitFor([&] { return (run = FindProcessDialog(m_pid, kRunCaption)) != nullptr; },
                         60000))
                return;
            HWND button = ::GetDlgItem(run, IDCANCEL);
            if (!WaitFor([&] { return WindowText(button) == "닫기"; }, 120000)) return;
            logs.push_back(WindowText(::GetDlgItem(run, IDC_RUN_LOG)));
            if (beforeClose) beforeClose(run);
            ::PostMessageA(run, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                           reinterpret_cast<LPARAM>(button));
            WaitFor([&] { return !::IsWindow(run); }, 30000);
        }
    }
    DWORD m_pid;
    int m_runs;
    std::thread m_thread;
};

class StartCommand : public ::testing::Test {
protected:
    void SetUp() override {
        saved = g_strProgramDir;
        g_strProgramDir = dir.Path();
        g_bDebug = 0;
    }
    void TearDown() override {
        window.reset();
        g_strProgramDir = saved;
        for (const std::string& name : served) ::DeleteFileA((HttpRoot() + "\\" + name).c_str());
        for (const std::string& key : keys) DeleteUninstallKey(key);
    }
    void ServeFixture(const std::string& fixture, const std::string& name) {
        ASSERT_TRUE(::CopyFileA(FixtureFile(fixture).c_str(), (HttpRoot() + "\\" + name).c_str(),
                                FALSE));
        served.push_back(name);
    }
    std::string Entry(int n, const std::string& title, const std::string& file,
                      const std::string& installedName) {
        return "[" + std::to_string(n) + "]\r\nTITLE=" + title + "\r\nFILENAME=" + file +
               "\r\nURL=" + HttpUrl(file) + "\r\nREGKEY=" + installedName + "\r\n";
    }
    // The catalog beside the program and, the same, on the server for
    // whatever OS code this Wine reports, as the program fetches it at start.
    void WriteCatalog(const std::string& entries, int count) {
        std::string catalog = "[INFO]\r\nCOUNT=" + std::to_string(count) + "\r\nLANGUAGE=" +
                              std::to_string(SystemLanguage()) + "\r\n" + entries;
        ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), catalog));
        ::CreateDirectoryA((HttpRoot() + "\\update").c_str(), nullptr);
        ::CreateDirectoryA((HttpRoot() + "\\update\\v2").c_str(), nullptr);
        for (int code = 0; code <= 7; ++code) {
            for (int bits : {32, 64}) {
                std::string name = "update\\v2\\" + std::to_string(code) + "_" +
                                   std::to_string(bits) + "_" + std::to_string(SystemLanguage()) +
                                   ".ini";
                ASSERT_TRUE(WriteBytes(HttpRoot() + "\\" + name, catalog));
                served.push_back(name);
            }
        }
    }
    void Open(std::vector<int> boxes = {}) {
        window.reset(new CMainDlg);
        BoxSequence answers(MainCaption(), boxes, boxes.empty() ? 0 : 30000);
        hwnd = window->Create(nullptr);
        answers.Wait();
        ASSERT_NE(hwnd, nullptr);
    }
    ListView List() const { return ListView(::GetDlgItem(hwnd, IDC_UPDATE_LIST)); }
    // Presses the start button; returns once the run window it opened has
    // closed again and the list has been evaluated.
    void PressStart() {
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_START_UPDATE)));
        PumpMessages();
    }

    ScopedTempDir dir{"qf start "};
    std::string saved;
    std::vector<std::string> served, keys;
    FakeRecord record;
    std::unique_ptr<CMainDlg> window;
    HWND hwnd = nullptr;
};

TEST_F(StartCommand, HandsTheCheckedRowsToTheRunInRowOrder) {
    ServeFixture("fake_security.exe", "sc_a.exe");
    ServeFixture("fake_hotfix.exe", "sc_b.exe");
    ServeFixture("fake_gdiplus.exe", "sc_c.exe");
    keys = {"KB990407", "KB990403", "KB990408"};
    WriteCatalog(Entry(1, "가 업데이트", "sc_a.exe", "KB990407") +
                     Entry(2, "나 업데이트", "sc_b.exe", "KB990403") +
                     Entry(3, "다 업데이트", "sc_c.exe", "KB990408") + "CMDLINE=/passive\r\n",
                 3);
    Open();
    ASSERT_EQ(List().GetItemCount(), 3);
    List().SetCheck(1, false);

    RunCloser closer(::GetCurrentProcessId());
    PressStart();
    closer.Wait();
    ASSERT_EQ(closer.logs.size(), 1u);
    const std::string& log = closer.logs[0];
    size_t first = log.find("[1/2] 가 업데이트 를 다운로드 하고 있습니다.");
    size_t second = log.find("[2/2] 다 업데이트 를 다운로드 하고 있습니다.");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(second, std::string::npos) << log;
    EXPECT_LT(first, second);
    EXPECT_EQ(log.find("나 업데이트"), std::string::npos);

    std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"" + dir.File("UPDATES\\sc_a.exe") + "\" -q -z");
    EXPECT_EQ(lines[1], "\"" + dir.File("UPDATES\\sc_c.exe") + "\" /passive");

    // After the run the list is evaluated again: the two installed updates
    // are hidden, and the row unchecked before the run comes back checked.
    ASSERT_TRUE(WaitFor([&] { return List().GetItemCount() == 1; }, 10000));
    EXPECT_EQ(List().GetItemText(0, 0), "나 업데이트");
    EXPECT_TRUE(List().GetCheck(0));
}

TEST_F(StartCommand, AsksToQuitAfterEveryRunThatLeavesTheListEmpty) {
    ServeFixture("fake_cabinet.exe", "sc_only.exe");
    keys = {"KB990404"};
    WriteCatalog(Entry(1, "유일한 업데이트", "sc_only.exe", "KB990404"), 1);
    Open();
    ASSERT_EQ(List().GetItemCount(), 1);

    for (int run = 0; run < 2; ++run) {
        // The second run has no checked row: it has nothing to do.
        RunCloser closer(::GetCurrentProcessId());
        BoxSequence question(MainCaption(), {IDNO}, 60000);
        PressStart();
        closer.Wait();
        ASSERT_EQ(question.Wait().size(), 1u) << "run " << run + 1;
        EXPECT_EQ(question.Texts()[0], "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?");
        ASSERT_EQ(closer.logs.size(), 1u);
        if (run == 1) {
            EXPECT_EQ(closer.logs[0], "다운로드 및 설치할 항목이 없습니다.");
        }
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(List().GetItemCount(), 0);
    }
}

TEST_F(StartCommand, EnterStartsARunEvenWithTheStartButtonDisabled) {
    WriteCatalog("", 0);
    Open({IDNO});
    ::EnableWindow(::GetDlgItem(hwnd, IDC_START_UPDATE), FALSE);
    RunCloser closer(::GetCurrentProcessId());
    BoxSequence question(MainCaption(), {IDNO}, 60000);
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PumpMessages();
    closer.Wait();
    ASSERT_EQ(closer.logs.size(), 1u);
    EXPECT_EQ(closer.logs[0], "다운로드 및 설치할 항목이 없습니다.");
    question.Wait();
}

// The whole road in the real program: the list from the catalog, the start
// button, downloads from the server, the silent installers (a real MSI
// package among them), and the list evaluated again afterwards.
TEST_F(StartCommand, EndToEndInTheRealProgram) {
    ServeFixture("fake_security.exe", "e2e_security.exe");
    ServeFixture("fake_hotfix.exe", "e2e_hotfix.exe");
    ServeFixture("test_package.msi", "e2e_package.msi");
    keys = {"KB990407", "KB990403"};
    std::string entries = Entry(1, "보안 업데이트 (KB990407)", "e2e_security.exe", "KB990407") +
                          Entry(2, "핫픽스 (KB990403)", "e2e_hotfix.exe", "KB990403") +
                          Entry(3, "설치 관리자 패키지", "e2e_package.msi", kTestMsiProductCode) +
                          "[4]\r\nTITLE=이미 설치된 업데이트\r\nREGKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\r\n";
    WriteCatalog(entries, 4);
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\Quellfix.exe").c_str(), dir.File("Quellfix.exe").c_str(),
                            FALSE));

    TestProcess app("\"" + dir.File("Quellfix.exe") + "\"", dir.Path());
    ASSERT_TRUE(app.Started());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindProcessDialog(app.Pid(), MainCaption())) != nullptr; },
                        60000));
    HWND list = ::GetDlgItem(main, IDC_UPDATE_LIST);
    std::vector<RemoteRow> rows;
    ASSERT_TRUE(WaitFor([&] { return (rows = ReadRemoteList(list)).size() == 3; }, 60000));
    EXPECT_EQ(rows[0].text, "보안 업데이트 (KB990407)");
    EXPECT_EQ(rows[2].text, "설치 관리자 패키지");
    SaveWindowPicture(main, "main_window");

    RunCloser closer(app.Pid());
    closer.beforeClose = [](HWND run) { SaveWindowPicture(run, "run_window"); };
    ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_START_UPDATE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, IDC_START_UPDATE)));
    closer.Wait();
    ASSERT_EQ(closer.logs.size(), 1u);
    EXPECT_NE(closer.logs[0].find("[3/3] 설치 관리자 패키지 를 설치하고 있습니다...  설치 완료\r\n\r\n"),
              std::string::npos)
        << closer.logs[0];

    std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"" + dir.File("UPDATES\\e2e_security.exe") + "\" -q -z");
    EXPECT_EQ(lines[1], "\"" + dir.File("UPDATES\\e2e_hotfix.exe") + "\" /quiet /norestart");
    EXPECT_TRUE(UninstallKeyExists(kTestMsiProductCode));

    // Everything installed now: the list empties and the program asks to quit.
    BoxSequence question(MainCaption(), {IDYES}, 60000, app.Pid());
    EXPECT_EQ(question.Wait().size(), 1u);
    EXPECT_TRUE(app.WaitExit(30000));

    TestProcess uninstall(std::string("msiexec /x ") + kTestMsiProductCode + " /quiet", "");
    uninstall.WaitExit(120000);
}

}  // namespace
