#pragma once

#include "platform/work/asidework.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

// What a file on disk looked like at one moment, cheap to take: enough to tell whether another
// program has written or replaced it since.
struct FileStamp {
    bool exists = false;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;

    static FileStamp of(const QString& path);
    bool sameMetadata(const FileStamp& other) const {
        return exists == other.exists && size == other.size && modifiedNs == other.modifiedNs;
    }
    bool sameFile(const FileStamp& other) const {
        return device == other.device && inode == other.inode;
    }
};

// The file the Document was loaded from or last saved to, as it was then. Another program may
// write it afterwards; a save must not overwrite that blindly, and an unchanged document may offer
// to reload it. A file replaced by one of the same size and time is told apart by its content,
// hashed off the user-interface thread.
class DiskFile {
public:
    DiskFile() = default;
    ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    // Remembers `path` as it is now (after a load or a save).
    void remember(const QString& path);
    void forget();
    // Takes over what an earlier program knew of `path` (no content hash then).
    void restore(const QString& path, const FileStamp& stamp);
    const QString& path() const { return m_path; }
    bool isFor(const QString& path) const;
    // Whether another program wrote or replaced the remembered file since (a removed file is not
    // counted: nothing of it would be lost).
    bool changedByOthers() const;
    // The file as it is now, to ask about a change only once.
    FileStamp current() const { return FileStamp::of(m_path); }
    const FileStamp& stamp() const { return m_stamp; }

private:
    QString m_path;
    FileStamp m_stamp;
    // The remembered file's content hash, made aside; read once the work has ended.
    std::shared_ptr<AsideWork> m_hashing;
    std::shared_ptr<std::optional<QByteArray>> m_hash;
};

// The content hash of a file, or nothing when it cannot be read or `cancel` was set.
std::optional<QByteArray> HashFile(const QString& path, const std::atomic<bool>* cancel = nullptr);
