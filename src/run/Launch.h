// Installer launch: reading the strings of an installer's version resource
// and starting it with the command line core/SilentSwitches.h chooses, then
// waiting for it to end.
#pragma once
#include <windows.h>

#include "core/SilentSwitches.h"
#include "win/Handle.h"

#include <functional>
#include <string>
#include <vector>

// Fills `info` from the version resource of the file at `path`, in the
// string table PickTranslation chooses. Returns 1 when the file has a version
// resource, 0 when it has none or cannot be read; every member is reset
// first, so after 0 they are all empty.
int ReadInstallerInfo(const std::string& path, InstallerInfo& info);

// The language/code-page pair (language in the low 16 bits) whose string
// table is read from a version block returned by GetFileVersionInfoA; 0, the
// table "00000000", when the block has no translation list.
DWORD PickTranslation(const void* versionBlock);

// The major version of the Windows Installer in the system folder
// (msiexec.exe's version resource), read once; 0 when it cannot be read.
int InstalledMsiexecMajor();

struct RunResult {
    bool started = false;    // the process was created
    bool abandoned = false;  // the wait was given up; the process may still run
    DWORD exitCode = 0;      // its exit code; 0 when it was not started or not awaited
    DWORD error = 0;         // why it could not be started (GetLastError of CreateProcessA)
};

// What RunAndWait does while the installer runs. Both are called on the
// waiting thread.
struct WaitControl {
    // Asked every fraction of a second; true gives up the wait, leaving the
    // installer running (it is never ended from here).
    std::function<bool()> giveUp;
    // Called after each `reportInterval` milliseconds the installer has run,
    // with the number of intervals so far.
    std::function<void(int)> stillRunning;
    DWORD reportInterval = 5 * 60 * 1000;
};

// Starts `commandLine` hidden, with a console of its own, default security
// and no inherited handles, and waits for it to end, with no time limit
// unless `control` gives the wait up. `heldFile`, when given, is closed as
// soon as the process has been created (or could not be).
RunResult RunAndWait(const std::string& commandLine, KernelHandle* heldFile = nullptr,
                     const WaitControl* control = nullptr);
