// The main window: the system summary, the update list and the commands.
#pragma once
#include <windows.h>

#include "ui/Dialog.h"

class CMainDlg : public Dialog {
public:
    CMainDlg();
    ~CMainDlg() override;

protected:
    BOOL OnInitDialog() override;
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    HICON m_hIcon = nullptr;
};
