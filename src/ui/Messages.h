// Private window messages by which worker threads report to their window.
// Always sent with SendMessage and wParam 0, so a pointer in lParam stays
// valid while the window handles it.
#pragma once
#include <windows.h>

#define WM_DOWNLOAD_PROGRESS (WM_USER + 1)  // lParam: bytes received so far
#define WM_DOWNLOAD_DONE (WM_USER + 2)      // lParam: transfer result
#define WM_RUN_LOG (WM_USER + 3)            // lParam: const char* text to append
#define WM_RUN_STEP (WM_USER + 4)           // lParam: 0
#define WM_RUN_FINISHED (WM_USER + 5)       // lParam: 0
#define WM_DOWNLOAD_SIZE (WM_USER + 6)      // lParam: remote size in bytes
// The run window's worker: a line for the run log file only (why something
// failed), not shown in the window.
#define WM_RUN_DETAIL (WM_USER + 8)         // lParam: const char* line
// Posted by the main window to itself: an unattended run goes on once the
// window is shown.
#define WM_MAIN_UNATTENDED (WM_USER + 7)    // lParam: 0
