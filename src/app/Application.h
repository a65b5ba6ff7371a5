// The application object: sets up the services the windows need, the
// program directory and the debug switch, then runs the main window.
#pragma once
#include <windows.h>

class CInstallerApp {
public:
    // Runs the whole program; returns FALSE so the process ends afterwards.
    BOOL InitInstance();
    // The process's exit code: an unattended run's outcome (core/RunLog.h),
    // otherwise 0.
    int ExitCode() const { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};
