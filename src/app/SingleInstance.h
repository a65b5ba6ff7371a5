// One running Quellfix per installation. The first copy holds a named mutex
// and publishes its main window in a small named section; a second copy
// started from the same folder brings that window to the front and ends
// without touching any file.
#pragma once
#include <windows.h>

#include <string>

// True when no other Quellfix of `programDir` runs; this process then holds
// the name until it ends.
bool ClaimInstance(const std::string& programDir);

// Makes `mainWindow` the one a second copy brings to the front.
void AnnounceMainWindow(HWND mainWindow);

// Brings the running copy's main window to the front, waiting a few seconds
// for it to appear; false when there is none.
bool ActivateRunningInstance(const std::string& programDir);
