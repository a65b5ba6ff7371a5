// The main window: the operating-system line, the system summary and the
// update list, with select all, deselect all and the hide-installed box.
// Everything it shows comes from the inventory taken when it opens and from
// the catalog beside the program.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "net/Source.h"

#include "core/SystemProfile.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

class CMainDlg : public Dialog {
public:
    CMainDlg();
    ~CMainDlg() override;

    // Asks whether to quit when the list has no rows; Yes closes the window.
    void AskToQuitIfEmpty();
    // The profile detected when the window opened.
    const SystemProfile& Profile() const { return m_profile; }
    // An unattended run's outcome (core/RunLog.h); 0 until one has ended.
    int ExitCode() const { return m_nExitCode; }

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    // A click in the list opens the item menu for the first selected row.
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    // The item menu's commands, acting on the first selected row.
    void OnItemCommand(WORD id);
    int FirstSelectedRow() const;
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void InitUpdateList();
    void OnSelectAll();
    void OnDeselectAll();
    void OnHideInstalled();
    void OnPaint();
    // The start command: runs the checked rows' updates in the run window,
    // then evaluates the catalog again.
    void OnStartUpdate();
    void OnOK() override;
    // Re-evaluates the catalog into the emptied list.
    void RefillList();
    // Evaluates the catalog into the list, forgets in the install history
    // what is no longer missing, and gives the number of missing updates.
    bool Evaluate(int* pendingCount = nullptr);
    // Tells the run log which installer a run was cut off in, if any.
    void ReportInterruptedRun();
    // After a round of "auto restart": restart and go on, or end the chain.
    void ContinueRestartChain(int pendingBefore);
    // The unattended run once the window is shown: every checked row is run,
    // then the window closes.
    void RunUnattended();
    // Appends this run's entry, with `windowLog` and the messages an
    // unattended run kept, to the run log.
    void WriteRunLog(const std::string& windowLog);

    Button m_btnStart;
    Edit m_editSummary;
    Button m_chkHideInstalled;
    Static m_staticOs;
    ListView m_listUpdates;
    HICON m_hIcon = nullptr;
    SystemProfile m_profile;
    // The server, or the repository folder beside the program.
    std::unique_ptr<FileSource> m_source;
    std::string m_strOsName;
    bool m_bCatalogUsable = false;  // retrieved (or local in debug mode) and of our language
    // Lines for the next run log entry besides the run window's log.
    std::vector<std::string> m_runNotes;
    // An unattended run's window log, written with its outcome at the end.
    std::string m_strRunLog;
    int m_nExitCode = 0;
};
