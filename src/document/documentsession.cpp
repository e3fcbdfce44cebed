// The session's state, and its file: New, load, save and another program's changes.

#include "document/documentsession.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/xml/xmlfileload.h"
#include "platform/xml/xmlhistory.h"

#include <QFileInfo>

using namespace DocumentRules;

DocumentSession::DocumentSession(const QString& recoveryDirectory, QObject* parent)
    : QObject(parent), m_recovery(std::make_unique<Recovery>(recoveryDirectory)) {
    m_objDocument = XmlDocument::create();
}

DocumentSession::~DocumentSession() = default;

bool DocumentSession::runAside(const QString& caption, qint64 total, bool stoppable,
                               const std::function<void(WorkProgress&)>& work) {
    return ::RunAside(m_waiter, caption, total, stoppable, work);
}

XmlDocument& DocumentSession::Document() {
    if (m_objDocument.isNull())
        throw MissingObjectError();
    return m_objDocument;
}

// While text that did not parse stands instead of a Document, the history is the one of the
// Document held aside.
const XmlDocument& DocumentSession::documentForHistory() const {
    return m_objDocument.isNull() ? m_undoBase : m_objDocument;
}

bool DocumentSession::HasUnsavedChanges() const {
    if (m_view.hasTyping && m_view.hasTyping())
        return true;
    const XmlDocument& document = documentForHistory();
    if (document.isNull())
        return m_bNeedToSave;
    const XmlHistory& history = document.history();
    return !history.isAtSavedPosition() ||
           (m_bNeedToSave && (!m_markedAt || *m_markedAt == history.stepsDone()));
}

void DocumentSession::tellModified() {
    const bool modified = HasUnsavedChanges();
    if (std::exchange(m_lastModified, modified) != modified)
        emit modifiedChanged(modified);
}

// The mark belongs to the history's position once the command that made it has ended (its step
// committed or dropped): CommandEnded notes it.
void DocumentSession::MarkChanged() {
    m_bNeedToSave = true;
    m_markedAt.reset();
}

void DocumentSession::markSaved() {
    m_bNeedToSave = false;
    m_markedAt.reset();
    if (!m_objDocument.isNull())
        m_objDocument.history().markSaved();
    m_recovery->discard();
    CommandEnded();
}

void DocumentSession::CommandEnded() {
    if (!m_objDocument.isNull()) {
        XmlHistory& history = m_objDocument.history();
        history.setMemoryLimit(UndoMemoryLimit());
        const size_t at = history.stepsDone();
        if (m_bNeedToSave && !m_markedAt) {
            m_markedAt = at;
        } else if (m_markedAt && *m_markedAt != at) {
            // The mark stands for its position only: once the history moves on, an undo back to
            // the saved position leaves nothing unsaved.
            m_bNeedToSave = false;
            m_markedAt.reset();
        }
    }
    tellModified();
    emit historyChanged();
}

// By value: the name given may be the session's own.
void DocumentSession::setFileName(QString name) {
    if (name == m_strFileName)
        return;
    m_strFileName = std::move(name);
    emit fileNameChanged();
}

void DocumentSession::New() {
    setFileName(QString());
    m_bFileNotLoaded = false;
    m_diskFile.forget();
    emit documentAboutToBeReplaced();
    m_objDocument = XmlDocument::create();
    m_objDocument.loadXML(QString());
    emit documentReplaced();
}

QString DocumentSession::OpenRefusal(const QString& path) {
    return NotAnOpenableFile(path);
}

bool DocumentSession::waitForParse(XmlFileLoad& load, const QString& path) {
    const QString caption = QStringLiteral("Opening %1").arg(QFileInfo(path).fileName());
    if (m_waiter ? m_waiter(caption, load.totalBytes(), true, load.job())
                 : (load.job().Wait(), true))
        return true;
    load.stop();
    return false;
}

