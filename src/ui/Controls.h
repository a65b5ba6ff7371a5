// Thin wrappers over the controls the windows use. Each holds only the
// control's window handle; a wrapper with no handle does nothing and reads
// as empty.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

class Control {
public:
    Control() = default;
    explicit Control(HWND hwnd) : m_hWnd(hwnd) {}
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetHwnd() const { return m_hWnd; }

    void SetText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetText() const;
    void Enable(bool enable) const { ::EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    bool IsEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }

protected:
    HWND m_hWnd = nullptr;
};

class Button : public Control {
public:
    using Control::Control;
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class Edit : public Control {
public:
    using Control::Control;
    // Appends at the caret, which a read-only or disabled log keeps at the end.
    void Append(const char* text) const {
        Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    }
};

class Static : public Control {
public:
    using Control::Control;
};

class ProgressBar : public Control {
public:
    using Control::Control;
    void SetRange32(int low, int high) const { Send(PBM_SETRANGE32, low, high); }
    // Moves the bar to `pos`. The control repaints itself for every change
    // of its position; here it repaints only when the end of the drawn part
    // moves to another pixel, while its position still follows every call.
    void SetPos(int pos) const;
    void SetStep(int step) const { Send(PBM_SETSTEP, step); }
    void StepIt() const { Send(PBM_STEPIT); }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

class ListView : public Control {
public:
    using Control::Control;
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }
    void SetExtendedStyle(DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }
    // Appends a column after the existing ones; returns its index or -1.
    int AppendColumn(const char* text, int width) const;
    // Inserts a row at `index`; returns its index or -1.
    int InsertItem(int index, const std::string& text) const;
    void SetItemText(int index, int column, const std::string& text) const;
    std::string GetItemText(int index, int column) const;
    bool SetItemData(int index, LPARAM data) const;
    LPARAM GetItemData(int index) const;
    bool GetCheck(int index) const;
    void SetCheck(int index, bool checked) const;
    bool IsSelected(int index) const {
        return (Send(LVM_GETITEMSTATE, index, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }
    void SetSelected(int index, bool selected) const;
};
