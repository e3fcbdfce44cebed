#pragma once

#include <QtGlobal>

#include <memory>

class AsideWork;

// Building a large document writes to hundreds of megabytes the process never used before, and
// the system hands out each of those pages at its first write, cleared, on the thread that
// writes: for a parse, a third of its time. While a MemoryAhead lives, a thread of its own asks
// for the pages of the heap's new memory as soon as the heap grows, so that the builder finds them
// ready: the clearing runs on the other processor, beside the build instead of inside it.
class MemoryAhead {
public:
    // Work on fewer than kWorthIt bytes of input is left alone: a thread would cost more.
    static constexpr qint64 kWorthIt = 8 << 20;
    explicit MemoryAhead(qint64 inputBytes);
    ~MemoryAhead();
    MemoryAhead(const MemoryAhead&) = delete;
    MemoryAhead& operator=(const MemoryAhead&) = delete;

    // The bytes given their pages so far (for tests).
    qint64 Readied() const;

private:
    std::shared_ptr<AsideWork> m_job;
};
