// The run window (see RunDlg.h).
#include "views/RunDlg.h"

#include "core/RunTexts.h"
#include "resource.h"
#include "ui/MessageBox.h"
#include "ui/Messages.h"

CRunDlg::CRunDlg() : Dialog(IDD_RUN) {}

CRunDlg::~CRunDlg() {
    // With the window gone no worker can be waiting on this thread: a send to
    // a destroyed window returns at once.
    DestroyWindowNow();
    m_workers.Join();
}

BOOL CRunDlg::OnInitDialog() {
    m_btnCancel.Attach(Item(IDCANCEL));
    m_staticStatus.Attach(Item(IDC_RUN_STATUS));
    m_progressFile.Attach(Item(IDC_PROGRESS_FILE));
    m_progressTotal.Attach(Item(IDC_PROGRESS_TOTAL));
    m_editLog.Attach(Item(IDC_RUN_LOG));
    // The log of a long run outgrows an edit control's first limit.
    m_editLog.Send(EM_LIMITTEXT, 0, 0);
    m_bStarted = 0;
    m_bRunning = 0;
    m_bCancel = 0;
    return TRUE;
}

// Enter never closes the run window.
void CRunDlg::OnOK() {}

void CRunDlg::OnCancel() {
    if (m_bRunning == 1) {
        if (ShowMessage(m_hWnd, kRunAskCancel, MB_YESNO | MB_ICONQUESTION) == IDYES) m_bCancel = 1;
        return;
    }
    EndDialog(IDCANCEL);
}

void CRunDlg::AppendLog(const std::string& text) {
    m_editLog.Append(text.c_str());
    m_strLogText += text;
}

void CRunDlg::StartRun() {
    m_bCancel = 0;
    m_nCurrent = 0;
    const int count = static_cast<int>(m_items.size());
    m_progressTotal.SetRange32(0, 2 * count);
    m_progressTotal.SetStep(1);
    m_progressTotal.SetPos(0);
    if (count == 0) {
        AppendLog(kRunNothingToDo);
        m_bRunning = 0;
        m_finished = RunSummary();
        m_finished.ran = true;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        return;
    }
    m_bRunning = 1;
    m_staticStatus.SetText(m_items[0].title);
    AppendLog(DownloadingText(1, count, m_items[0].title));
    if (!m_source) {
        m_ownSource.reset(new ServerSource(std::string()));
        m_source = m_ownSource.get();
    }
    if (!m_workers.Start(&CRunDlg::RunThread, this)) {
        // No thread: nothing of the run can be done.
        m_bRunning = 0;
        m_finished = RunSummary();
        m_finished.ran = true;
        m_finished.failed = count;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
    }
}

unsigned CRunDlg::RunThread(void* param) {
    CRunDlg* self = static_cast<CRunDlg*>(param);
    RunSettings settings = BuildRunSettings();
    settings.debug = self->m_bDebug != 0;
    settings.journalPath = self->m_strJournalPath;
    RunUpdates(self->m_items, *self->m_source, *self, self->m_bCancel, settings);
    return 0;
}

// -- The run's reports, on the worker -----------------------------------------

void CRunDlg::FileSize(long size) { ::SendMessageA(m_hWnd, WM_DOWNLOAD_SIZE, 0, size); }

void CRunDlg::Progress(unsigned long long received) {
    ::SendMessageA(m_hWnd, WM_DOWNLOAD_PROGRESS, 0, static_cast<LPARAM>(received));
}

void CRunDlg::DownloadDone(DownloadResult result, NextStep next) {
    m_next = next;
    ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, static_cast<LPARAM>(result));
}

void CRunDlg::Log(const std::string& text) {
    ::SendMessageA(m_hWnd, WM_RUN_LOG, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CRunDlg::Detail(const std::string& line) {
    ::SendMessageA(m_hWnd, WM_RUN_DETAIL, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void CRunDlg::Step() { ::SendMessageA(m_hWnd, WM_RUN_STEP, 0, 0); }

bool CRunDlg::ConfirmLaunch(const std::string&) {
    return ::MessageBoxA(nullptr, kRunAskRunDebug, AppName().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CRunDlg::ReportUnrecognised() {
    ::MessageBoxA(nullptr, kRunUndefinedDebug, AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CRunDlg::Finished(const RunSummary& summary) {
    m_finished = summary;
    ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
    // Last: from here on the close button closes without asking.
    m_bRunning = 0;
}

// -- The window's handling ------------------------------------------------------

void CRunDlg::OnDownloadDone(DownloadResult result) {
    m_progressTotal.StepIt();
    AppendLog(DownloadDoneText(result));
    switch (m_next) {
    case NextStep::Download:
        ++m_nCurrent;
        m_staticStatus.SetText(m_items[m_nCurrent].title);
        AppendLog(DownloadingText(static_cast<int>(m_nCurrent) + 1, static_cast<int>(m_items.size()),
                                  m_items[m_nCurrent].title));
        break;
    case NextStep::Cancelled:
        AppendLog(kRunCancelled);
        break;
    case NextStep::Install:
        m_staticStatus.SetText(kRunAllDownloaded);
        AppendLog(InstallStartText());
        break;
    }
}

void CRunDlg::OnFinished() {
    m_btnCancel.SetText(kRunCloseButton);
    m_summary = m_finished;
    m_summary.ran = true;
    if (m_bUnattended) EndDialog(IDOK);
}

bool CRunDlg::HandleMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
        if (!m_bStarted) {
            m_bStarted = 1;
            StartRun();
        }
        result = 0;
        return true;
    }
    case WM_DOWNLOAD_PROGRESS:
        m_progressFile.SetPos(static_cast<int>(lParam));
        result = 0;
        return true;
    case WM_DOWNLOAD_DONE:
        OnDownloadDone(static_cast<DownloadResult>(lParam));
        result = 0;
        return true;
    case WM_RUN_LOG:
        if (lParam) AppendLog(reinterpret_cast<const char*>(lParam));
        result = 0;
        return true;
    case WM_RUN_DETAIL:
        // The run log file's, not the window's.
        if (lParam) m_strLogText += reinterpret_cast<const char*>(lParam);
        result = 0;
        return true;
    case WM_RUN_STEP:
        m_progressTotal.StepIt();
        result = 0;
        return true;
    case WM_RUN_FINISHED:
        OnFinished();
        result = 0;
        return true;
    case WM_DOWNLOAD_SIZE:
        m_progressFile.SetRange32(0, static_cast<int>(lParam));
        AppendLog(FileSizeText(static_cast<long>(lParam)));
        result = 0;
        return true;
    default:
        return false;
    }
}
