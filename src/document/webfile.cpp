#include "document/webfile.h"

#include "document/documentrules.h"
#include "platform/files/atomicfile.h"
#include "platform/xml/xmldocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

namespace {

constexpr AtomicFile::Kind kScratch = AtomicFile::Kind::Scratch;
constexpr AtomicFile::Access kOwnerOnly = AtomicFile::Access::OwnerOnly;
constexpr qint64 kCopyAside = qint64(8) << 20;


// A copy of `from` at `to`, given up (with nothing changed at `to`) once `stop` is set.
bool copyFile(const QString& from, const QString& to, const std::atomic<bool>* stop) {
    QFile original(from);
    AtomicFile copy(to, kScratch, kOwnerOnly);
    if (!original.open(QIODevice::ReadOnly) || !copy.open())
        return false;
    while (!original.atEnd()) {
        if (stop && stop->load())
            return false;
        const QByteArray chunk = original.read(1 << 20);
        if (chunk.isEmpty() || !copy.write(chunk))
            return false;
    }
    return copy.commit();
}

} // namespace

// The copy of the loaded file, made aside; its answer is read once it has ended.
struct WebFile::Copy {
    std::shared_ptr<AsideWork> job;
    std::shared_ptr<bool> copied = std::make_shared<bool>(false);
};

WebFile::WebFile(const QStringList& bases) {
    const QStringList tried =
        !bases.isEmpty()
            ? bases
            : QStringList{QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                          QStandardPaths::writableLocation(QStandardPaths::CacheLocation),
                          QDir::tempPath()};
    for (const QString& base : tried) {
        if (base.isEmpty() || !QDir().mkpath(base))
            continue;
        auto folder = std::make_shared<QTemporaryDir>(base + QStringLiteral("/orvel-web-XXXXXX"));
        if (folder->isValid()) {
            m_folder = std::move(folder);
            return;
        }
    }
}

WebFile::~WebFile() {
    if (m_copy)
        m_copy->job->RequestStop();
}

QString WebFile::path() const {
    return m_folder ? m_folder->filePath(DocumentRules::kTempFileName) : QString();
}

bool WebFile::write(const XmlDocument& document, const LoadedFile& loaded,
                    const QByteArray& serialised, bool copyMayWait, const ViewText& viewText) {
    finishCopy(document);
    const QString target = path();
    const QFileInfo source(loaded.path);
    const bool unchanged = document.revision() == loaded.revision && !loaded.path.isEmpty() &&
                           source.size() == loaded.size && source.lastModified() == loaded.modified;
    if (unchanged && source.absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        // A large copy takes seconds: it is made aside while nothing shows the file, and
        // finished before anything shows or replaces it. The folder is held until it ends. So is
        // a large text written.
        if (source.size() > kCopyAside && copyMayWait) {
            m_copy = std::make_shared<Copy>();
            m_copy->job = AsideWork::Start([copied = m_copy->copied, from = loaded.path, target,
                                            folder = hold()](WorkProgress& progress) {
                *copied = copyFile(from, target, &progress.stop);
            });
            return false;
        }
        if (copyFile(loaded.path, target, nullptr))
            return false;
    }
    // The Document was just read from this text, which is what it writes.
    if (!serialised.isEmpty() && document.savesAsUtf8()) {
        if (serialised.size() > kCopyAside && copyMayWait) {
            m_copy = std::make_shared<Copy>();
            m_copy->job = AsideWork::Start(
                [copied = m_copy->copied, serialised, target, folder = hold()] {
                    *copied = AtomicFile::Write(target, serialised, kScratch, kOwnerOnly);
                });
            return false;
        }
        if (AtomicFile::Write(target, serialised, kScratch, kOwnerOnly))
            return false;
    }
    if (document.savesAsUtf8() && viewText &&
        viewText([target](QByteArrayView text) {
            AtomicFile file(target, kScratch, kOwnerOnly);
            // The view holds the text exactly as it is saved.
            return file.open() && file.write(text.data(), text.size()) && file.commit();
        }))
        return true;
    document.save(target, XmlDocument::SaveMode::Scratch);
    return false;
}

void WebFile::finishCopy(const XmlDocument& document) {
    const std::shared_ptr<Copy> copy = std::exchange(m_copy, nullptr);
    if (!copy)
        return;
    copy->job->Wait();
    if (!*copy->copied && !document.isNull())
        document.save(path(), XmlDocument::SaveMode::Scratch);
}
