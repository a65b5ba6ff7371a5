// Dialog: the object behind each dialog resource (see Dialog.h).
#include "ui/Dialog.h"

Dialog::Dialog(UINT templateId) : m_templateId(templateId) {}

Dialog::~Dialog() { DestroyWindowNow(); }

void Dialog::DestroyWindowNow() {
    if (m_hWnd && !m_modal) {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        ::DestroyWindow(hwnd);
    }
}

INT_PTR Dialog::DoModal(HWND parent) {
    m_modal = true;
    m_result = -1;
    INT_PTR r = ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                                  parent, &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return r;
}

HWND Dialog::Create(HWND parent) {
    m_modal = false;
    m_result = -1;
    return ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                                parent, &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    m_result = result;
    if (!m_hWnd) return;
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        ::DestroyWindow(m_hWnd);
    }
}

void Dialog::CenterOverOwner() {
    RECT area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT self;
    ::GetWindowRect(m_hWnd, &self);
    int width = self.right - self.left;
    int height = self.bottom - self.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR r = self->Dispatch(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return r;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleMessage(msg, wParam, lParam, result)) {
        switch (msg) {
        // These messages return their value directly from the dialog procedure.
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    switch (msg) {
    case WM_INITDIALOG: {
        // Top-level dialogs open centred over their owner (or the screen),
        // before OnInitDialog so that a handler may still move them.
        if (!(::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD)) CenterOverOwner();
        return OnInitDialog();
    }
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        WORD code = HIWORD(wParam);
        if (id == IDOK && (code == BN_CLICKED || lParam == 0)) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL && (code == BN_CLICKED || lParam == 0)) {
            OnCancel();
            return TRUE;
        }
        return OnCommand(id, code, reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
        LRESULT notifyResult = 0;
        if (OnNotify(reinterpret_cast<NMHDR*>(lParam), notifyResult)) {
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, notifyResult);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void PumpOneMessage() {
    MSG msg;
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return;
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    } else if (got == 0) {
        // Taking the quit message here must not swallow it: the thread's
        // message loop still has to see it and end.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
    }
}
