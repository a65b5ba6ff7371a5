// Diagnostic output to the LogViewer window, and bounded formatting (see
// Diagnostics.h).
#include "run/Diagnostics.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

const char* const kLogViewerTitle = "LogViewer";

HRESULT FormatBoundedV(char* buffer, size_t capacity, const char* format, va_list args) {
    if (!buffer || capacity == 0 || capacity > 0x7FFFFFFF) return kFormatInvalid;
    if (!format) {
        buffer[0] = '\0';
        return kFormatInvalid;
    }
    int needed = std::vsnprintf(buffer, capacity, format, args);
    // Some C runtimes leave a cut text unterminated; the last slot is always ours.
    buffer[capacity - 1] = '\0';
    if (needed < 0 || static_cast<size_t>(needed) > capacity - 1) return kFormatTruncated;
    return kFormatFitted;
}

HRESULT FormatBounded(char* buffer, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT result = FormatBoundedV(buffer, capacity, format, args);
    va_end(args);
    return result;
}

LRESULT LogToViewerV(const char* format, va_list args) {
    HWND viewer = ::FindWindowA(nullptr, kLogViewerTitle);
    if (!viewer) return 0;

    char block[kLogViewerBlock];
    std::memset(block, 0, sizeof block);
    // A small integer where a format belongs is a resource number, not text.
    if (reinterpret_cast<std::uintptr_t>(format) <= 0xFFFF) {
        std::strcpy(block, "<null>");
    } else {
        FormatBoundedV(block, sizeof block, format, args);
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
