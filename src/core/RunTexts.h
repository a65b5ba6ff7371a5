// The texts the run window shows and logs, and the reading of an
// installer's outcome. Kept together so every line of the log is defined in
// one place and can be checked without a window.
#pragma once
#include <string>
#include <vector>

extern const char kRunCancelButton[];      // "업데이트 취소"
extern const char kRunCloseButton[];       // "닫기"
extern const char kRunNothingToDo[];       // nothing to download and install
extern const char kRunDownloadDone[];      // "다운로드 완료.\r\n\r\n"
extern const char kRunDownloadFailed[];    // "다운로드 실패.\r\n\r\n"
extern const char kRunVerifyFailed[];      // "파일 검증 실패.\r\n\r\n"
extern const char kRunInstallAbandoned[];  // the item's outcome when the user stopped waiting
extern const char kRunCancelled[];         // after the download phase
extern const char kRunInstallCancelled[];  // in the install phase
extern const char kRunAllDownloaded[];     // status line after the last file
extern const char kRunAskCancel[];         // the cancel question
extern const char kRunRestartNeeded[];     // once, when an installer asked for a restart
extern const char kRunAskRunDebug[];       // "Are you sure to run?"
extern const char kRunUndefinedDebug[];    // "Undefined ExecuteFile..."

// "[n/total] title 를 다운로드 하고 있습니다.  " (no line break, two blanks).
std::string DownloadingText(int n, int total, const std::string& title);
// "(파일 크기 : K KB)\r\n" with the size taken as unsigned, in whole KB.
std::string FileSizeText(long size);
// The line of 65 dashes and the announcement that installing starts.
std::string InstallStartText();
// "[n/total] title 를 설치하고 있습니다...  ", bounded to 1023 characters.
std::string InstallingText(int n, int total, const std::string& title);
// "[n/total] title 는 다운로드에 실패하여 설치하지 않습니다.\r\n\r\n".
std::string NotDownloadedText(int n, int total, const std::string& title);

// "[n/total] title 는 파일 검증에 실패하여 설치하지 않습니다.\r\n\r\n".
std::string VerifyFailedText(int n, int total, const std::string& title);
// "설치 프로그램이 아직 실행 중입니다 (M분 경과)\r\n".
std::string StillRunningText(int minutes);
// How often the log says an installer still runs: 5 minutes, or what the
// build sets (the tests make it short).
unsigned long StillRunningInterval();

// How one item's install ended.
enum class InstallOutcome { Declined, NotStarted, Done, DoneRestart, Failed };
// Reads the installer's exit code: 0 done; 3010 and 1641 done but Windows
// must restart; anything else failed.
InstallOutcome OutcomeOf(bool started, unsigned long exitCode);
std::string OutcomeText(InstallOutcome outcome, unsigned long exitCode);

// The question before a run while Windows waits for a restart.
extern const char kRunAskPendingRestart[];
// The run log's line when Windows waits for a restart (`why`: the records
// that say so); an unattended run adds that it installs nothing.
std::string PendingRestartText(const std::string& why, bool installsNothing);
// The run log's line for an update whose installation a run did not see
// end: "지난 실행이 ... 중단되었습니다 ...".
std::string InterruptedInstallText(int entry, const std::string& title, const std::string& file, int attempt);
// The run log's lines for an update an unattended run leaves out: its
// installer said it succeeded `claims` runs in a row, yet the detection
// rules `probes` ("REGKEY=...") still do not find it.
std::string LoopGuardText(int n, int total, const std::string& title, int claims,
                          const std::vector<std::string>& probes);
