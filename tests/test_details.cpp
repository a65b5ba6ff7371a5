// The details of an update: the item menu, the details window with its
// hosted WebBrowser control (real COM, real windows, the article fetched
// from the loopback test server), and the web-page command handing the
// catalog's address to the real shell.
//
// Windows run either on the test thread (modeless, driven directly) or
// modally on a GUI thread of their own while the test thread acts as the
// user. A system without the browser control is made for a test by pointing
// the control's class registration at a library that does not exist; the
// window must work there all the same.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "details/DetailsDlg.h"
#include "details/ItemCommands.h"
#include "details/WebBrowser.h"
#include "resource.h"
#include "support/TestSupport.h"
#include "ui/Controls.h"

using namespace testing_support;

namespace {

const char kCaption[] = "업데이트 정보";
const char kKoreanDescription[] =
    "이 업데이트는 인터넷 익스플로러의 보안 문제를 해결합니다. 설치 후 컴퓨터를 다시 "
    "시작해야 할 수 있습니다. (KB912919)";

// `child`'s rectangle in its parent's client coordinates.
RECT PlaceInParent(HWND child) {
    RECT rect = {};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string TextOf(HWND hwnd) { return Control(hwnd).GetText(); }

// True when the browser's own window fills the host: the control is active
// in place there.
bool ControlFillsHost(HWND host) {
    HWND inner = ::GetWindow(host, GW_CHILD);
    if (!inner) return false;
    RECT client = {};
    ::GetClientRect(host, &client);
    return SameRect(PlaceInParent(inner), client);
}

// A line of the test server's request log, turned back into the bytes of
// the request target. The server logs the target as received (bytes read as
// Latin-1, written in UTF-8); %XX escapes are decoded here.
std::string RequestTargetBytes(const std::string& line) {
    int length = ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], length);
    std::string raw;
    for (wchar_t c : wide) {
        if (c == L'\0') break;
        raw += c < 256 ? static_cast<char>(c) : '?';
    }
    std::string decoded;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size() &&
            std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
            decoded += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += raw[i];
        }
    }
    return decoded;
}

// Waits for the test server to log a request whose target is one of `targets`.
bool ServerReceived(const std::vector<std::string>& targets, const char* method = "GET") {
    return WaitFor(
        [&] {
            for (const std::string& line : HttpRequests()) {
                if (line.compare(0, strlen(method) + 1, std::string(method) + " ") != 0) continue;
                std::string target = RequestTargetBytes(line.substr(strlen(method) + 1));
                for (const std::string& wanted : targets) {
                    if (target == wanted) return true;
                }
            }
            return false;
        },
        20000);
}

std::string Utf8FromAnsi(const std::string& ansi) {
    int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring wide(length, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], length);
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(bytes > 0 ? bytes - 1 : 0);
    return utf8;
}

// OLE on the test thread, as the program has it from start-up.
class OleThread : public ::testing::Test {
protected:
    void SetUp() override {
        m_ole = SUCCEEDED(::OleInitialize(nullptr));
        ASSERT_TRUE(m_ole);
    }
    void TearDown() override {
        PumpMessages();
        if (m_ole) ::OleUninitialize();
    }

private:
    bool m_ole = false;
};

// A system without the WebBrowser control, for the time of a test: the
// control's class registration names a library that does not exist. What
// was registered is put back at the end.
class ControlNotInstalled {
public:
    ControlNotInstalled() {
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                            &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD size = sizeof m_saved - 1;
        if (::RegQueryValueExA(m_key, nullptr, nullptr, &m_type,
                               reinterpret_cast<BYTE*>(m_saved), &size) != ERROR_SUCCESS) {
            return;
        }
        m_savedSize = size;
        const char missing[] = "C:\\quellfix-test\\no-such-browser.dll";
        m_active = ::RegSetValueExA(m_key, nullptr, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(missing),
                                    sizeof missing) == ERROR_SUCCESS;
    }
    ~ControlNotInstalled() {
        if (m_active) {
            ::RegSetValueExA(m_key, nullptr, 0, m_type, reinterpret_cast<const BYTE*>(m_saved),
                             m_savedSize);
        }
        if (m_key) ::RegCloseKey(m_key);
    }
    ControlNotInstalled(const ControlNotInstalled&) = delete;
    ControlNotInstalled& operator=(const ControlNotInstalled&) = delete;
    bool Active() const { return m_active; }

private:
    static constexpr const char* kKey =
        "CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";
    HKEY m_key = nullptr;
    DWORD m_type = REG_SZ;
    char m_saved[MAX_PATH * 2] = {};
    DWORD m_savedSize = 0;
    bool m_active = false;
};

