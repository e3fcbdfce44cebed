#include "platform/work/asidework.h"

namespace {
std::mutex s_mutex;
std::condition_variable s_allDone;
int s_running = 0;
} // namespace

void AsideWork::begin() {
    std::lock_guard<std::mutex> lock(s_mutex);
    ++s_running;
}

void AsideWork::finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        m_ended.notify_all();
    }
    std::lock_guard<std::mutex> lock(s_mutex);
    if (--s_running == 0)
        s_allDone.notify_all();
}

bool AsideWork::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

void AsideWork::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ended.wait(lock, [this] { return m_finished; });
    if (std::exception_ptr failure = std::exchange(m_failure, nullptr))
        std::rethrow_exception(failure);
}

void AsideWork::WaitForAll() {
    std::unique_lock<std::mutex> lock(s_mutex);
    s_allDone.wait(lock, [] { return s_running == 0; });
}

int AsideWork::Running() {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_running;
}

bool RunAside(const AsideWaiter& wait, const QString& caption, qint64 total, bool stoppable,
              const std::function<void(WorkProgress&)>& work) {
    const std::shared_ptr<AsideWork> job =
        AsideWork::Start([&work](WorkProgress& progress) { work(progress); });
    const bool done = !wait || wait(caption, total, stoppable, *job);
    job->Wait();
    return done;
}
