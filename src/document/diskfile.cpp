#include "document/diskfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

FileStamp FileStamp::of(const QString& path) {
    FileStamp s;
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    return s;
}

std::optional<QByteArray> HashFile(const QString& path, const std::atomic<bool>* cancel) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Tells a replaced file from the one that was read, not an attacker's file from it: a fast
    // hash that keeps the second core free for the work the user waits for.
    size_t hash = 0;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load())
            return std::nullopt;
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        hash = qHashBits(chunk.constData(), static_cast<size_t>(n), hash);
    }
    return QByteArray::number(quint64(hash), 16);
}

DiskFile::~DiskFile() {
    forget();
}

void DiskFile::forget() {
    if (m_hashing)
        m_hashing->RequestStop();
    m_hashing.reset();
    m_hash.reset();
    m_path.clear();
    m_stamp = {};
}

void DiskFile::remember(const QString& path) {
    forget();
    m_path = path;
    m_stamp = FileStamp::of(path);
    if (!m_stamp.exists)
        return;
    const FileStamp stamp = m_stamp;
    auto hash = std::make_shared<std::optional<QByteArray>>();
    m_hash = hash;
    // The hash only counts when the file stayed the same file while it was read.
    m_hashing = AsideWork::Start([path, stamp, hash](WorkProgress& progress) {
        *hash = HashFile(path, &progress.stop);
        const FileStamp after = FileStamp::of(path);
        if (!after.sameMetadata(stamp) || !after.sameFile(stamp))
            hash->reset();
    });
}

void DiskFile::restore(const QString& path, const FileStamp& stamp) {
    forget();
    m_path = path;
    m_stamp = stamp;
}

bool DiskFile::isFor(const QString& path) const {
    return !m_path.isEmpty() &&
           QFileInfo(m_path).absoluteFilePath() == QFileInfo(path).absoluteFilePath();
}

bool DiskFile::changedByOthers() const {
    if (m_path.isEmpty())
        return false;
    const FileStamp now = FileStamp::of(m_path);
    // A removed file holds nothing that a save could overwrite or a reload could bring back.
    if (!now.exists)
        return false;
    if (!now.sameMetadata(m_stamp))
        return true;
    if (now.sameFile(m_stamp))
        return false;
    // Replaced by a file of the same size and time: only the content can tell.
    if (m_hashing)
        m_hashing->Wait();
    const std::optional<QByteArray> before = m_hash ? *m_hash : std::nullopt;
    return !before || HashFile(m_path) != before;
}
