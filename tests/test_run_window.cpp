// The run window against the test HTTP server and fake installers: the log
// of a whole run, the progress bars, files already present, a server that
// gives no size, failed downloads, installer outcomes, cancelling during the
// downloads and during the installs, and keys that must not close it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "app/Globals.h"
#include "resource.h"
#include "run/RunDlg.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "ui/Controls.h"
#include "ui/MessageBox.h"

using namespace testing_support;

namespace {

const std::string kDashes(65, '-');
const std::string kInstallStart = kDashes + "\r\n다운로드가 완료되었습니다. 이제 설치를 시작합니다.\r\n\r\n";

struct BoxFind {
    std::string text;
    HWND found = nullptr;
};

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<BoxFind*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (pid != ::GetCurrentProcessId() || std::string(cls) != "#32770" || !::IsWindowVisible(hwnd))
        return TRUE;
    char text[1024] = {};
    ::GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);
    if (f->text != text) return TRUE;
    f->found = hwnd;
    return FALSE;
}

// A message box of this process showing exactly `text`.
HWND FindBoxWithText(const std::string& text) {
    BoxFind find{text};
    ::EnumWindows(&FindBoxProc, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// Presses `button` in the box showing `text`, from a thread of its own: the
// run window's own questions run a modal loop on the test's thread.
class BoxPresser {
public:
    BoxPresser(std::string text, int button) {
        m_thread = std::thread([this, text, button] {
            HWND box = nullptr;
            if (!WaitFor([&] { return (box = FindBoxWithText(text)) != nullptr; }, 30000)) return;
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
            m_pressed = true;
        });
    }
    // True once the box was pressed (without waiting for it).
    bool Pressed() const { return m_pressed; }
    ~BoxPresser() { Wait(); }
    bool Wait() {
        if (m_thread.joinable()) m_thread.join();
        return m_pressed;
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_pressed{false};
};

void Press(HWND box, int id) {
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

class RunWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedDir = g_strProgramDir;
        g_strProgramDir = programDir.Path();
        g_bDebug = 0;
        updates = programDir.File("UPDATES");
        ::CreateDirectoryA(updates.c_str(), nullptr);
    }
    void TearDown() override {
        run.reset();
        g_bDebug = 0;
        g_strProgramDir = savedDir;
        for (const std::string& name : served) ::DeleteFileA((HttpRoot() + "\\" + name).c_str());
        for (const std::string& key : uninstallKeys) DeleteUninstallKey(key);
    }
    // Serves fixture `fixture` as `name`, padded to a whole number of 100 KB;
    // returns its size.
    long Serve(const std::string& fixture, const std::string& name) {
        bool ok = false;
        std::string bytes = ReadBytes(FixtureFile(fixture), &ok);
        EXPECT_TRUE(ok) << fixture;
        size_t size = (bytes.size() / 102400 + 1) * 102400;
        bytes.resize(size, '\0');
        EXPECT_TRUE(WriteBytes(HttpRoot() + "\\" + name, bytes));
        served.push_back(name);
        return static_cast<long>(size);
    }
    void Add(const std::string& title, const std::string& urlPath, const std::string& file,
             const std::string& cmdLine = "") {
        items.push_back({title, HttpUrl(urlPath), updates + "\\" + file, cmdLine});
    }
    // Creates the window and shows it: its first paint starts the run.
    void Start() {
        run.reset(new CRunDlg);
        for (const Item& item : items) {
            run->m_arrTitles.push_back(item.title);
            run->m_arrUrls.push_back(item.url);
            run->m_arrPaths.push_back(item.path);
            run->m_arrCmdLines.push_back(item.cmdLine);
        }
        hwnd = run->Create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        ::ShowWindow(hwnd, SW_SHOW);
        ::UpdateWindow(hwnd);
    }
    std::string Log() const { return Control(::GetDlgItem(hwnd, IDC_RUN_LOG)).GetText(); }
    std::string ButtonText() const { return Control(::GetDlgItem(hwnd, IDCANCEL)).GetText(); }
    std::string Status() const { return Control(::GetDlgItem(hwnd, IDC_RUN_STATUS)).GetText(); }
    int TotalPos() const {
        return static_cast<int>(::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETPOS, 0, 0));
    }
    int TotalMax() const {
        return static_cast<int>(
            ::SendDlgItemMessageA(hwnd, IDC_PROGRESS_TOTAL, PBM_GETRANGE, FALSE, 0));
    }
    bool WaitFinished(DWORD timeoutMs = 60000) {
        return WaitFor([&] { return ButtonText() == "닫기"; }, timeoutMs);
    }
    bool WaitLogContains(const std::string& text, DWORD timeoutMs = 60000) {
        return WaitFor([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
    }
    HWND WaitBox(const std::string& text, DWORD timeoutMs = 30000) {
        HWND box = nullptr;
        WaitFor([&] { return (box = FindBoxWithText(text)) != nullptr; }, timeoutMs);
        return box;
    }
    int Requests(const std::string& path) const {
        int n = 0;
        for (const std::string& line : HttpRequests())
            if (line.find("/" + path) != std::string::npos) ++n;
        return n;
    }

    struct Item {
        std::string title, url, path, cmdLine;
    };
    ScopedTempDir programDir{"qf run "};
    std::string savedDir, updates;
    std::vector<Item> items;
    std::vector<std::string> served, uninstallKeys;
    FakeRecord record;
    std::unique_ptr<CRunDlg> run;
    HWND hwnd = nullptr;
};

TEST_F(RunWindow, LogsATwoUpdateRunPieceByPiece) {
    long a = Serve("fake_security.exe", "rw_a.exe");
    long b = Serve("fake_iexpress.exe", "rw_b.exe");
    uninstallKeys = {"KB990407", "KB990401"};
    Add("보안 업데이트 A", "rw_a.exe", "rw_a.exe");
    Add("보안 업데이트 B", "rw_b.exe", "rw_b.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string expected =
        "[1/2] 보안 업데이트 A 를 다운로드 하고 있습니다.  (파일 크기 : " + std::to_string(a / 1024) +
        " KB)\r\n다운로드 완료.\r\n\r\n"
        "[2/2] 보안 업데이트 B 를 다운로드 하고 있습니다.  (파일 크기 : " + std::to_string(b / 1024) +
        " KB)\r\n다운로드 완료.\r\n\r\n" + kInstallStart +
        "[1/2] 보안 업데이트 A 를 설치하고 있습니다...  설치 완료\r\n\r\n"
        "[2/2] 보안 업데이트 B 를 설치하고 있습니다...  설치 완료\r\n\r\n";
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(Status(), "다운로드가 모두 완료되었습니다.");
    EXPECT_EQ(TotalPos(), 4);
    // Each installer got its own silent switches, with its path quoted.
    std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"" + updates + "\\rw_a.exe\" -q -z");
    EXPECT_EQ(lines[1], "\"" + updates + "\\rw_b.exe\" /Q");
    EXPECT_EQ(FileSize(updates + "\\rw_a.exe"), a);

    // Covering and uncovering the window starts no second run.
    int before = Requests("rw_a.exe");
    ::InvalidateRect(hwnd, nullptr, TRUE);
    ::UpdateWindow(hwnd);
    PumpMessages();
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(Requests("rw_a.exe"), before);

    // Enter does not close it; the close button now does, without asking.
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindow(hwnd));
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(run->Result(), IDCANCEL);
}

TEST_F(RunWindow, WholeRunBarIsHalfFullWhenInstallingStarts) {
    for (int i = 0; i < 3; ++i) {
        std::string name = "rw_bar" + std::to_string(i) + ".exe";
        Serve("fake_gdiplus.exe", name);
        Add("항목 " + std::to_string(i + 1), name, name);
    }
    uninstallKeys = {"KB990408"};
    // In debug mode every launch waits for the user's answer.
    g_bDebug = 1;
    Start();
    EXPECT_EQ(TotalMax(), 6);
    for (int i = 0; i < 3; ++i) {
        HWND box = WaitBox("Are you sure to run?");
        ASSERT_NE(box, nullptr) << "item " << i + 1;
        EXPECT_EQ(TotalPos(), 3 + i);
        Press(box, IDYES);
        // The next box appears only after this one has gone.
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    }
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(TotalPos(), 6);
    EXPECT_EQ(record.Lines().size(), 3u);
}

TEST_F(RunWindow, NothingToDoSaysSoAndClosesAtOnePress) {
    Start();
    ASSERT_TRUE(WaitFinished(10000));
    EXPECT_EQ(Log(), "다운로드 및 설치할 항목이 없습니다.");
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(RunWindow, PresentFileIsNotFetchedAgainButLoggedAndStepped) {
    long size = Serve("fake_cabinet.exe", "rw_present.exe");
    uninstallKeys = {"KB990404"};
    ASSERT_TRUE(::CopyFileA((HttpRoot() + "\\rw_present.exe").c_str(),
                            (updates + "\\rw_present.exe").c_str(), FALSE));
    Add("이미 받은 업데이트", "rw_present.exe", "rw_present.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    EXPECT_NE(Log().find("(파일 크기 : " + std::to_string(size / 1024) + " KB)\r\n다운로드 완료.\r\n\r\n"),
              std::string::npos);
    // Only the size was asked for.
    EXPECT_EQ(Requests("rw_present.exe"), 1);
    EXPECT_EQ(TotalPos(), 2);
    EXPECT_EQ(record.Lines().size(), 1u);
}

TEST_F(RunWindow, ServerWithoutSizeStillDeliversAndANullFileIsNotTrusted) {
    long size = Serve("fake_hotfix.exe", "rw_nosize.exe");
    uninstallKeys = {"KB990403"};
    // An empty file at the path: without a size from the server it proves nothing.
    ASSERT_TRUE(WriteBytes(updates + "\\rw_nosize.exe", ""));
    Add("크기 없는 업데이트", "rw_nosize.exe?nolength=1", "rw_nosize.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    EXPECT_NE(Log().find("(파일 크기 : 0 KB)\r\n다운로드 완료.\r\n\r\n"), std::string::npos);
    EXPECT_EQ(FileSize(updates + "\\rw_nosize.exe"), size);
    EXPECT_NE(Log().find("설치 완료\r\n\r\n"), std::string::npos);
    EXPECT_EQ(record.Lines().size(), 1u);
}

TEST_F(RunWindow, FailedDownloadIsNeverInstalled) {
    Serve("fake_security.exe", "rw_ok.exe");
    uninstallKeys = {"KB990407"};
    // A stale file where the failed download would go must not be run.
    ASSERT_TRUE(::CopyFileA(FixtureFile("fake_unknown.exe").c_str(),
                            (updates + "\\rw_missing.exe").c_str(), FALSE));
    Add("없는 업데이트", "rw_missing.exe", "rw_missing.exe");
    Add("있는 업데이트", "rw_ok.exe", "rw_ok.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    EXPECT_NE(log.find("[1/2] 없는 업데이트 를 다운로드 하고 있습니다.  (파일 크기 : "),
              std::string::npos);
    EXPECT_NE(log.find(" KB)\r\n다운로드 실패.\r\n\r\n[2/2]"), std::string::npos);
    EXPECT_NE(log.find(kInstallStart +
                       "[1/2] 없는 업데이트 는 다운로드에 실패하여 설치하지 않습니다.\r\n\r\n"
                       "[2/2] 있는 업데이트 를 설치하고 있습니다...  설치 완료\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(TotalPos(), 4);
    std::vector<std::string> lines = record.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("rw_ok.exe"), std::string::npos);
}

TEST_F(RunWindow, ReportsEachInstallerOutcome) {
    Serve("fake_sfxcab.exe", "rw_restart.exe");  // exits 3010
    Serve("fake_unknown.exe", "rw_fails.exe");   // exits 7
    ASSERT_TRUE(WriteBytes(HttpRoot() + "\\rw_notprogram.exe", std::string(2048, 'x')));
    served.push_back("rw_notprogram.exe");
    uninstallKeys = {"KB990402", "KB990409"};
    Add("재시작", "rw_restart.exe", "rw_restart.exe");
    Add("실패", "rw_fails.exe", "rw_fails.exe");
    Add("실행 불가", "rw_notprogram.exe", "rw_notprogram.exe");
    Start();
    ASSERT_TRUE(WaitFinished());
    std::string log = Log();
    EXPECT_NE(log.find("[1/3] 재시작 를 설치하고 있습니다...  설치 완료 (재시작 필요)\r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[2/3] 실패 를 설치하고 있습니다...  설치 실패 (종료 코드 7)\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("[3/3] 실행 불가 를 설치하고 있습니다...  설치 실패 (실행할 수 없음)\r\n\r\n"
                       "일부 업데이트는 윈도우를 다시 시작해야 적용됩니다.\r\n"),
              std::string::npos);
    // The restart line ends the log.
    EXPECT_EQ(log.rfind("적용됩니다.\r\n"), log.size() - std::string("적용됩니다.\r\n").size());
}

TEST_F(RunWindow, CancelDuringTheSecondDownloadFinishesItThenStops) {
    for (int i = 0; i < 3; ++i) Serve("fake_security.exe", "rw_c" + std::to_string(i) + ".exe");
    uninstallKeys = {"KB990407"};
    Add("첫째", "rw_c0.exe", "rw_c0.exe");
    Add("둘째", "rw_c1.exe?slow=40", "rw_c1.exe");
    Add("셋째", "rw_c2.exe", "rw_c2.exe");
    Start();
    ASSERT_TRUE(WaitLogContains("[2/3] 둘째 를 다운로드 하고 있습니다."));
    BoxPresser yes("작업이 진행중에 있습니다. 작업을 중단하시겠습니까?", IDYES);
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(yes.Wait());
    std::string log = Log();
    EXPECT_EQ(log.substr(log.find("[2/3]")),
              "[2/3] 둘째 를 다운로드 하고 있습니다.  (파일 크기 : " +
                  std::to_string(FileSize(HttpRoot() + "\\rw_c1.exe") / 1024) +
                  " KB)\r\n다운로드 완료.\r\n\r\n작업이 취소되었습니다.\r\n\r\n");
    EXPECT_EQ(FileSize(updates + "\\rw_c1.exe"), FileSize(HttpRoot() + "\\rw_c1.exe"));
    EXPECT_EQ(Requests("rw_c2.exe"), 0);
    EXPECT_TRUE(record.Lines().empty());
    // Now the button closes without a question.
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(RunWindow, CancelDuringTheSecondInstallWaitsForItThenStops) {
    for (int i = 0; i < 3; ++i) Serve("fake_security.exe", "rw_i" + std::to_string(i) + ".exe");
    uninstallKeys = {"KB990407"};
    for (int i = 0; i < 3; ++i) {
        std::string name = "rw_i" + std::to_string(i) + ".exe";
        Add("설치 " + std::to_string(i + 1), name, name);
    }
    g_bDebug = 1;
    Start();
    HWND box = WaitBox("Are you sure to run?");
    ASSERT_NE(box, nullptr);
    Press(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    box = WaitBox("Are you sure to run?");  // the second item
    ASSERT_NE(box, nullptr);
    {
        BoxPresser yes("작업이 진행중에 있습니다. 작업을 중단하시겠습니까?", IDYES);
        ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        // The question is answered inside this wait.
        ASSERT_TRUE(WaitFor([&] { return yes.Pressed(); }, 30000));
    }
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

TEST_F(RunWindow, NoToTheCancelQuestionLeavesTheRunGoing) {
    Serve("fake_security.exe", "rw_n0.exe");
    Serve("fake_security.exe", "rw_n1.exe");
    uninstallKeys = {"KB990407"};
    Add("하나", "rw_n0.exe?slow=40", "rw_n0.exe");
    Add("둘", "rw_n1.exe", "rw_n1.exe");
    Start();
    ASSERT_TRUE(WaitLogContains("[1/2] 하나 를 다운로드"));
    BoxPresser no("작업이 진행중에 있습니다. 작업을 중단하시겠습니까?", IDNO);
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(no.Wait());
    EXPECT_EQ(Log().find("작업이 취소되었습니다."), std::string::npos);
    EXPECT_EQ(record.Lines().size(), 2u);
}

}  // namespace
