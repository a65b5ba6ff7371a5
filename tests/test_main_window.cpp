// The main window under Wine, created in this process and driven by
// messages: the inventory lines, the rows of a planted catalog against
// planted installed-update records, the hide-installed box, select and
// deselect all, the language mismatch, the question to quit, the start of a
// run with the checked rows, and the item menu.
#include <gtest/gtest.h>

#include <thread>

#include "app/Globals.h"
#include "app/MainDlg.h"
#include "inventory/Detection.h"
#include "resource.h"
#include "support/InventorySupport.h"
#include "support/RunFixtures.h"
#include "support/WindowDriving.h"

using namespace testing_support;

namespace {

const char kAskQuit[] = "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A registry key under HKLM for the test's life.
struct PlantedKey : RegistryBackup {
    explicit PlantedKey(const std::string& path) : RegistryBackup(HKEY_LOCAL_MACHINE, path) {
        EXPECT_TRUE(PlantKey(HKEY_LOCAL_MACHINE, path)) << path;
    }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { g_bDebug = 1; }  // evaluates the local catalog, fetches none
    void TearDown() override { window.reset(); }
    void WriteCatalog(const std::string& entries, int count, int language = -1) {
        ASSERT_TRUE(WriteBytes(program.dir.File("quellfix.ini"), CatalogText(entries, count, language)));
    }
    // Opens the window; `buttons` answer the boxes it shows while opening.
    std::vector<std::string> Open(std::vector<int> buttons = {}) {
        window.reset(new CMainDlg);
        BoxSequence boxes(MainWindowCaption(), buttons, buttons.empty() ? 0 : 30000);
        hwnd = window->Create(nullptr);
        return boxes.Wait();
    }
    ListView List() const { return ListView(::GetDlgItem(hwnd, IDC_UPDATE_LIST)); }
    Button Control(int id) const { return Button(::GetDlgItem(hwnd, id)); }
    void Click(int id) {
        ::SendMessageA(::GetDlgItem(hwnd, id), BM_CLICK, 0, 0);
        PumpMessages();
    }
    std::vector<RemoteRow> Rows() const { return ReadRemoteList(List().GetHwnd()); }
    std::vector<bool> Checks() const {
        std::vector<bool> checks;
        for (const RemoteRow& row : Rows()) checks.push_back(row.checked);
        return checks;
    }

