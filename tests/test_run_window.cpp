// The run window against the test HTTP server and fake installers: the log
// of a whole run of odd downloads and installer outcomes, the progress bar,
// keys that must not close it, and cancelling during the downloads and
// during a stuck install.
#include <gtest/gtest.h>

#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

// A whole run of odd downloads and every installer outcome. A failed
// download is never installed, even with a stale file in its place; a
// transfer whose data stops fails after the receive limit, its ".part" kept,
// and the run goes on; a file already present is not fetched again but still
// logged and stepped; a server that gives no size still delivers, over an
// empty file. Each installer gets its own silent switches, its path quoted;
// a restart needed is said once, at the end.
TEST_F(RunWindowTest, LogsAWholeRunOfOddDownloadsAndInstallerOutcomes) {
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_unknown.exe").c_str(),
                            (updates + "\\rw_missing.exe").c_str(), FALSE));
    const long stall = program.Serve("fake_security.exe", "rw_stall.exe", true);
    const long present = program.Serve("fake_cabinet.exe", "rw_present.exe", true);
    ASSERT_TRUE(::CopyFileA((HttpRoot() + "\\rw_present.exe").c_str(),
                            (updates + "\\rw_present.exe").c_str(), FALSE));
    program.Serve("fake_hotfix.exe", "rw_nosize.exe", true);
    ASSERT_TRUE(WriteBytes(updates + "\\rw_nosize.exe", ""));
    const long restart = program.Serve("fake_sfxcab.exe", "rw_restart.exe", true);  // exits 3010
    const long fails = program.Serve("fake_unknown.exe", "rw_fails.exe", true);     // exits 7
    program.ServeBytes("rw_notprogram.exe", std::string(2048, 'x'));
    program.keys = {"KB990404", "KB990403", "KB990402", "KB990409"};
    const struct {
        const char* title;
        const char* url;
        long size;            // logged while downloading
        const char* outcome;  // under installing; nullptr: its download failed
    } items[] = {
        {"없는 업데이트", "rw_missing.exe", 0, nullptr},
        {"멈춤", "rw_stall.exe?stall=2048", stall, nullptr},
        {"이미 받은 업데이트", "rw_present.exe", present, "설치 완료"},
        {"크기 없는 업데이트", "rw_nosize.exe?nolength=1", 0, "설치 완료"},
        {"재시작", "rw_restart.exe", restart, "설치 완료 (재시작 필요)"},
        {"실패", "rw_fails.exe", fails, "설치 실패 (종료 코드 7)"},
        {"실행 불가", "rw_notprogram.exe", 2048, "설치 실패 (실행할 수 없음)"},
    };
    std::string downloads, installs;
    for (size_t i = 0; i < 7; ++i) {
        const auto& item = items[i];
        Add(item.title, item.url);
        const std::string n = "[" + std::to_string(i + 1) + "/7] " + item.title;
        downloads += n + " 를 다운로드 하고 있습니다.  (파일 크기 : " + std::to_string(item.size / 1024) + " KB)\r\n" +
                     (item.outcome ? "다운로드 완료." : "다운로드 실패.") + "\r\n\r\n";
        installs += n + (item.outcome ? " 를 설치하고 있습니다...  " + std::string(item.outcome)
                                      : std::string(" 는 다운로드에 실패하여 설치하지 않습니다.")) +
                    "\r\n\r\n";
    }
    Start();
    ASSERT_TRUE(WaitFinished(120000));
    const std::string log = Log();
    EXPECT_EQ(log, downloads + std::string(65, '-') +
                       "\r\n다운로드가 완료되었습니다. 이제 설치를 시작합니다.\r\n\r\n" + installs +
                       "일부 업데이트는 윈도우를 다시 시작해야 적용됩니다.\r\n");
    EXPECT_EQ(Text(IDC_RUN_STATUS), "다운로드가 모두 완료되었습니다.");
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETPOS, 0, 0), 14);
    EXPECT_EQ(Requests("/rw_present.exe"), 1) << "only its size is asked for";
    EXPECT_EQ(FileSize(updates + "\\rw_stall.exe.part"), 2048);
    EXPECT_FALSE(FileExists(updates + "\\rw_stall.exe"));
    const std::string at = "\"" + updates + "\\";
    EXPECT_EQ(record.Lines(), (std::vector<std::string>{at + "rw_present.exe\" /Q",
                                                        at + "rw_nosize.exe\" /quiet /norestart",
                                                        at + "rw_restart.exe\" /quiet /norestart",
                                                        at + "rw_fails.exe\""}));

    // Covering and uncovering the window starts no second run.
    ::InvalidateRect(hwnd, nullptr, TRUE);
    ::UpdateWindow(hwnd);
    PumpMessages();
    EXPECT_EQ(Log(), log);

    // Enter does not close it; the close button now does, without asking.
    Press(IDOK);
    EXPECT_TRUE(::IsWindow(hwnd));
    Press(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(run.Result(), IDCANCEL);
}

