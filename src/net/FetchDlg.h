// A small modal window with one progress bar that fetches one file and
// closes itself when the file is there (IDOK) or cannot be had (IDCANCEL).
// The user cannot close it: it has no buttons and ignores Enter and Esc.
#pragma once
#include <windows.h>

#include <string>

#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Worker.h"

class CFetchDlg : public Dialog {
public:
    CFetchDlg();
    ~CFetchDlg() override;

    // Fetches `url` into `localPath`; IDOK when the file is present, IDCANCEL
    // otherwise.
    INT_PTR Run(std::string url, std::string localPath, HWND owner = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static unsigned FetchThreadProc(void* param);

    ProgressBar m_progress;
    std::string m_strLocalPath;
    std::string m_strUrl;
    int m_nResult = 0;
    long m_nExpectedSize = 0;
    // Joined before the object goes, so the thread never outlives it.
    Worker m_worker;
};
