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
#include "ui/MessageBox.h"

namespace {
const char kAskToQuit[] = "모든 업데이트가 설치되어 있습니다. 프로그램을 종료하시겠습니까?";
const char kCatalogDownloadFailed[] = "업데이트 목록 파일을 다운로드 받는데 실패하였습니다";
const char kColumnTitle[] = "업데이트 항목";
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

    std::string path = CatalogPath();
    FetchFailure why;
    if (!g_bDebug && RetrieveCatalog(path, m_profile, *m_source, &why) == 0) {
        // Why, for the run log of an unattended run and the diagnostic output.
        KeepForRunLog(FetchFailureLine(why));
        LogTextToViewer(FetchFailureText(why));
        ShowMessage(m_hWnd, kCatalogDownloadFailed, MB_OK);
        return;
    }
    m_bCatalogUsable = FillUpdateList(path, m_profile, m_listUpdates, m_chkHideInstalled, m_btnStart);
    if (!g_bAuto) AskToQuitIfEmpty();
}

void CMainDlg::RunUnattended() {
    bool anyChecked = false;
    for (int i = 0; i < m_listUpdates.GetItemCount() && !anyChecked; ++i)
        anyChecked = m_listUpdates.GetCheck(i);
    if (m_bCatalogUsable && anyChecked) {
        OnStartUpdate();
    } else {
        m_nExitCode = RunExitCode(!m_bCatalogUsable, RunSummary());
        WriteRunLog(std::string());
    }
    EndDialog(IDCANCEL);
}

void CMainDlg::WriteRunLog(const std::string& windowLog) {
    const std::string header = RunLogHeader(CurrentLocalTime(), kProgramVersion, ComputerName(), m_strOsName);
    ::CreateDirectoryA((g_strProgramDir + "\\UPDATES").c_str(), nullptr);
    AppendRunLogEntry(RunLogPath(g_strProgramDir),
                      RunLogEntry(header, windowLog, TakeUnattendedMessages(), m_nExitCode));
}

void CMainDlg::AskToQuitIfEmpty() {
    if (m_listUpdates.GetItemCount() != 0) return;
    if (ShowMessage(m_hWnd, kAskToQuit, MB_YESNO | MB_ICONINFORMATION) == IDYES) OnCancel();
}

void CMainDlg::OnCancel() { EndDialog(IDCANCEL); }

void CMainDlg::RefillList() {
    m_listUpdates.DeleteAllItems();
    FillUpdateList(CatalogPath(), m_profile, m_listUpdates, m_chkHideInstalled, m_btnStart);
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
    CRunDlg run;
    const std::string path = CatalogPath();
    const std::string folder = g_strProgramDir + "\\UPDATES";
    // An existing folder, or one that cannot be made, is not reported: the
    // downloads then fail in the run window.
    ::CreateDirectoryA(folder.c_str(), nullptr);

    for (int i = 0; i < m_listUpdates.GetItemCount(); ++i) {
        if (!m_listUpdates.GetCheck(i)) continue;
        const std::string section = EntrySection(static_cast<int>(m_listUpdates.GetItemData(i)));
        const RunEntry entry = ReadRunEntry([&](const char* key, const char* missing) {
            return ReadCatalogValue(path, section, key, missing, CatalogReaderBuffer(kRunStart));
        });
        // A name that would put the file anywhere but directly in UPDATES
        // gets no path: its download fails without a request.
        run.m_items.push_back(RunItemOf(entry, folder));
    }
    run.SetSource(m_source.get());
    run.m_bDebug = g_bDebug;
    run.m_bUnattended = g_bAuto;
    run.DoModal(m_hWnd);
    m_nExitCode = RunExitCode(false, run.Summary());
    WriteRunLog(run.LogText());
    if (g_bAuto) return;  // the program ends with this run

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
