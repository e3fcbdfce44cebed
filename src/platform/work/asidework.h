#pragma once

#include "platform/work/workprogress.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

class QString;

// Work run aside: on a thread of its own, with a stop token and a count of how far it got (its
// WorkProgress). Every thread the program starts is started here, so that a piece of work is
// stopped, waited for and asked how far it got in one way, and the end of the program (and a test)
// can wait until all of them are done. The window's side of it, a caption, the progress shown and
// Esc, is RunAside/WaitAside (platform/ui/longoperation.h).
class AsideWork {
public:
    // Starts `work` (called with the job's WorkProgress, or with nothing) on a thread of its own.
    // What it throws is kept for Wait(); the work and everything it holds is destroyed there.
    template <typename F> static std::shared_ptr<AsideWork> Start(F&& work) {
        std::shared_ptr<AsideWork> job(new AsideWork);
        begin();
        std::thread([job, w = std::forward<F>(work)]() mutable {
            {
                auto local = std::move(w);
                try {
                    if constexpr (std::is_invocable_v<decltype(local)&, WorkProgress&>)
                        local(job->m_progress);
                    else
                        local();
                } catch (...) {
                    job->m_failure = std::current_exception();
                }
            }
            job->finish();
        }).detach();
        return job;
    }
    // Drops `value` on another thread: a document of a hundred megabytes takes seconds to free.
    template <typename T> static void Release(T&& value) {
        Start([v = std::forward<T>(value)]() mutable { auto gone = std::move(v); });
    }
    // Blocks until every piece of work started here has ended.
    static void WaitForAll();
    static int Running();

    AsideWork(const AsideWork&) = delete;
    AsideWork& operator=(const AsideWork&) = delete;

    // The work sees its WorkProgress's `stop` set; it ends when it looks next.
    void RequestStop() { m_progress.stop.store(true); }
    bool StopRequested() const { return m_progress.stop.load(); }
    bool Finished() const;
    qint64 Done() const { return m_progress.done.load(std::memory_order_relaxed); }
    // Blocks until the work has ended, then throws what it threw (once).
    void Wait();

private:
    AsideWork() = default;
    static void begin();
    void finish();

    WorkProgress m_progress;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_finished = false;
    std::exception_ptr m_failure;
};

// Waits for a job started aside: a window shows `caption` and the job's progress against `total`
// (0: unknown) and, when `stoppable`, takes Esc, which asks the job to stop and ends the wait at
// once. False when it was stopped.
using AsideWaiter =
    std::function<bool(const QString& caption, qint64 total, bool stoppable, AsideWork& job)>;

// Runs `work` aside and has `wait` wait for it (without a waiter: here, until it ends). The work may
// use what the caller holds: it has ended before this returns. What it throws is thrown here; the
// answer is false when it was stopped.
bool RunAside(const AsideWaiter& wait, const QString& caption, qint64 total, bool stoppable,
              const std::function<void(WorkProgress&)>& work);
