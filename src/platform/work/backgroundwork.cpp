#include "platform/work/backgroundwork.h"

namespace {
std::mutex s_mutex;
std::condition_variable s_done;
int s_running = 0;
} // namespace

void BackgroundWork::begin() {
    std::lock_guard<std::mutex> lock(s_mutex);
    ++s_running;
}

void BackgroundWork::end() {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (--s_running == 0)
        s_done.notify_all();
}

void BackgroundWork::WaitForAll() {
    std::unique_lock<std::mutex> lock(s_mutex);
    s_done.wait(lock, [] { return s_running == 0; });
}

int BackgroundWork::Running() {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_running;
}
