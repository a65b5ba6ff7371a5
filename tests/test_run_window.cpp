// The run window against the test HTTP server and fake installers: the log
// of a whole run of odd downloads and installer outcomes, the progress bar,
// keys that must not close it, and cancelling during the downloads and
// during a stuck install.
#include <gtest/gtest.h>

#include <memory>

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
    bool WaitFinished(DWORD ms = 60000) { return WaitFor([&] { return Text(IDCANCEL) == "닫기"; }, ms); }
    bool WaitLogContains(const std::string& text) {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, 60000);
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

// A whole run of odd downloads and every installer outcome, logged piece by
// piece. A failed download is never installed, even with a stale file in its
// place; a transfer whose data stops fails after the receive limit, its
// ".part" kept, and the run goes on; a file already present is not fetched
// again but still logged and stepped; a server that gives no size still
// delivers, over an empty file. Each installer gets its own silent switches,
// its path quoted; a restart needed is said once, at the end.
TEST_F(RunWindow, LogsAWholeRunOfOddDownloadsAndInstallerOutcomes) {
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_unknown.exe").c_str(),
                            (updates + "\\rw_missing.exe").c_str(), FALSE));
    Serve("fake_security.exe", "rw_stall.exe");
    long present = Serve("fake_cabinet.exe", "rw_present.exe");
    ASSERT_TRUE(::CopyFileA((HttpRoot() + "\\rw_present.exe").c_str(),
                            (updates + "\\rw_present.exe").c_str(), FALSE));
    long sizeless = Serve("fake_hotfix.exe", "rw_nosize.exe");
    ASSERT_TRUE(WriteBytes(updates + "\\rw_nosize.exe", ""));
    long restart = Serve("fake_sfxcab.exe", "rw_restart.exe");  // exits 3010
    long fails = Serve("fake_unknown.exe", "rw_fails.exe");     // exits 7
    program.ServeBytes("rw_notprogram.exe", std::string(2048, 'x'));
    program.keys = {"KB990404", "KB990403", "KB990402", "KB990409"};
    const struct {
        const char* title;
        const char* file;
        const char* query;
        const char* installed;  // the rest of its line under installing
    } items[] = {
        {"없는 업데이트", "rw_missing.exe", "", " 는 다운로드에 실패하여 설치하지 않습니다."},
        {"멈춤", "rw_stall.exe", "?stall=2048", " 는 다운로드에 실패하여 설치하지 않습니다."},
        {"이미 받은 업데이트", "rw_present.exe", "", " 를 설치하고 있습니다...  설치 완료"},
        {"크기 없는 업데이트", "rw_nosize.exe", "?nolength=1", " 를 설치하고 있습니다...  설치 완료"},
        {"재시작", "rw_restart.exe", "", " 를 설치하고 있습니다...  설치 완료 (재시작 필요)"},
        {"실패", "rw_fails.exe", "", " 를 설치하고 있습니다...  설치 실패 (종료 코드 7)"},
        {"실행 불가", "rw_notprogram.exe", "", " 를 설치하고 있습니다...  설치 실패 (실행할 수 없음)"},
    };
    const long sizes[] = {0, 0, present, 0, restart, fails, 2048};
    std::string downloads, installs;
    for (size_t i = 0; i < 7; ++i) {
        Add(items[i].title, items[i].file, items[i].query);
        const std::string n = "[" + std::to_string(i + 1) + "/7] " + items[i].title;
        if (i >= 2)
            downloads += n + " 를 다운로드 하고 있습니다.  (파일 크기 : " + KB(sizes[i]) +
                         " KB)\r\n다운로드 완료.\r\n\r\n";
        installs += n + items[i].installed + "\r\n\r\n";
    }
    Start();
    ASSERT_TRUE(WaitFinished(120000));
    const std::string expected = downloads + kInstallStart + installs +
                                 "일부 업데이트는 윈도우를 다시 시작해야 적용됩니다.\r\n";
    const std::string log = Log();
    EXPECT_EQ(log.rfind("[1/7] 없는 업데이트 를 다운로드 하고 있습니다.  (파일 크기 : ", 0), 0u) << log;
    EXPECT_NE(log.find(" KB)\r\n다운로드 실패.\r\n\r\n[2/7] 멈춤 를 다운로드 하고 있습니다.  (파일 크기 : "),
              std::string::npos) << log;
    EXPECT_NE(log.find(" KB)\r\n다운로드 실패.\r\n\r\n[3/7]"), std::string::npos) << log;
    ASSERT_NE(log.find("[3/7]"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.find("[3/7]")), expected);
    EXPECT_EQ(Text(IDC_RUN_STATUS), "다운로드가 모두 완료되었습니다.");
    EXPECT_EQ(TotalPos(), 14);
    EXPECT_EQ(Requests("rw_present.exe"), 1);  // only its size was asked for
    EXPECT_EQ(FileSize(updates + "\\rw_nosize.exe"), sizeless);
    EXPECT_EQ(FileSize(updates + "\\rw_restart.exe"), restart);
    EXPECT_EQ(FileSize(updates + "\\rw_stall.exe.part"), 2048);
    EXPECT_FALSE(FileExists(updates + "\\rw_stall.exe"));
    const std::string at = "\"" + updates + "\\";
    EXPECT_EQ(record.Lines(), (std::vector<std::string>{at + "rw_present.exe\" /Q",
                                                        at + "rw_nosize.exe\" /quiet /norestart",
                                                        at + "rw_restart.exe\" /quiet /norestart",
                                                        at + "rw_fails.exe\""}));

    // Covering and uncovering the window starts no second run.
    int before = Requests("rw_restart.exe");
    ::InvalidateRect(hwnd, nullptr, TRUE);
    ::UpdateWindow(hwnd);
    PumpMessages();
    EXPECT_EQ(Log(), log);
    EXPECT_EQ(Requests("rw_restart.exe"), before);

    // Enter does not close it; the close button now does, without asking.
    PressButton(IDOK);
    EXPECT_TRUE(::IsWindow(hwnd));
    PressButton(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(run->Result(), IDCANCEL);
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

// An installer that never ends: the log says so at each interval, the bar
// half full (both downloads done), and Yes to the cancel question stops
// waiting for it (it is left running) and ends the run; the window then
// closes at once.
TEST_F(RunWindow, AStuckInstallerCanBeLeftBehind) {
    Serve("fake_hang.exe", "rw_hang.exe");
    Serve("fake_security.exe", "rw_after.exe");
    program.keys = {"KB990413", "KB990407"};
    Add("멈춘 설치", "rw_hang.exe");
    Add("다음 설치", "rw_after.exe");
    Start();
    ASSERT_TRUE(WaitLogContains("설치 프로그램이 아직 실행 중입니다 (5분 경과)\r\n"));
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETRANGE, FALSE, 0), 4);
    EXPECT_EQ(TotalPos(), 2);
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
