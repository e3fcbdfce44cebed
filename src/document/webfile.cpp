#include "document/webfile.h"

#include "document/documentrules.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

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

WebFile::~WebFile() = default;

QString WebFile::path() const {
    return m_folder ? m_folder->filePath(DocumentRules::kTempFileName) : QString();
}
