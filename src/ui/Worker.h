// Worker threads of the windows. A Worker owns the threads it started; a
// window keeps its Worker as a member and joins it before it is destroyed,
// so the window outlives every thread that points to it.
//
// Threads start through the C runtime's _beginthreadex, so the runtime's
// per-thread data is set up and freed with them, and nothing but kernel32
// and the C runtime is needed: no POSIX threads layer, whose runtime imports
// functions that Windows 2000 and XP lack.
//
// Start never waits: a window starts the next thread while handling the
// previous thread's last message, and that thread is still inside SendMessage.
#pragma once
#include <windows.h>

#include <vector>

typedef unsigned (*WorkerProc)(void* param);

class Worker {
public:
    Worker() = default;
    ~Worker() { Join(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts `proc(param)` on a new thread. False when the thread cannot be
    // created.
    bool Start(WorkerProc proc, void* param);
    // Waits for every thread started here to end. Call it only where none of
    // them can be waiting on this thread (after the window they report to is
    // gone).
    void Join();
    bool Running() const;

private:
    // Closes the handles of the threads that have ended.
    void JoinFinished();
    std::vector<HANDLE> m_threads;
};
