// The session's state, and its file: New, load, save and another program's changes.

#include "document/documentsession.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmldocumentaside.h"
#include "platform/xml/xmlfileload.h"
#include "platform/xml/xmlhistory.h"
#include "platform/xml/xmlwellformed.h"
#include "platform/files/atomicfile.h"

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
    m_undoBase = XmlDocument();
    m_strXMLText.clear();
    m_textError = {};
    m_textFormat = {};
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
    if (m_objDocument.isNull())
        m_objDocument = XmlDocument::create();
    XmlDocument& document = m_objDocument;
    XmlFileLoad load(path);
    // Stopped, it is as if the file had never been asked for.
    if (!waitForParse(load, path))
        return LoadResult::Stopped;
    setFileName(path);
    m_diskFile.forget();
    emit documentAboutToBeReplaced();
    m_undoBase = XmlDocument();
    m_strXMLText.clear();
    m_textError = {};
    const bool loaded = document.load(load);
    if (loaded) {
        m_bFileNotLoaded = false;
        m_textFormat = ReadXmlTextFormat(path);
        noteLoadedFile();
    } else {
        // The file's own text, to be repaired. A file that cannot be read even so (it went since
        // it was parsed) is shown as nothing, under its name, which Save does not write over.
        const XmlParseError error = document.parseError();
        XmlTextFile file;
        wholeDocumentWork(QStringLiteral("Opening %1").arg(QFileInfo(path).fileName()),
                          QFileInfo(path).size(), [&] {
                              try {
                                  file = ReadXmlTextFile(path);
                              } catch (const XmlError&) {
                                  file.undecodable = true;
                              }
                          });
        keepTextInstead(file, error);
    }
    m_diskFile.remember(path);
    emit documentReplaced();
    return loaded ? LoadResult::Loaded : LoadResult::NotXml;
}

void DocumentSession::keepTextInstead(const XmlTextFile& file, const XmlParseError& error) {
    m_objDocument = XmlDocument();
    m_strXMLText = file.text;
    m_textError = error;
    m_textFormat = file.format;
    m_bFileNotLoaded = file.undecodable;
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
    if (!writeAside(path, [&](WorkProgress& progress) {
            document.save(path, XmlDocument::SaveMode::Durable, &progress);
        }))
        return false;
    m_textFormat = ReadXmlTextFormat(path);
    return true;
}

// The text goes as it stands: nothing is added to it, and no character is changed into another.
bool DocumentSession::SaveText(const QString& path, QByteArrayView utf8) {
    const QByteArray bytes = EncodeXmlText(utf8, m_textFormat);
    XmlParseError error;
    if (!writeAside(path, [&](WorkProgress& progress) {
            AtomicFile file(path, AtomicFile::Kind::Durable, AtomicFile::Access::AsBefore);
            const auto fail = [&] {
                throw XmlError(QStringLiteral("The file %1 cannot be written: %2")
                                   .arg(path, file.errorString()));
            };
            if (!file.open())
                fail();
            constexpr qsizetype kPiece = 1 << 20;
            for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
                if (progress.stop.load())
                    throw XmlError(QStringLiteral("Stopped"));
                const qsizetype length = std::min(kPiece, bytes.size() - at);
                if (!file.write(bytes.constData() + at, static_cast<int>(length)))
                    fail();
                progress.done.fetch_add(length);
            }
            if (!file.commit())
                fail();
            error = CheckWellFormed(utf8).error;
        }))
        return false;
    m_textError = error;
    m_strXMLText = utf8.toByteArray();
    // The Document the text replaced is not what the file holds any more.
    m_undoBase = XmlDocument();
    return true;
}

// Written aside while the window shows how much was written of the old file's size. A stop leaves
// the old file as it was (false); a write that failed throws. Only a write that succeeded makes
// `path` the document's file and marks it saved.
bool DocumentSession::writeAside(const QString& path,
                                 const std::function<void(WorkProgress&)>& write) {
    bool saved = false;
    runAside(QStringLiteral("Saving %1").arg(QFileInfo(path).fileName()), QFileInfo(path).size(),
             true, [&](WorkProgress& progress) {
                 try {
                     write(progress);
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

QString DocumentSession::UndecodableNote() const {
    if (!m_bFileNotLoaded)
        return {};
    return QStringLiteral("The file %1 contains bytes that are not valid %2; it is shown read-only "
                          "so that saving cannot change them.")
        .arg(m_strFileName, QString::fromLatin1(m_textFormat.encoding));
}

QString DocumentSession::SaveAsRefusal(const QString& path) const {
    const QFileInfo target(path);
    const QFileInfo own(m_strFileName);
    const bool same = target.exists() ? target.canonicalFilePath() == own.canonicalFilePath()
                                      : target.absoluteFilePath() == own.absoluteFilePath();
    if (!m_bFileNotLoaded || !same)
        return {};
    return QStringLiteral("The file %1 is shown read-only: save the text under another name.")
        .arg(m_strFileName);
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

void DocumentSession::WriteWebFile(const QByteArray& serialised) {
    const bool copyMayWait = !m_view.webViewShown || !m_view.webViewShown();
    // A Document just parsed from text (Apply) is that text, which it keeps.
    const QByteArray text = !serialised.isEmpty() || Document().revision() != m_parsedRevision
                                ? serialised
                                : Document().keptSourceText();
    m_webFileFromView =
        m_webFile.write(Document(), m_loadedFile, text, copyMayWait, m_view.readShownText);
}

void DocumentSession::FinishWebFileCopy() {
    m_webFile.finishCopy(m_objDocument);
}
