// One instance per installation (see SingleInstance.h).
#include "app/SingleInstance.h"

#include "core/Instance.h"

namespace {

// Held for the life of the process: the system closes them at its end.
HANDLE g_mutex = nullptr;
HANDLE g_section = nullptr;

HWND* MapWindowSlot(HANDLE section) {
    return section ? static_cast<HWND*>(::MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HWND)))
                   : nullptr;
}

}  // namespace

bool ClaimInstance(const std::string& programDir) {
    const std::string name = InstanceName(programDir);
    g_mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    if (g_mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(g_mutex);
        g_mutex = nullptr;
        return false;
    }
    // Without the mutex (no rights, say) the program runs as it always did.
    g_section = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(HWND),
                                     (name + "-window").c_str());
    return true;
}

void AnnounceMainWindow(HWND mainWindow) {
    HWND* slot = MapWindowSlot(g_section);
    if (!slot) return;
    *slot = mainWindow;
    ::UnmapViewOfFile(slot);
}

bool ActivateRunningInstance(const std::string& programDir) {
    const std::string name = InstanceName(programDir) + "-window";
    // The first copy may still be starting: its window comes within seconds.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE section = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
        HWND window = nullptr;
        if (section) {
            if (const HWND* slot = static_cast<const HWND*>(::MapViewOfFile(section, FILE_MAP_READ, 0, 0, sizeof(HWND)))) {
                window = *slot;
                ::UnmapViewOfFile(slot);
            }
            ::CloseHandle(section);
        }
        if (window && ::IsWindow(window)) {
            // A question the first copy shows is what the user must see.
            HWND popup = ::GetLastActivePopup(window);
            if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
            ::SetForegroundWindow(popup ? popup : window);
            return true;
        }
        ::Sleep(100);
    }
    return false;
}
