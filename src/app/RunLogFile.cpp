// The run log file (see RunLogFile.h).
#include "app/RunLogFile.h"

#include <windows.h>

#include "core/RunLog.h"
#include "win/Handle.h"
#include "win/WholeFile.h"

std::string RunLogPath(const std::string& programDir) {
    return programDir + "\\UPDATES\\quellfix.log";
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void AppendRunLogEntry(const std::string& path, const std::string& entry) {
    // Only the last bytes that can stay are read: a log grown by hand to any
    // size costs no more than one at its bound.
    std::string existing;
    bool fromStart = true;
    {
        KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        // GetFileSize and SetFilePointer with their high halves rather than
        // the ...Ex forms, which Windows 98 and Me lack.
        DWORD high = 0;
        const DWORD low = file.Valid() ? ::GetFileSize(file.Get(), &high) : INVALID_FILE_SIZE;
        const bool sized = low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR;
        const LONGLONG size = (static_cast<LONGLONG>(high) << 32) | low;
        if (file.Valid() && sized && size > 0) {
            LONGLONG keep = size;
            if (keep > static_cast<LONGLONG>(kRunLogLimit)) {
                keep = static_cast<LONGLONG>(kRunLogLimit);
                fromStart = false;
                LONG fromHigh = static_cast<LONG>((size - keep) >> 32);
                ::SetFilePointer(file.Get(), static_cast<LONG>((size - keep) & 0xFFFFFFFF), &fromHigh,
                                 FILE_BEGIN);
            }
            existing.resize(static_cast<size_t>(keep));
            DWORD got = 0;
            // A log that cannot be read is left alone rather than replaced.
            if (!::ReadFile(file.Get(), &existing[0], static_cast<DWORD>(keep), &got, nullptr) ||
                got != keep)
                return;
        }
    }
    ReplaceWholeFile(path, AppendToRunLog(existing, fromStart, entry));
}
