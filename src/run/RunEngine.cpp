// The update run (see RunEngine.h).
#include "run/RunEngine.h"

#include "core/RunJournal.h"
#include "core/RunTexts.h"
#include "inventory/OsFacts.h"
#include "run/Diagnostics.h"
#include "run/Launch.h"
#include "trust/Verify.h"
#include "win/Machine.h"
#include "win/Handle.h"
#include "win/Win32Error.h"

namespace {

// Tells the run log file and the diagnostic output why something failed.
void TellCause(RunObserver& observer, const FetchFailure& failure) {
    if (!failure.Failed()) return;
    observer.Detail(FetchFailureLogLine(failure));
    LogTextToViewer(FetchFailureText(failure) + (failure.where.empty() ? "" : " [" + failure.where + "]"));
}

// Windows is asked not to sleep while a run works; the request ends with it.
class StayAwake {
public:
    StayAwake() { ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
    ~StayAwake() { ::SetThreadExecutionState(ES_CONTINUOUS); }
    StayAwake(const StayAwake&) = delete;
    StayAwake& operator=(const StayAwake&) = delete;
};

// The run journal, each line on the disk before the run goes on, so that a
// power loss a moment later still leaves it to be read.
class JournalFile {
public:
    explicit JournalFile(std::string path) : m_path(std::move(path)) {
        if (!m_path.empty()) Write(std::string(), CREATE_ALWAYS);
    }
    void Append(const std::string& line) {
        if (!m_path.empty()) Write(line, OPEN_ALWAYS);
    }
    // The run has ended: nothing in it is left unfinished.
    void Remove() {
        if (!m_path.empty()) ::DeleteFileA(m_path.c_str());
    }

private:
    void Write(const std::string& line, DWORD how) {
        KernelHandle file(::CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, how,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!file.Valid()) return;
        ::SetFilePointer(file.Get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        if (!line.empty()) ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        ::FlushFileBuffers(file.Get());
    }
    std::string m_path;
};

FetchFailure CauseOnly(FetchCause cause, const std::string& where = std::string()) {
    FetchFailure failure;
    failure.cause = cause;
    failure.where = where;
    return failure;
}

class Run {
public:
    Run(const std::vector<RunItem>& items, FileSource& source, RunObserver& observer,
        const std::atomic<int>& cancel, const RunSettings& settings)
        : m_items(items), m_source(source), m_observer(observer), m_cancel(cancel), m_settings(settings),
          m_states(items.size(), ItemState::Absent), m_journal(settings.journalPath) {}

    RunSummary Go() {
        const StayAwake awake;
        m_summary.ran = true;
        m_summary.items.assign(m_items.size(), ItemEnd::NotRun);
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            const DownloadResult result = Download(m_items[i]);
            m_states[i] = StateAfter(result);
            const NextStep next = AfterDownload(i, m_items.size(), m_cancel != 0);
            m_observer.DownloadDone(result, next);
            if (next == NextStep::Cancelled) {
                m_summary.cancelled = true;
                return Finish();
            }
            if (next == NextStep::Install) break;
        }
        Install();
        return Finish();
    }

private:
    RunSummary Finish() {
        // A cancel answered at any time counts, as the window saw it.
        m_summary.cancelled = m_summary.cancelled || m_cancel != 0;
        m_journal.Remove();
        m_observer.Finished(m_summary);
        return m_summary;
    }

