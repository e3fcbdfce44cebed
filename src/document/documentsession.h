#pragma once

#include "document/diskfile.h"
#include "document/recovery.h"
#include "document/webfile.h"
#include "platform/work/asidework.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmltextfile.h"
#include "platform/xml/xmltransform.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class XmlDocumentAside;
class XmlFileLoad;

// The document being edited and everything that belongs to it: the Document, its file and how the
// file looked on disk, the text last loaded, whether there are changes not in the file yet, the
// undo history, the recovery copy and the web view's file. It needs no window and never asks the
// user anything: where a question is due it answers what to ask (SaveQuestion,
// OverwriteQuestions, ReloadQuestion, RecoveryQuestion) and the window asks it. What happened is
// told through signals.
class DocumentSession : public QObject {
    Q_OBJECT
public:
    // What the session needs to know of the window's text view, without knowing the view.
    struct TextView {
        // Typing there that is not applied to the Document yet, and its text.
        std::function<bool()> hasTyping;
        std::function<QByteArray()> typedText;
        // Hands the view's text (CR LF line ends) to `read` when it is the Document's text as last
        // put in and not replaced since; false otherwise.
        std::function<bool(const std::function<bool(QByteArrayView)>& read)> readShownText;
        // Whether the web view shows its file now: a copy for it cannot wait then.
        std::function<bool()> webViewShown;
    };
    // `recoveryDirectory` empty: the per-user data directory's.
    explicit DocumentSession(const QString& recoveryDirectory = {}, QObject* parent = nullptr);
    ~DocumentSession() override;

    // Long work (a parse, a save, reading back a packed document) is run aside and waited for by
    // `waiter`; without one it is waited for here.
    void SetWaiter(AsideWaiter waiter) { m_waiter = std::move(waiter); }
    void SetTextView(TextView view) { m_view = std::move(view); }

    // ---- the document's state, under the names the window knows them by ----
    // Null while the text that did not parse stands instead of a Document.
    XmlDocument m_objDocument;
    QString m_strFileName;
    // The text that did not parse (UTF-8), kept while there is no Document.
    QByteArray m_strXMLText;
    // Marked changed on purpose where the Document itself did not change (an Update or a label
    // edit that was cancelled or refused, recovered work): it counts until the history moves on.
    // Whether the document has unsaved changes is HasUnsavedChanges(), never a flag set by each
    // command.
    bool m_bNeedToSave = false;
    // Set while the text shown for the file named does not stand for its bytes (they could not be
    // decoded): Save must not overwrite it.
    bool m_bFileNotLoaded = false;

    // The Document; MissingObjectError while there is none.
    XmlDocument& Document();
    // Changes not in the file yet: the history away from the position last saved or loaded,
    // typing in the text view not applied yet, or a mark made on purpose (m_bNeedToSave).
    bool HasUnsavedChanges() const;
    void MarkChanged();
    // The document is what its file holds now (saved, loaded or new).
    void markSaved();
    // A command has ended (its undo step committed or dropped): a mark it made belongs to the
    // history's position from now on.
    void CommandEnded();

    // ---- files ----
    void New();
    // Why `path` is not even tried (a device, a pipe); empty when it may be.
    static QString OpenRefusal(const QString& path);
    enum class LoadResult { Loaded, NotXml, Stopped };
    // The file's Document under its name. NotXml: the file did not parse, and its text stands
    // instead of a Document (m_strXMLText, TextError()), to be repaired; when its bytes could not
    // all be decoded it is read-only (UndecodableNote()). Stopped (the user stopped the parse)
    // leaves everything as it was.
    LoadResult Load(const QString& path);
    // "Do you want to save the changes you made to NAME?"
    QString SaveQuestion() const;
    // Save has no file of its own to write: the document has no name, or its file did not load.
    bool SaveNeedsName() const { return m_strFileName.isEmpty() || m_bFileNotLoaded; }
    // What to ask before `path` is overwritten, in order; each must be answered yes.
    QStringList OverwriteQuestions(const QString& path) const;
    // Writes the Document to `path`, which becomes its file; false when the user stopped the
    // write (the old file stays as it was). A failed write throws and changes nothing.
    bool Save(const QString& path);
    // Said after a save written in the editor's layout because the file the Document was read
    // from changed on disk before its text was needed; empty otherwise.
    QString SaveLayoutNote() const;
    // The changes are given up (the user answered No to saving them).
    void DiscardChanges();

