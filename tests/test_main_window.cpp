// The main window under Wine, created in this process and driven by
// messages: the inventory lines, the rows of a planted catalog against
// planted installed-update records, the hide-installed box, select and
// deselect all, the language mismatch and the question to quit.
#include <gtest/gtest.h>

#include <thread>

#include "app/Config.h"
#include "app/Globals.h"
#include "app/MainDlg.h"
#include "catalog/UpdateList.h"
#include "inventory/Detection.h"
#include "resource.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"
#include "support/WindowDriving.h"
#include "ui/Controls.h"

using namespace testing_support;

namespace {

const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Caption() { return std::string("Quellfix 2.0 - ") + kHomePage; }

// The language number the catalog needs on this system (Wine's kernel32
// reports an unusual one, so ask the same detection the window uses).
int SystemLanguage() {
    SystemProfile p;
    DetectLanguage(p);
    return p.languageId & 0x3FF;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        saved = g_strProgramDir;
        g_strProgramDir = dir.Path();
        // Debug mode evaluates the local catalog without fetching one.
        g_bDebug = 1;
    }
    void TearDown() override {
        window.reset();
        g_strProgramDir = saved;
        g_bDebug = 0;
    }
    void WriteCatalog(const std::string& entries, int count, int language) {
        std::string text = "[INFO]\r\nCOUNT=" + std::to_string(count) +
                           "\r\nLANGUAGE=" + std::to_string(language) + "\r\n" + entries;
        ASSERT_TRUE(WriteBytes(dir.File("quellfix.ini"), text));
    }
    // Opens the window; `buttons` answer the boxes it shows while opening.
    std::vector<std::string> Open(std::vector<int> buttons = {}) {
        window.reset(new CMainDlg);
        BoxSequence boxes(Caption(), buttons, buttons.empty() ? 0 : 30000);
        hwnd = window->Create(nullptr);
        return boxes.Wait();
    }
    ListView List() const { return ListView(::GetDlgItem(hwnd, IDC_UPDATE_LIST)); }
    Button Control(int id) const { return Button(::GetDlgItem(hwnd, id)); }
    void Click(int id) {
        ::SendMessageA(::GetDlgItem(hwnd, id), BM_CLICK, 0, 0);
        PumpMessages();
    }
    struct Row {
        std::string title, state;
        bool checked;
        LPARAM data;
        bool operator==(const Row& o) const {
            return title == o.title && state == o.state && checked == o.checked && data == o.data;
        }
    };
    std::vector<Row> Rows() const {
        std::vector<Row> rows;
        ListView list = List();
        for (int i = 0; i < list.GetItemCount(); ++i)
            rows.push_back({list.GetItemText(i, 0), list.GetItemText(i, 1), list.GetCheck(i),
                            list.GetItemData(i)});
        return rows;
    }

    ScopedTempDir dir{"qf main "};
    std::string saved;
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
    PlantedKey record(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "QFTEST-KB100002-IE7");
    PlantedKey present(HKEY_LOCAL_MACHINE, "SOFTWARE\\QuellfixTest\\Present");
    ASSERT_TRUE(record.Ok() && present.Ok());
    WriteCatalog(kEntries, 5, SystemLanguage());
    EXPECT_TRUE(Open().empty());
    ASSERT_NE(hwnd, nullptr);

    SystemProfile profile;
    InventoryTexts texts = RunInventory(profile);
    char os[1024] = {}, summary[2048] = {};
    ::GetDlgItemTextA(hwnd, IDC_OS_NAME, os, sizeof os);
    ::GetDlgItemTextA(hwnd, IDC_SUMMARY, summary, sizeof summary);
    EXPECT_EQ(os, texts.osName);
    EXPECT_EQ(summary, texts.summary);
    EXPECT_EQ(std::string(summary).rfind("운영체제 코드 : ", 0), 0u);

    // Hide installed is set by default: only the missing updates, checked.
    EXPECT_TRUE(Control(IDC_HIDE_INSTALLED).IsChecked());
    std::vector<Row> expected = {{"보안 업데이트 A", kNotInstalledText, true, 1},
                                 {"보안 업데이트 E", kNotInstalledText, true, 5}};
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(List().GetItemText(0, 1), "설치안됨");

