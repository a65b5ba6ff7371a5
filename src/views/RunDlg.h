// The run window: a view of the update run (run/RunEngine.h). It shows a
// status line, a growing log and two progress bars while the run downloads
// every chosen update into the UPDATES folder, one file at a time, and then
// has every downloaded installer run, one after the other. The run starts
// by itself at the window's first paint, on a worker thread of the window.
//
// The worker never touches a control: each report of the run reaches the
// window as one of the private messages, sent synchronously, and the
// window's own handling changes its controls. The window joins the worker
// before it is destroyed.
//
// Layer: views/ may use run, net, ui, win and core.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/RunLog.h"
#include "core/RunPlan.h"
#include "net/Source.h"
#include "run/RunEngine.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Worker.h"

class CRunDlg : public Dialog, private RunObserver {
public:
    CRunDlg();
    ~CRunDlg() override;

    // Filled by the start command before the window is shown: the chosen
    // updates in list order.
    std::vector<RunItem> m_items;
    // 1 for a run of the program in debug mode: each installer is asked for
    // before it starts.
    int m_bDebug = 0;
    // 1 for an unattended run: the window closes itself when the run is over.
    int m_bUnattended = 0;
    // Where the installers come from; without one, from their URLs.
    void SetSource(FileSource* source) { m_source = source; }
    // The run journal the run keeps; none without one.
    void SetJournal(const std::string& path) { m_strJournalPath = path; }

    // Once the run is over: how it went, and its log as the window showed
    // it with the cause of every failure added.
    const RunSummary& Summary() const { return m_summary; }
    const std::string& LogText() const { return m_strLogText; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void StartRun();
    void OnDownloadDone(DownloadResult result);
    void OnFinished();
    void AppendLog(const std::string& text);
    static unsigned RunThread(void* param);

    // The run's reports, on the worker, turned into messages to the window.
    void FileSize(long size) override;
    void Progress(unsigned long long received) override;
    void DownloadDone(DownloadResult result, NextStep next) override;
    void Log(const std::string& text) override;
    void Detail(const std::string& line) override;
    void Step() override;
    bool ConfirmLaunch(const std::string& commandLine) override;
    void ReportUnrecognised() override;
    void Finished(const RunSummary& summary) override;

    Button m_btnCancel;
    Static m_staticStatus;
    ProgressBar m_progressFile;
    ProgressBar m_progressTotal;
    Edit m_editLog;

    int m_bStarted = 0;
    size_t m_nCurrent = 0;
    // Read by the worker while the GUI thread writes them.
    std::atomic<int> m_bRunning{0};
    std::atomic<int> m_bCancel{0};
    // What the run does after the download it reports; written by the
    // worker just before it sends WM_DOWNLOAD_DONE.
    NextStep m_next = NextStep::Download;
    RunSummary m_finished;  // written by the worker before WM_RUN_FINISHED
    RunSummary m_summary;
    // The log as the window shows it, with the causes of failures.
    std::string m_strLogText;
    FileSource* m_source = nullptr;
    std::string m_strJournalPath;
    std::unique_ptr<FileSource> m_ownSource;
    Worker m_workers;
};