    // ---- text that does not parse ----
    // Why the text kept instead of a Document (m_strXMLText) did not parse, and where.
    const XmlParseError& TextError() const { return m_textError; }
    // What to tell when the text shown for the file does not stand for its bytes; empty otherwise.
    QString UndecodableNote() const;
    bool TextIsReadOnly() const { return m_bFileNotLoaded; }
    // Why the document may not be written to `path` (the file whose bytes it could not decode);
    // empty when it may.
    QString SaveAsRefusal(const QString& path) const;
    // Writes `utf8`, the text that does not parse, as it stands to `path` (in the file's encoding,
    // with its byte order mark), which becomes the document's file; as Save otherwise.
    bool SaveText(const QString& path, QByteArrayView utf8);

    // ---- another program's changes to the file ----
    // The question to ask when the file was changed by another program, nothing to ask when it
    // was not, the user already declined that very change, or asking would drop changes made here.
    std::optional<QString> ReloadQuestion();
    void ReloadAnswered(bool reload);
    const QString& DiskFilePath() const { return m_diskFile.path(); }

    // ---- text ----
    // Parses `text` into a new Document (the new document's text when empty). With a caption, that
    // is an undo step that brings the old one back; without, the text is the Document's own. Text
    // that does not parse is kept instead of a Document (parseFailed tells why).
    bool ApplyText(QByteArrayView text, const QString& undoCaption = QString());
    // The Document as it would be read from its own text, for the views. Unchanged since it was
    // parsed, it stays as it is (false); else it is read again (true: documentReplaced), its text
    // left in `reread` when that parsed.
    bool Refresh(QByteArray* reread);
    // The clipboard's XML as the Document, in an undo step; false (after parseFailed, for text
    // that does not parse) leaves the Document as it was. Its UTF-8 text is left in `utf8`.
    bool PasteXml(QString text, QByteArray* utf8);
    // The Document's text, or the text that did not parse.
    QString GetTextFromXML() const;

    // ---- transforms ----
    // The Document transformed with the stylesheet file; nothing when the user stopped it.
    std::optional<XmlTransform::Result> Transform(const QString& stylesheet,
                                                  const QList<XmlTransform::Parameter>& parameters);
    // A transform's output (its text) as a new, unsaved document; false when it does not parse
    // and stands as text to repair.
    bool OpenOutput(const QString& text);

    // ---- undo and redo ----
    // Runs `change` as one undo step named `caption` (nothing is kept when it changed nothing).
    void InUndoStep(const QString& caption, const std::function<void()>& change);
    // The same, answering the containers `change` changed, for a view to show them again.
    std::vector<XmlNode> InUndoStepTouching(const QString& caption,
                                            const std::function<void()>& change);
    struct Undone {
        bool replaced = false;        // another Document is shown (documentReplaced)
        std::vector<XmlNode> touched; // else the containers the step changed
        XmlNode focus;                // the node to select
    };
    // Nothing when there is nothing to undo or redo.
    std::optional<Undone> UndoOrRedo(bool undo);

    // ---- recovery ----
    static constexpr int kRecoveryInterval = 30000;
    Recovery& RecoveryCopies() { return *m_recovery; }
    // Copies unsaved work, unless the copy is up to date.
    void WriteRecoveryCopy();
    // Typing in the text view since the last copy.
    void NoteTyped() { m_bTypedSinceCopy = true; }
    std::vector<RecoveryOrphan> RecoveryOrphans() { return m_recovery->orphans(); }
    static QString RecoveryQuestion(const RecoveryOrphan& orphan);
    static void DeclineRecovery(const RecoveryOrphan& orphan) { Recovery::removeOrphan(orphan); }
    // Takes an orphan's work as the unsaved document: a Document, or (`typed`) text to go back
    // where it was typed. False when the user stopped reading it: it stays on offer.
    bool Recover(const RecoveryOrphan& orphan, std::optional<QString>* typed);

