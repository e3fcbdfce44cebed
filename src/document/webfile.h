#pragma once

#include "platform/work/asidework.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QTemporaryDir;
class XmlDocument;

// The web view's file, one for each window: "TempXMLFile.xml" in a folder of its own (only its
// owner may enter it) under the per-user runtime directory, else the cache directory, else the
// system's temporary one. No other running program writes or shows it, and the folder goes when
// the last holder of it does.
class WebFile {
public:
    // The file a Document was loaded from, as it was then.
    struct LoadedFile {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        quint64 revision = 0; // the Document's, just after the load
    };
    // Hands the text view's text of the Document (CR LF line ends) to `read`; false when the view
    // holds no such text.
    using ViewText = std::function<bool(const std::function<bool(QByteArrayView)>& read)>;

    // `bases` are the directories to try, in order; empty: the standard ones.
    explicit WebFile(const QStringList& bases = {});
    // A copy still being made is of no use any more, and is not waited for.
    ~WebFile();
    WebFile(const WebFile&) = delete;
    WebFile& operator=(const WebFile&) = delete;

    // Empty when no folder could be made anywhere.
    QString path() const;
    // Keeps the folder for whoever writes into it after this object is gone.
    std::shared_ptr<const void> hold() const { return m_folder; }

    // Writes `document` as the file, from the quickest source that holds its text: a copy of
    // `loaded` while the Document is exactly what was loaded from it and the file is unchanged;
    // `serialised`, its own text in UTF-8; the view's text; else the Document written out. A large
    // copy, or a large `serialised`, is written aside when `copyMayWait`, finished by finishCopy.
    // True when the file is the view's text.
    bool write(const XmlDocument& document, const LoadedFile& loaded, const QByteArray& serialised,
               bool copyMayWait, const ViewText& viewText);
    // A copy made aside is finished; when it failed, `document` is written instead.
    void finishCopy(const XmlDocument& document);

private:
    std::shared_ptr<QTemporaryDir> m_folder;
    struct Copy;
    std::shared_ptr<Copy> m_copy;
};