    ProgramFolder program;
    std::unique_ptr<CMainDlg> window;
    HWND hwnd = nullptr;
};

// Five entries: two missing, one installed by an uninstall record, one by a
// registry key, one application.
const char kEntries[] =
    "[1]\r\nTITLE=보안 업데이트 A\r\nREGKEY=QFTEST-KB100001\r\n"
    "[2]\r\nTITLE=보안 업데이트 B\r\nREGKEY=qftest-kb100002\r\n"
    "[3]\r\nTITLE=Application\r\nTYPE=application\r\n"
    "[4]\r\nTITLE=보안 업데이트 D\r\nREGKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\QuellfixTest\\Present\r\n"
    "[5]\r\nTITLE=보안 업데이트 E\r\nIEVER=0\r\n";

TEST_F(MainWindow, ShowsTheInventoryAndTheCatalogRowsInOrder) {
    PlantedKey record(std::string(kUninstall) + "QFTEST-KB100002-IE7");
    PlantedKey present("SOFTWARE\\QuellfixTest\\Present");
    WriteCatalog(kEntries, 5);
    EXPECT_TRUE(Open().empty());
    ASSERT_NE(hwnd, nullptr);

    SystemProfile profile;
    InventoryTexts texts = RunInventory(profile);
    char os[1024] = {}, summary[2048] = {};
    ::GetDlgItemTextA(hwnd, IDC_OS_NAME, os, sizeof os);
    ::GetDlgItemTextA(hwnd, IDC_SUMMARY, summary, sizeof summary);
    EXPECT_EQ(os, texts.osName);
    EXPECT_EQ(summary, texts.summary);

    // Hide installed is set by default: only the missing updates, checked.
    const std::vector<RemoteRow> missing = {{"보안 업데이트 A", "설치안됨", true, 1},
                                            {"보안 업데이트 E", "설치안됨", true, 5}};
    EXPECT_TRUE(Control(IDC_HIDE_INSTALLED).IsChecked());
    EXPECT_EQ(Rows(), missing);

    // Showing installed updates adds them, unchecked, in catalog order.
    Click(IDC_HIDE_INSTALLED);
    const std::vector<RemoteRow> all = {{"보안 업데이트 A", "설치안됨", true, 1},
                                        {"보안 업데이트 B", "설치됨", false, 2},
                                        {"보안 업데이트 D", "설치됨", false, 4},
                                        {"보안 업데이트 E", "설치안됨", true, 5}};
    EXPECT_EQ(Rows(), all);

    // Select all checks installed rows too; deselect all clears every row.
    Click(IDC_SELECT_ALL);
    EXPECT_EQ(Checks(), std::vector<bool>(4, true));
    Click(IDC_DESELECT_ALL);
    EXPECT_EQ(Checks(), std::vector<bool>(4, false));

    // Toggling twice re-evaluates the rows: the user's check marks are lost.
    Click(IDC_HIDE_INSTALLED);
    Click(IDC_HIDE_INSTALLED);
    EXPECT_EQ(Rows(), all);
    Click(IDC_HIDE_INSTALLED);
    EXPECT_EQ(Rows(), missing);
}

// A catalog for another edition, or in debug mode none at all: the mismatch
// names both editions, the question to quit follows, and start stays
// disabled even once a matching catalog fills the list.
TEST_F(MainWindow, LanguageMismatchDisablesStartForGood) {
    for (const char* edition : {"알 수 없음", "영문판"}) {
        if (std::string(edition) == "영문판") WriteCatalog(kEntries, 5, 9);
        EXPECT_EQ(Open({IDOK, IDNO}), (std::vector<std::string>{"현재 운영체제(" + GetLanguageName(SystemLanguage()) +
                                                                     ")에는 이 언어(" + edition +
                                                                     ")의 업데이트를 설치하실 수 없습니다",
                                                                 kAskQuit}));
        ASSERT_TRUE(::IsWindow(hwnd));
        EXPECT_FALSE(Control(IDC_START_UPDATE).IsEnabled());
        EXPECT_EQ(List().GetItemCount(), 0);
    }
    WriteCatalog(kEntries, 5);
    Click(IDC_HIDE_INSTALLED);
    EXPECT_GT(List().GetItemCount(), 0);
    EXPECT_FALSE(Control(IDC_START_UPDATE).IsEnabled());
}

// COUNT decides the rows: none for 0, empty rows beyond the sections. An
// empty list (everything installed too) asks to quit: No leaves the window
// open, Yes closes it.
TEST_F(MainWindow, CountDecidesTheRowsAndAnEmptyListAsksToQuit) {
    WriteCatalog(kEntries, 0);
    EXPECT_EQ(Open({IDNO}), std::vector<std::string>{kAskQuit});
    EXPECT_TRUE(::IsWindow(hwnd));
    WriteCatalog("[1]\r\nTITLE=only\r\n", 3);
    EXPECT_TRUE(Open().empty());
    EXPECT_EQ(Rows(), (std::vector<RemoteRow>{{"only", "설치안됨", true, 1},
                                             {"", "설치안됨", true, 2},
                                             {"", "설치안됨", true, 3}}));
    PlantedKey record(std::string(kUninstall) + "QFTEST-KB100001");
    WriteCatalog("[1]\r\nTITLE=A\r\nREGKEY=QFTEST-KB100001\r\n[2]\r\nENABLE=0\r\n", 2);
    EXPECT_EQ(Open({IDYES}), std::vector<std::string>{kAskQuit});
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(hwnd); }, 5000));
    EXPECT_EQ(window->Result(), IDCANCEL);
}

