// The main window (see MainDlg.h).
#include "app/MainDlg.h"

#include "app/Globals.h"
#include "app/RunLogFile.h"
#include "ui/Messages.h"
#include "catalog/CatalogFile.h"
#include "catalog/Retrieval.h"
#include "app/UpdateList.h"
#include "details/ItemCommands.h"
#include "app/SelfUpdate.h"
#include "app/Config.h"
#include "inventory/Detection.h"
#include "resource.h"
#include "app/SingleInstance.h"
#include "core/UpdateFiles.h"
#include "views/RunDlg.h"
#include "run/Diagnostics.h"
#include "app/RunRecords.h"
#include "core/RestartChain.h"
#include "core/RunJournal.h"
#include "core/RunTexts.h"
#include "ui/MessageBox.h"
#include "win/Machine.h"

namespace {
const char kAskToQuit[] = "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?";
const char kCatalogDownloadFailed[] = "업데이트 목록 파일을 다운로드 받는데 실패하였습니다";
const char kColumnTitle[] = "업데이트 항목";
// The run log's line when Windows will not restart for the chain.
const char kChainRestartRefused[] = "윈도우를 다시 시작할 수 없어 재시작 연속 실행을 마칩니다.";
// The caption before the home page's address (or the repository's path).
const char kMainCaptionPrefix[] = "Quellfix 2.0 - ";
const char kColumnInstalled[] = "설치여부";
// Full-row select, header drag and drop, grid lines, check boxes.
const DWORD kListStyles = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES |
                          LVS_EX_CHECKBOXES;
}  // namespace

CMainDlg::CMainDlg() : Dialog(IDD_MAIN) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CMainDlg::~CMainDlg() = default;

BOOL CMainDlg::OnInitDialog() {
    m_btnStart.Attach(Item(IDC_START_UPDATE));
    m_editSummary.Attach(Item(IDC_SUMMARY));
    m_chkHideInstalled.Attach(Item(IDC_HIDE_INSTALLED));
    m_staticOs.Attach(Item(IDC_OS_NAME));
    m_listUpdates.Attach(Item(IDC_UPDATE_LIST));

    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // With a repository beside the program, updates come from there, and
    // the caption names it where it names the server's site otherwise.
    m_source = UpdateSource(g_strProgramDir);
    if (m_source->IsRepository())
        Control(m_hWnd).SetText(std::string(kMainCaptionPrefix) + m_source->Origin());
    // Every message box of the program carries the main window's caption.
    SetAppName(Control(m_hWnd).GetText());
    AnnounceMainWindow(m_hWnd);

    // When the user accepts a new version of the program, nothing else is
    // set up: the setup program takes over.
    // An unattended run asks nothing, so it offers no new version either.
    if (!g_bAuto && CheckForNewVersion(m_hWnd, DefaultSelfUpdateSite(m_source.get())) == 1) return TRUE;
    InitUpdateList();
    if (g_bAuto) ::PostMessageA(m_hWnd, WM_MAIN_UNATTENDED, 0, 0);
    return TRUE;
}

void CMainDlg::InitUpdateList() {
    m_listUpdates.SetExtendedStyle(kListStyles);
    m_listUpdates.AppendColumn(kColumnTitle, 380);
    m_listUpdates.AppendColumn(kColumnInstalled, 75);
    m_chkHideInstalled.SetCheck(true);

    InventoryTexts texts = RunInventory(m_profile);
    m_staticOs.SetText(texts.osName);
    m_strOsName = texts.osName;
    m_editSummary.SetText(texts.summary);
    ReportInterruptedRun();

    std::string path = CatalogPath();
    FetchFailure why;
    if (!g_bDebug && RetrieveCatalog(path, m_profile, *m_source, &why) == 0) {
        // Why, for the run log of an unattended run and the diagnostic output.
        KeepForRunLog(FetchFailureLine(why));
        LogTextToViewer(FetchFailureText(why));
        ShowMessage(m_hWnd, kCatalogDownloadFailed, MB_OK);
        return;
    }
    m_bCatalogUsable = Evaluate();
    if (!g_bAuto) AskToQuitIfEmpty();
}

bool CMainDlg::Evaluate(int* pendingCount) {
    std::vector<int> pending;
    const bool usable =
        FillUpdateList(CatalogPath(), m_profile, m_listUpdates, m_chkHideInstalled, m_btnStart, &pending);
    if (pendingCount) *pendingCount = static_cast<int>(pending.size());
    // An update found installed (or gone from the catalog) starts afresh.
    InstallHistory history = LoadHistory(g_strProgramDir);
    if (usable && !history.Empty()) {
        std::vector<std::string> urls;
        for (int number : pending)
            urls.push_back(ReadCatalogValue(CatalogPath(), EntrySection(number), kKeyUrl, kRunStart));
        history.KeepOnly(urls);
        SaveHistory(g_strProgramDir, history);
    }
    return usable;
}

