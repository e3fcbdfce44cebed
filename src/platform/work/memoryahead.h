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

// Memory a large document freed is handed back to the system, or the program would stay as big as
// it was with the document still in memory; but not while a FreedMemoryKept lives (below).
void ReturnFreedMemory();

// While one lives, memory freed stays with the program: a document freed to make room for another
// is followed at once by that one, which takes the same memory again (every thread allocates from
// the one heap). Handed back, each of its pages would be faulted in and cleared by the system
// anew, for a document of a gigabyte a good part of reading the other. What is left over when the
// last one goes is handed back aside.
class FreedMemoryKept {
public:
    FreedMemoryKept();
    ~FreedMemoryKept();
    FreedMemoryKept(const FreedMemoryKept&) = delete;
    FreedMemoryKept& operator=(const FreedMemoryKept&) = delete;
};
