#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Holds a worker thread at a test hook until the test releases it, so a test can act while the
// worker is known to be at that point.
class WorkerGate {
public:
    // On the worker: waits until released, or until `stop` (when given) is set.
    void pass(const std::atomic<bool>* stop = nullptr) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_held = true;
        m_changed.notify_all();
        while (!m_open && !(stop && stop->load()))
            m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // On the test's thread: until a worker is held.
    void waitUntilHeld() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_open = false;
};
