// Catches the lines programs write with OutputDebugStringA, the way a debug
// output viewer does: through the DBWIN_BUFFER shared section and its two
// events, on a thread of its own, while the object lives.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

class DebugOutputCatcher {
public:
    DebugOutputCatcher();
    ~DebugOutputCatcher();
    DebugOutputCatcher(const DebugOutputCatcher&) = delete;
    DebugOutputCatcher& operator=(const DebugOutputCatcher&) = delete;
    // False when the shared section or events could not be made (another
    // catcher runs).
    bool Ok() const { return m_ok; }
    // Lines written by process `pid` (0: any) so far.
    std::vector<std::string> Lines(DWORD pid = 0) const;

private:
    static DWORD WINAPI Run(void* self);
    bool m_ok = false;
    HANDLE m_mutex = nullptr, m_bufferReady = nullptr, m_dataReady = nullptr, m_section = nullptr;
    void* m_view = nullptr;
    HANDLE m_stop = nullptr, m_thread = nullptr;
    mutable std::mutex m_lock;
    std::vector<std::pair<DWORD, std::string>> m_lines;
};

}  // namespace testing_support