DocumentSession::LoadResult DocumentSession::Load(const QString& path) {
    XmlDocument& document = Document();
    XmlFileLoad load(path);
    // Stopped, it is as if the file had never been asked for.
    if (!waitForParse(load, path))
        return LoadResult::Stopped;
    setFileName(path);
    // Until the file has loaded, Save must not write over it.
    m_bFileNotLoaded = true;
    m_diskFile.forget();
    emit documentAboutToBeReplaced();
    const bool loaded = document.load(load);
    if (loaded) {
        m_bFileNotLoaded = false;
        noteLoadedFile();
        m_diskFile.remember(path);
    }
    emit documentReplaced();
    return loaded ? LoadResult::Loaded : LoadResult::NotXml;
}

void DocumentSession::noteLoadedFile() {
    m_parsedRevision = Document().revision();
    const QFileInfo info(m_strFileName);
    m_loadedFile = {m_strFileName, info.size(), info.lastModified(), m_parsedRevision};
}

QString DocumentSession::SaveQuestion() const {
    return DocumentRules::SaveQuestion(m_strFileName);
}

// Another program's changes and a read-only file are overwritten only when the user says so.
QStringList DocumentSession::OverwriteQuestions(const QString& path) const {
    QStringList questions;
    if (m_diskFile.isFor(path) && m_diskFile.changedByOthers())
        questions << QStringLiteral("The file %1 has been changed by another program. Do you want "
                                    "to overwrite it?")
                         .arg(path);
    if (IsReadOnlyFile(path))
        questions
            << QStringLiteral("The file %1 is read-only. Do you want to overwrite it?").arg(path);
    return questions;
}

// Written aside while the window shows how much was written of the old file's size. A stop leaves
// the old file as it was (false); a write that failed throws as it always did. Only a write that
// succeeded makes `path` the document's file and marks it saved.
bool DocumentSession::Save(const QString& path) {
    XmlDocument& document = Document();
    bool saved = false;
    runAside(QStringLiteral("Saving %1").arg(QFileInfo(path).fileName()), QFileInfo(path).size(),
             true, [&](WorkProgress& progress) {
                 try {
                     document.save(path, XmlDocument::SaveMode::Durable, &progress);
                     saved = true;
                 } catch (...) {
                     if (!progress.stop)
                         throw;
                 }
             });
    if (!saved)
        return false;
    m_diskFile.remember(path);
    m_bFileNotLoaded = false;
    setFileName(path);
    markSaved();
    return true;
}

QString DocumentSession::SaveLayoutNote() const {
    if (m_objDocument.isNull() || !m_objDocument.lostItsSource())
        return {};
    return QStringLiteral("Saved in the editor's layout: the file had changed on disk since it "
                          "was opened.");
}

void DocumentSession::DiscardChanges() {
    m_recovery->discard();
}

// A file another program changed is offered again, unless that would drop changes made here (a
// save then asks before it overwrites) or the user declined this very change already.
std::optional<QString> DocumentSession::ReloadQuestion() {
    m_reloadAsked.reset();
    if (HasUnsavedChanges() || !m_diskFile.changedByOthers())
        return std::nullopt;
    const FileStamp now = m_diskFile.current();
    if (m_declinedReload && m_declinedReload->sameMetadata(now) && m_declinedReload->sameFile(now))
        return std::nullopt;
    m_reloadAsked = now;
    return QStringLiteral("The file %1 has been changed by another program. Do you want to "
                          "reload it?")
        .arg(m_diskFile.path());
}

void DocumentSession::ReloadAnswered(bool reload) {
    if (reload)
        m_declinedReload.reset();
    else
        m_declinedReload = m_reloadAsked;
    m_reloadAsked.reset();
}

void DocumentSession::WriteWebFile(QByteArrayView serialised) {
    const bool copyMayWait = !m_view.webViewShown || !m_view.webViewShown();
    m_webFileFromView =
        m_webFile.write(Document(), m_loadedFile, serialised, copyMayWait, m_view.readShownText);
}

void DocumentSession::FinishWebFileCopy() {
    m_webFile.finishCopy(m_objDocument);
}
