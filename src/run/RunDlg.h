// The run window: downloads every chosen update into the UPDATES folder, one
// file at a time, then has every downloaded installer run, one after the
// other, showing a status line, a growing log and two progress bars. The run
// starts by itself at the window's first paint.
//
// Worker threads (one download thread per file, then one install thread)
// never touch a control: they report with the private messages, sent
// synchronously, and the window's own handling decides what comes next. The
// window joins every worker before it is destroyed.
//
// Layer: run/ may use net, inventory, trust, ui, registry and core; never app.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/RunLog.h"
#include "core/RunPlan.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Worker.h"

class CRunDlg : public Dialog {
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

    // Once the run is over: how it went, and its log as the window showed it.
    const RunSummary& Summary() const { return m_summary; }
    const std::string& LogText() const { return m_strLogText; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void StartRun();
    void StartDownload(size_t item);
    void OnDownloadDone(DownloadResult result);
    void AppendLog(const std::string& text) const { m_editLog.Append(text.c_str()); }
    static unsigned DownloadThread(void* param);
    static unsigned InstallThread(void* param);

    Button m_btnCancel;
    Static m_staticStatus;
    ProgressBar m_progressFile;
    ProgressBar m_progressTotal;
    Edit m_editLog;

    int m_bStarted = 0;
    size_t m_nCurrent = 0;
    // The item being downloaded, copied for its download thread.
    RunItem m_current;
    // Read by the workers while the GUI thread writes them.
    std::atomic<int> m_bRunning{0};
    std::atomic<int> m_bCancel{0};
    // What each item's download left. Written by the GUI thread before the
    // install thread starts, read by it afterwards.
    std::vector<ItemState> m_states;
    // Counted by the install thread, gathered into m_summary at the end.
    std::atomic<int> m_nFailed{0};
    std::atomic<int> m_bRestart{0};
    RunSummary m_summary;
    std::string m_strLogText;
    Worker m_workers;
};
