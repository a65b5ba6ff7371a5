// Worker threads (see Worker.h).
#include "ui/Worker.h"

#include <exception>

bool Worker::Start(WorkerProc proc, void* param) {
    JoinFinished();
    // Creating a thread reports failure by throwing; here it is a result.
    try {
        // Room first: a thread once started must not be dropped unjoined.
        m_threads.reserve(m_threads.size() + 1);
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([proc, param, done] {
            proc(param);
            done->store(true);
        });
        m_threads.push_back(Thread{std::move(thread), done});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void Worker::JoinFinished() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->done->load()) {
            it->thread.join();  // its procedure has returned: this does not wait
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void Worker::Join() {
    for (Thread& t : m_threads) t.thread.join();
    m_threads.clear();
}

bool Worker::Running() const {
    for (const Thread& t : m_threads) {
        if (!t.done->load()) return true;
    }
    return false;
}
