// The run log (UPDATES\quellfix.log) as text: what one run appends, the exit
// code of an unattended run, and the bound that keeps the file small by
// dropping the oldest runs whole. CP949 text with CRLF line ends, like the
// run window's log it copies.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// How one chosen update's installer ended.
enum class ItemEnd {
    NotRun,     // not started: its download or check failed, the run stopped, or it was declined
    Succeeded,  // exit code 0
    Restart,    // done, Windows must restart
    Failed,     // another exit code, or it could not be started
    Abandoned,  // the wait was given up; whether it installed is not known
};

// How a run went, as the run window saw it.
struct RunSummary {
    bool ran = false;        // the run window was opened
    int failed = 0;          // items whose download, verification or installer failed
    bool restart = false;    // an installer asked for a restart
    bool cancelled = false;  // the user stopped the run
    std::vector<ItemEnd> items;  // per chosen update, in list order
};

// Exit codes of an unattended run.
constexpr int kExitDone = 0;        // nothing to do, or everything installed
constexpr int kExitRestart = 3010;  // installed; Windows must restart
constexpr int kExitFailed = 1;      // some download, verification or installer failed
constexpr int kExitNoCatalog = 2;   // no catalog: retrieval failed or wrong language

int RunExitCode(bool catalogMissing, const RunSummary& run);

// The first line of a run's entry:
// "==== YYYY-MM-DD HH:MM:SS | Quellfix V | COMPUTER | OS ====". The computer's
// name tells apart the PCs whose runs share one log (a stick carried from
// PC to PC keeps its UPDATES folder); without a name that part is left out.
struct LocalTime {
    int year, month, day, hour, minute, second;
};
std::string RunLogHeader(const LocalTime& when, const std::string& version,
                         const std::string& computer, const std::string& osLine);
// A whole entry: the header, the run window's log as it was shown, the
// messages that would have been shown in boxes, and the outcome line.
std::string RunLogEntry(const std::string& header, const std::string& windowLog,
                        const std::vector<std::string>& messages, int exitCode);

// The file is kept under this many bytes.
constexpr std::size_t kRunLogLimit = 1024 * 1024;

// The log after `entry` is appended to `existing` (the file's last bytes:
// `fromStart` is false when its beginning was not read, and the part run
// before the first whole entry is dropped), with the oldest entries dropped
// whole until it is under `limit`. An entry that alone reaches the limit
// keeps its header and loses its oldest lines.
std::string AppendToRunLog(const std::string& existing, bool fromStart, const std::string& entry,
                           std::size_t limit = kRunLogLimit);
