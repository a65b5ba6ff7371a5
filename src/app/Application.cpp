// Start-up of the program (see Application.h).
#include "app/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/Globals.h"
#include "app/MainDlg.h"
#include "app/SingleInstance.h"
#include "core/RunLog.h"
#include "ui/MessageBox.h"

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

    {
        CMainDlg dlg;
        dlg.DoModal(nullptr);
        if (g_bAuto) m_nExitCode = dlg.ExitCode();
    }
    return FALSE;
}
