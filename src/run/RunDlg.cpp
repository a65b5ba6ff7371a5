// The run window and its workers (see RunDlg.h).
#include "run/RunDlg.h"

#include "inventory/OsIdentify.h"
#include "net/Download.h"
#include "resource.h"
#include "run/Diagnostics.h"
#include "run/Installer.h"
#include "core/RunTexts.h"
#include "trust/Verify.h"
#include "ui/Messages.h"
#include "ui/MessageBox.h"

namespace {

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
    m_nFailed = 0;
    m_bRestart = 0;
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
    const int count = static_cast<int>(m_items.size());
    m_states.assign(m_items.size(), ItemState::Absent);
    m_progressTotal.SetRange32(0, 2 * count);
    m_progressTotal.SetStep(1);
    m_progressTotal.SetPos(0);
    if (count == 0) {
        AppendLog(kRunNothingToDo);
        m_bRunning = 0;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        return;
    }
    m_bRunning = 1;
    m_staticStatus.SetText(m_items[0].title);
    AppendLog(DownloadingText(1, count, m_items[0].title));
    StartDownload(0);
}

void CRunDlg::StartDownload(size_t item) {
    m_current = m_items[item];
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
    const std::string url = self->m_current.url;
    const std::string path = self->m_current.path;
    const DigestRule rule = DigestRuleOf(self->m_current.sha256, SignedBuild());
    const auto done = [hwnd](DownloadResult result) {
        ::SendMessageA(hwnd, WM_DOWNLOAD_DONE, 0, static_cast<LPARAM>(result));
    };

    // No path (a file name that would leave UPDATES) or nothing to check the
    // file against: no request is made.
    if (path.empty()) {
        done(DownloadResult::Failed);
        return 0;
    }
    if (rule.required && !rule.pinned) {
        done(DownloadResult::NotTheFile);
        return 0;
    }
    long size = GetRemoteFileSize(url);
    ::SendMessageA(hwnd, WM_DOWNLOAD_SIZE, 0, size);
    // A pinned file already there must also have the pinned digest, or it is
    // fetched again.
    if (AlreadyDownloaded(size, LocalFileLength(path)) &&
        (!rule.pinned || FileHasDigest(path, rule.digest))) {
        done(DownloadResult::AlreadyThere);
        return 0;
    }
    DownloadResult result = FetchFile(url, path, hwnd) == 1 ? DownloadResult::Fetched
                                                            : DownloadResult::Failed;
    if (result == DownloadResult::Fetched && rule.pinned && !FileHasDigest(path, rule.digest)) {
        ::DeleteFileA(path.c_str());
        result = DownloadResult::NotTheFile;
    }
    done(result);
    return 0;
}

void CRunDlg::OnDownloadDone(DownloadResult result) {
    if (m_nCurrent < m_states.size()) m_states[m_nCurrent] = StateAfter(result);
    m_progressTotal.StepIt();
    AppendLog(DownloadDoneText(result));
    switch (AfterDownload(m_nCurrent, m_items.size(), m_bCancel != 0)) {
    case NextStep::Download:
        ++m_nCurrent;
        m_staticStatus.SetText(m_items[m_nCurrent].title);
        AppendLog(DownloadingText(static_cast<int>(m_nCurrent) + 1, static_cast<int>(m_items.size()),
                                  m_items[m_nCurrent].title));
        StartDownload(m_nCurrent);
        break;
    case NextStep::Cancelled:
        AppendLog(kRunCancelled);
        m_bRunning = 0;
        ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        break;
    case NextStep::Install:
        m_staticStatus.SetText(kRunAllDownloaded);
        AppendLog(InstallStartText());
        if (!m_workers.Start(&CRunDlg::InstallThread, this)) {
            m_bRunning = 0;
            ::SendMessageA(m_hWnd, WM_RUN_FINISHED, 0, 0);
        }
        break;
    }
}

