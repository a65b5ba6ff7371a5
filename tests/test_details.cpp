// The details window and its WebBrowser host: the real control through real
// COM in real windows, the article fetched from the loopback test server. A
// system without the control is made for a test by pointing the control's
// class registration at a library that does not exist; the window must work
// there all the same.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "details/DetailsDlg.h"
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

}  // namespace
