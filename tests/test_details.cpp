// An update's details: the item menu, the details window with the real
// WebBrowser control (article fetched from the loopback test server), and
// the web-page command handing the catalog's ARTICLE to the real shell.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cstring>
#include <string>

#include "details/DetailsDlg.h"
#include "details/ItemCommands.h"
#include "details/WebBrowser.h"
#include "resource.h"
#include "support/TestSupport.h"
#include "ui/Controls.h"

using namespace testing_support;

namespace {

const char kKorean[] =
    "이 업데이트는 인터넷 익스플로러의 보안 문제를 해결합니다. 설치 후 컴퓨터를 다시 "
    "시작해야 할 수 있습니다. (KB912919)";

bool ServerReceived(const std::string& target) {
    return WaitFor([&] {
        for (const std::string& line : HttpRequests()) {
            if (line == "GET " + target) return true;
        }
        return false;
    }, 20000);
}

// A system without the WebBrowser control for the time of a test: its class
// registration names a library that does not exist.
class ControlNotInstalled {
public:
    ControlNotInstalled() {
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &m_key) !=
                ERROR_SUCCESS ||
            ::RegQueryValueExA(m_key, nullptr, nullptr, &m_type, m_saved, &m_size) !=
                ERROR_SUCCESS) {
            return;
        }
        const char missing[] = "C:\\quellfix-test\\no-such-browser.dll";
        active = ::RegSetValueExA(m_key, nullptr, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(missing),
                                  sizeof missing) == ERROR_SUCCESS;
    }
    ~ControlNotInstalled() {
        if (active) ::RegSetValueExA(m_key, nullptr, 0, m_type, m_saved, m_size);
        if (m_key) ::RegCloseKey(m_key);
    }
    bool active = false;

private:
    static constexpr const char* kKey =
        "CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";
    HKEY m_key = nullptr;
    DWORD m_type = REG_SZ;
    BYTE m_saved[MAX_PATH * 2] = {};
    DWORD m_size = sizeof m_saved;
};

TEST(WebBrowser, NavigateReachesTheServerUntilTheControlIsDestroyed) {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    {
        HWND parent = ::CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 640,
                                        480, nullptr, nullptr, nullptr, nullptr);
        CWebBrowser2 browser;
        RECT rect = {10, 20, 410, 320};
        ASSERT_TRUE(browser.Create("", WS_VISIBLE, rect, parent, IDC_BROWSER));
        EXPECT_EQ(browser.Navigate(HttpUrl("host/plain.html").c_str(), nullptr, nullptr, nullptr,
                                   nullptr),
                  S_OK);
        EXPECT_TRUE(ServerReceived("/host/plain.html"));
        browser.DestroyWindow();
        EXPECT_FALSE(browser.HasControl());
        EXPECT_EQ(browser.Navigate("http://127.0.0.1/", nullptr, nullptr, nullptr, nullptr),
                  E_FAIL);
        ::DestroyWindow(parent);
    }
    PumpMessages();
    ::OleUninitialize();
}

// ShowUpdateDetails run modally on a GUI thread of its own, with OLE as the
// program has it, while the test thread acts as the user.
class DetailsCommand : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_thread) return;
        if (::WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT) {
            ::EnumThreadWindows(m_threadId, &PostClose, 0);
        }
        ::WaitForSingleObject(m_thread, 30000);
        ::CloseHandle(m_thread);
        m_thread = nullptr;
    }

    void WriteCatalog(const std::string& text) { ASSERT_TRUE(WriteBytes(m_catalog, text)); }

    // Opens entry `entry`, over an owner window when `withOwner`; the
    // details window, or nullptr when none appeared.
    HWND Open(int entry, bool withOwner = false) {
        TearDown();
        m_entry = entry;
        m_withOwner = withOwner;
        m_thread = ::CreateThread(nullptr, 0, &DetailsCommand::Run, this, 0, &m_threadId);
        m_dlg = nullptr;
        WaitFor([&] {
            ::EnumThreadWindows(m_threadId, &FindDialog, reinterpret_cast<LPARAM>(&m_dlg));
            return m_dlg != nullptr;
        }, 20000);
        return m_dlg;
    }

    std::string Description() const {
        return Control(::GetDlgItem(m_dlg, IDC_DESCRIPTION)).GetText();
    }
    bool ControlShown() const {
        return ::GetWindow(::GetDlgItem(m_dlg, IDC_BROWSER), GW_CHILD) != nullptr;
    }
    void Click(int id) const { ::PostMessageA(::GetDlgItem(m_dlg, id), BM_CLICK, 0, 0); }
    // Esc goes to the window with the focus, as from the keyboard.
    void PressEscape() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(m_threadId, &info);
        HWND target = info.hwndFocus ? info.hwndFocus : m_dlg;
        ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }
    // True when the window closed and the command returned.
    bool Ended() const {
        return ::WaitForSingleObject(m_thread, 20000) == WAIT_OBJECT_0 && !::IsWindow(m_dlg);
    }

    ScopedTempDir m_dir{"qf details "};
    std::string m_catalog = m_dir.File("quellfix.ini");
    HWND m_dlg = nullptr;
    HWND m_owner = nullptr;
    bool m_ownerEnabledAfter = false;

