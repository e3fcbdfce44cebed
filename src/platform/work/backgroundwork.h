#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

// Freeing a document of a hundred megabytes takes longer than a window may stand still, so the
// last reference to a snapshot is dropped on a thread of its own. Threads started here are
// counted, so that tests (and the end of the program) can wait until every one is done.
class BackgroundWork {
public:
    // Runs `work` on a new thread; `work` and everything it holds is destroyed there.
    template <typename F> static void Start(F&& work) {
        begin();
        std::thread([w = std::forward<F>(work)]() mutable {
            {
                auto job = std::move(w);
                job();
            }
            end();
        }).detach();
    }
    // Drops `value` on another thread.
    template <typename T> static void Release(T&& value) {
        Start([v = std::forward<T>(value)]() mutable { auto gone = std::move(v); });
    }
    // Blocks until every thread started here has finished.
    static void WaitForAll();
    static int Running();

private:
    static void begin();
    static void end();
};
