// New, Open, Save, Save As, the save question and the caption.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "document/recovery.h"
#include "platform/errors.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/xml/xmlfileload.h"
#include "platform/xml/xmlhistory.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

using namespace DocumentRules;

namespace {
void showBackupFileRefusal() {
    MsgBox(QStringLiteral("This file is a backup file. Please choose another file."),
           MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
}

// The hourglass over the whole window while a save runs.
struct WaitPointer {
    WaitPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitPointer() { QApplication::restoreOverrideCursor(); }
};

bool askYesNo(const QString& text) {
    return MsgBox(text, MsgButtons::YesNo, MsgIcon::Exclamation, kAppTitle) == MsgResult::Yes;
}

// Writes the document on a worker while the window repaints and shows how much was written of
// the old file's size. Esc stops a write that has not finished, which leaves the old file as it
// was (false); a write that failed throws as it always did.
bool saveWithProgress(ProgressDisplay* display, const XmlDocument& document, const QString& path) {
    bool saved = false;
    RunAside(display, QStringLiteral("Saving %1").arg(QFileInfo(path).fileName()),
             QFileInfo(path).size(), true, [&](WorkProgress& progress) {
                 try {
                     document.save(path, XmlDocument::SaveMode::Durable, &progress);
                     saved = true;
                 } catch (...) {
                     if (!progress.stop)
                         throw;
                 }
             });
    return saved;
}
} // namespace

XmlDocument& frmMain::Document() {
    if (m_objDocument.isNull())
        throw MissingObjectError();
    return m_objDocument;
}

const XmlDocument& frmMain::documentForHistory() const {
    return m_objDocument.isNull() ? m_undoBase : m_objDocument;
}

bool frmMain::HasUnsavedChanges() const {
    if (m_txtXML->HasTyping())
        return true;
    const XmlDocument& document = documentForHistory();
    if (document.isNull())
        return m_bNeedToSave;
    const XmlHistory& history = document.history();
    return !history.isAtSavedPosition() ||
           (m_bNeedToSave && (!m_markedAt || *m_markedAt == history.stepsDone()));
}

// The mark belongs to the history's position once the command that made it has ended (its step
// committed or dropped): UpdateUndoCommands notes it.
void frmMain::MarkChanged() {
    m_bNeedToSave = true;
    m_markedAt.reset();
}

void frmMain::mnuNewDoc_Click() {
    if (!HandleSaving())
        return;
    m_strFileName.clear();
    m_bFileNotLoaded = false;
    m_diskFile.forget();
    forgetValidation();
    m_objDocument = XmlDocument::create();
    m_objDocument.loadXML(QString());
    RefreshViews(true);
    markSaved();
}

void frmMain::OpenFile(QString& strFileName) {
    try {
        if (!HandleSaving())
            return;
        CommonDialog.CancelError = true;
        if (strFileName.isEmpty()) {
            CommonDialog.ShowOpen();
            strFileName = CommonDialog.FileName.trimmed();
            if (strFileName.isEmpty())
                return;
            if (IsBackupFileName(strFileName)) {
                showBackupFileRefusal();
                return;
            }
        }
        if (!LoadFile(strFileName))
            return;
        forgetValidation();
        if (!Document().hasContent())
            MsgBox(QStringLiteral("XML is not valid."), MsgButtons::OKOnly, MsgIcon::Critical,
                   kAppTitle);
        RefreshViews(true);
        markSaved();
    } catch (const DialogCancelledError&) {
    } catch (...) {
        HandleError();
    }
}

bool frmMain::LoadFile(const QString& path) {
    const QString refusal = NotAnOpenableFile(path);
    if (!refusal.isEmpty()) {
        MsgBox(refusal, MsgButtons::OKOnly, MsgIcon::Critical, kAppTitle);
        return false;
    }
    XmlDocument& document = Document();
    XmlFileLoad load(path);
    // Stopped, it is as if the file had never been asked for.
    if (!waitForParse(load, path))
        return false;
    m_strFileName = path;
    // Until the file has loaded, Save must not write over it.
    m_bFileNotLoaded = true;
    m_diskFile.forget();
    if (document.load(load)) {
        m_bFileNotLoaded = false;
        NoteLoadedFile();
        m_diskFile.remember(path);
    }
    return true;
}

void frmMain::DropFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    try {
        QString first = paths.constFirst();
        OpenFile(first);
    } catch (...) {
        HandleError();
    }
}