// Closes this process's run window once its run is over, as a user would,
// keeping its log; on a thread of its own.
struct RunCloser {
    RunCloser()
        : thread([this] {
              HWND run = nullptr;
              auto text = [&](int id) { return Control(::GetDlgItem(run, id)).GetText(); };
              if (WaitFor([&] { return (run = FindProcessDialog(::GetCurrentProcessId(), "업데이트 중...")); }, 60000) &&
                  WaitFor([&] { return text(IDCANCEL) == "닫기"; }, 120000)) {
                  log = text(IDC_RUN_LOG);
                  ::PostMessageA(run, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(::GetDlgItem(run, IDCANCEL)));
              }
          }) {}
    const std::string& Wait() {
        if (thread.joinable()) thread.join();
        return log;
    }
    std::string log;
    std::thread thread;
};

// The checked rows go to the run in row order, each with its switches; the
// list is evaluated again after each run. A run that leaves the list empty
// asks to quit, and so does a later one started by Enter with the start
// button disabled, which has no checked row and so nothing to do; No keeps
// the window.
TEST_F(MainWindow, RunsTheCheckedRowsAndAsksToQuitOnceTheListIsEmpty) {
    FakeRecord record;
    program.Serve("fake_security.exe", "sc_a.exe");
    program.Serve("fake_hotfix.exe", "sc_b.exe");
    program.Serve("fake_gdiplus.exe", "sc_c.exe");
    program.keys = {"KB990407", "KB990403", "KB990408"};
    WriteCatalog(CatalogEntry(1, "가 업데이트", "sc_a.exe", "KB990407") +
                     CatalogEntry(2, "나 업데이트", "sc_b.exe", "KB990403") +
                     CatalogEntry(3, "다 업데이트", "sc_c.exe", "KB990408") + "CMDLINE=/passive\r\n",
                 3);
    EXPECT_TRUE(Open().empty());
    ASSERT_EQ(List().GetItemCount(), 3);
    List().SetCheck(1, false);
    g_bDebug = 0;  // no question before each installer
    RunCloser closer;
    Click(IDC_START_UPDATE);
    const std::string& log = closer.Wait();
    size_t first = log.find("[1/2] 가 업데이트 를 다운로드 하고 있습니다.");
    size_t second = log.find("[2/2] 다 업데이트 를 다운로드 하고 있습니다.");
    EXPECT_TRUE(first < second && second != std::string::npos) << log;
    EXPECT_EQ(log.find("나 업데이트"), std::string::npos);
    EXPECT_EQ(record.Lines(), (std::vector<std::string>{
                                  "\"" + program.dir.File("UPDATES\\sc_a.exe") + "\" -q -z",
                                  "\"" + program.dir.File("UPDATES\\sc_c.exe") + "\" /passive"}));
    // The installed two hidden, and the row unchecked before the run back checked.
    EXPECT_EQ(Rows(), (std::vector<RemoteRow>{{"나 업데이트", "설치안됨", true, 2}}));

    for (int run = 1; run <= 2; ++run) {
        RunCloser closer;
        BoxSequence question(MainWindowCaption(), {IDNO}, 60000);
        if (run == 2) ::EnableWindow(::GetDlgItem(hwnd, IDC_START_UPDATE), FALSE);
        ::SendMessageA(hwnd, WM_COMMAND, run == 1 ? IDC_START_UPDATE : IDOK, 0);
        std::string log = closer.Wait();
        EXPECT_TRUE(run == 1 ? log.find("[1/1] 나 업데이트 를 설치하고") != std::string::npos
                             : log == "다운로드 및 설치할 항목이 없습니다.") << log;
        EXPECT_EQ(question.Wait(), std::vector<std::string>{kAskQuit}) << "run " << run;
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(List().GetItemCount(), 0);
    }
}

