#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryDir;

// The web view's file, one for each window: "TempXMLFile.xml" in a folder of its own (only its
// owner may enter it) under the per-user runtime directory, else the cache directory, else the
// system's temporary one. No other running program writes or shows it, and the folder goes when
// the last holder of it does.
class WebFile {
public:
    // `bases` are the directories to try, in order; empty: the standard ones.
    explicit WebFile(const QStringList& bases = {});
    ~WebFile();
    WebFile(const WebFile&) = delete;
    WebFile& operator=(const WebFile&) = delete;

    // Empty when no folder could be made anywhere.
    QString path() const;
    // Keeps the folder for whoever writes into it after this object is gone.
    std::shared_ptr<const void> hold() const { return m_folder; }

private:
    std::shared_ptr<QTemporaryDir> m_folder;
};