    // The download phase for one item: what its download left.
    DownloadResult Download(const RunItem& item) {
        // No path (a file name that would leave UPDATES) or nothing to check
        // the file against: no request is made.
        if (item.path.empty()) {
            TellCause(m_observer, CauseOnly(FetchCause::UnsafeName));
            return DownloadResult::Failed;
        }
        const DigestRule rule = DigestRuleOf(item.sha256, m_settings.signedBuild);
        if (rule.required && !rule.pinned) {
            TellCause(m_observer, CauseOnly(FetchCause::NotPinned));
            return DownloadResult::NotTheFile;
        }
        const Resource resource = m_source.Installer(item.url);
        const unsigned long long length = m_source.Length(resource);
        const long size = length > 0x7FFFFFFFULL ? 0x7FFFFFFFL : static_cast<long>(length);
        m_observer.FileSize(size);
        const VerifyRule verify = rule.pinned ? VerifyRule::Pinned(rule.digest) : VerifyRule();
        // A file already there of the size the source gives counts as
        // downloaded; a pinned one must also have the pinned digest, or it is
        // fetched again.
        if (AlreadyDownloaded(size, LocalFileLength(item.path)) &&
            VerifyInPlace(m_source, resource, item.path, verify, false).Ok())
            return DownloadResult::AlreadyThere;

        // What does not fit on the volume is not begun: nothing is written.
        const long long part = LocalFileLength(item.path + ".part");
        const unsigned long long kept =
            part > 0 && static_cast<unsigned long long>(part) < length ? static_cast<unsigned long long>(part) : 0;
        unsigned long long free = 0;
        const std::string folder = item.path.substr(0, item.path.rfind('\\'));
        if (length > 0 && FreeDiskBytes(folder, free) && length - kept > free) {
            FetchFailure failure = CauseOnly(FetchCause::NoSpace, folder);
            failure.expected = length;
            failure.got = free;
            TellCause(m_observer, failure);
            return DownloadResult::Failed;
        }
        TransferOptions options;
        options.resume = true;
        options.knownSize = length;
        const auto progress = [this](unsigned long long total) { m_observer.Progress(total); };
        FetchedFile fetched = FetchVerified(m_source, resource, item.path, verify, progress, options);
        if (fetched.failure.cause == FetchCause::DigestMismatch && fetched.resumedFrom > 0) {
            // A continued file that is not the pinned one may have been spoilt
            // by what an earlier transfer left: once more, from byte zero.
            TellCause(m_observer, fetched.failure);
            options.resume = false;
            fetched = FetchVerified(m_source, resource, item.path, verify, progress, options);
        }
        TellCause(m_observer, fetched.failure);
        if (fetched.Ok()) return DownloadResult::Fetched;
        return fetched.failure.cause == FetchCause::DigestMismatch ? DownloadResult::NotTheFile
                                                                  : DownloadResult::Failed;
    }

    void Install() {
        const int count = static_cast<int>(m_items.size());
        bool restartNeeded = false;
        for (int i = 0; i < count; ++i) {
            const RunItem& item = m_items[static_cast<std::size_t>(i)];
            if (m_cancel) {
                m_observer.Log(kRunInstallCancelled);
                break;
            }
            const ItemEnd end = InstallOne(item, m_states[static_cast<std::size_t>(i)], i + 1, count);
            m_summary.items[static_cast<std::size_t>(i)] = end;
            if (end == ItemEnd::Restart) restartNeeded = true;
            m_observer.Step();
        }
        if (restartNeeded) m_observer.Log(kRunRestartNeeded);
        m_summary.restart = restartNeeded;
    }

