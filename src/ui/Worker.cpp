// Worker threads (see Worker.h).
#include "ui/Worker.h"

#include <process.h>

#include <cstddef>
#include <new>

namespace {
struct StartBlock {
    WorkerProc proc;
    void* param;
};

unsigned __stdcall Trampoline(void* raw) {
    StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    return block.proc(block.param);
}
}  // namespace

bool Worker::Start(WorkerProc proc, void* param) {
    CloseFinished();
    StartBlock* block = new (std::nothrow) StartBlock{proc, param};
    if (!block) return false;
    // _beginthreadex sets up the C runtime for the thread.
    uintptr_t h = _beginthreadex(nullptr, 0, &Trampoline, block, 0, nullptr);
    if (h == 0) {
        delete block;
        return false;
    }
    m_threads.push_back(reinterpret_cast<HANDLE>(h));
    return true;
}

void Worker::CloseFinished() {
    for (size_t i = 0; i < m_threads.size();) {
        if (::WaitForSingleObject(m_threads[i], 0) == WAIT_OBJECT_0) {
            ::CloseHandle(m_threads[i]);
            m_threads.erase(m_threads.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

void Worker::Join() {
    for (HANDLE h : m_threads) {
        ::WaitForSingleObject(h, INFINITE);
        ::CloseHandle(h);
    }
    m_threads.clear();
}

bool Worker::Running() const {
    for (HANDLE h : m_threads) {
        if (::WaitForSingleObject(h, 0) == WAIT_TIMEOUT) return true;
    }
    return false;
}
