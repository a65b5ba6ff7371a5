// The run window and its workers (see RunDlg.h).
#include "run/RunDlg.h"

#include "app/Globals.h"
#include "inventory/OsIdentify.h"
#include "net/Download.h"
#include "resource.h"
#include "run/Diagnostics.h"
#include "run/Installer.h"
#include "run/RunTexts.h"
#include "ui/Messages.h"
#include "ui/MessageBox.h"

namespace {

// Download results carried by WM_DOWNLOAD_DONE: 0 failed, 1 fetched, 2 a
// file of the server's size was already there.
const LPARAM kSkippedPresent = 2;

LRESULT SendLog(HWND hwnd, const std::string& text) {
    return ::SendMessageA(hwnd, WM_RUN_LOG, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

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

void CRunDlg::StartRun() {
    m_bCancel = 0;
    m_nCurrent = 0;
    int count = static_cast<int>(m_arrTitles.size());
    m_arrPresent.assign(m_arrPaths.size(), 0);
    m_progressTotal.SetRange32(0, 2 * count);
    m_progressTotal.SetStep(1);
    m_progressTotal.SetPos(0);
    m_nTotal = count;
    if (count == 0) {
        AppendLog(kRunNothingToDo);
        m_bRunning = 0;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        return;
    }
    m_bRunning = 1;
    m_staticStatus.SetText(m_arrTitles[0]);
    AppendLog(DownloadingText(1, m_nTotal, m_arrTitles[0]));
    StartDownload(m_arrUrls[0], m_arrPaths[0]);
}

void CRunDlg::StartDownload(const std::string& url, const std::string& path) {
    m_strCurUrl = url;
    m_strCurPath = path;
    if (!m_workers.Start(&CRunDlg::DownloadThread, this)) {
        // No thread: the item counts as a failed download and the run goes on.
        ::PostMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
    }
}

unsigned CRunDlg::DownloadThread(void* param) {
    CRunDlg* self = static_cast<CRunDlg*>(param);
    if (!self) {
        ::MessageBoxA(nullptr, "DownloadThread Error", AppName().c_str(), MB_OK);
        return 0;
    }
    HWND hwnd = self->GetHwnd();
    const std::string url = self->m_strCurUrl;
    const std::string path = self->m_strCurPath;

    long size = GetRemoteFileSize(url);
    ::SendMessageA(hwnd, WM_DOWNLOAD_SIZE, 0, size);
    // A file already there counts as complete only against a size the server
    // gave: an empty answer says nothing about the file.
    if (size > 0 && LocalFileLength(path) == size) {
        ::SendMessageA(hwnd, WM_DOWNLOAD_DONE, 0, kSkippedPresent);
        return 0;
    }
    DownloadFile(url, path, hwnd);
    return 0;
}

void CRunDlg::OnDownloadDone(LPARAM result) {
    if (m_nCurrent < static_cast<int>(m_arrPresent.size()))
        m_arrPresent[static_cast<size_t>(m_nCurrent)] = (result == 1 || result == kSkippedPresent);
    const char* doneText = (result == 1 || result == kSkippedPresent) ? kRunDownloadDone
                                                                      : kRunDownloadFailed;
    m_progressTotal.StepIt();
    ++m_nCurrent;
    if (m_nCurrent < m_nTotal && !m_bCancel) {
        m_staticStatus.SetText(m_arrTitles[static_cast<size_t>(m_nCurrent)]);
        AppendLog(doneText);
        AppendLog(DownloadingText(m_nCurrent + 1, m_nTotal,
                                  m_arrTitles[static_cast<size_t>(m_nCurrent)]));
        StartDownload(m_arrUrls[static_cast<size_t>(m_nCurrent)],
                      m_arrPaths[static_cast<size_t>(m_nCurrent)]);
    } else if (m_bCancel) {
        AppendLog(doneText);
        AppendLog(kRunCancelled);
        m_bRunning = 0;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
    } else {
        m_staticStatus.SetText(kRunAllDownloaded);
        AppendLog(doneText);
        AppendLog(InstallStartText());
        if (!m_workers.Start(&CRunDlg::InstallThread, this)) {
            m_bRunning = 0;
            ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        }
    }
}

unsigned CRunDlg::InstallThread(void* param) {
    CRunDlg* self = static_cast<CRunDlg*>(param);
    HWND hwnd = self->GetHwnd();
    const int count = static_cast<int>(self->m_arrPaths.size());
    bool restartNeeded = false;
    for (int i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(i);
        const std::string title = at < self->m_arrTitles.size() ? self->m_arrTitles[at] : "";
        if (self->m_bCancel) {
            SendLog(hwnd, kRunInstallCancelled);
            break;
        }
        if (!self->m_arrPresent[at]) {
            // Whatever lies at the path is not the update: never run it.
            SendLog(hwnd, NotDownloadedText(i + 1, count, title));
            ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
            continue;
        }
        SendLog(hwnd, InstallingText(i + 1, count, title));

        const std::string& path = self->m_arrPaths[at];
        InstallerInfo info;
        ReadInstallerInfo(path, info);
        const std::string cmdLine = at < self->m_arrCmdLines.size() ? self->m_arrCmdLines[at] : "";
        SwitchChoice choice = ChooseSwitches(cmdLine, info, path, IsWindows98());
        for (const std::string& line : choice.diagnostics) LogToViewer("%s", line.c_str());
        if (choice.unrecognised && g_bDebug)
            ::MessageBoxA(nullptr, kRunUndefinedDebug, AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
        const std::string commandLine = BuildCommandLine(path, choice);
        // The command line is sent as text: a '%' in a path stays as it is.
        LogToViewer("%s", commandLine.c_str());

        InstallOutcome outcome = InstallOutcome::Declined;
        unsigned long exitCode = 0;
        bool launch = !g_bDebug || ::MessageBoxA(nullptr, kRunAskRunDebug, AppName().c_str(),
                                                 MB_YESNO | MB_ICONQUESTION) == IDYES;
        if (launch) {
            RunResult result = RunAndWait(commandLine);
            exitCode = result.exitCode;
            outcome = OutcomeOf(result.started, exitCode);
        }
        if (outcome == InstallOutcome::DoneRestart) restartNeeded = true;
        SendLog(hwnd, OutcomeText(outcome, exitCode));
        ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
    }
    if (restartNeeded) SendLog(hwnd, kRunRestartNeeded);
    ::SendMessageA(hwnd, WM_RUN_FINISHED, 0, 0);
    // Last: from here on the close button closes without asking.
    self->m_bRunning = 0;
    return 0;
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
        OnDownloadDone(lParam);
        result = 0;
        return true;
    case WM_RUN_LOG:
        if (lParam) m_editLog.Append(reinterpret_cast<const char*>(lParam));
        result = 0;
        return true;
    case WM_RUN_STEP:
        m_progressTotal.StepIt();
        result = 0;
        return true;
    case WM_RUN_FINISHED:
        m_btnCancel.SetText(kRunCloseButton);
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
