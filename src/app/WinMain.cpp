// Entry point of Quellfix.exe.
#include <windows.h>

#include "app/Application.h"

namespace {
CInstallerApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    // Everything the program writes is closed by now. The process ends here,
    // without the libraries' unload calls: a request given up at the
    // network time limits can leave WinINet's unload waiting for ever,
    // which would keep an invisible process (and its single-instance name)
    // alive after the window is gone.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(theApp.ExitCode()));
    return 0;
}