bool frmMain::SaveFile() {
    WaitPointer wait;
    try {
        // A file that did not load is never replaced by what the window shows instead.
        if (m_strFileName.isEmpty() || m_bFileNotLoaded)
            return SaveFileAs();
        return saveDocumentTo(m_strFileName);
    } catch (...) {
        HandleError();
        return false;
    }
}

bool frmMain::SaveFileAs() {
    QString name;
    try {
        CommonDialog.CancelError = true;
        CommonDialog.ShowSave();
        name = CommonDialog.FileName.trimmed();
    } catch (...) {
        return false;
    }
    if (name.isEmpty())
        return false;
    if (IsBackupFileName(name)) {
        showBackupFileRefusal();
        return false;
    }
    WaitPointer wait;
    try {
        // The window keeps its old name until the document is really in the new file.
        if (!saveDocumentTo(name))
            return false;
    } catch (...) {
        HandleError();
        return false;
    }
    m_strFileName = name;
    m_bFileNotLoaded = false;
    UpdateFormCaption();
    return true;
}

// Applies the visible view's changes, then writes the Document to `path`. Only a write that
// succeeded marks the document saved.
bool frmMain::saveDocumentTo(const QString& path) {
    ToolbarApply_ButtonClick(QStringLiteral("Apply"));
    XmlDocument& document = Document();
    if (!mayOverwrite(path))
        return false;
    if (!saveWithProgress(StatusBar1, document, path))
        return false;
    m_diskFile.remember(path);
    markSaved();
    return true;
}

// The parse runs on a worker while the window repaints and shows how much of the file was read.
bool frmMain::waitForParse(XmlFileLoad& load, const QString& path) {
    return WaitAside(StatusBar1, QStringLiteral("Opening %1").arg(QFileInfo(path).fileName()),
                     load.totalBytes(), true, load.job());
}

// Another program's changes and a read-only file are overwritten only when the user says so.
bool frmMain::mayOverwrite(const QString& path) {
    if (m_diskFile.isFor(path) && m_diskFile.changedByOthers() &&
        !askYesNo(QStringLiteral("The file %1 has been changed by another program. Do you want "
                                 "to overwrite it?")
                      .arg(path)))
        return false;
    if (IsReadOnlyFile(path) &&
        !askYesNo(
            QStringLiteral("The file %1 is read-only. Do you want to overwrite it?").arg(path)))
        return false;
    return true;
}

bool frmMain::HandleSaving() {
    try {
        if (!HasUnsavedChanges())
            return true;
        switch (MsgBox(SaveQuestion(m_strFileName), MsgButtons::YesNoCancel, MsgIcon::None,
                       kAppTitle)) {
        case MsgResult::Yes:
            // A save that failed or was called off leaves everything as it was: the command
            // that asked must not go on and drop the changes.
            return SaveFile();
        case MsgResult::No:
            m_recovery->discard();
            return true;
        default:
            return false;
        }
    } catch (...) {
        return false;
    }
}

void frmMain::markSaved() {
    m_bNeedToSave = false;
    m_markedAt.reset();
    if (!m_objDocument.isNull())
        m_objDocument.history().markSaved();
    m_recovery->discard();
    UpdateUndoCommands();
}

void frmMain::UpdateFormCaption() {
    setWindowTitle(CaptionFor(m_strFileName));
}

// Back in the window after working elsewhere: a file another program changed is offered again,
// unless that would drop changes made here (a save then asks before it overwrites).
void frmMain::Form_Activate() {
    if (LongOperation::Running() || m_bCheckingDiskFile || HasUnsavedChanges() ||
        !m_diskFile.changedByOthers())
        return;
    const FileStamp now = m_diskFile.current();
    if (m_declinedReload && m_declinedReload->sameMetadata(now) && m_declinedReload->sameFile(now))
        return;
    m_bCheckingDiskFile = true;
    const QString path = m_diskFile.path();
    const bool reload =
        MsgBox(QStringLiteral("The file %1 has been changed by another program. Do you want to "
                              "reload it?")
                   .arg(path),
               MsgButtons::YesNo, MsgIcon::Question, kAppTitle) == MsgResult::Yes;
    m_bCheckingDiskFile = false;
    if (!reload) {
        m_declinedReload = now;
        return;
    }
    m_declinedReload.reset();
    QString name = path;
    OpenFile(name);
}
