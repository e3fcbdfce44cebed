#include "platform/work/memoryahead.h"

#include "platform/work/asidework.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

constexpr size_t kStep = size_t(64) << 20;

// Every thread allocates from the one heap at the program's break, so that the thread below knows
// where new memory appears; that heap grows in steps of 64 MB, a step ahead of what a parse needs
// next. (A parse on a heap of its own grew it a page at a time, each with a system call that
// stopped the other threads' processors.) Set before main() runs, as a thread's heap is chosen at
// its first allocation.
//
// Small blocks freed go straight back where their neighbours join them, on the thread that frees
// them. Held back in "fast" lists instead, the millions of nodes of a document freed aside were
// sorted in all at once by the next large allocation, holding the heap for a second or more on
// whichever thread made it, the window's as often as not; and freeing took three times as long.
const bool s_oneHeap = [] {
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_TOP_PAD, int(kStep));
    mallopt(M_MXFAST, 0);
    return true;
}();

char* programBreak() {
    return reinterpret_cast<char*>(syscall(SYS_brk, 0));
}

char* pageOf(char* at) {
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    return reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(at) & ~(page - 1));
}

} // namespace

MemoryAhead::MemoryAhead(qint64 inputBytes) {
    (void)s_oneHeap;
    if (inputBytes < kWorthIt)
        return;
    m_job = AsideWork::Start([](WorkProgress& progress) {
        using namespace std::chrono_literals;
        // The step the heap last grew by is mostly still to be used.
        char* ready = programBreak() - std::min(kStep, mallinfo2().arena);
        while (!progress.stop.load(std::memory_order_relaxed)) {
            char* end = programBreak();
            if (end <= ready) {
                ready = std::min(ready, end); // the heap gave memory back
                std::this_thread::sleep_for(200us);
                continue;
            }
            char* from = pageOf(ready);
            // Pages already there are left as they are: this only saves the first write its fault.
            if (madvise(from, size_t(end - from), MADV_POPULATE_WRITE) != 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                // A system without it (before Linux 5.14): the build takes its faults itself, as
                // it did. A range not all mapped (memory of another kind where the heap grew) is
                // left to the build too.
                if (errno != ENOMEM)
                    return;
            } else {
                progress.done.fetch_add(end - ready, std::memory_order_relaxed);
            }
            ready = end;
        }
    });
}

MemoryAhead::~MemoryAhead() {
    if (!m_job)
        return;
    m_job->RequestStop();
    m_job->Wait();
}

qint64 MemoryAhead::Readied() const {
    return m_job ? m_job->Done() : 0;
}

namespace {
std::mutex s_keptMutex;
int s_kept = 0;
// glibc's own threshold, which setting the pad above fixed at this value.
constexpr int kTrimThreshold = 128 * 1024;
} // namespace

// Trimmed without the lock, which would hold up a window starting to make room for as long as a
// trim of a large heap takes: one that starts meanwhile only finds less memory kept.
void ReturnFreedMemory() {
    {
        std::lock_guard<std::mutex> lock(s_keptMutex);
        if (s_kept > 0)
            return;
    }
    malloc_trim(0);
}

FreedMemoryKept::FreedMemoryKept() {
    std::lock_guard<std::mutex> lock(s_keptMutex);
    if (s_kept++ == 0)
        mallopt(M_TRIM_THRESHOLD, -1); // the heap's free top is not given back either
}

FreedMemoryKept::~FreedMemoryKept() {
    {
        std::lock_guard<std::mutex> lock(s_keptMutex);
        if (--s_kept > 0)
            return;
        mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    }
    try {
        AsideWork::Start([] { ReturnFreedMemory(); });
    } catch (...) {
        // Not handed back now: the next large free does it.
    }
}
