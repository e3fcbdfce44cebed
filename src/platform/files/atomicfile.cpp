#include "platform/files/atomicfile.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void keepOwnerAndMode(const QString& path, int handle) {
    struct stat st {};
    if (handle < 0 || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return;
    // Someone else's file keeps at least its group when its owner cannot be given back; when
    // neither can, the new file is the user's, as any file they write.
    if (::fchown(handle, st.st_uid, st.st_gid) != 0 &&
        ::fchown(handle, static_cast<uid_t>(-1), st.st_gid) != 0)
        st.st_mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    (void)::fchmod(handle, st.st_mode & 07777);
}
} // namespace

AtomicFile::AtomicFile(const QString& path, Kind kind, Access access)
    : m_path(path), m_kind(kind), m_access(access) {}

// An uncommitted QSaveFile drops its new file; a QTemporaryFile removes itself unless renamed.
AtomicFile::~AtomicFile() = default;

bool AtomicFile::open() {
    if (m_kind == Kind::Durable) {
        auto file = std::make_unique<QSaveFile>(m_path);
        if (!file->open(QIODevice::WriteOnly)) {
            m_error = file->errorString();
            return false;
        }
        m_file = std::move(file);
    } else {
        // Made for its owner only, as a temporary file is.
        auto file = std::make_unique<QTemporaryFile>(m_path + QStringLiteral(".XXXXXX"));
        if (!file->open()) {
            m_error = file->errorString();
            return false;
        }
        m_file = std::move(file);
    }
    if (m_access == Access::AsBefore)
        keepOwnerAndMode(m_path, m_file->handle());
    else if (!m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return (m_error = m_file->errorString()), false;
    return true;
}

bool AtomicFile::write(const char* data, qint64 length) {
    if (m_file->write(data, length) == length)
        return true;
    m_error = m_file->errorString();
    return false;
}

bool AtomicFile::commit() {
    if (m_kind == Kind::Durable) {
        auto* file = static_cast<QSaveFile*>(m_file.get());
        if (file->commit())
            return true;
        m_error = file->errorString();
        return false;
    }
    auto* file = static_cast<QTemporaryFile*>(m_file.get());
    if (!file->flush() || std::rename(QFile::encodeName(file->fileName()).constData(),
                                      QFile::encodeName(m_path).constData()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    file->setAutoRemove(false);
    return true;
}

QString AtomicFile::errorString() const {
    return m_error;
}

bool AtomicFile::Write(const QString& path, QByteArrayView bytes, Kind kind, Access access) {
    AtomicFile file(path, kind, access);
    return file.open() && file.write(bytes) && file.commit();
}
