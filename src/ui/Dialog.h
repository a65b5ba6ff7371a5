// A small dialog layer over the Win32 dialog manager: one C++ object per
// dialog resource, with virtual handlers. The dialog procedure keeps `this`
// in DWLP_USER from WM_INITDIALOG on and only delegates.
//
// Dialogs run modally (DoModal) in the program. Tests and hosts may also
// create them modeless (Create) and drive them with messages; EndDialog then
// records the result and destroys the window.
//
// Layer: ui/ uses Win32 only: nothing else of the program.
#pragma once
#include <windows.h>

class Dialog {
public:
    explicit Dialog(UINT templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the code given to EndDialog, or -1
    // when the window cannot be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless; nullptr when it cannot be created.
    HWND Create(HWND parent = nullptr);

    HWND GetHwnd() const { return m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // Ends the dialog with `result` (modal), or records it and destroys the
    // window (modeless).
    void EndDialog(INT_PTR result);
    // The code the dialog ended with; -1 while it has not ended.
    INT_PTR Result() const { return m_result; }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_COMMAND other than IDOK/IDCANCEL; true when handled.
    virtual bool OnCommand(WORD /*id*/, WORD /*code*/, HWND /*control*/) { return false; }
    // WM_NOTIFY; true when handled, with the notification's result.
    virtual bool OnNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
    // Every message first comes here; true when handled, with its result.
    virtual bool HandleMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                               LRESULT& /*result*/) {
        return false;
    }

    // Destroys a modeless dialog's window now (a derived destructor calls it
    // before joining its workers, so none is left sending to the window).
    void DestroyWindowNow();

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void CenterOverOwner();

    UINT m_templateId;
    bool m_modal = false;
    INT_PTR m_result = -1;
};

// Handles at most one waiting message of the calling thread's queue. A quit
// message is put back, so the thread's own message loop still ends.
void PumpOneMessage();
