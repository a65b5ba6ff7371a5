// Diagnostic output. The program keeps no log file: its diagnostic lines go
// to a separate viewer, a top-level window titled "LogViewer", one
// WM_COPYDATA block per line, when such a window is running.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>

// dwData of every block sent to the viewer.
constexpr ULONG_PTR LOGVIEWER_COPYDATA_TAG = 1237;
// Every block is this long, whatever the length of its text: the text (at
// most 259 characters), its terminating zero, and zeros after it.
constexpr DWORD kLogViewerBlock = 260;
// The title the viewer's window is found by.
extern const char* const kLogViewerTitle;

// Formats one line printf-style and sends it to the viewer with SendMessage;
// returns the viewer's reply, or 0 when no viewer is running (the arguments
// are then not even formatted). The window is looked up for every line, so
// a viewer started or closed during a run is picked up or dropped from the
// next line on. A null format, or a resource-number-sized one (up to
// 0xFFFF), sends "<null>".
LRESULT LogToViewer(const char* format, ...);
LRESULT LogToViewerV(const char* format, va_list args);
// Sends `text` as it stands: a '%' in a path is not a format directive.
LRESULT LogTextToViewer(const std::string& text);
