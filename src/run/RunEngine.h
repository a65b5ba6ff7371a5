// The update run, with no window: for each chosen update, in list order,
// fetch its installer (or find it already in place) and verify it; then,
// one after the other, check each installer again, choose its silent
// switches and launch it, waiting for it to end. A cancel request is
// honoured between files and between installers.
//
// The run reports to an observer, on the thread that runs it, in the order
// the run window shows things: a view (the run window, the download
// window) turns the reports into its controls; a test records them.
//
// Layer: run/ may use net, trust, inventory, registry, win and core; no window code.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "core/FetchFailure.h"
#include "core/RunLog.h"
#include "core/RunPlan.h"
#include "net/FetchVerified.h"
#include "net/Source.h"

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Before each download: the file's size on the source (0 when unknown).
    virtual void FileSize(long size) = 0;
    // While a file arrives: its bytes so far (those kept from an earlier,
    // interrupted transfer included).
    virtual void Progress(unsigned long long received) = 0;
    // After each download: how it ended, and what the run does next.
    virtual void DownloadDone(DownloadResult result, NextStep next) = 0;
    // Text for the run's log, as the window shows it.
    virtual void Log(const std::string& text) = 0;
    // A line for the run log file only: why something failed.
    virtual void Detail(const std::string& line) = 0;
    // One more item of the install phase is over.
    virtual void Step() = 0;
    // Debug mode: whether to start `commandLine` ("Are you sure to run?").
    virtual bool ConfirmLaunch(const std::string& commandLine) = 0;
    // Debug mode: an installer of no known kind is about to be started.
    virtual void ReportUnrecognised() = 0;
    // The run is over.
    virtual void Finished(const RunSummary& summary) = 0;
};

struct RunSettings {
    bool debug = false;        // ask before each launch, tell about unknown installers
    bool signedBuild = false;  // every installer must be pinned
    // How often the log says an installer still runs (milliseconds).
    unsigned long stillRunningInterval = 5UL * 60UL * 1000UL;
    // The run journal (core/RunJournal.h); empty: none is kept.
    std::string journalPath;
};

// The settings of this build: signed or not, the still-running interval;
// not in debug mode.
RunSettings BuildRunSettings();

// Runs `items` from `source`. `cancel` is set (non-zero) by whoever shows
// the run; it is read between files and installers, and while an installer
// is waited for (the wait is then given up, the installer left running).
// While it runs, Windows is asked not to sleep. A download that would not
// fit in the free space of its folder's volume fails before a byte is
// written; an interrupted one is continued where it stopped.
RunSummary RunUpdates(const std::vector<RunItem>& items, FileSource& source, RunObserver& observer,
                      const std::atomic<int>& cancel, const RunSettings& settings);

// The fetch stage of a run for one file, for the windows that fetch a
// single file: `resource` into `localPath`, checked by `rule`, with its
// progress reported; its cause is also sent to the diagnostic output.
FetchedFile FetchOne(FileSource& source, const Resource& resource, const std::string& localPath,
                     const VerifyRule& rule, const TransferProgress& progress);
