#pragma once

#include "document/diskfile.h"
#include "platform/xml/xmlbackgroundwriter.h"

#include <QDateTime>
#include <QLockFile>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class XmlDocument;

// A copy left by a program that did not end cleanly.
struct RecoveryOrphan {
    QString session;
    QString copyPath;
    QString fileName; // the document's file, empty for an unnamed document
    QDateTime time;   // when the copy was written
    FileStamp stamp;  // the document's file as the program knew it
};

// Copies of unsaved work (UTF-8 text, whatever the document's declaration names), so that a program
// that ends without saving (a crash, a kill, a power cut) loses at most what was done since the
// last copy. Each running program marks itself with a lock file in the per-user data directory; a
// copy whose program is gone without having removed its mark is offered at the next start. Copies
// are written atomically and off the user-interface thread.
class Recovery {
public:
    using Orphan = RecoveryOrphan;

    // `directory` empty: the per-user data directory's "recovery" folder.
    explicit Recovery(const QString& directory = {});
    // A clean end: the copy and the mark go.
    ~Recovery();
    Recovery(const Recovery&) = delete;
    Recovery& operator=(const Recovery&) = delete;

    const QString& directory() const { return m_directory; }
    // Copies whose program is no longer running; each is now this program's to offer.
    std::vector<Orphan> orphans();
    static void removeOrphan(const Orphan& orphan);
    // Takes an orphan's copy over as this program's own (the work it holds is unsaved again).
    bool adopt(const Orphan& orphan);

    // Writes the copy in the background: the text of the text view, or the Document.
    void writeText(const QByteArray& text, const QString& fileName, const FileStamp& stamp);
    void writeDocument(const XmlDocument& document, const QString& fileName,
                       const FileStamp& stamp);
    // Waits for the copy being written (for tests and for a clean end).
    void waitForCopy();
    // The work is saved or given up: no copy is needed any more.
    void discard();
    bool hasCopy() const { return m_hasCopy.load(); }
    // Copies stopped by changes in a row; past a few, a copy is written to the end.
    int stoppedInARow() const { return m_stoppedInARow.load(); }

private:
    QString pathOf(const QString& session, const char* suffix) const;
    void finished(bool written, const QString& fileName, const FileStamp& stamp,
                  const QDateTime& time);
    void stopWriting();

    QString m_directory;
    QString m_session;
    std::unique_ptr<QLockFile> m_lock;
    XmlBackgroundWriter m_writer;
    std::shared_ptr<AsideWork> m_textWriter;
    std::atomic<bool> m_hasCopy{false};
    std::atomic<int> m_stoppedInARow{0};
};
