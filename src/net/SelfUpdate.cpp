// Version check and self-update (see SelfUpdate.h).
#include "net/SelfUpdate.h"

#include <shellapi.h>

#include <cstdio>

#include "net/Download.h"
#include "net/FetchDlg.h"
#include "win/Handle.h"
#include "trust/Verify.h"

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
}  // namespace

int CheckForNewVersion(HWND mainWindow, const SelfUpdateSite& site) {
    if (!mainWindow) return 0;
    std::string line = FetchFirstLine(site.serverBase + "update/version.inf");
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
    Open(site.homePage);
    const std::string local = site.programDir + "\\update.exe";
    if (ComputerIsOffline()) return;
    // A fetch that succeeds yet leaves no readable file (a folder that cannot
    // be written, say) is tried again a few times, then reported.
    for (int attempt = 0; attempt < site.maxAttempts; ++attempt) {
        CFetchDlg fetch;
        if (fetch.Run(site.serverBase + "update/setup.exe", local) == IDCANCEL) {
            ReportFailure(mainWindow, site);
            return;
        }
        FILE* file = std::fopen(local.c_str(), "r");
        if (file) {
            std::fclose(file);
            // A signed build starts only a setup its key signed, checked
            // through a handle that keeps writers out until it has started.
            KernelHandle held;
            if (SignedBuild()) {
                const std::string signature = local + ".sig";
                const bool fetched =
                    DownloadFile(site.serverBase + "update/setup.exe.sig", signature, nullptr) == 1;
                held.Reset(OpenDenyingWriters(local));
                const bool verified = fetched && FileIsSigned(held.Get(), signature);
                ::DeleteFileA(signature.c_str());
                if (!verified) {
                    held.Close();
                    ::DeleteFileA(local.c_str());
                    ReportFailure(mainWindow, site);
                    return;
                }
            }
            Open(local);
            held.Close();
            // Close the main window as its Cancel command does; the program ends.
            if (mainWindow)
                ::SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return;
        }
    }
    ReportFailure(mainWindow, site);
}
