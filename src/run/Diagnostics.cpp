// Diagnostic output to the LogViewer window (see Diagnostics.h).
#include "run/Diagnostics.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

const char* const kLogViewerTitle = "LogViewer";

LRESULT LogToViewerV(const char* format, va_list args) {
    HWND viewer = ::FindWindowA(nullptr, kLogViewerTitle);
    if (!viewer) return 0;

    char block[kLogViewerBlock];
    std::memset(block, 0, sizeof block);
    // A small integer where a format belongs is a resource number, not text.
    if (reinterpret_cast<std::uintptr_t>(format) <= 0xFFFF) {
        std::strcpy(block, "<null>");
    } else {
        // Cut to the block, which always ends in its terminating zero.
        ::StringCchVPrintfA(block, sizeof block, format, args);
    }

    COPYDATASTRUCT data;
    data.dwData = LOGVIEWER_COPYDATA_TAG;
    data.cbData = kLogViewerBlock;
    data.lpData = block;
    return ::SendMessageA(viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

LRESULT LogToViewer(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LRESULT result = LogToViewerV(format, args);
    va_end(args);
    return result;
}

LRESULT LogTextToViewer(const std::string& text) { return LogToViewer("%s", text.c_str()); }
