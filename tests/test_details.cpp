// The details window with the real WebBrowser control (article fetched from
// the loopback test server), and without it, run as the item menu runs it.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cstring>
#include <string>

#include "details/ItemCommands.h"
#include "resource.h"
#include "support/InventorySupport.h"
#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

const char kKorean[] =
    "이 업데이트는 인터넷 익스플로러의 보안 문제를 해결합니다. 설치 후 컴퓨터를 다시 "
    "시작해야 할 수 있습니다. (KB912919)";

// The WebBrowser control's class registration.
const char kBrowserServer[] = "CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

// Catalog entry `n` with its description and an article on the test server.
std::string Entry(int n, const std::string& description, const std::string& article) {
    return "[" + std::to_string(n) + "]\r\nDESCRIPTION=" + description + "\r\nARTICLE=" +
           HttpUrl("details/" + article) + "\r\n";
}

// ShowUpdateDetails run modally over an owner window on a GUI thread of its
// own, with OLE as the program has it, while the test thread acts as the user.
class DetailsCommand : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_thread) return;
        if (::WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT) ::EnumThreadWindows(m_threadId, &PostClose, 0);
        ::WaitForSingleObject(m_thread, 30000);
        ::CloseHandle(m_thread);
    }

    // Opens entry `entry` of `catalog`; the details window, or nullptr.
    HWND Open(const std::string& catalog, int entry) {
        EXPECT_TRUE(WriteBytes(m_catalog, catalog));
        m_entry = entry;
        m_thread = ::CreateThread(nullptr, 0, &DetailsCommand::Run, this, 0, &m_threadId);
        WaitFor([&] {
            ::EnumThreadWindows(m_threadId, &FindDialog, reinterpret_cast<LPARAM>(&m_dlg));
            return m_dlg != nullptr;
        }, 20000);
        return m_dlg;
    }
    std::string Description() const { return Control(::GetDlgItem(m_dlg, IDC_DESCRIPTION)).GetText(); }
    bool ControlShown() const { return ::GetWindow(::GetDlgItem(m_dlg, IDC_BROWSER), GW_CHILD) != nullptr; }
    // True when the window closed and the command returned.
    bool Ended() const { return ::WaitForSingleObject(m_thread, 20000) == WAIT_OBJECT_0 && !::IsWindow(m_dlg); }

    ScopedTempDir m_dir{"qf details "};
    std::string m_catalog = m_dir.File("quellfix.ini");
    HWND m_dlg = nullptr, m_owner = nullptr;
    bool m_ownerEnabledAfter = false;
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;

private:
    static DWORD WINAPI Run(void* raw) {
        auto* self = static_cast<DetailsCommand*>(raw);
        bool ole = SUCCEEDED(::OleInitialize(nullptr));
        self->m_owner = ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                          nullptr, nullptr, nullptr);
        ShowUpdateDetails(self->m_owner, self->m_catalog, self->m_entry);
        self->m_ownerEnabledAfter = ::IsWindowEnabled(self->m_owner) != FALSE;
        ::DestroyWindow(self->m_owner);
        if (ole) ::OleUninitialize();
        return 0;
    }
    static BOOL CALLBACK PostClose(HWND hwnd, LPARAM) { ::PostMessageA(hwnd, WM_CLOSE, 0, 0); return TRUE; }
    static BOOL CALLBACK FindDialog(HWND hwnd, LPARAM found) {
        char cls[16] = {};
        ::GetClassNameA(hwnd, cls, sizeof cls);
        if (strcmp(cls, "#32770") != 0 || !::IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    int m_entry = 0;
};

TEST_F(DetailsCommand, ShowsTheEntrysDescriptionAndArticleModallyAndClosesByItsButton) {
    const std::string catalog = "[INFO]\r\nCOUNT=2\r\n" + Entry(1, "not this one", "entry1.html");
    ASSERT_NE(Open(catalog + Entry(2, kKorean, "entry2.html"), 2), nullptr);
    EXPECT_EQ(Control(m_dlg).GetText(), "업데이트 정보");
    EXPECT_EQ(Description(), kKorean);
    EXPECT_TRUE(ControlShown());
    EXPECT_TRUE(WaitFor([] { return Requests("GET /details/entry2.html") > 0; }, 20000)) << "no article asked for";
    EXPECT_EQ(::GetWindow(m_dlg, GW_OWNER), m_owner);
    EXPECT_FALSE(::IsWindowEnabled(m_owner));
    ::PostMessageA(::GetDlgItem(m_dlg, IDOK), BM_CLICK, 0, 0);  // 닫기
    EXPECT_TRUE(Ended());
    EXPECT_TRUE(m_ownerEnabledAfter);
}

TEST_F(DetailsCommand, OpensAndClosesByEscWhereTheBrowserCannotBeCreated) {
    // A system without the control: its registration names a library that does not exist.
    RegistryBackup registration(HKEY_CLASSES_ROOT, kBrowserServer);
    ASSERT_TRUE(PlantValue(HKEY_CLASSES_ROOT, kBrowserServer, "", SzValue("C:\\quellfix-test\\no-such-browser.dll")));
    ASSERT_NE(Open(Entry(1, kKorean, "none.html"), 1), nullptr);
    EXPECT_EQ(Description(), kKorean);
    EXPECT_FALSE(ControlShown());
    // Esc goes to the window with the focus, as from the keyboard.
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(m_threadId, &info);
    HWND target = info.hwndFocus ? info.hwndFocus : m_dlg;
    ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    EXPECT_TRUE(Ended());
    EXPECT_TRUE(m_ownerEnabledAfter);
}

}  // namespace
