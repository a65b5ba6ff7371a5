// The run window against the test HTTP server and fake installers: the log
// of a whole run, the progress bars, odd downloads, installer outcomes,
// cancelling during the downloads and during the installs, and keys that
// must not close it.
#include <gtest/gtest.h>

#include <memory>

#include "app/Globals.h"
#include "resource.h"
#include "run/RunDlg.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"
#include "ui/Controls.h"
#include "ui/MessageBox.h"

using namespace testing_support;

namespace {

const std::string kInstallStart =
    std::string(65, '-') + "\r\n다운로드가 완료되었습니다. 이제 설치를 시작합니다.\r\n\r\n";
const char kAskCancel[] = "작업이 진행중에 있습니다. 작업을 중단하시겠습니까?";
const char kAskRun[] = "Are you sure to run?";

// A box of this process showing `text` (all the run window's boxes share a title).
HWND FindBox(const std::string& text) {
    return FindMessageBox(AppName(), ::GetCurrentProcessId(), text).hwnd;
}

void Press(HWND box, int id) {
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

// Answers the box showing `text`; the run window's questions run a modal
// loop on the test's thread, so the button is pressed by a SendMessage.
struct Answer : BoxSequence {
    Answer(const char* text, int button)
        : BoxSequence(AppName(), {button}, 30000, ::GetCurrentProcessId(), text) {}
};

class RunWindow : public ::testing::Test {
protected:
    void SetUp() override { ::CreateDirectoryA(updates.c_str(), nullptr); }
    void TearDown() override { run.reset(); }
    // Serves a fixture padded to whole 100 KB, so the logged sizes are exact.
    long Serve(const std::string& fixture, const std::string& name) {
        return program.Serve(fixture, name, true);
    }
    void Add(const std::string& title, const std::string& file, const std::string& query = "") {
        run->m_arrTitles.push_back(title);
        run->m_arrUrls.push_back(HttpUrl(file + query));
        run->m_arrPaths.push_back(updates + "\\" + file);
        run->m_arrCmdLines.push_back("");
    }
    // Shows the window: its first paint starts the run.
    void Start() {
        hwnd = run->Create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        ::ShowWindow(hwnd, SW_SHOW);
        ::UpdateWindow(hwnd);
    }
    std::string Text(int id) const { return Control(::GetDlgItem(hwnd, id)).GetText(); }
    std::string Log() const { return Text(IDC_RUN_LOG); }
    int TotalPos() const {
        return static_cast<int>(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETPOS, 0, 0));
    }
    void PressButton(int id) { ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool WaitFinished() { return WaitFor([&] { return Text(IDCANCEL) == "닫기"; }, 60000); }
    bool WaitLogContains(const std::string& text) {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, 60000);
    }
    HWND WaitBox(const std::string& text) {
        HWND box = nullptr;
        WaitFor([&] { return (box = FindBox(text)) != nullptr; }, 30000);
        return box;
    }
    int Requests(const std::string& file) const {
        int n = 0;
        for (const std::string& line : HttpRequests()) n += line.find("/" + file) != std::string::npos;
        return n;
    }
    static std::string KB(long bytes) { return std::to_string(bytes / 1024); }

    ProgramFolder program;
    std::string updates = program.dir.File("UPDATES");
    FakeRecord record;
    std::unique_ptr<CRunDlg> run{new CRunDlg};
    HWND hwnd = nullptr;
};

TEST_F(RunWindow, LogsATwoUpdateRunPieceByPiece) {
    long a = Serve("fake_security.exe", "rw_a.exe");
    long b = Serve("fake_iexpress.exe", "rw_b.exe");
    program.keys = {"KB990407", "KB990401"};
    Add("보안 업데이트 A", "rw_a.exe");
    Add("보안 업데이트 B", "rw_b.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string expected =
        "[1/2] 보안 업데이트 A 를 다운로드 하고 있습니다.  (파일 크기 : " + KB(a) +
        " KB)\r\n다운로드 완료.\r\n\r\n"
        "[2/2] 보안 업데이트 B 를 다운로드 하고 있습니다.  (파일 크기 : " + KB(b) +
        " KB)\r\n다운로드 완료.\r\n\r\n" + kInstallStart +
        "[1/2] 보안 업데이트 A 를 설치하고 있습니다...  설치 완료\r\n\r\n"
        "[2/2] 보안 업데이트 B 를 설치하고 있습니다...  설치 완료\r\n\r\n";
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(Text(IDC_RUN_STATUS), "다운로드가 모두 완료되었습니다.");
    EXPECT_EQ(TotalPos(), 4);
    // Each installer got its own silent switches, with its path quoted.
    EXPECT_EQ(record.Lines(), (std::vector<std::string>{"\"" + updates + "\\rw_a.exe\" -q -z",
                                                        "\"" + updates + "\\rw_b.exe\" /Q"}));
    EXPECT_EQ(FileSize(updates + "\\rw_a.exe"), a);

    // Covering and uncovering the window starts no second run.
    int before = Requests("rw_a.exe");
    ::InvalidateRect(hwnd, nullptr, TRUE);
    ::UpdateWindow(hwnd);
    PumpMessages();
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(Requests("rw_a.exe"), before);

    // Enter does not close it; the close button now does, without asking.
    PressButton(IDOK);
    EXPECT_TRUE(::IsWindow(hwnd));
    PressButton(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(run->Result(), IDCANCEL);
}

TEST_F(RunWindow, NothingToDoSaysSoAndClosesAtOnePress) {
    Start();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Log(), "다운로드 및 설치할 항목이 없습니다.");
    PressButton(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
}

// A failed download is never installed, even with a stale file in its place;
// a file already present is not fetched again but still logged and stepped;
// a server that gives no size still delivers, over an empty file.
TEST_F(RunWindow, FailedPresentAndSizelessDownloads) {
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_unknown.exe").c_str(),
                            (updates + "\\rw_missing.exe").c_str(), FALSE));
    long present = Serve("fake_cabinet.exe", "rw_present.exe");
    ASSERT_TRUE(::CopyFileA((HttpRoot() + "\\rw_present.exe").c_str(),
                            (updates + "\\rw_present.exe").c_str(), FALSE));
    long sizeless = Serve("fake_hotfix.exe", "rw_nosize.exe");
    ASSERT_TRUE(WriteBytes(updates + "\\rw_nosize.exe", ""));
    program.keys = {"KB990404", "KB990403"};
    Add("없는 업데이트", "rw_missing.exe");
    Add("이미 받은 업데이트", "rw_present.exe");
    Add("크기 없는 업데이트", "rw_nosize.exe", "?nolength=1");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    EXPECT_EQ(log.rfind("[1/3] 없는 업데이트 를 다운로드 하고 있습니다.  (파일 크기 : ", 0), 0u) << log;
    ASSERT_NE(log.find(" KB)\r\n다운로드 실패.\r\n\r\n[2/3]"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.find("[2/3]")),
              "[2/3] 이미 받은 업데이트 를 다운로드 하고 있습니다.  (파일 크기 : " + KB(present) +
                  " KB)\r\n다운로드 완료.\r\n\r\n"
                  "[3/3] 크기 없는 업데이트 를 다운로드 하고 있습니다.  (파일 크기 : 0 KB)\r\n"
                  "다운로드 완료.\r\n\r\n" + kInstallStart +
                  "[1/3] 없는 업데이트 는 다운로드에 실패하여 설치하지 않습니다.\r\n\r\n"
                  "[2/3] 이미 받은 업데이트 를 설치하고 있습니다...  설치 완료\r\n\r\n"
                  "[3/3] 크기 없는 업데이트 를 설치하고 있습니다...  설치 완료\r\n\r\n");
    EXPECT_EQ(Requests("rw_present.exe"), 1);  // only its size was asked for
    EXPECT_EQ(FileSize(updates + "\\rw_nosize.exe"), sizeless);
    EXPECT_EQ(TotalPos(), 6);
    std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("rw_present.exe"), std::string::npos);
    EXPECT_NE(lines[1].find("rw_nosize.exe"), std::string::npos);
}