// ---------------------------------------------------------------------------
// The WebBrowser host

using BrowserHost = OleThread;

// A top-level window to put the browser in, gone at the end of the test.
struct ParentWindow {
    ParentWindow()
        : hwnd(::CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                 nullptr, nullptr, nullptr, nullptr)) {}
    ~ParentWindow() {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    HWND hwnd;
};

TEST_F(BrowserHost, ControlActivatesInPlaceFillingItsWindowAndFetchesTheAddress) {
    ParentWindow parentWindow;
    HWND parent = parentWindow.hwnd;
    CWebBrowser2 browser;
    RECT rect = {10, 20, 410, 320};
    ASSERT_TRUE(browser.Create("page", WS_VISIBLE, rect, parent, IDC_BROWSER));
    EXPECT_TRUE(browser.HasControl());
    ASSERT_NE(browser.GetHwnd(), nullptr);
    EXPECT_EQ(::GetDlgItem(parent, IDC_BROWSER), browser.GetHwnd());
    EXPECT_TRUE(SameRect(PlaceInParent(browser.GetHwnd()), rect));
    EXPECT_EQ(TextOf(browser.GetHwnd()), "page");
    EXPECT_TRUE(ControlFillsHost(browser.GetHwnd()));

    EXPECT_EQ(browser.Navigate(HttpUrl("host/plain.html").c_str(), nullptr, nullptr, nullptr,
                               nullptr),
              S_OK);
    EXPECT_TRUE(ServerReceived({"/host/plain.html"}));

    // Arguments that are given travel by reference as they are: flags, a
    // header and post data, which turns the request into a POST.
    VARIANT flags;
    ::VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 2;  // no history entry
    VARIANT headers;
    ::VariantInit(&headers);
    headers.vt = VT_BSTR;
    headers.bstrVal = ::SysAllocString(L"Content-Type: application/x-www-form-urlencoded\r\n");
    VARIANT post;
    ::VariantInit(&post);
    SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, 5);
    ASSERT_NE(bytes, nullptr);
    void* data = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SafeArrayAccessData(bytes, &data)));
    memcpy(data, "a=1&b", 5);
    ::SafeArrayUnaccessData(bytes);
    post.vt = VT_ARRAY | VT_UI1;
    post.parray = bytes;
    EXPECT_EQ(browser.Navigate(HttpUrl("host/form").c_str(), &flags, nullptr, &post, &headers),
              S_OK);
    EXPECT_TRUE(ServerReceived({"/host/form"}, "POST"));
    ::VariantClear(&headers);
    ::VariantClear(&post);

    browser.DestroyWindow();
    EXPECT_EQ(browser.GetHwnd(), nullptr);
    EXPECT_FALSE(browser.HasControl());
    EXPECT_EQ(::GetDlgItem(parent, IDC_BROWSER), nullptr);
    EXPECT_EQ(browser.Navigate("http://127.0.0.1/", nullptr, nullptr, nullptr, nullptr), E_FAIL);
    browser.DestroyWindow();  // again: nothing left to do
}

