#pragma once

#include <QMimeData>
#include <QStringList>
#include <QUrl>

// The local files a drop carries, in order; empty when it carries no file list.
inline QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}
