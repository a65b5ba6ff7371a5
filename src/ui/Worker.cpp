// Worker threads (see Worker.h).
#include "ui/Worker.h"

#include <process.h>

#include <new>

namespace {

struct Job {
    WorkerProc proc;
    void* param;
};

unsigned __stdcall ThreadMain(void* start) {
    const Job job = *static_cast<Job*>(start);
    delete static_cast<Job*>(start);
    return job.proc(job.param);
}

bool Ended(HANDLE thread) { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

}  // namespace

bool Worker::Start(WorkerProc proc, void* param) {
    JoinFinished();
    Job* job = new (std::nothrow) Job{proc, param};
    if (!job) return false;
    // Room first: a thread once started must not be dropped unjoined.
    try {
        m_threads.reserve(m_threads.size() + 1);
    } catch (...) {
        delete job;
        return false;
    }
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &ThreadMain, job, 0, nullptr);
    if (thread == 0) {
        delete job;
        return false;
    }
    m_threads.push_back(reinterpret_cast<HANDLE>(thread));
    return true;
}

void Worker::JoinFinished() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (Ended(*it)) {
            ::CloseHandle(*it);
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void Worker::Join() {
    for (HANDLE thread : m_threads) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
    m_threads.clear();
}

bool Worker::Running() const {
    for (HANDLE thread : m_threads) {
        if (!Ended(thread)) return true;
    }
    return false;
}