TEST_F(BrowserHost, KoreanAddressReachesTheServerAsTheSameText) {
    ParentWindow parentWindow;
    HWND parent = parentWindow.hwnd;
    CWebBrowser2 browser;
    RECT rect = {0, 0, 300, 200};
    ASSERT_TRUE(browser.Create("", WS_VISIBLE, rect, parent, IDC_BROWSER));
    // The address is CP949 text; the browser may send it in its own
    // encoding or in UTF-8, but never as other characters.
    const std::string path = "/host/보안 공지.html";
    ASSERT_EQ(static_cast<unsigned char>(path[6]), 0xBAu);  // CP949 lead byte of 보
    EXPECT_EQ(browser.Navigate(HttpUrl(path.substr(1)).c_str(), nullptr, nullptr, nullptr,
                               nullptr),
              S_OK);
    EXPECT_TRUE(ServerReceived({path, Utf8FromAnsi(path)}));
    ::DestroyWindow(parent);
    // The host went with its parent, and the control with it.
    EXPECT_EQ(browser.GetHwnd(), nullptr);
    EXPECT_FALSE(browser.HasControl());
}

TEST_F(BrowserHost, WithoutTheControlLeavesAPlainEmptyAreaAndNavigatesNowhere) {
    ControlNotInstalled missing;
    ASSERT_TRUE(missing.Active());
    ParentWindow parentWindow;
    HWND parent = parentWindow.hwnd;
    CWebBrowser2 browser;
    RECT rect = {5, 60, 365, 265};
    EXPECT_FALSE(browser.Create("", WS_VISIBLE, rect, parent, IDC_BROWSER));
    EXPECT_FALSE(browser.HasControl());
    HWND host = ::GetDlgItem(parent, IDC_BROWSER);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host, browser.GetHwnd());
    EXPECT_EQ(::GetWindow(host, GW_CHILD), nullptr);
    EXPECT_TRUE(SameRect(PlaceInParent(host), rect));
    EXPECT_EQ(browser.Navigate("http://127.0.0.1/", nullptr, nullptr, nullptr, nullptr), E_FAIL);
    browser.DestroyWindow();
    EXPECT_FALSE(::IsWindow(host));
}

TEST_F(BrowserHost, WithoutAParentWindowCreatesNothing) {
    CWebBrowser2 browser;
    RECT rect = {0, 0, 100, 100};
    EXPECT_FALSE(browser.Create("", WS_VISIBLE, rect, nullptr, IDC_BROWSER));
    EXPECT_EQ(browser.GetHwnd(), nullptr);
    EXPECT_FALSE(browser.HasControl());
}

// ---------------------------------------------------------------------------
// The details window

// The position the dialog template gives the browser, in pixels of `dlg`.
RECT BrowserPlace(HWND dlg) {
    RECT rect = {5, 60, 5 + 360, 60 + 205};
    ::MapDialogRect(dlg, &rect);
    return rect;
}

// What a user sees of an open details window.
struct DetailsView {
    std::string caption;
    std::string description;
    HWND host = nullptr;
    bool hostVisible = false;
    bool hostInPlace = false;
    bool controlShown = false;
    HWND owner = nullptr;
};

DetailsView LookAt(HWND dlg) {
    DetailsView view;
    view.caption = TextOf(dlg);
    view.description = TextOf(::GetDlgItem(dlg, IDC_DESCRIPTION));
    view.host = ::GetDlgItem(dlg, IDC_BROWSER);
    view.hostVisible = ::IsWindowVisible(view.host) != FALSE;
    view.hostInPlace = SameRect(PlaceInParent(view.host), BrowserPlace(dlg));
    view.controlShown = ControlFillsHost(view.host);
    view.owner = ::GetWindow(dlg, GW_OWNER);
    return view;
}

using DetailsWindow = OleThread;

