// Pages readied ahead of a large build: the memory the build then uses holds what it writes, and
// a large document reads the same from its file and from its text while it works.

#include "platform/work/asidework.h"
#include "platform/work/memoryahead.h"
#include "platform/work/memoryroom.h"
#include "platform/xml/xmldocument.h"
#include "support/xmltesting.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>

using namespace xmltesting;

namespace {

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Whether pages can be readied here: not under the sanitizer's allocator, which has no heap at
// the break, nor on a system before Linux 5.14.
bool canReady() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    const size_t size = 1 << 16;
    void* probe = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    const bool can = probe != MAP_FAILED && madvise(probe, size, MADV_POPULATE_WRITE) == 0;
    if (probe != MAP_FAILED)
        munmap(probe, size);
    return can;
#endif
}

TEST(MemoryAhead, SmallWorkStartsNothing) {
    const int before = AsideWork::Running();
    MemoryAhead ahead(MemoryAhead::kWorthIt - 1);
    EXPECT_EQ(AsideWork::Running(), before);
    EXPECT_EQ(ahead.Readied(), 0);
}

// Many small blocks, as a parse makes them, each written with its own pattern and read back after
// the pages under it were readied by the other thread.
TEST(MemoryAhead, MemoryReadiedHoldsWhatTheBuildWrites) {
    constexpr int kBlocks = 1'500'000;
    constexpr size_t kSize = 120; // about a node
    std::vector<unsigned char*> blocks(kBlocks);
    {
        MemoryAhead ahead(MemoryAhead::kWorthIt);
        for (int i = 0; i < kBlocks; ++i) {
            blocks[i] = static_cast<unsigned char*>(std::malloc(kSize));
            ASSERT_NE(blocks[i], nullptr);
            std::memset(blocks[i], i & 0xFF, kSize);
        }
        QElapsedTimer waited;
        waited.start();
        const bool can = canReady();
        while (can && ahead.Readied() < qint64(kBlocks) * qint64(kSize) / 2 &&
               waited.elapsed() < 5000)
            QThread::msleep(5);
        if (can) {
            EXPECT_GE(ahead.Readied(), qint64(kBlocks) * qint64(kSize) / 2);
        }
    }
    int wrong = 0;
    for (int i = 0; i < kBlocks; ++i) {
        for (size_t k = 0; k < kSize; ++k)
            wrong += blocks[i][k] != (i & 0xFF);
        std::free(blocks[i]);
    }
    EXPECT_EQ(wrong, 0);
}

// Over the size where pages are readied ahead, the file (read a piece at a time, filtered) and the
// same bytes as text (read a piece at a time too) give the document those bytes are.
TEST(MemoryAhead, LargeDocumentReadsTheSameFromItsFileAndItsText) {
    QByteArray text = "<?xml version=\"1.0\"?>\n<catalogue xmlns:p=\"urn:p\">\n";
    for (int i = 0; text.size() < MemoryAhead::kWorthIt + (1 << 20); ++i)
        text += "  <p:record id=\"r" + QByteArray::number(i) + "\" kind=\"item\">\n    <name>Record " +
                QByteArray::number(i) + " &amp; more</name>\n    <!-- checked -->\n    " +
                "<note>Some <b>bold</b> tail<![CDATA[ <raw> ]]></note>\n  </p:record>\n";
    text += "</catalogue>\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.xml"));
    writeBytes(path, text);
    XmlDocument fromFile = XmlDocument::create(), fromText = XmlDocument::create();
    ASSERT_TRUE(fromFile.load(path));
    ASSERT_TRUE(fromText.loadUtf8(text));
    const QString saved = dir.filePath(QStringLiteral("saved.xml"));
    fromFile.save(saved);
    EXPECT_TRUE(readBytes(saved) == text);
    // Written in the editor's own layout, which this text already has.
    EXPECT_TRUE(fromText.xml().toUtf8() == text);
}

// Memory freed while kept stays with the program, also when asked to hand it back; once nothing
// keeps it, it goes back to the system (aside).
TEST(MemoryAhead, MemoryFreedWhileKeptStaysUntilNothingKeepsIt) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator has a heap of its own";
#endif
    constexpr int kBlocks = 1'000'000;
    const auto heap = [] { return size_t(MemoryRoom::Resident()); };
    std::vector<void*> blocks(kBlocks);
    for (void*& block : blocks)
        block = std::malloc(120);
    const size_t full = heap();
    {
        FreedMemoryKept kept;
        for (void* block : blocks)
            std::free(block);
        ReturnFreedMemory();
        EXPECT_GE(heap(), full - (size_t(8) << 20));
        FreedMemoryKept nested; // the last one to go hands it back
    }
    AsideWork::WaitForAll();
    EXPECT_LT(heap(), full - size_t(kBlocks) * 100);
}

} // namespace