void CMainDlg::ReportInterruptedRun() {
    const std::string journal = JournalPath(g_strProgramDir);
    const std::vector<JournalStart> cut = UnfinishedInstalls(ReadSmallFile(journal));
    ::DeleteFileA(journal.c_str());
    if (cut.empty()) return;
    // Each one counts as an installer that may have done its work: three
    // such runs without the update being found stop unattended runs of it.
    InstallHistory history = LoadHistory(g_strProgramDir);
    std::vector<std::string> lines;
    for (const JournalStart& start : cut) {
        lines.push_back(InterruptedInstallText(start.entry, start.title, start.file, start.attempt));
        LogTextToViewer(lines.back());
        if (!start.url.empty()) history.Claimed(start.url);
    }
    SaveHistory(g_strProgramDir, history);
    const std::string header = RunLogHeader(CurrentLocalTime(), kProgramVersion, ComputerName(), m_strOsName);
    AppendRunLogEntry(RunLogPath(g_strProgramDir), RunLogEntry(header, std::string(), lines, kExitFailed));
}

void CMainDlg::RunUnattended() {
    int checked = 0;
    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i) checked += m_listUpdates.GetCheck(i) ? 1 : 0;
    if (m_bCatalogUsable && checked > 0) {
        OnStartUpdate();
    } else {
        m_nExitCode = RunExitCode(!m_bCatalogUsable, RunSummary());
    }
    if (g_bRestartChain) ContinueRestartChain(checked);
    WriteRunLog(m_strRunLog);
    EndDialog(IDCANCEL);
}

void CMainDlg::ContinueRestartChain(int pendingBefore) {
    const std::string state = ChainStatePath(g_strProgramDir);
    const int round = ParseChainState(ReadSmallFile(state)) + 1;
    // What the round installed: the updates no longer found missing.
    int pendingAfter = pendingBefore;
    if (m_bCatalogUsable && pendingBefore > 0) {
        m_listUpdates.DeleteAllItems();
        Evaluate(&pendingAfter);
    }
    const ChainStep step = AfterChainRound(round, m_nExitCode, pendingBefore - pendingAfter);
    if (step == ChainStep::Restart) {
        ::CreateDirectoryA((g_strProgramDir + "\\UPDATES").c_str(), nullptr);
        if (ReplaceSmallFile(state, ChainStateText(round)) && RegisterChainRunOnce(RunningProgramPath())) {
            m_runNotes.push_back(ChainRoundText(round, step));
            if (RestartWindows(g_strProgramDir)) return;
        }
        m_runNotes.push_back(kChainRestartRefused);
    } else {
        m_runNotes.push_back(ChainRoundText(round, step));
    }
    // Every other way out leaves nothing behind to run at the next logon.
    RemoveChainRunOnce();
    ReplaceSmallFile(state, std::string());
}

void CMainDlg::WriteRunLog(const std::string& windowLog) {
    const std::string header = RunLogHeader(CurrentLocalTime(), kProgramVersion, ComputerName(), m_strOsName);
    ::CreateDirectoryA((g_strProgramDir + "\\UPDATES").c_str(), nullptr);
    std::vector<std::string> notes;
    notes.swap(m_runNotes);
    for (const std::string& message : TakeUnattendedMessages()) notes.push_back(message);
    AppendRunLogEntry(RunLogPath(g_strProgramDir), RunLogEntry(header, windowLog, notes, m_nExitCode));
}

void CMainDlg::AskToQuitIfEmpty() {
    if (m_listUpdates.GetItemCount() != 0) return;
    if (ShowMessage(m_hWnd, kAskToQuit, MB_YESNO | MB_ICONINFORMATION) == IDYES) OnCancel();
}

void CMainDlg::OnCancel() { EndDialog(IDCANCEL); }

void CMainDlg::RefillList() {
    m_listUpdates.DeleteAllItems();
    Evaluate();
}

void CMainDlg::OnSelectAll() {
    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i) m_listUpdates.SetCheck(i, true);
}

void CMainDlg::OnDeselectAll() {
    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i) m_listUpdates.SetCheck(i, false);
}

// The automatic check box has already changed state; the user's own check
// marks are lost with the rows.
void CMainDlg::OnHideInstalled() { RefillList(); }

int CMainDlg::FirstSelectedRow() const {
    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i) {
        if (m_listUpdates.IsSelected(i)) return i;
    }
    return -1;
}

bool CMainDlg::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom != IDC_UPDATE_LIST || header->code != NM_CLICK) return false;
    // Wherever the click landed, the menu is for the first selected row.
    if (FirstSelectedRow() >= 0) {
        HMENU menu = BuildItemMenu();
        if (menu) {
            POINT cursor;
            ::GetCursorPos(&cursor);
            ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, m_hWnd,
                             nullptr);
            ::DestroyMenu(menu);
        }
    }
    result = 0;
    return true;
}