TEST_F(DetailsWindow, ShowsTheDescriptionAndTheArticleInTheBrowserPlace) {
    CDetailsDlg dlg;
    dlg.SetDetails(kKoreanDescription, HttpUrl("details/kb912919.html"));
    HWND hwnd = dlg.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    ::ShowWindow(hwnd, SW_SHOW);
    DetailsView view = LookAt(hwnd);
    EXPECT_EQ(view.caption, kCaption);
    EXPECT_EQ(view.description, kKoreanDescription);
    EXPECT_TRUE(view.hostVisible);
    EXPECT_TRUE(view.hostInPlace);
    EXPECT_TRUE(view.controlShown);
    EXPECT_TRUE(ServerReceived({"/details/kb912919.html"}));

    // 닫기 closes the window with the control in it.
    ::SendMessageA(::GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_FALSE(::IsWindow(view.host));
    EXPECT_EQ(dlg.Result(), IDOK);
}

TEST_F(DetailsWindow, BrowserKeepsThePlaceholdersPlaceInTheTabOrder) {
    CDetailsDlg dlg;
    dlg.SetDetails("", "");
    HWND hwnd = dlg.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    // The template's order: 닫기, Cancel, description, browser, the labels.
    HWND afterDescription = ::GetWindow(::GetDlgItem(hwnd, IDC_DESCRIPTION), GW_HWNDNEXT);
    EXPECT_EQ(afterDescription, ::GetDlgItem(hwnd, IDC_BROWSER));
    // Exactly one control carries the browser's identifier.
    int withBrowserId = 0;
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(child) == IDC_BROWSER) ++withBrowserId;
    }
    EXPECT_EQ(withBrowserId, 1);
    // Closing by the caption's button counts as Cancel.
    ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(hwnd); }));
    EXPECT_EQ(dlg.Result(), IDCANCEL);
}

TEST_F(DetailsWindow, ClosingWhileThePageIsStillLoadingLeavesNothingBehind) {
    // A page the server sends slowly, so that it is still arriving when the
    // user closes the window.
    std::string page(16 * 1024, 'x');
    ASSERT_TRUE(WriteBytes(HttpRoot() + "\\slow-article.html", page));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string target = "/slow-article.html?slow=200&round=" + std::to_string(round);
        CDetailsDlg dlg;
        dlg.SetDetails("loading", HttpUrl(target.substr(1)));
        HWND hwnd = dlg.Create(nullptr);
        ASSERT_NE(hwnd, nullptr);
        HWND host = ::GetDlgItem(hwnd, IDC_BROWSER);
        EXPECT_TRUE(ServerReceived({target}));
        ::SendMessageA(::GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        EXPECT_FALSE(::IsWindow(hwnd));
        EXPECT_FALSE(::IsWindow(host));
        PumpMessages();
    }
    // And the object may also go while its window is still open.
    {
        CDetailsDlg dlg;
        dlg.SetDetails("gone", HttpUrl("slow-article.html?slow=200&round=last"));
        ASSERT_NE(dlg.Create(nullptr), nullptr);
    }
    PumpMessages();
}

// ---------------------------------------------------------------------------
// The details command: catalog entry to modal window

