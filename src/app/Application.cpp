// Start-up of the program (see Application.h).
#include "app/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/Globals.h"
#include "app/MainDlg.h"
#include "app/RunLogFile.h"
#include "app/SelfUpdate.h"
#include "app/SingleInstance.h"
#include "core/KeyJournal.h"
#include "core/RunLog.h"
#include "inventory/OsFacts.h"
#include "registry/KeyJournalFile.h"
#include "ui/MessageBox.h"
#include "win/Machine.h"

namespace {

// Key permission repairs of this run are recorded beside the program; the
// DACLs a run that died left changed are given back now, before any key is
// opened, and named in the run log.
void RestoreKeysLeftChanged() {
    if (g_strProgramDir.empty()) return;
    SetKeyRepairJournal(g_strProgramDir + "\\UPDATES\\quellfix.keys");
    std::vector<std::string> restored;
    if (RestoreJournaledKeys(restored) == 0) return;
    char osName[1024] = {};
    int osCode = 0, osBits = 0, servicePack = 0;
    IdentifyOperatingSystem(osName, osCode, osBits, servicePack);
    const std::string header = RunLogHeader(CurrentLocalTime(), kProgramVersion, ComputerName(), osName);
    AppendRunLogEntry(RunLogPath(g_strProgramDir), KeyRestoreLogEntry(header, restored));
}

}  // namespace

BOOL CInstallerApp::InitInstance() {
    // COM for the GUI thread, then OLE for hosting ActiveX controls (the
    // details window's browser). Neither is uninitialised: the process ends
    // when the main window closes.
    ::CoInitialize(nullptr);
    ::OleInitialize(nullptr);

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    std::vector<std::string> words = CommandLineWords();
    g_strProgramDir = RunningProgramDirectory();
    if (IsDebugCommandLine(words)) g_bDebug = 1;
    if (IsAutoCommandLine(words)) {
        g_bAuto = 1;
        g_bRestartChain = IsRestartChainCommandLine(words) ? 1 : 0;
        SetUnattended();
    }

    // A second copy from the same folder would write the same catalog and
    // UPDATES folder: it hands over to the first one instead.
    if (!ClaimInstance(g_strProgramDir)) {
        ActivateRunningInstance(g_strProgramDir);
        // An unattended run that could not start reports it as nothing done.
        if (g_bAuto) m_nExitCode = kExitNoCatalog;
        return FALSE;
    }
    RestoreKeysLeftChanged();

    {
        CMainDlg dlg;
        dlg.DoModal(nullptr);
        if (g_bAuto) m_nExitCode = dlg.ExitCode();
    }
    return FALSE;
}
