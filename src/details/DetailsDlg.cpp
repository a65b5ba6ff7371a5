// The details window (see DetailsDlg.h).
#include "details/DetailsDlg.h"

#include "resource.h"

CDetailsDlg::CDetailsDlg() : Dialog(IDD_DETAILS) {}

CDetailsDlg::~CDetailsDlg() = default;

void CDetailsDlg::SetDetails(const std::string& description, const std::string& articleUrl) {
    m_strDescription = description;
    m_strArticleUrl = articleUrl;
}

BOOL CDetailsDlg::OnInitDialog() {
    m_editDescription.Attach(Item(IDC_DESCRIPTION));
    m_editDescription.SetText(m_strDescription);
    CreateBrowser();
    // Loading happens later, while the window runs; a page that cannot be
    // shown leaves the browser area empty and the window as it is.
    m_browser.Navigate(m_strArticleUrl.c_str(), nullptr, nullptr, nullptr, nullptr);
    return TRUE;
}

void CDetailsDlg::CreateBrowser() {
    // The template marks the browser's place with a plain control of the
    // same identifier; the browser takes over its rectangle, identifier and
    // place in the tab order.
    HWND placeholder = Item(IDC_BROWSER);
    if (!placeholder) return;
    RECT rect = {};
    ::GetWindowRect(placeholder, &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    HWND previous = ::GetWindow(placeholder, GW_HWNDPREV);
    ::DestroyWindow(placeholder);

    m_browser.Create("", WS_CHILD | WS_VISIBLE, rect, m_hWnd, IDC_BROWSER);
    if (m_browser.GetHwnd()) {
        ::SetWindowPos(m_browser.GetHwnd(), previous ? previous : HWND_TOP, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

bool CDetailsDlg::HandleMessage(UINT msg, WPARAM, LPARAM, LRESULT&) {
    // The control is shut down while the dialog and its own window still
    // exist; the dialog's children are destroyed only after this.
    if (msg == WM_DESTROY) m_browser.DestroyWindow();
    return false;
}