std::string ClassOf(HWND hwnd) {
    char name[128] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// Runs `body` on a GUI thread of its own, with OLE as the program has it.
class GuiThread {
public:
    explicit GuiThread(std::function<void()> body) : m_body(std::move(body)) {
        m_thread = ::CreateThread(nullptr, 0, &GuiThread::Run, this, 0, &m_id);
    }
    ~GuiThread() {
        if (!m_thread) return;
        // A test that stopped early may leave a window open on the thread.
        if (::WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT) {
            ::EnumThreadWindows(m_id, &CloseWindowProc, 0);
        }
        ::WaitForSingleObject(m_thread, 30000);
        ::CloseHandle(m_thread);
    }
    DWORD Id() const { return m_id; }
    // Waits for the body to end; false when it runs on past `timeoutMs`.
    bool Join(DWORD timeoutMs = 30000) {
        return m_thread && ::WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
    }
    // The first visible dialog window of the thread, or nullptr.
    HWND FindDialog() const {
        HWND found = nullptr;
        ::EnumThreadWindows(m_id, &FindDialogProc, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    HWND WaitForDialog() const {
        HWND dlg = nullptr;
        WaitFor([&] { return (dlg = FindDialog()) != nullptr; }, 20000);
        return dlg;
    }

private:
    static DWORD WINAPI Run(void* raw) {
        GuiThread* self = static_cast<GuiThread*>(raw);
        bool ole = SUCCEEDED(::OleInitialize(nullptr));
        self->m_body();
        if (ole) ::OleUninitialize();
        return 0;
    }
    static BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param) {
        if (ClassOf(hwnd) != "#32770" || !::IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    static BOOL CALLBACK CloseWindowProc(HWND hwnd, LPARAM) {
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return TRUE;
    }

    std::function<void()> m_body;
    HANDLE m_thread = nullptr;
    DWORD m_id = 0;
};

// Presses Esc in `dlg` as a user would: the key goes to the window with the
// focus.
void PressEscape(DWORD guiThread, HWND dlg) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(guiThread, &info);
    HWND target = info.hwndFocus ? info.hwndFocus : dlg;
    ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void ClickClose(HWND dlg) { ::PostMessageA(::GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0); }

// A catalog file of the test, written as an administrator would.
class TestCatalog {
public:
    TestCatalog() { Write(""); }
    void Write(const std::string& text) { WriteBytes(path, text); }
    ScopedTempDir dir{"qf details "};
    std::string path = dir.File("quellfix.ini");
};

class DetailsCommand : public ::testing::Test {
protected:
    // Shows entry `entry` of the catalog on a GUI thread, over an owner
    // window of that thread when `withOwner`.
    void Open(int entry, bool withOwner = false) {
        m_thread.reset(new GuiThread([this, entry, withOwner] {
            if (withOwner) {
                m_owner = ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0,
                                            800, 600, nullptr, nullptr, nullptr, nullptr);
            }
            ShowUpdateDetails(m_owner, m_catalog.path, entry);
            if (m_owner) {
                m_ownerEnabledAfter = ::IsWindowEnabled(m_owner) != FALSE;
                ::DestroyWindow(m_owner);
            }
        }));
        m_dlg = m_thread->WaitForDialog();
    }
    // True when the window closed and the command returned.
    bool Ended() { return m_thread->Join(20000) && !::IsWindow(m_dlg); }

    TestCatalog m_catalog;
    std::unique_ptr<GuiThread> m_thread;
    HWND m_dlg = nullptr;
    HWND m_owner = nullptr;
    bool m_ownerEnabledAfter = false;
};

TEST_F(DetailsCommand, ShowsTheEntryModallyOverItsOwnerAndClosesByItsButton) {
    m_catalog.Write("[INFO]\r\nCOUNT=2\r\n"
                    "[1]\r\nTITLE=first\r\nDESCRIPTION=not this one\r\nARTICLE=" +
                    HttpUrl("details/entry1.html") +
                    "\r\n"
                    "[2]\r\nTITLE=second\r\nDESCRIPTION=" +
                    std::string(kKoreanDescription) + "\r\nARTICLE=" +
                    HttpUrl("details/entry2.html") + "\r\n");
    Open(2, true);
    ASSERT_NE(m_dlg, nullptr);
    DetailsView view = LookAt(m_dlg);
    EXPECT_EQ(view.caption, kCaption);
    EXPECT_EQ(view.description, kKoreanDescription);
    EXPECT_TRUE(view.hostInPlace);
    EXPECT_TRUE(view.controlShown);
    EXPECT_EQ(view.owner, m_owner);
    EXPECT_FALSE(::IsWindowEnabled(m_owner));  // modal over it
    EXPECT_TRUE(ServerReceived({"/details/entry2.html"}));

    ClickClose(m_dlg);
    EXPECT_TRUE(Ended());
    EXPECT_TRUE(m_ownerEnabledAfter);
}

TEST_F(DetailsCommand, LongDescriptionIsCutAfter1022CharactersAndEscCloses) {
    std::string description;
    for (int i = 0; description.size() < 1500; ++i) {
        description += "line " + std::to_string(i) + ". ";
    }
    m_catalog.Write("[7]\r\nDESCRIPTION=" + description + "\r\nARTICLE=\r\n");
    Open(7);
    ASSERT_NE(m_dlg, nullptr);
    EXPECT_EQ(LookAt(m_dlg).description, description.substr(0, 1022));
    PressEscape(m_thread->Id(), m_dlg);
    EXPECT_TRUE(Ended());

    // The catalog is read afresh for every command. Korean text cut at the
    // limit shows whole characters only: after one single-byte letter the
    // limit falls in the middle of a two-byte character.
    std::string korean = "x";
    while (korean.size() < 1500) korean += "업데이트";
    m_catalog.Write("[7]\r\nDESCRIPTION=" + korean + "\r\n");
    Open(7);
    ASSERT_NE(m_dlg, nullptr);
    std::string shown = LookAt(m_dlg).description;
    EXPECT_LE(shown.size(), 1022u);
    EXPECT_GE(shown.size(), 1021u);
    EXPECT_EQ(korean.compare(0, shown.size(), shown), 0);
    EXPECT_NE(::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, shown.c_str(),
                                    static_cast<int>(shown.size()), nullptr, 0),
              0);
    PressEscape(m_thread->Id(), m_dlg);
    EXPECT_TRUE(Ended());
}

TEST_F(DetailsCommand, EntryWithoutDescriptionOrArticleStillOpens) {
    m_catalog.Write("[INFO]\r\nCOUNT=3\r\n[3]\r\nTITLE=bare\r\n");
    for (int entry : {3, 4, -1}) {
        SCOPED_TRACE("entry " + std::to_string(entry));
        Open(entry);
        ASSERT_NE(m_dlg, nullptr);
        DetailsView view = LookAt(m_dlg);
        EXPECT_EQ(view.caption, kCaption);
        EXPECT_EQ(view.description, "");
        EXPECT_TRUE(view.hostInPlace);
        PressEscape(m_thread->Id(), m_dlg);
        EXPECT_TRUE(Ended());
    }
}

TEST_F(DetailsCommand, OpensWithTheDescriptionWhereTheBrowserCannotBeCreated) {
    m_catalog.Write("[1]\r\nDESCRIPTION=" + std::string(kKoreanDescription) + "\r\nARTICLE=" +
                    HttpUrl("details/no-browser.html") + "\r\n");
    ControlNotInstalled missing;
    ASSERT_TRUE(missing.Active());
    Open(1);
    ASSERT_NE(m_dlg, nullptr);
    DetailsView view = LookAt(m_dlg);
    EXPECT_EQ(view.caption, kCaption);
    EXPECT_EQ(view.description, kKoreanDescription);
    EXPECT_TRUE(view.hostVisible);
    EXPECT_TRUE(view.hostInPlace);
    EXPECT_FALSE(view.controlShown);
    PressEscape(m_thread->Id(), m_dlg);
    EXPECT_TRUE(Ended());

    Open(1);
    ASSERT_NE(m_dlg, nullptr);
    ClickClose(m_dlg);
    EXPECT_TRUE(Ended());
}

// ---------------------------------------------------------------------------
// The item menu

struct MenuEntry {
    UINT id;
    const char* text;  // nullptr: separator
};

TEST(ItemMenu, HasTheFourCommandsAroundOneSeparatorAsPlainEnabledItems) {
    const MenuEntry expected[] = {
        {100, "업데이트 상세 정보 보기"},
        {101, "업데이트 관련 웹 페이지 보기"},
        {0, nullptr},
        {102, "이 업데이트 선택 하기"},
        {103, "이 업데이트 선택 하지 않기"},
    };

    HMENU menu = BuildItemMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(::GetMenuItemCount(menu), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        char text[256] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(::GetMenuItemInfoA(menu, i, TRUE, &info));
        EXPECT_EQ(info.hSubMenu, nullptr);
        if (!expected[i].text) {
            EXPECT_EQ(info.fType, static_cast<UINT>(MFT_SEPARATOR));
            continue;
        }
        EXPECT_EQ(info.fType, static_cast<UINT>(MFT_STRING));
        EXPECT_EQ(info.wID, expected[i].id);
        EXPECT_EQ(std::string(text), expected[i].text);
        EXPECT_EQ(info.fState & (MFS_DISABLED | MFS_GRAYED | MFS_CHECKED | MFS_DEFAULT), 0u);
    }
    EXPECT_EQ(::GetMenuDefaultItem(menu, FALSE, 0), static_cast<UINT>(-1));
    EXPECT_TRUE(::DestroyMenu(menu));
}

TEST(ItemMenu, EveryClickGetsAMenuOfItsOwn) {
    HMENU first = BuildItemMenu();
    HMENU second = BuildItemMenu();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_TRUE(::DestroyMenu(first));
    EXPECT_EQ(::GetMenuItemCount(second), 5);
    EXPECT_TRUE(::DestroyMenu(second));
}

// ---------------------------------------------------------------------------
// The web-page command

// The fixture program, copied where a test wants the shell to find it.
std::string CopyRecorder(const ScopedTempDir& dir) {
    std::string exe = dir.File("open_recorder.exe");
    if (!::CopyFileA((BinaryDir() + "\\tests\\open_recorder.exe").c_str(), exe.c_str(), FALSE)) {
        return std::string();
    }
    return exe;
}

// Waits for the recorder in `dir` to have been started and to have ended;
// returns its record, empty when it never ran.
std::string RecordOf(const ScopedTempDir& dir) {
    std::string record;
    if (!WaitFor([&] { return FileExists(dir.File("opened.txt")); }, 20000)) return record;
    record = ReadBytes(dir.File("opened.txt"));
    // It has ended once its program file can go.
    WaitFor([&] { return ::DeleteFileA(dir.File("open_recorder.exe").c_str()) != FALSE; });
    return record;
}

// Makes the recorder the handler of http addresses for the time of a test,
// and puts back what was there.
class HttpHandlerSwap {
public:
    explicit HttpHandlerSwap(const std::string& command) {
        LONG size = sizeof m_saved;
        m_hadValue = ::RegQueryValueA(HKEY_CLASSES_ROOT, kKey, m_saved, &size) == ERROR_SUCCESS;
        m_set = ::RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, command.c_str(),
                               static_cast<DWORD>(command.size())) == ERROR_SUCCESS;
    }
    ~HttpHandlerSwap() {
        if (m_hadValue) {
            ::RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, m_saved,
                           static_cast<DWORD>(strlen(m_saved)));
        } else if (m_set) {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey);
        }
    }
    // What the shell will find there now.
    static std::string Current() {
        char value[1024] = {};
        LONG size = sizeof value;
        ::RegQueryValueA(HKEY_CLASSES_ROOT, kKey, value, &size);
        return value;
    }
    bool Set() const { return m_set; }

