// A small modal window with one progress bar that fetches one file through
// the run's fetch stage (run/RunEngine.h) and closes itself when the file is
// there, verified where a rule asks for it (IDOK), or cannot be had
// (IDCANCEL). The user cannot close it: it has no buttons and ignores Enter
// and Esc.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/FetchVerified.h"
#include "net/Source.h"
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
    // Fetches `resource` from `source` into `localPath` and checks it by
    // `rule`: IDOK only for a file that passed, which File() then holds
    // against writers; IDCANCEL otherwise, with the cause in File().
    INT_PTR Run(FileSource& source, const Resource& resource, std::string localPath,
                const VerifyRule& rule, HWND owner = nullptr);
    FetchedFile& File() { return m_fetched; }

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
    long m_nExpectedSize = 0;
    FileSource* m_source = nullptr;
    std::unique_ptr<FileSource> m_ownSource;
    Resource m_resource;
    VerifyRule m_rule;
    // Written by the transfer thread before its last message.
    FetchedFile m_fetched;
    // Joined before the object goes, so the thread never outlives it.
    Worker m_worker;
};
