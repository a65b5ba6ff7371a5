// The download window (see FetchDlg.h).
#include "net/FetchDlg.h"

#include "core/RunPlan.h"
#include "net/Download.h"
#include "resource.h"
#include "ui/Messages.h"

namespace {
const char kFetchCaption[] = "업데이트 파일을 다운로드 받고 있습니다";
}  // namespace

CFetchDlg::CFetchDlg() : Dialog(IDD_FETCH) {}

CFetchDlg::~CFetchDlg() {
    DestroyWindowNow();
    m_worker.Join();
}

INT_PTR CFetchDlg::Run(std::string url, std::string localPath, HWND owner) {
    m_strLocalPath = std::move(localPath);
    m_strUrl = std::move(url);
    INT_PTR result = DoModal(owner);
    // The transfer thread ends right after its last message.
    m_worker.Join();
    return result == IDOK ? IDOK : IDCANCEL;
}

BOOL CFetchDlg::OnInitDialog() {
    m_progress.Attach(Item(IDC_FETCH_PROGRESS));
    Control(m_hWnd).SetText(kFetchCaption);
    m_nExpectedSize = GetRemoteFileSize(m_strUrl);
    if (m_nExpectedSize == 0) {
        ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
        return FALSE;
    }
    m_progress.SetRange32(0, static_cast<int>(m_nExpectedSize));
    if (AlreadyDownloaded(m_nExpectedSize, LocalFileLength(m_strLocalPath))) {
        ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 1);
        return FALSE;
    }
    if (!m_worker.Start(&CFetchDlg::FetchThreadProc, this)) {
        ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
        return FALSE;
    }
    return TRUE;
}

unsigned CFetchDlg::FetchThreadProc(void* param) {
    CFetchDlg* self = static_cast<CFetchDlg*>(param);
    self->m_nResult = DownloadFile(self->m_strUrl, self->m_strLocalPath, self->GetHwnd());
    return 0;
}

bool CFetchDlg::HandleMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
    switch (msg) {
    case WM_DOWNLOAD_PROGRESS:
        m_progress.SetPos(static_cast<int>(lParam));
        result = 0;
        return true;
    case WM_DOWNLOAD_DONE:
        EndDialog(lParam == 1 ? IDOK : IDCANCEL);
        result = 1;
        return true;
    default:
        return false;
    }
}