// --- The item menu and its commands -------------------------------------------

HWND FindPopupMenu() { return FindProcessDialog(::GetCurrentProcessId(), "", "#32768"); }

class ItemMenu : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        for (int i = 0; i < 2000; ++i) description += static_cast<char>('a' + i % 26);
        std::string article = program.dir.File("article.exe");
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), article.c_str(), FALSE));
        program.keys = {"KB990404"};
        WriteCatalog("[1]\r\nTITLE=one\r\nDESCRIPTION=first\r\nARTICLE=http://127.0.0.1:1/one\r\n"
                     "[2]\r\nTITLE=two\r\nDESCRIPTION=" + description + "\r\nARTICLE=" + article + "\r\n"
                     "[3]\r\nTITLE=three\r\n[4]\r\nTITLE=four\r\n"
                     "[5]\r\nTITLE=five\r\nDESCRIPTION=fifth\r\nARTICLE=five.html\r\n",
                     5);
        Open();
        ASSERT_EQ(List().GetItemCount(), 5);
    }
    // A click on the list as the list reports it to the window.
    void ClickList() {
        NMHDR header = {List().GetHwnd(), IDC_UPDATE_LIST, static_cast<UINT>(NM_CLICK)};
        ::SendMessageA(hwnd, WM_NOTIFY, IDC_UPDATE_LIST, reinterpret_cast<LPARAM>(&header));
    }
    void Command(WORD id) { ::SendMessageA(hwnd, WM_COMMAND, id, 0); }

    std::string description;
    FakeRecord record;
};

// Without a selected row a click opens no menu (a tracked one would hold
// the click) and the check commands change nothing; with one, the menu
// opens at the cursor.
TEST_F(ItemMenu, OpensAtTheCursorOnlyWithASelectedRow) {
    ClickList();
    EXPECT_EQ(FindPopupMenu(), nullptr);
    Command(103);
    EXPECT_EQ(Checks(), std::vector<bool>(5, true));

    List().SetSelected(3, true);
    ::SetCursorPos(300, 200);
    RECT shown = {};
    std::thread dismiss([&] {
        HWND menu = nullptr;
        if (!WaitFor([&] { return (menu = FindPopupMenu()) != nullptr; }, 10000)) return;
        ::GetWindowRect(menu, &shown);
        ::PostMessageA(hwnd, WM_CANCELMODE, 0, 0);
    });
    ClickList();
    dismiss.join();
    EXPECT_EQ(shown.left, 300);
    EXPECT_EQ(shown.top, 200);
    EXPECT_GT(shown.bottom, shown.top);
}

TEST_F(ItemMenu, EveryCommandActsOnTheFirstSelectedRow) {
    List().SetSelected(1, true);
    List().SetSelected(4, true);
    Command(103);
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true, true, true}));
    Command(102);
    EXPECT_EQ(Checks(), std::vector<bool>(5, true));

    // Details: the description, cut after 1022 characters.
    std::string shownText;
    std::thread reader([&] {
        HWND details = nullptr;
        if (!WaitFor([&] { return (details = ::FindWindowA(nullptr, "업데이트 정보")) != nullptr; }, 20000))
            return;
        // The window exists before its dialog procedure has filled it: wait for the text.
        char text[4096] = {};
        WaitFor([&] { return ::GetDlgItemTextA(details, IDC_DESCRIPTION, text, sizeof text) > 0; }, 20000);
        shownText = text;
        ::PostMessageA(details, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    Command(100);
    reader.join();
    EXPECT_EQ(shownText, description.substr(0, 1022));

    // The web page: row 2's ARTICLE handed to the shell, which starts it.
    Command(101);
    std::vector<std::string> lines;
    ASSERT_TRUE(WaitFor([&] { return !(lines = record.Lines()).empty(); }, 20000));
    EXPECT_NE(lines[0].find("article.exe"), std::string::npos);
}

}  // namespace
