// Entry point of Quellfix.exe.
#include <windows.h>

#include "app/InstallerApp.h"

namespace {
CInstallerApp theApp;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    return 0;
}