    // One item of the install phase, and how its installer ended.
    ItemEnd InstallOne(const RunItem& item, ItemState state, int n, int count) {
        if (state != ItemState::Present) {
            // Whatever lies at the path is not the update: never run it.
            m_observer.Log(NotInstalledText(state, n, count, item.title));
            ++m_summary.failed;
            return ItemEnd::NotRun;
        }
        // The file is checked again right before it runs, through a handle
        // that keeps every writer out until the installer has been started:
        // the bytes checked are the bytes run.
        KernelHandle held;
        const DigestRule rule = DigestRuleOf(item.sha256, m_settings.signedBuild);
        if (rule.required) {
            FetchedFile checked = rule.pinned ? VerifyInPlace(m_source, m_source.Installer(item.url), item.path,
                                                              VerifyRule::Pinned(rule.digest))
                                              : FetchedFile();
            if (!rule.pinned) checked.failure.cause = FetchCause::NotPinned;
            if (!checked.Ok()) {
                TellCause(m_observer, checked.failure);
                m_observer.Log(VerifyFailedText(n, count, item.title));
                ++m_summary.failed;
                return ItemEnd::NotRun;
            }
            held = std::move(checked.held);
        }
        m_observer.Log(InstallingText(n, count, item.title));

        InstallerInfo info;
        ReadInstallerInfo(item.path, info);
        const SwitchChoice choice =
            ChooseSwitches(item.cmdLine, info, item.path, IsWindows98(), InstalledMsiexecMajor());
        for (const std::string& line : choice.diagnostics) LogTextToViewer(line);
        if (choice.unrecognised && m_settings.debug) m_observer.ReportUnrecognised();
        // The command line is sent as text: a '%' in a path stays as it is.
        LogTextToViewer(choice.commandLine);

        InstallOutcome outcome = InstallOutcome::Declined;
        unsigned long exitCode = 0;
        if (!m_settings.debug || m_observer.ConfirmLaunch(choice.commandLine)) {
            // Yes to the cancel question stops the wait for this installer;
            // it is left running. (A cancel answered before this installer
            // started, in debug mode, already let it start; it is then
            // awaited as before.)
            WaitControl control;
            const bool cancelledBefore = m_cancel != 0;
            control.giveUp = [this, cancelledBefore] { return !cancelledBefore && m_cancel != 0; };
            control.stillRunning = [this](int reports) { m_observer.Log(StillRunningText(5 * reports)); };
            control.reportInterval = m_settings.stillRunningInterval;
            m_journal.Append(JournalStartLine(JournalStart{item.entry, item.attempt, item.path, item.title, item.url}));
            const RunResult result = RunAndWait(choice.commandLine, &held, &control);
            if (result.abandoned) {
                m_journal.Append(JournalEndLine(item.entry, "abandoned"));
                m_observer.Log(kRunInstallAbandoned);
                ++m_summary.failed;
                return ItemEnd::Abandoned;
            }
            m_journal.Append(JournalEndLine(item.entry, std::to_string(result.exitCode)));
            if (!result.started) {
                m_observer.Detail("    원인: " + Win32ErrorText(result.error) + "\r\n");
                LogTextToViewer(Win32ErrorText(result.error) + " [" + choice.commandLine + "]");
            }
            exitCode = result.exitCode;
            outcome = OutcomeOf(result.started, exitCode);
        }
        held.Close();
        if (outcome == InstallOutcome::Failed || outcome == InstallOutcome::NotStarted) ++m_summary.failed;
        m_observer.Log(OutcomeText(outcome, exitCode));
        switch (outcome) {
        case InstallOutcome::Done: return ItemEnd::Succeeded;
        case InstallOutcome::DoneRestart: return ItemEnd::Restart;
        case InstallOutcome::Failed:
        case InstallOutcome::NotStarted: return ItemEnd::Failed;
        case InstallOutcome::Declined: break;
        }
        return ItemEnd::NotRun;
    }

    const std::vector<RunItem>& m_items;
    FileSource& m_source;
    RunObserver& m_observer;
    const std::atomic<int>& m_cancel;
    const RunSettings m_settings;
    std::vector<ItemState> m_states;
    RunSummary m_summary;
    JournalFile m_journal;
};

}  // namespace

RunSettings BuildRunSettings() {
    RunSettings settings;
    settings.signedBuild = SignedBuild();
    settings.stillRunningInterval = StillRunningInterval();
    return settings;
}

RunSummary RunUpdates(const std::vector<RunItem>& items, FileSource& source, RunObserver& observer,
                      const std::atomic<int>& cancel, const RunSettings& settings) {
    return Run(items, source, observer, cancel, settings).Go();
}

FetchedFile FetchOne(FileSource& source, const Resource& resource, const std::string& localPath,
                     const VerifyRule& rule, const TransferProgress& progress) {
    FetchedFile fetched = FetchVerified(source, resource, localPath, rule, progress);
    if (fetched.failure.Failed())
        LogTextToViewer(FetchFailureText(fetched.failure) +
                        (fetched.failure.where.empty() ? "" : " [" + fetched.failure.where + "]"));
    return fetched;
}
