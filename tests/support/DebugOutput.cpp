// Debug output catcher (see DebugOutput.h).
#include "support/DebugOutput.h"

#include <cstring>

namespace testing_support {

DebugOutputCatcher::DebugOutputCatcher() {
    m_mutex = ::CreateMutexA(nullptr, FALSE, "DBWinMutex");
    m_bufferReady = ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    m_dataReady = ::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    m_section = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                     "DBWIN_BUFFER");
    if (m_section) m_view = ::MapViewOfFile(m_section, FILE_MAP_READ, 0, 0, 4096);
    m_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_ok = m_bufferReady && m_dataReady && m_view && m_stop;
    if (m_ok) m_thread = ::CreateThread(nullptr, 0, &DebugOutputCatcher::Run, this, 0, nullptr);
}

DebugOutputCatcher::~DebugOutputCatcher() {
    if (m_thread) {
        ::SetEvent(m_stop);
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
    }
    if (m_view) ::UnmapViewOfFile(m_view);
    for (HANDLE h : {m_section, m_dataReady, m_bufferReady, m_mutex, m_stop})
        if (h) ::CloseHandle(h);
}

std::vector<std::string> DebugOutputCatcher::Lines(DWORD pid) const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<std::string> lines;
    for (const auto& line : m_lines)
        if (pid == 0 || line.first == pid) lines.push_back(line.second);
    return lines;
}

DWORD WINAPI DebugOutputCatcher::Run(void* raw) {
    auto* self = static_cast<DebugOutputCatcher*>(raw);
    HANDLE waits[2] = {self->m_dataReady, self->m_stop};
    ::SetEvent(self->m_bufferReady);
    for (;;) {
        DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0) break;
        // The section holds the writer's process id, then the text.
        const char* data = static_cast<const char*>(self->m_view);
        DWORD pid = *reinterpret_cast<const DWORD*>(data);
        std::string text(data + sizeof(DWORD), strnlen(data + sizeof(DWORD), 4096 - sizeof(DWORD)));
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            self->m_lines.emplace_back(pid, text);
        }
        ::SetEvent(self->m_bufferReady);
    }
    return 0;
}

}  // namespace testing_support
