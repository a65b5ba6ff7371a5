// Version check and self-update (see SelfUpdate.h).
#include "app/SelfUpdate.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "net/FetchVerified.h"
#include "trust/Verify.h"
#include "views/FetchDlg.h"

const char kProgramVersion[] = "2.000";

namespace {
const char kCaption[] = "Quellfix";
const char kAskUpdate[] = "이 프로그램이 업데이트 되었습니다. 다운로드 받으시겠습니까?";
const char kFetchFailed[] =
    "다운로드에 실패하였습니다. 홈페이지에서 직접 다운로드 받으시기 바랍니다";

void Open(const std::string& target) {
    ::ShellExecuteA(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOW);
}

void ReportFailure(HWND mainWindow, const SelfUpdateSite& site) {
    if (::MessageBoxA(mainWindow, kFetchFailed, kCaption, MB_YESNO | MB_ICONINFORMATION) == IDYES)
        Open(site.homePage);
}

// The site's source, or the server at its address.
class SiteSource {
public:
    explicit SiteSource(const SelfUpdateSite& site)
        : m_own(site.source ? nullptr : new ServerSource(site.serverBase)),
          m_source(site.source ? site.source : m_own.get()) {}
    FileSource& Get() const { return *m_source; }
    bool Repository() const { return !m_own; }

private:
    std::unique_ptr<FileSource> m_own;
    FileSource* m_source;
};

}  // namespace

int CheckForNewVersion(HWND mainWindow, const SelfUpdateSite& site) {
    if (!mainWindow) return 0;
    const SiteSource source(site);
    std::string line = source.Get().FirstLine(source.Get().ServerFile("update/version.inf"));
    if (CatalogToInt(line) == 0) return 0;
    int latest = VersionNumber(line);
    int current = VersionNumber(kProgramVersion);
    char debugLine[128];
    std::snprintf(debugLine, sizeof debugLine,
                  "[ORVANE] LatestVersion : %d, CurrentImageVersion : %d", latest, current);
    ::OutputDebugStringA(debugLine);
    if (latest <= current) return 0;
    if (::MessageBoxA(mainWindow, kAskUpdate, kCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return 0;
    RunSelfUpdate(mainWindow, site);
    return 1;
}

void RunSelfUpdate(HWND mainWindow, const SelfUpdateSite& site) {
    const SiteSource source(site);
    if (!source.Repository()) Open(site.homePage);
    const std::string local = site.programDir + "\\update.exe";
    if (!source.Get().Reachable()) return;
    const Resource setup = source.Get().ServerFile("update/setup.exe");
    // A signed build starts only a setup its key signed, checked through a
    // handle that keeps writers out until it has started.
    const VerifyRule rule = SignedBuild() ? VerifyRule::Signed() : VerifyRule();
    // A fetch that succeeds yet leaves no readable file (a folder that cannot
    // be written, say) is tried again a few times, then reported.
    for (int attempt = 0; attempt < site.maxAttempts; ++attempt) {
        CFetchDlg fetch;
        if (fetch.Run(source.Get(), setup, local, rule) == IDCANCEL) {
            ReportFailure(mainWindow, site);
            return;
        }
        FILE* file = std::fopen(local.c_str(), "r");
        if (file) {
            std::fclose(file);
            Open(local);
            fetch.File().held.Close();
            // Close the main window as its Cancel command does; the program ends.
            if (mainWindow)
                ::SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
    }
    ReportFailure(mainWindow, site);
}