TEST_F(RunWindow, ReportsEachInstallerOutcome) {
    Serve("fake_sfxcab.exe", "rw_restart.exe");  // exits 3010
    Serve("fake_unknown.exe", "rw_fails.exe");   // exits 7
    program.ServeBytes("rw_notprogram.exe", std::string(2048, 'x'));
    program.keys = {"KB990402", "KB990409"};
    Add("재시작", "rw_restart.exe");
    Add("실패", "rw_fails.exe");
    Add("실행 불가", "rw_notprogram.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    // The restart line ends the log.
    EXPECT_EQ(log.substr(log.find(kInstallStart) + kInstallStart.size()),
              "[1/3] 재시작 를 설치하고 있습니다...  설치 완료 (재시작 필요)\r\n\r\n"
              "[2/3] 실패 를 설치하고 있습니다...  설치 실패 (종료 코드 7)\r\n\r\n"
              "[3/3] 실행 불가 를 설치하고 있습니다...  설치 실패 (실행할 수 없음)\r\n\r\n"
              "일부 업데이트는 윈도우를 다시 시작해야 적용됩니다.\r\n");
}

// No to the question leaves the run going; Yes during the second of three
// downloads lets it finish, then stops before anything is installed.
TEST_F(RunWindow, CancelDuringTheDownloads) {
    for (int i = 0; i < 3; ++i) Serve("fake_security.exe", "rw_c" + std::to_string(i) + ".exe");
    program.keys = {"KB990407"};
    Add("첫째", "rw_c0.exe", "?slow=40");
    Add("둘째", "rw_c1.exe", "?slow=40");
    Add("셋째", "rw_c2.exe");
    Start();
    ASSERT_TRUE(WaitLogContains("[1/3] 첫째 를 다운로드"));
    Answer no(kAskCancel, IDNO);
    PressButton(IDCANCEL);
    EXPECT_EQ(no.Wait().size(), 1u);
    ASSERT_TRUE(WaitLogContains("[2/3] 둘째 를 다운로드 하고 있습니다."));
    EXPECT_EQ(Log().find("작업이 취소되었습니다."), std::string::npos);
    Answer yes(kAskCancel, IDYES);
    PressButton(IDCANCEL);
    EXPECT_EQ(yes.Wait().size(), 1u);
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    EXPECT_EQ(log.substr(log.find("[2/3]")),
              "[2/3] 둘째 를 다운로드 하고 있습니다.  (파일 크기 : " +
                  KB(FileSize(HttpRoot() + "\\rw_c1.exe")) +
                  " KB)\r\n다운로드 완료.\r\n\r\n작업이 취소되었습니다.\r\n\r\n");
    EXPECT_EQ(FileSize(updates + "\\rw_c1.exe"), FileSize(HttpRoot() + "\\rw_c1.exe"));
    EXPECT_EQ(Requests("rw_c2.exe"), 0);
    EXPECT_TRUE(record.Lines().empty());
    PressButton(IDCANCEL);  // now closes without a question
    EXPECT_FALSE(::IsWindow(hwnd));
}

// The six-step bar is half full when installing starts; Yes during the
// second of three installs waits for it, then stops.
TEST_F(RunWindow, CancelDuringTheInstalls) {
    for (int i = 1; i <= 3; ++i) {
        std::string name = "rw_i" + std::to_string(i) + ".exe";
        Serve("fake_security.exe", name);
        Add("설치 " + std::to_string(i), name);
    }
    program.keys = {"KB990407"};
    g_bDebug = 1;  // every launch waits for an answer
    Start();
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETRANGE, FALSE, 0), 6);
    HWND box = WaitBox(kAskRun);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TotalPos(), 3);
    Press(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    ASSERT_NE(box = WaitBox(kAskRun), nullptr);
    EXPECT_EQ(TotalPos(), 4);
    Answer yes(kAskCancel, IDYES);
    PressButton(IDCANCEL);
    EXPECT_EQ(yes.Wait().size(), 1u);
    Press(box, IDYES);
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    EXPECT_NE(log.find("[2/3] 설치 2 를 설치하고 있습니다...  설치 완료\r\n\r\n"
                       "\r\n\r\n작업이 취소되었습니다.\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("[3/3] 설치 3 를 설치하고"), std::string::npos);
    EXPECT_EQ(record.Lines().size(), 2u);
}

// A transfer whose data stops fails after the receive limit; the ".part"
// stays, nothing is launched, and the next item still runs.
TEST_F(RunWindow, AStalledDownloadFailsAndTheRunGoesOn) {
    Serve("fake_security.exe", "rw_stall.exe");
    Serve("fake_security.exe", "rw_next.exe");
    program.keys = {"KB990407"};
    Add("멈춤", "rw_stall.exe", "?stall=2048");
    Add("다음", "rw_next.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    const std::string log = Log();
    EXPECT_NE(log.find("[1/2] 멈춤 는 다운로드에 실패하여 설치하지 않습니다."), std::string::npos) << log;
    EXPECT_NE(log.find("[2/2] 다음 를 설치하고 있습니다...  설치 완료"), std::string::npos) << log;
    EXPECT_EQ(FileSize(updates + "\\rw_stall.exe.part"), 2048);
    EXPECT_FALSE(FileExists(updates + "\\rw_stall.exe"));
    ASSERT_EQ(record.Lines().size(), 1u);
    EXPECT_NE(record.Lines()[0].find("rw_next.exe"), std::string::npos);
}

// An installer that never ends: the log says so at each interval, and Yes
// to the cancel question stops waiting for it (it is left running) and ends
// the run; the window then closes at once.
TEST_F(RunWindow, AStuckInstallerCanBeLeftBehind) {
    Serve("fake_hang.exe", "rw_hang.exe");
    Serve("fake_security.exe", "rw_after.exe");
    program.keys = {"KB990413", "KB990407"};
    Add("멈춘 설치", "rw_hang.exe");
    Add("다음 설치", "rw_after.exe");
    Start();
    ASSERT_TRUE(WaitLogContains("설치 프로그램이 아직 실행 중입니다 (5분 경과)\r\n"));
    Answer yes(kAskCancel, IDYES);
    PressButton(IDCANCEL);
    EXPECT_EQ(yes.Wait().size(), 1u);
    ASSERT_TRUE(WaitFinished());
    const std::string log = Log();
    EXPECT_NE(log.find("[1/2] 멈춘 설치 를 설치하고 있습니다...  설치 프로그램이 아직 실행 중입니다 (5분 경과)\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("설치 확인 안 됨 (작업 취소)\r\n\r\n\r\n\r\n작업이 취소되었습니다.\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("[2/2] 다음 설치 를 설치하고"), std::string::npos);
    PressButton(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    // The installer was left running; end it now.
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "QuellfixFakeRelease");
    ::SetEvent(release);
    ::CloseHandle(release);
    EXPECT_EQ(record.Lines().size(), 1u);
}

}  // namespace
