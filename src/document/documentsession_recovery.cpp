// Copies of unsaved work while the program runs, and their recovery after an unclean end.

#include "document/documentsession.h"

#include "platform/xml/xmlfileload.h"
#include "platform/xml/xmlhistory.h"

#include <QFile>
#include <QLocale>

void DocumentSession::WriteRecoveryCopy() {
    if (!HasUnsavedChanges())
        return;
    const bool redo = !m_recovery->hasCopy() || m_recovery->stoppedInARow() > 0;
    const bool typing = m_view.hasTyping && m_view.hasTyping();
    if (typing || m_objDocument.isNull()) {
        if (!redo && !m_bTypedSinceCopy)
            return;
        m_bTypedSinceCopy = false;
        m_recovery->writeText(typing ? m_view.typedText() : m_strXMLText, m_strFileName,
                              m_diskFile.stamp());
        return;
    }
    if (!redo && m_objDocument.revision() == m_copiedRevision)
        return;
    m_copiedRevision = m_objDocument.revision();
    m_recovery->writeDocument(m_objDocument, m_strFileName, m_diskFile.stamp());
}

QString DocumentSession::RecoveryQuestion(const RecoveryOrphan& orphan) {
    const QString name = orphan.fileName.isEmpty() ? QStringLiteral("Unknown") : orphan.fileName;
    return QStringLiteral("Recover unsaved changes to %1 from %2?")
        .arg(name, QLocale::system().toString(orphan.time, QLocale::ShortFormat));
}

bool DocumentSession::Recover(const RecoveryOrphan& orphan, std::optional<QString>* typed) {
    XmlDocument copy = XmlDocument::create();
    XmlFileLoad load(orphan.copyPath, XmlFileLoad::Kind::Utf8Text);
    if (!waitForParse(load, orphan.copyPath))
        return false;
    const bool loaded = copy.load(load);
    // Typing that did not parse yet goes back where it was typed, for correction.
    QString text;
    QFile file(orphan.copyPath);
    if (!loaded && file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    // The copy becomes this program's own before anything else can fail.
    m_recovery->adopt(orphan);
    setFileName(orphan.fileName);
    m_bFileNotLoaded = false;
    m_diskFile.restore(orphan.fileName, orphan.stamp);
    if (!loaded) {
        *typed = text;
        return true;
    }
    emit documentAboutToBeReplaced();
    m_objDocument = copy;
    m_parsedRevision = copy.revision();
    emit documentReplaced();
    // The work recovered is not in its file, whatever is undone or redone later.
    m_objDocument.history().markUnsaved();
    MarkChanged();
    return true;
}
