// The download window (see FetchDlg.h).
#include "views/FetchDlg.h"

#include "core/RunPlan.h"
#include "resource.h"
#include "run/RunEngine.h"
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
    m_ownSource.reset(new ServerSource(std::string()));
    return Run(*m_ownSource, m_ownSource->Installer(url), std::move(localPath), VerifyRule(), owner);
}

INT_PTR CFetchDlg::Run(FileSource& source, const Resource& resource, std::string localPath,
                       const VerifyRule& rule, HWND owner) {
    m_source = &source;
    m_resource = resource;
    m_rule = rule;
    m_strLocalPath = std::move(localPath);
    m_strUrl = resource.url;
    m_fetched = FetchedFile();
    INT_PTR result = DoModal(owner);
    // The transfer thread ends right after its last message.
    m_worker.Join();
    return result == IDOK ? IDOK : IDCANCEL;
}

BOOL CFetchDlg::OnInitDialog() {
    m_progress.Attach(Item(IDC_FETCH_PROGRESS));
    Control(m_hWnd).SetText(kFetchCaption);
    m_nExpectedSize = m_source->Size(m_resource);
    if (m_nExpectedSize == 0) {
        ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
        return FALSE;
    }
    m_progress.SetRange32(0, static_cast<int>(m_nExpectedSize));
    // A file already in place is taken when it passes the check too.
    if (AlreadyDownloaded(m_nExpectedSize, LocalFileLength(m_strLocalPath))) {
        m_fetched = VerifyInPlace(*m_source, m_resource, m_strLocalPath, m_rule, false);
        if (m_fetched.Ok()) {
            ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 1);
            return FALSE;
        }
    }
    if (!m_worker.Start(&CFetchDlg::FetchThreadProc, this)) {
        ::SendMessageA(m_hWnd, WM_DOWNLOAD_DONE, 0, 0);
        return FALSE;
    }
    return TRUE;
}

unsigned CFetchDlg::FetchThreadProc(void* param) {
    CFetchDlg* self = static_cast<CFetchDlg*>(param);
    HWND hwnd = self->GetHwnd();
    self->m_fetched = FetchOne(*self->m_source, self->m_resource, self->m_strLocalPath, self->m_rule,
                               [hwnd](unsigned long long total) {
                                   ::SendMessageA(hwnd, WM_DOWNLOAD_PROGRESS, 0, static_cast<LPARAM>(total));
                               });
    ::SendMessageA(hwnd, WM_DOWNLOAD_DONE, 0, self->m_fetched.Ok() ? 1 : 0);
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
