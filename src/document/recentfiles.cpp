#include "document/recentfiles.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kKey = QStringLiteral("RecentFiles/List");

QString absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

QStringList RecentFiles::Files() const {
    QStringList files = m_settings.value(kKey).toStringList();
    files.removeAll(QString());
    files.removeDuplicates();
    return files.mid(0, kMost);
}

void RecentFiles::Add(const QString& path) {
    if (path.isEmpty())
        return;
    const QString file = absolute(path);
    QStringList files = Files();
    files.removeAll(file);
    files.prepend(file);
    store(files.mid(0, kMost));
}

void RecentFiles::Remove(const QString& path) {
    QStringList files = Files();
    files.removeAll(absolute(path));
    store(files);
}

void RecentFiles::Clear() {
    store({});
}

void RecentFiles::store(const QStringList& files) {
    m_settings.setValue(kKey, files);
    m_settings.sync();
}

QString RecentFiles::Caption(int index, const QString& path) {
    const QString number = index < 9 ? QStringLiteral("&%1").arg(index + 1) : QStringLiteral("1&0");
    // An ampersand in a file's name is shown, not taken as an access key.
    QString name = QFileInfo(path).fileName();
    name.replace(u'&', QStringLiteral("&&"));
    return number + u' ' + name;
}
