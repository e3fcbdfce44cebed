#include "platform/work/memoryroom.h"

#include <QFile>

#include <atomic>

namespace {

std::atomic<qint64> g_available{-1};
std::atomic<qint64> g_resident{-1};
std::atomic<bool> g_forTests{false};

// A "Name:   1234 kB" line of a /proc file, in bytes.
qint64 kilobytesLine(const char* path, const QByteArray& name) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    // Read whole: /proc files give no size, and a line-by-line read is as cheap.
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith(name))
            continue;
        bool ok = false;
        const qint64 kb =
            line.mid(name.size()).trimmed().split(' ').value(0).toLongLong(&ok);
        return ok ? kb * 1024 : -1;
    }
    return -1;
}

} // namespace

namespace MemoryRoom {

qint64 Available() {
    if (g_forTests.load())
        return g_available.load();
    return kilobytesLine("/proc/meminfo", "MemAvailable:");
}

qint64 Resident() {
    if (g_forTests.load())
        return g_resident.load();
    return kilobytesLine("/proc/self/status", "VmRSS:");
}

void SetForTests(qint64 available, qint64 resident) {
    g_available.store(available);
    g_resident.store(resident);
    g_forTests.store(available >= 0 || resident >= 0);
}

} // namespace MemoryRoom
