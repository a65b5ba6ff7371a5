// CWebBrowser2: the system's WebBrowser ActiveX control hosted in a child
// window of a dialog, for the details window's article page.
//
// There is no control container to lean on, so this file carries a small
// control site of its own: just enough of IOleClientSite, IOleInPlaceSite,
// IOleInPlaceFrame and an ambient-property IDispatch for the control to
// activate in place inside our child window. The child window exists even
// when the control cannot be created (no COM on the thread, the control not
// installed): it then stays a plain empty area and Navigate does nothing,
// so a window that hosts it can always open.
#pragma once
#include <windows.h>
#include <ole2.h>

class BrowserSite;
struct IWebBrowser2;

class CWebBrowser2 {
public:
    CWebBrowser2() = default;
    ~CWebBrowser2();
    CWebBrowser2(const CWebBrowser2&) = delete;
    CWebBrowser2& operator=(const CWebBrowser2&) = delete;

    // Creates the child window (`style` is given WS_CHILD) with `windowName`
    // and control identifier `id` at `rect` in `parent`'s client area, then
    // the WebBrowser control inside it from no persisted state, activated in
    // place. FALSE when the control cannot be created or activated; the child
    // window then remains as a plain empty area (it is not created at all
    // when `parent` is not a window). Calling it again replaces the first.
    BOOL Create(const char* windowName, DWORD style, const RECT& rect, HWND parent, UINT id);

    // Asks the control to go to `url` (8-bit text in the ANSI code page).
    // The four optional arguments may be null; a null one is passed to the
    // control as a reference to an empty VARIANT, which the control reads as
    // "not given". Returns the control's answer to the call, or E_FAIL when
    // there is no control. Loading goes on after the call returns, while the
    // thread dispatches messages.
    HRESULT Navigate(const char* url, VARIANT* flags, VARIANT* targetFrameName,
                     VARIANT* postData, VARIANT* headers);

    // Shuts the control down and destroys the child window. Safe to call at
    // any time and more than once; the child window's own destruction (with
    // its dialog) does the same.
    void DestroyWindow();

    HWND GetHwnd() const { return m_hWnd; }
    // True while the control is created and active in the child window.
    bool HasControl() const { return m_pObject != nullptr; }

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void ReleaseControl();
    void Resize();

    HWND m_hWnd = nullptr;
    IOleObject* m_pObject = nullptr;
    IWebBrowser2* m_pBrowser = nullptr;
    BrowserSite* m_pSite = nullptr;
};
