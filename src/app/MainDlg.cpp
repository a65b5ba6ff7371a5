// The main window (see MainDlg.h).
#include "app/MainDlg.h"

#include "resource.h"
#include "ui/Controls.h"
#include "ui/MessageBox.h"

CMainDlg::CMainDlg() : Dialog(IDD_MAIN) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CMainDlg::~CMainDlg() = default;

BOOL CMainDlg::OnInitDialog() {
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Every message box of the program carries the main window's caption.
    SetAppName(Control(m_hWnd).GetText());
    return TRUE;
}

bool CMainDlg::HandleMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    if (msg == WM_QUERYDRAGICON) {
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    }
    return false;
}