// No to the question leaves the run going; Yes during the second of three
// downloads lets it finish, then stops before anything is installed.
TEST_F(RunWindowTest, CancelDuringTheDownloads) {
    long second = 0;
    for (int i = 0; i < 3; ++i) second = program.Serve("fake_security.exe", "rw_c" + std::to_string(i) + ".exe", true);
    program.keys = {"KB990407"};
    Add("첫째", "rw_c0.exe?slow=40");
    Add("둘째", "rw_c1.exe?slow=40");
    Add("셋째", "rw_c2.exe");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Log().find("[1/3] 첫째 를 다운로드") != std::string::npos; }, 60000));
    EXPECT_EQ(CancelAnswering(IDNO), 1u);
    ASSERT_TRUE(WaitFor([&] { return Log().find("[2/3] 둘째 를 다운로드") != std::string::npos; }, 60000))
        << "No leaves the run going";
    EXPECT_EQ(CancelAnswering(IDYES), 1u);
    ASSERT_TRUE(WaitFinished());
    const std::string log = Log();
    EXPECT_EQ(log.substr(log.find("[2/3]")), "[2/3] 둘째 를 다운로드 하고 있습니다.  (파일 크기 : " +
                                                 std::to_string(second / 1024) + " KB)\r\n다운로드 완료.\r\n\r\n"
                                                 "작업이 취소되었습니다.\r\n\r\n");
    EXPECT_EQ(FileSize(updates + "\\rw_c1.exe"), second) << "the second file is fetched to its end";
    EXPECT_EQ(Requests("/rw_c2.exe"), 0);
    EXPECT_TRUE(record.Lines().empty());
    Press(IDCANCEL);  // now closes without a question
    EXPECT_FALSE(::IsWindow(hwnd));
}

// An installer that never ends: the log says so at each interval, the bar
// half full (both downloads done), and Yes to the cancel question stops
// waiting for it (it is left running) and ends the run; the window then
// closes at once.
TEST_F(RunWindowTest, AStuckInstallerCanBeLeftBehind) {
    program.Serve("fake_hang.exe", "rw_hang.exe", true);
    program.Serve("fake_security.exe", "rw_after.exe", true);
    program.keys = {"KB990413", "KB990407"};
    Add("멈춘 설치", "rw_hang.exe");
    Add("다음 설치", "rw_after.exe");
    Start();
    const std::string still = "[1/2] 멈춘 설치 를 설치하고 있습니다...  설치 프로그램이 아직 실행 중입니다 (5분 경과)\r\n";
    ASSERT_TRUE(WaitFor([&] { return Log().find(still) != std::string::npos; }, 60000)) << Log();
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETRANGE, FALSE, 0), 4);
    EXPECT_EQ(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETPOS, 0, 0), 2);
    EXPECT_EQ(CancelAnswering(IDYES), 1u);
    ASSERT_TRUE(WaitFinished());
    const std::string log = Log();
    EXPECT_NE(log.find("설치 확인 안 됨 (작업 취소)\r\n\r\n\r\n\r\n작업이 취소되었습니다.\r\n\r\n"),
              std::string::npos) << log;
    EXPECT_EQ(log.find("[2/2] 다음 설치 를 설치하고"), std::string::npos) << "the next one is not run";
    Press(IDCANCEL);
    EXPECT_FALSE(::IsWindow(hwnd));
    // The installer was left running; end it now.
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "QuellfixFakeRelease");
    ::SetEvent(release);
    ::CloseHandle(release);
    EXPECT_EQ(record.Lines().size(), 1u);
}

}  // namespace