unsigned CRunDlg::InstallThread(void* param) {
    CRunDlg* self = static_cast<CRunDlg*>(param);
    HWND hwnd = self->GetHwnd();
    const int count = static_cast<int>(self->m_items.size());
    bool restartNeeded = false;
    for (int i = 0; i < count; ++i) {
        const RunItem& item = self->m_items[static_cast<size_t>(i)];
        const ItemState state = self->m_states[static_cast<size_t>(i)];
        const std::string& title = item.title;
        if (self->m_bCancel) {
            SendLog(hwnd, kRunInstallCancelled);
            break;
        }
        const std::string& path = item.path;
        if (state != ItemState::Present) {
            // Whatever lies at the path is not the update: never run it.
            SendLog(hwnd, NotInstalledText(state, i + 1, count, title));
            ++self->m_nFailed;
            ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
            continue;
        }
        // The file is checked again right before it runs, through a handle
        // that keeps every writer out until the installer has been started:
        // the bytes checked are the bytes run.
        KernelHandle held;
        const DigestRule rule = DigestRuleOf(item.sha256, SignedBuild());
        if (rule.required) {
            held.Reset(OpenDenyingWriters(path));
            Sha256Digest actual;
            if (!rule.pinned || !HashFile(held.Get(), actual) || actual != rule.digest) {
                held.Close();
                ::DeleteFileA(path.c_str());
                SendLog(hwnd, VerifyFailedText(i + 1, count, title));
                ++self->m_nFailed;
                ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
                continue;
            }
        }
        SendLog(hwnd, InstallingText(i + 1, count, title));

        InstallerInfo info;
        ReadInstallerInfo(path, info);
        SwitchChoice choice = ChooseSwitches(item.cmdLine, info, path, IsWindows98(), InstalledMsiexecMajor());
        for (const std::string& line : choice.diagnostics) LogToViewer("%s", line.c_str());
        if (choice.unrecognised && self->m_bDebug)
            ::MessageBoxA(nullptr, kRunUndefinedDebug, AppName().c_str(), MB_OK | MB_ICONEXCLAMATION);
        const std::string commandLine = BuildCommandLine(path, choice);
        // The command line is sent as text: a '%' in a path stays as it is.
        LogToViewer("%s", commandLine.c_str());

        InstallOutcome outcome = InstallOutcome::Declined;
        unsigned long exitCode = 0;
        bool launch = !self->m_bDebug || ::MessageBoxA(nullptr, kRunAskRunDebug, AppName().c_str(),
                                                 MB_YESNO | MB_ICONQUESTION) == IDYES;
        if (launch) {
            // Yes to the cancel question stops the wait for this installer;
            // it is left running.
            // (A cancel answered before this installer started, in debug
            // mode, already let it start; it is then awaited as before.)
            WaitControl control;
            const bool cancelledBefore = self->m_bCancel != 0;
            control.giveUp = [self, cancelledBefore] { return !cancelledBefore && self->m_bCancel != 0; };
            control.stillRunning = [hwnd](int reports) { SendLog(hwnd, StillRunningText(5 * reports)); };
            control.reportInterval = StillRunningInterval();
            RunResult result = RunAndWait(commandLine, &held, &control);
            if (result.abandoned) {
                SendLog(hwnd, kRunInstallAbandoned);
                ++self->m_nFailed;
                ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
                continue;
            }
            exitCode = result.exitCode;
            outcome = OutcomeOf(result.started, exitCode);
        }
        held.Close();
        if (outcome == InstallOutcome::DoneRestart) restartNeeded = true;
        if (outcome == InstallOutcome::Failed || outcome == InstallOutcome::NotStarted)
            ++self->m_nFailed;
        SendLog(hwnd, OutcomeText(outcome, exitCode));
        ::SendMessageA(hwnd, WM_RUN_STEP, 0, 0);
    }
    if (restartNeeded) SendLog(hwnd, kRunRestartNeeded);
    self->m_bRestart = restartNeeded ? 1 : 0;
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
        OnDownloadDone(static_cast<DownloadResult>(lParam));
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
        m_summary.ran = true;
        m_summary.failed = m_nFailed;
        m_summary.restart = m_bRestart != 0;
        m_summary.cancelled = m_bCancel != 0;
        m_strLogText = m_editLog.GetText();
        if (m_bUnattended) EndDialog(IDOK);
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
