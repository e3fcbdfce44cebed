#include "document/recovery.h"

#include "platform/files/atomicfile.h"
#include "platform/xml/xmldocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <set>

namespace {

QString defaultDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/recovery");
}

// Copies of the user's work are the user's alone, as the files they came from may be.
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool writeAtomically(const QString& path, const QByteArray& bytes) {
    return AtomicFile::Write(path, bytes, AtomicFile::Kind::Durable, AtomicFile::Access::OwnerOnly);
}

QByteArray infoText(const QString& fileName, const FileStamp& stamp, const QDateTime& time) {
    QJsonObject o;
    o[QStringLiteral("file")] = fileName;
    o[QStringLiteral("time")] = time.toUTC().toString(Qt::ISODateWithMs);
    o[QStringLiteral("exists")] = stamp.exists;
    o[QStringLiteral("size")] = QString::number(stamp.size);
    o[QStringLiteral("modified")] = QString::number(stamp.modifiedNs);
    o[QStringLiteral("device")] = QString::number(stamp.device);
    o[QStringLiteral("inode")] = QString::number(stamp.inode);
    return QJsonDocument(o).toJson();
}

void readInfo(const QString& path, Recovery::Orphan& orphan) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject o = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    orphan.fileName = o.value(QStringLiteral("file")).toString();
    const QDateTime time =
        QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (time.isValid())
        orphan.time = time.toLocalTime();
    orphan.stamp.exists = o.value(QStringLiteral("exists")).toBool();
    orphan.stamp.size = o.value(QStringLiteral("size")).toString().toLongLong();
    orphan.stamp.modifiedNs = o.value(QStringLiteral("modified")).toString().toLongLong();
    orphan.stamp.device = o.value(QStringLiteral("device")).toString().toULongLong();
    orphan.stamp.inode = o.value(QStringLiteral("inode")).toString().toULongLong();
}

} // namespace

Recovery::Recovery(const QString& directory)
    : m_directory(directory.isEmpty() ? defaultDirectory() : directory) {
    // Without a place for copies the program still runs; it only cannot keep copies.
    if (m_directory.isEmpty() || !QDir().mkpath(m_directory) ||
        !QFile::setPermissions(m_directory, kOwnerOnly | QFileDevice::ExeOwner))
        return;
    m_session = QStringLiteral("%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(QDateTime::currentMSecsSinceEpoch());
    m_lock = std::make_unique<QLockFile>(pathOf(m_session, ".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        m_lock.reset();
}

Recovery::~Recovery() {
    discard();
}

QString Recovery::pathOf(const QString& session, const char* suffix) const {
    return m_directory + QLatin1Char('/') + session + QLatin1String(suffix);
}

std::vector<Recovery::Orphan> Recovery::orphans() {
    std::vector<Orphan> out;
    if (!m_lock)
        return out;
    const QDir dir(m_directory);
    std::set<QString> sessions;
    for (const QFileInfo& f : dir.entryInfoList(
             {QStringLiteral("*.lock"), QStringLiteral("*.xml"), QStringLiteral("*.info")},
             QDir::Files))
        sessions.insert(f.completeBaseName());
    for (const QString& session : sessions) {
        if (session == m_session)
            continue;
        const QString lockPath = pathOf(session, ".lock");
        if (QFile::exists(lockPath)) {
            // A running program holds its mark; one that was killed left it stale.
            QLockFile lock(lockPath);
            lock.setStaleLockTime(0);
            if (!lock.tryLock(0))
                continue;
        }
        Orphan orphan;
        orphan.session = session;
        orphan.copyPath = pathOf(session, ".xml");
        if (!QFile::exists(orphan.copyPath)) {
            removeOrphan(orphan); // it had nothing unsaved
            continue;
        }
        orphan.time = QFileInfo(orphan.copyPath).lastModified();
        readInfo(pathOf(session, ".info"), orphan);
        out.push_back(orphan);
    }
    return out;
}

void Recovery::removeOrphan(const Orphan& orphan) {
    const QString base = orphan.copyPath.left(orphan.copyPath.size() - 4);
    QFile::remove(orphan.copyPath);
    QFile::remove(base + QStringLiteral(".info"));
    QFile::remove(base + QStringLiteral(".lock"));
}

bool Recovery::adopt(const Orphan& orphan) {
    if (!m_lock)
        return false;
    stopWriting();
    const QString copy = pathOf(m_session, ".xml");
    QFile::remove(copy);
    if (!QFile::rename(orphan.copyPath, copy))
        return false;
    writeAtomically(pathOf(m_session, ".info"),
                    infoText(orphan.fileName, orphan.stamp, orphan.time));
    removeOrphan(orphan);
    m_hasCopy = true;
    return true;
}

void Recovery::finished(bool written, const QString& fileName, const FileStamp& stamp,
                        const QDateTime& time) {
    if (!written) {
        ++m_stoppedInARow;
        return;
    }
    m_stoppedInARow = 0;
    writeAtomically(pathOf(m_session, ".info"), infoText(fileName, stamp, time));
    m_hasCopy = true;
}

void Recovery::writeText(const QByteArray& text, const QString& fileName, const FileStamp& stamp) {
    if (!m_lock)
        return;
    stopWriting();
    const QDateTime time = QDateTime::currentDateTime();
    m_textWriter = AsideWork::Start([this, text, fileName, stamp, time] {
        finished(writeAtomically(pathOf(m_session, ".xml"), text), fileName, stamp, time);
    });
}

void Recovery::writeDocument(const XmlDocument& document, const QString& fileName,
                             const FileStamp& stamp) {
    if (!m_lock)
        return;
    stopWriting();
    const QDateTime time = QDateTime::currentDateTime();
    // A document changed faster than it can be written would never get a copy: after a few
    // stopped copies, the next one makes the changes wait for it.
    m_writer.start(
        document, pathOf(m_session, ".xml"), m_stoppedInARow < 3,
        [this, fileName, stamp, time](bool written) { finished(written, fileName, stamp, time); });
}

void Recovery::stopWriting() {
    m_writer.stop();
    if (const std::shared_ptr<AsideWork> writer = std::exchange(m_textWriter, nullptr))
        writer->Wait();
}

void Recovery::waitForCopy() {
    m_writer.wait();
    if (const std::shared_ptr<AsideWork> writer = std::exchange(m_textWriter, nullptr))
        writer->Wait();
}

void Recovery::discard() {
    stopWriting();
    if (!m_lock)
        return;
    QFile::remove(pathOf(m_session, ".xml"));
    QFile::remove(pathOf(m_session, ".info"));
    m_hasCopy = false;
    m_stoppedInARow = 0;
}