    // Showing installed updates adds them, unchecked, in catalog order.
    Click(IDC_HIDE_INSTALLED);
    EXPECT_FALSE(Control(IDC_HIDE_INSTALLED).IsChecked());
    expected = {{"보안 업데이트 A", kNotInstalledText, true, 1},
                {"보안 업데이트 B", kInstalledText, false, 2},
                {"보안 업데이트 D", kInstalledText, false, 4},
                {"보안 업데이트 E", kNotInstalledText, true, 5}};
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(List().GetItemText(1, 1), "설치됨");

    // Select all checks installed rows too; deselect all clears every row.
    Click(IDC_SELECT_ALL);
    for (const Row& row : Rows()) EXPECT_TRUE(row.checked) << row.title;
    Click(IDC_DESELECT_ALL);
    for (const Row& row : Rows()) EXPECT_FALSE(row.checked) << row.title;

    // Toggling twice: rows re-evaluated, user's check marks lost.
    Click(IDC_HIDE_INSTALLED);
    Click(IDC_HIDE_INSTALLED);
    EXPECT_EQ(Rows(), expected);
    Click(IDC_HIDE_INSTALLED);
    expected = {{"보안 업데이트 A", kNotInstalledText, true, 1},
                {"보안 업데이트 E", kNotInstalledText, true, 5}};
    EXPECT_EQ(Rows(), expected);
}

TEST_F(MainWindow, LanguageMismatchDisablesStartForGood) {
    WriteCatalog(kEntries, 5, 9);
    // The mismatch message, then the question to quit, answered No.
    std::vector<std::string> texts = Open({IDOK, IDNO});
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "현재 운영체제(" + GetLanguageName(SystemLanguage()) +
                            ")에는 이 언어(영문판)의 업데이트를 설치하실 수 없습니다");
    EXPECT_EQ(texts[1], "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?");
    ASSERT_TRUE(::IsWindow(hwnd));
    EXPECT_FALSE(Control(IDC_START_UPDATE).IsEnabled());
    EXPECT_EQ(List().GetItemCount(), 0);

    // A matching catalog later fills the list, but start stays disabled.
    WriteCatalog(kEntries, 5, SystemLanguage());
    Click(IDC_HIDE_INSTALLED);
    EXPECT_GT(List().GetItemCount(), 0);
    EXPECT_FALSE(Control(IDC_START_UPDATE).IsEnabled());
}

TEST_F(MainWindow, EmptyListAsksToQuitAndYesCloses) {
    PlantedKey record(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "QFTEST-KB100001");
    WriteCatalog("[1]\r\nTITLE=A\r\nREGKEY=QFTEST-KB100001\r\n[2]\r\nENABLE=0\r\n", 2,
                 SystemLanguage());
    std::vector<std::string> texts = Open({IDYES});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?");
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(hwnd); }, 5000));
    EXPECT_EQ(window->Result(), IDCANCEL);
}

TEST_F(MainWindow, CountZeroOrNegativeListsNothingAndNoStaysOpen) {
    for (int count : {0, -3}) {
        WriteCatalog(kEntries, count, SystemLanguage());
        std::vector<std::string> texts = Open({IDNO});
        ASSERT_EQ(texts.size(), 1u) << count;
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_TRUE(Control(IDC_START_UPDATE).IsEnabled());
        window.reset();
    }
}

TEST_F(MainWindow, DebugModeWithoutCatalogReportsMismatchThenAsks) {
    std::vector<std::string> texts = Open({IDOK, IDNO});
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "현재 운영체제(" + GetLanguageName(SystemLanguage()) +
                            ")에는 이 언어(알 수 없음)의 업데이트를 설치하실 수 없습니다");
    EXPECT_EQ(texts[1], "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?");
    EXPECT_FALSE(Control(IDC_START_UPDATE).IsEnabled());
}

TEST_F(MainWindow, CountLargerThanTheSectionsListsEmptyRows) {
    WriteCatalog("[1]\r\nTITLE=only\r\n", 3, SystemLanguage());
    Open();
    std::vector<Row> expected = {{"only", kNotInstalledText, true, 1},
                                 {"", kNotInstalledText, true, 2},
                                 {"", kNotInstalledText, true, 3}};
    EXPECT_EQ(Rows(), expected);
}

// --- The item menu and its commands -------------------------------------------

struct MenuFind {
    HWND found = nullptr;
};