private:
    static constexpr const char* kKey = "http\\shell\\open\\command";
    char m_saved[1024] = {};
    bool m_hadValue = false;
    bool m_set = false;
};

TEST(WebPageCommand, ShellOpensTheProgramTheArticleNames) {
    ScopedTempDir dir("qf 웹 페이지 ");
    std::string exe = CopyRecorder(dir);
    ASSERT_FALSE(exe.empty()) << "fixture missing under " << BinaryDir();
    TestCatalog catalog;
    catalog.Write("[1]\r\nTITLE=no page\r\n[2]\r\nARTICLE=" + exe + "\r\n");

    // No page to open: nothing is started, whatever the shell would make of it.
    OpenUpdateWebPage(catalog.path, 1);
    OpenUpdateWebPage(dir.File("missing.ini"), 2);
    OpenUpdateWebPage(catalog.path, 2);
    EXPECT_EQ(RecordOf(dir), "started\r\n");
}

TEST(WebPageCommand, WebAddressGoesToTheHandlerOfItsProtocolAsWritten) {
    ScopedTempDir dir("qf handler ");
    std::string exe = CopyRecorder(dir);
    ASSERT_FALSE(exe.empty()) << "fixture missing under " << BinaryDir();
    std::string command = "\"" + exe + "\" \"%1\"";
    HttpHandlerSwap swap(command);
    ASSERT_TRUE(swap.Set());
    // Never hand a web address to the real browser of the machine.
    ASSERT_EQ(HttpHandlerSwap::Current(), command);

    std::string article = HttpUrl("kb/912919.html?lang=ko&view=full");
    TestCatalog catalog;
    catalog.Write("[5]\r\nTITLE=web\r\nARTICLE=" + article + "\r\n");
    OpenUpdateWebPage(catalog.path, 5);
    EXPECT_EQ(RecordOf(dir), "started\r\n" + article + "\r\n");
}

}  // namespace