void CMainDlg::OnItemCommand(WORD id) {
    int row = FirstSelectedRow();
    int entry = row >= 0 ? static_cast<int>(m_listUpdates.GetItemData(row)) : -1;
    switch (id) {
    case ID_ITEM_DETAILS:
        ShowUpdateDetails(m_hWnd, CatalogPath(), entry);
        break;
    case ID_ITEM_WEBPAGE:
        OpenUpdateWebPage(CatalogPath(), entry);
        break;
    case ID_ITEM_CHECK:
    case ID_ITEM_UNCHECK:
        if (row >= 0) m_listUpdates.SetCheck(row, id == ID_ITEM_CHECK);
        break;
    default:
        break;
    }
}

bool CMainDlg::OnCommand(WORD id, WORD code, HWND) {
    if (id >= ID_ITEM_DETAILS && id <= ID_ITEM_UNCHECK && code == 0) {
        OnItemCommand(id);
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_SELECT_ALL:
        OnSelectAll();
        return true;
    case IDC_DESELECT_ALL:
        OnDeselectAll();
        return true;
    case IDC_HIDE_INSTALLED:
        OnHideInstalled();
        return true;
    case IDC_START_UPDATE:
        OnStartUpdate();
        return true;
    default:
        return false;
    }
}

// Enter starts a run as the start button does, even while it is disabled.
void CMainDlg::OnOK() { OnStartUpdate(); }

void CMainDlg::OnStartUpdate() {
    // While Windows waits for a restart, installers may fail or undo each
    // other: an unattended run installs nothing, a person is asked once.
    const std::string waiting = PendingRestartRecords();
    if (!waiting.empty()) {
        if (g_bAuto) {
            m_runNotes.push_back(PendingRestartText(waiting, true));
            m_nExitCode = kExitRestart;
            return;
        }
        if (ShowMessage(m_hWnd, kRunAskPendingRestart, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        m_runNotes.push_back(PendingRestartText(waiting, false));
    }

    CRunDlg run;
    const std::string path = CatalogPath();
    const std::string folder = g_strProgramDir + "\\UPDATES";
    // An existing folder, or one that cannot be made, is not reported: the
    // downloads then fail in the run window.
    ::CreateDirectoryA(folder.c_str(), nullptr);

    InstallHistory history = LoadHistory(g_strProgramDir);
    std::vector<int> rows;
    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i)
        if (m_listUpdates.GetCheck(i)) rows.push_back(i);
    int skipped = 0;
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const int number = static_cast<int>(m_listUpdates.GetItemData(rows[n]));
        const std::string section = EntrySection(number);
        const auto read = [&](const char* key, const char* missing) {
            return ReadCatalogValue(path, section, key, missing, CatalogReaderBuffer(kRunStart));
        };
        const RunEntry entry = ReadRunEntry(read);
        // An unattended run leaves out what its installer claimed to install
        // run after run without the update ever being found.
        if (g_bAuto && history.Stops(entry.url)) {
            std::vector<std::string> probes;
            for (int k = 1;; ++k) {
                const std::string value = read(ProbeKeyName(k).c_str(), kKeyProbe.missing);
                if (value.empty()) break;
                probes.push_back(ProbeKeyName(k) + "=" + value);
            }
            m_runNotes.push_back(LoopGuardText(static_cast<int>(n) + 1, static_cast<int>(rows.size()),
                                               entry.title, history.Claims(entry.url), probes));
            LogTextToViewer(m_runNotes.back());
            ++skipped;
            continue;
        }
        // A name that would put the file anywhere but directly in UPDATES
        // gets no path: its download fails without a request.
        RunItem item = RunItemOf(entry, folder, number);
        item.attempt = history.Claims(entry.url) + 1;
        run.m_items.push_back(item);
    }
    run.SetSource(m_source.get());
    run.SetJournal(JournalPath(g_strProgramDir));
    run.m_bDebug = g_bDebug;
    run.m_bUnattended = g_bAuto;
    run.DoModal(m_hWnd);

    RunSummary summary = run.Summary();
    for (std::size_t i = 0; i < summary.items.size() && i < run.m_items.size(); ++i) {
        switch (summary.items[i]) {
        case ItemEnd::Succeeded:
        case ItemEnd::Restart:
        case ItemEnd::Abandoned: history.Claimed(run.m_items[i].url); break;
        case ItemEnd::Failed: history.Failed(run.m_items[i].url); break;
        case ItemEnd::NotRun: break;
        }
    }
    SaveHistory(g_strProgramDir, history);
    summary.failed += skipped;
    m_nExitCode = RunExitCode(false, summary);
    if (g_bAuto) {
        // The unattended run writes the log when it ends.
        m_strRunLog = run.LogText();
        return;
    }
    WriteRunLog(run.LogText());
    RefillList();
    AskToQuitIfEmpty();
}

void CMainDlg::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

bool CMainDlg::HandleMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
    switch (msg) {
    case WM_PAINT:
        // Minimised, the window shows its icon; otherwise the dialog paints.
        if (!::IsIconic(m_hWnd)) return false;
        OnPaint();
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_MAIN_UNATTENDED:
        RunUnattended();
        result = 0;
        return true;
    default:
        return false;
    }
}