BOOL CALLBACK FindMenuProc(HWND hwnd, LPARAM param) {
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (std::string(cls) != "#32768" || !::IsWindowVisible(hwnd) || pid != ::GetCurrentProcessId())
        return TRUE;
    reinterpret_cast<MenuFind*>(param)->found = hwnd;
    return FALSE;
}

HWND FindPopupMenu() {
    MenuFind find;
    ::EnumWindows(&FindMenuProc, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

class ItemMenu : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        std::string longText;
        for (int i = 0; i < 2000; ++i) longText += static_cast<char>('a' + i % 26);
        description = longText;
        article = homeDir.File("article.exe");
        ASSERT_TRUE(::CopyFileA(FixtureFile("fake_cabinet.exe").c_str(), article.c_str(), FALSE));
        WriteCatalog("[1]\r\nTITLE=one\r\nDESCRIPTION=first\r\nARTICLE=http://127.0.0.1:1/one\r\n"
                     "[2]\r\nTITLE=two\r\nDESCRIPTION=" + description + "\r\nARTICLE=" + article + "\r\n"
                     "[3]\r\nTITLE=three\r\n[4]\r\nTITLE=four\r\n"
                     "[5]\r\nTITLE=five\r\nDESCRIPTION=fifth\r\nARTICLE=five.html\r\n",
                     5, SystemLanguage());
        Open();
        ASSERT_EQ(List().GetItemCount(), 5);
    }
    void TearDown() override {
        MainWindow::TearDown();
        DeleteUninstallKey("KB990404");
    }
    // A click on the list as the list reports it to the window.
    void Click() {
        NMHDR header = {};
        header.hwndFrom = List().GetHwnd();
        header.idFrom = IDC_UPDATE_LIST;
        header.code = NM_CLICK;
        ::SendMessageA(hwnd, WM_NOTIFY, IDC_UPDATE_LIST, reinterpret_cast<LPARAM>(&header));
    }
    void Command(WORD id) { ::SendMessageA(hwnd, WM_COMMAND, id, 0); }
    std::vector<bool> Checks() const {
        std::vector<bool> checks;
        for (int i = 0; i < List().GetItemCount(); ++i) checks.push_back(List().GetCheck(i));
        return checks;
    }

    ScopedTempDir homeDir{"qf art "};
    std::string description, article;
    FakeRecord record;
};

TEST_F(ItemMenu, ClickWithoutASelectedRowOpensNoMenu) {
    // A tracked menu would hold the click until it is dismissed.
    Click();
    EXPECT_EQ(FindPopupMenu(), nullptr);
}

TEST_F(ItemMenu, ClickWithASelectedRowOpensTheMenuAtTheCursor) {
    List().SetSelected(3, true);
    ::SetCursorPos(300, 200);
    RECT shown = {};
    std::thread dismiss([&] {
        HWND menu = nullptr;
        if (!WaitFor([&] { return (menu = FindPopupMenu()) != nullptr; }, 10000)) return;
        ::GetWindowRect(menu, &shown);
        ::PostMessageA(hwnd, WM_CANCELMODE, 0, 0);
    });
    Click();
    dismiss.join();
    EXPECT_EQ(shown.left, 300);
    EXPECT_EQ(shown.top, 200);
    EXPECT_GT(shown.bottom - shown.top, 0);
}

TEST_F(ItemMenu, EveryCommandActsOnTheFirstSelectedRow) {
    List().SetSelected(1, true);
    List().SetSelected(4, true);
    std::vector<bool> all = {true, true, true, true, true};
    ASSERT_EQ(Checks(), all);
    Command(103);
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true, true, true}));
    Command(103);
    EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true, true, true}));
    Command(102);
    EXPECT_EQ(Checks(), all);

    // Details: the description, cut after 1022 characters.
    std::string shownText;
    std::thread reader([&] {
        HWND details = nullptr;
        if (!WaitFor([&] { return (details = ::FindWindowA(nullptr, "업데이트 정보")) != nullptr; },
                     20000))
            return;
        char text[4096] = {};
        ::GetDlgItemTextA(details, IDC_DESCRIPTION, text, sizeof text);
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

TEST_F(ItemMenu, CheckCommandsWithoutASelectedRowChangeNothing) {
    Command(103);
    EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true, true, true}));
}

}  // namespace
