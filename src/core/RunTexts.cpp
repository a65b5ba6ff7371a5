// Run-window texts (see RunTexts.h).
#include "core/RunTexts.h"

#include <cstdio>


const char kRunCancelButton[] = "업데이트 취소";
const char kRunCloseButton[] = "닫기";
const char kRunNothingToDo[] = "다운로드 및 설치할 항목이 없습니다.";
const char kRunDownloadDone[] = "다운로드 완료.\r\n\r\n";
const char kRunDownloadFailed[] = "다운로드 실패.\r\n\r\n";
const char kRunVerifyFailed[] = "파일 검증 실패.\r\n\r\n";
const char kRunInstallAbandoned[] = "설치 확인 안 됨 (작업 취소)\r\n\r\n";
const char kRunCancelled[] = "작업이 취소되었습니다.\r\n\r\n";
const char kRunInstallCancelled[] = "\r\n\r\n작업이 취소되었습니다.\r\n\r\n";
const char kRunAllDownloaded[] = "다운로드가 모두 완료되었습니다.";
const char kRunAskCancel[] = "작업이 진행중에 있습니다. 작업을 중단하시겠습니까?";
const char kRunRestartNeeded[] = "일부 업데이트는 윈도우를 다시 시작해야 적용됩니다.\r\n";
const char kRunAskRunDebug[] = "Are you sure to run?";
const char kRunUndefinedDebug[] = "Undefined ExecuteFile...";
const char kRunAskPendingRestart[] =
    "윈도우가 다시 시작을 기다리고 있습니다. 다시 시작하기 전에 업데이트를 설치하면 실패할 수 있습니다. "
    "그래도 설치하시겠습니까?";

namespace {
// Titles come from the catalog: the line is bounded like every log line.
std::string Numbered(const char* format, int n, int total, const std::string& title) {
    char buffer[1024] = {};
    std::snprintf(buffer, 1023, format, n, total, title.c_str());
    return buffer;
}
}  // namespace

std::string DownloadingText(int n, int total, const std::string& title) {
    return Numbered("[%d/%d] %s 를 다운로드 하고 있습니다.  ", n, total, title);
}

std::string FileSizeText(long size) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(파일 크기 : %lu KB)\r\n",
                  static_cast<unsigned long>(size) / 1024UL);
    return buffer;
}

std::string InstallStartText() {
    return std::string(65, '-') + "\r\n다운로드가 완료되었습니다. 이제 설치를 시작합니다.\r\n\r\n";
}

std::string InstallingText(int n, int total, const std::string& title) {
    return Numbered("[%d/%d] %s 를 설치하고 있습니다...  ", n, total, title);
}

std::string NotDownloadedText(int n, int total, const std::string& title) {
    return Numbered("[%d/%d] %s 는 다운로드에 실패하여 설치하지 않습니다.\r\n\r\n", n, total, title);
}

std::string VerifyFailedText(int n, int total, const std::string& title) {
    return Numbered("[%d/%d] %s 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n", n, total, title);
}

std::string StillRunningText(int minutes) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "설치 프로그램이 아직 실행 중입니다 (%d분 경과)\r\n", minutes);
    return buffer;
}

unsigned long StillRunningInterval() {
#ifdef QUELLFIX_STILL_RUNNING_INTERVAL_MS
    return QUELLFIX_STILL_RUNNING_INTERVAL_MS;
#else
    return 5UL * 60UL * 1000UL;
#endif
}

InstallOutcome OutcomeOf(bool started, unsigned long exitCode) {
    if (!started) return InstallOutcome::NotStarted;
    if (exitCode == 0) return InstallOutcome::Done;
    if (exitCode == 3010 || exitCode == 1641) return InstallOutcome::DoneRestart;
    return InstallOutcome::Failed;
}

std::string OutcomeText(InstallOutcome outcome, unsigned long exitCode) {
    switch (outcome) {
    case InstallOutcome::Declined:
    case InstallOutcome::Done:
        return "설치 완료\r\n\r\n";
    case InstallOutcome::DoneRestart:
        return "설치 완료 (재시작 필요)\r\n\r\n";
    case InstallOutcome::NotStarted:
        return "설치 실패 (실행할 수 없음)\r\n\r\n";
    case InstallOutcome::Failed:
        break;
    }
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "설치 실패 (종료 코드 %lu)\r\n\r\n", exitCode);
    return buffer;
}

std::string PendingRestartText(const std::string& why, bool installsNothing) {
    return "윈도우가 다시 시작을 기다리고 있습니다 (" + why + ")." +
           (installsNothing ? " 다시 시작한 뒤에 설치합니다." : "");
}

std::string InterruptedInstallText(int entry, const std::string& title, const std::string& file, int attempt) {
    return "지난 실행이 끝나지 않았습니다: [" + std::to_string(entry) + "] " + title + " (" + file +
           ") 의 설치 도중에 중단되었습니다 (" + std::to_string(attempt) +
           "번째 시도). 설치되었는지 확인되지 않았습니다.";
}

std::string LoopGuardText(int n, int total, const std::string& title, int claims,
                          const std::vector<std::string>& probes) {
    std::string rules;
    for (const std::string& probe : probes) rules += (rules.empty() ? "" : ", ") + probe;
    if (rules.empty()) rules = "REGKEY 없음";
    return Numbered("[%d/%d] %s 는 자동 실행에서 건너뜁니다: ", n, total, title) + "설치 프로그램이 " +
           std::to_string(claims) + "번 연속 성공을 알렸지만 설치 확인 규칙이 설치를 찾지 못했습니다.\r\n" +
           "    확인 규칙: " + rules + "\r\n" +
           "    (quellfix-check explain 으로 같은 판단을 볼 수 있습니다. 직접 선택하면 설치할 수 있습니다.)";
}