    // ---- the web view's file ----
    QString WebFilePath() const { return m_webFile.path(); }
    // Writes the Document there. `serialised`, when given, is its own text in UTF-8.
    void WriteWebFile(const QByteArray& serialised = {});
    // The file is whole before anything shows or replaces it.
    void FinishWebFileCopy();
    // Whether the file was written from the text view's text, which must then be written anew
    // when the view's text is replaced.
    bool WebFileFromView() const { return m_webFileFromView; }

signals:
    void fileNameChanged();
    void modifiedChanged(bool modified);
    // The undo history or the unsaved-changes mark moved.
    void historyChanged();
    // The Document is about to go: nothing may use its nodes any more.
    void documentAboutToBeReplaced();
    // The Document is about to be packed to make room for another: whatever still holds one of
    // its nodes lets go of it now, or its memory cannot go.
    void documentMakingRoom();
    // Another Document (or the same one loaded anew) is to be shown whole.
    void documentReplaced();
    // Text did not parse; `error` says where and why.
    void parseFailed(const XmlParseError& error);

private:
    bool runAside(const QString& caption, qint64 total, bool stoppable,
                  const std::function<void(WorkProgress&)>& work);
    void wholeDocumentWork(const QString& caption, qint64 size, const std::function<void()>& work);
    bool waitForParse(XmlFileLoad& load, const QString& path);
    bool writeAside(const QString& path, const std::function<void(WorkProgress&)>& write);
    void keepTextInstead(const XmlTextFile& file, const XmlParseError& error);
    const XmlDocument& documentForHistory() const;
    Undone undoOrRedoMakingRoom(bool undo);
    static bool fitsBeside(qint64 textBytes, const XmlDocument& held);
    // The Document's own text as Refresh wrote it; `overSource` when in the layout it was read
    // with.
    struct OwnText {
        QByteArray text;
        bool overSource = false;
    };
    bool readText(QByteArrayView text, const OwnText* own, const QString& undoCaption);
    bool takeParsed(const XmlDocument& parsed, bool loaded, QByteArrayView text,
                    const QString& undoCaption);
    void replaceDocument(const XmlDocument& replacement, const QString& caption,
                         bool reread = false);
    void noteLoadedFile();
    void setFileName(QString name);
    void tellModified();

    AsideWaiter m_waiter;
    TextView m_view;
    // While there is text that did not parse instead of a Document: the Document before it, which
    // the next Apply's undo step brings back.
    XmlDocument m_undoBase;
    // During Apply: the Document packed to make room for the one read from the text, which the
    // new Document's undo step brings back.
    std::unique_ptr<XmlDocumentAside> m_aside;
    XmlParseError m_textError;
    // How the document's file is written when it is written as text.
    XmlTextFormat m_textFormat;
    // Stamp of the Document content as last parsed; equal to its revision while unchanged.
    quint64 m_parsedRevision = 0;
    // The file the unchanged Document was loaded from, as it was then.
    WebFile::LoadedFile m_loadedFile;
    // The history's position m_bNeedToSave was set at; none while the command that set it runs.
    std::optional<size_t> m_markedAt;
    bool m_lastModified = false;
    DiskFile m_diskFile;
    std::optional<FileStamp> m_declinedReload;
    std::optional<FileStamp> m_reloadAsked;
    std::unique_ptr<Recovery> m_recovery;
    quint64 m_copiedRevision = 0;
    bool m_bTypedSinceCopy = false;
    WebFile m_webFile;
    bool m_webFileFromView = false;
};
