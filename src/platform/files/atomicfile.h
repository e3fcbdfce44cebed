#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>

class QFileDevice;

// A file written so that a reader finds the old file or the whole new one, never a part: the text
// goes into a file beside the target under a name of its own, which replaces the target only when
// committed. Left uncommitted (a failure, a stop), the target stays as it was and the new file
// goes. Every file the program writes is written this way.
class AtomicFile {
public:
    // Durable: on the disk before it replaces the target (a save). Scratch: renamed over the target
    // without waiting for the disk; another program may write the same target at the same time.
    enum class Kind { Durable, Scratch };
    // AsBefore: the replaced file's mode, owner and group, as far as this user may give them, so a
    // save neither opens a private file to others nor takes a file away from its owner (a new
    // file gets the usual mode). OwnerOnly: the user's work kept aside, which no one else may read.
    enum class Access { AsBefore, OwnerOnly };

    AtomicFile(const QString& path, Kind kind, Access access);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    // False when not all of it went in.
    bool write(const char* data, qint64 length);
    bool write(QByteArrayView bytes) { return write(bytes.data(), bytes.size()); }
    // The new file takes the target's place.
    bool commit();
    QString errorString() const;

    // `bytes` as the whole file at `path`.
    static bool Write(const QString& path, QByteArrayView bytes, Kind kind, Access access);

private:
    QString m_path;
    Kind m_kind;
    Access m_access;
    std::unique_ptr<QFileDevice> m_file;
    QString m_error;
};