private:
    static DWORD WINAPI Run(void* raw) {
        auto* self = static_cast<DetailsCommand*>(raw);
        bool ole = SUCCEEDED(::OleInitialize(nullptr));
        if (self->m_withOwner) {
            self->m_owner = ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0,
                                              800, 600, nullptr, nullptr, nullptr, nullptr);
        }
        ShowUpdateDetails(self->m_owner, self->m_catalog, self->m_entry);
        if (self->m_owner) {
            self->m_ownerEnabledAfter = ::IsWindowEnabled(self->m_owner) != FALSE;
            ::DestroyWindow(self->m_owner);
        }
        if (ole) ::OleUninitialize();
        return 0;
    }
    static BOOL CALLBACK PostClose(HWND hwnd, LPARAM) {
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return TRUE;
    }
    static BOOL CALLBACK FindDialog(HWND hwnd, LPARAM found) {
        char cls[16] = {};
        ::GetClassNameA(hwnd, cls, sizeof cls);
        if (strcmp(cls, "#32770") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }

    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    int m_entry = 0;
    bool m_withOwner = false;
};

TEST_F(DetailsCommand, ShowsTheEntrysDescriptionAndArticleModallyAndClosesByItsButton) {
    WriteCatalog("[INFO]\r\nCOUNT=2\r\n[1]\r\nDESCRIPTION=not this one\r\nARTICLE=" +
                 HttpUrl("details/entry1.html") + "\r\n[2]\r\nTITLE=second\r\nDESCRIPTION=" +
                 kKorean + "\r\nARTICLE=" + HttpUrl("details/entry2.html") + "\r\n");
    ASSERT_NE(Open(2, true), nullptr);
    EXPECT_EQ(Control(m_dlg).GetText(), "업데이트 정보");
    EXPECT_EQ(Description(), kKorean);
    EXPECT_TRUE(ControlShown());
    EXPECT_TRUE(ServerReceived("/details/entry2.html"));
    EXPECT_EQ(::GetWindow(m_dlg, GW_OWNER), m_owner);
    EXPECT_FALSE(::IsWindowEnabled(m_owner));
    Click(IDOK);  // 닫기
    EXPECT_TRUE(Ended());
    EXPECT_TRUE(m_ownerEnabledAfter);
}

TEST_F(DetailsCommand, LongDescriptionIsCutAfter1022CharactersAndEscCloses) {
    std::string description;
    for (int i = 0; description.size() < 1500; ++i) {
        description += "line " + std::to_string(i) + ". ";
    }
    WriteCatalog("[7]\r\nDESCRIPTION=" + description + "\r\n");
    ASSERT_NE(Open(7), nullptr);
    EXPECT_EQ(Description(), description.substr(0, 1022));
    PressEscape();
    EXPECT_TRUE(Ended());
}

TEST_F(DetailsCommand, OpensAndClosesWhereTheBrowserCannotBeCreated) {
    WriteCatalog("[1]\r\nDESCRIPTION=" + std::string(kKorean) + "\r\nARTICLE=" +
                 HttpUrl("details/no-browser.html") + "\r\n");
    ControlNotInstalled missing;
    ASSERT_TRUE(missing.active);
    ASSERT_NE(Open(1), nullptr);
    EXPECT_EQ(Description(), kKorean);
    EXPECT_FALSE(ControlShown());
    PressEscape();
    EXPECT_TRUE(Ended());

    ASSERT_NE(Open(1), nullptr);
    Click(IDOK);
    EXPECT_TRUE(Ended());
}

TEST(ItemMenu, HasFourCommandsAroundOneSeparator) {
    const struct {
        UINT id;
        const char* text;  // nullptr: separator
    } expected[] = {{100, "업데이트 상세 정보 보기"}, {101, "업데이트 관련 웹 페이지 보기"},
                    {0, nullptr}, {102, "이 업데이트 선택 하기"}, {103, "이 업데이트 선택 하지 않기"}};
    HMENU menu = BuildItemMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(::GetMenuItemCount(menu), 5);
    for (int i = 0; i < 5; ++i) {
        char text[256] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(::GetMenuItemInfoA(menu, i, TRUE, &info));
        EXPECT_EQ(info.fType, static_cast<UINT>(expected[i].text ? MFT_STRING : MFT_SEPARATOR));
        if (!expected[i].text) continue;
        EXPECT_EQ(info.wID, expected[i].id);
        EXPECT_STREQ(text, expected[i].text);
        EXPECT_EQ(info.fState & (MFS_DISABLED | MFS_CHECKED), 0u);
    }
    ::DestroyMenu(menu);
}

TEST(WebPageCommand, ShellOpensWhatTheArticleNames) {
    // A program in a Korean-named folder: the shell runs it, and it records
    // that it was started beside itself.
    ScopedTempDir dir("qf 웹 페이지 ");
    std::string exe = dir.File("open_recorder.exe");
    ASSERT_TRUE(::CopyFileA((BinaryDir() + "\\tests\\open_recorder.exe").c_str(), exe.c_str(),
                            FALSE));
    std::string catalog = dir.File("quellfix.ini");
    ASSERT_TRUE(WriteBytes(catalog, "[2]\r\nARTICLE=" + exe + "\r\n"));
    OpenUpdateWebPage(catalog, 2);
    ASSERT_TRUE(WaitFor([&] { return FileExists(dir.File("opened.txt")); }, 20000));
    EXPECT_EQ(ReadBytes(dir.File("opened.txt")), "started\r\n");
    // It has ended once its file can go.
    EXPECT_TRUE(WaitFor([&] { return ::DeleteFileA(exe.c_str()) != FALSE; }));
}

}  // namespace
