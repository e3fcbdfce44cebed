// New, Open, Save, Save As, the questions before a document or a file is given up, recovery.

#include "app/frmmain.h"
#include "app/statuspanels.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/ui/longoperation.h"
#include "platform/views/richtextbox.h"

#include <QFileInfo>
#include <QMenu>
#include <QTimer>

using namespace DocumentRules;

namespace {
const QString kBackupFile =
    QStringLiteral("This file is a backup file. Please choose another file.");
} // namespace

void frmMain::mnuNewDoc_Click() {
    if (!HandleSaving())
        return;
    forgetResults();
    m_session.New();
    showLoaded();
    markSaved();
}

void frmMain::OpenFile(QString strFileName) {
    try {
        // A file open in another window is shown there, before this document is asked about.
        if (!strFileName.isEmpty() && ShownInOtherWindow(strFileName))
            return;
        if (!HandleSaving())
            return;
        CommonDialog.CancelError = true;
        if (strFileName.isEmpty()) {
            CommonDialog.InitDir = m_windowMemory.LastFolder();
            CommonDialog.ShowOpen();
            strFileName = CommonDialog.FileName.trimmed();
            if (strFileName.isEmpty())
                return;
            m_windowMemory.KeepFolderOf(strFileName);
            if (IsBackupFileName(strFileName))
                return tell(kBackupFile, MsgIcon::Information);
            if (ShownInOtherWindow(strFileName))
                return;
        }
        if (!LoadFile(strFileName))
            return;
        forgetResults();
        showLoaded();
        markSaved();
    } catch (const DialogCancelledError&) {
    } catch (...) {
        HandleError();
    }
}

bool frmMain::LoadFile(const QString& path) {
    const QString refusal = DocumentSession::OpenRefusal(path);
    if (!refusal.isEmpty()) {
        tell(refusal, MsgIcon::Critical);
        return false;
    }
    return m_session.Load(path) != DocumentSession::LoadResult::Stopped;
}

void frmMain::OpenRecentFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        tell(QStringLiteral("The file %1 no longer exists.").arg(path), MsgIcon::Information);
        m_recentFiles.Remove(path);
        return showRecentFiles();
    }
    OpenFile(path);
}

void frmMain::mnuClearRecent_Click() {
    m_recentFiles.Clear();
    showRecentFiles();
}

// The entries stand between Save As and Clear Recent Files, each with its full path as its
// status tip.
void frmMain::showRecentFiles() {
    QMenu* menu = Menu(QStringLiteral("mnuFile"));
    QAction* clear = Command(QStringLiteral("mnuClearRecent"));
    for (QAction* old : menu->actions()) {
        if (old->objectName().startsWith(QLatin1String("mnuRecentFile")))
            delete old;
    }
    const QStringList files = m_recentFiles.Files();
    for (int i = 0; i < files.size(); ++i) {
        auto* entry = new QAction(RecentFiles::Caption(i, files[i]), menu);
        entry->setObjectName(QStringLiteral("mnuRecentFile%1").arg(i + 1));
        entry->setStatusTip(files[i]);
        connect(entry, &QAction::triggered, this,
                [this, path = files[i]] { guarded([&] { OpenRecentFile(path); }); });
        menu->insertAction(clear, entry);
    }
    clear->setEnabled(!files.isEmpty());
}

// The first file opens here, each of the others in a window of its own.
void frmMain::DropFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    guarded([&] { OpenFile(paths.constFirst()); });
    for (const QString& other : paths.mid(1))
        guarded([&] { StartWindow({other}); });
}

// A file that did not load is never replaced by what the window shows instead.
bool frmMain::SaveFile() {
    WaitPointer wait;
    bool saved = false;
    guarded(
        [&] { saved = m_session.SaveNeedsName() ? SaveFileAs() : saveDocumentTo(m_strFileName); });
    return saved;
}

// The window keeps its old name until the document is really in the new file.
bool frmMain::SaveFileAs() {
    QString name;
    try {
        CommonDialog.CancelError = true;
        CommonDialog.InitDir = m_windowMemory.LastFolder();
        CommonDialog.ShowSave();
        name = CommonDialog.FileName.trimmed();
        m_windowMemory.KeepFolderOf(name);
    } catch (...) {
        return false;
    }
    if (IsBackupFileName(name))
        tell(kBackupFile, MsgIcon::Information);
    if (name.isEmpty() || IsBackupFileName(name))
        return false;
    if (const QString refusal = m_session.SaveAsRefusal(name); !refusal.isEmpty()) {
        tell(refusal, MsgIcon::Exclamation);
        return false;
    }
    WaitPointer wait;
    bool saved = false;
    guarded([&] { saved = saveDocumentTo(name); });
    return saved;
}

// Applies the visible view's changes, then writes the Document to `path` once every question
// about overwriting it was answered yes; text that does not parse is written as it stands.
bool frmMain::saveDocumentTo(const QString& path) {
    applyBeforeSave();
    if (m_objDocument.isNull())
        return saveTextTo(path);
    for (const QString& question : m_session.OverwriteQuestions(path)) {
        if (!askYes(question, MsgIcon::Exclamation))
            return false;
    }
    if (!m_session.Save(path))
        return false;
    m_txtXML->setReadOnly(false);
    if (const QString note = m_session.SaveLayoutNote(); !note.isEmpty())
        StatusBar1->showMessage(note, 10000);
    return true;
}

// A save that failed or was called off leaves everything as it was: the command that asked must
// not go on and drop the changes.
bool frmMain::HandleSaving() {
    try {
        if (!HasUnsavedChanges())
            return true;
        switch (
            MsgBox(m_session.SaveQuestion(), MsgButtons::YesNoCancel, MsgIcon::None, kAppTitle)) {
        case MsgResult::Yes:
            return SaveFile();
        case MsgResult::No:
            m_session.DiscardChanges();
            return true;
        default:
            return false;
        }
    } catch (...) {
        return false;
    }
}

void frmMain::UpdateFormCaption() {
    setWindowTitle(CaptionFor(m_strFileName));
}

// Back in the window after working elsewhere: a file another program changed is offered again.
void frmMain::Form_Activate() {
    if (LongOperation::Running() || m_bCheckingDiskFile)
        return;
    const std::optional<QString> question = m_session.ReloadQuestion();
    if (!question)
        return;
    m_bCheckingDiskFile = true;
    const bool reload = askYes(*question, MsgIcon::Question);
    m_bCheckingDiskFile = false;
    m_session.ReloadAnswered(reload);
    if (reload)
        OpenFile(m_session.DiskFilePath());
}

void frmMain::startRecovery() {
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setInterval(DocumentSession::kRecoveryInterval);
    connect(m_recoveryTimer, &QTimer::timeout, this,
            [this] { guarded([this] { WriteRecoveryCopy(); }); });
    m_recoveryTimer->start();
    // Per key only a note: what was typed is looked at when the next copy is due.
    connect(m_txtXML, &RichTextBox::edited, &m_session, &DocumentSession::NoteTyped);
}

// In the middle of a long command the Document may be half loaded; the next tick copies it.
void frmMain::WriteRecoveryCopy() {
    if (!LongOperation::Running())
        m_session.WriteRecoveryCopy();
}

// Work left by a program that ended without saving is offered, one copy at a time; the first
// one taken becomes the window's unsaved document.
bool frmMain::OfferRecovery() {
    for (const RecoveryOrphan& orphan : m_session.RecoveryOrphans()) {
        if (askYes(DocumentSession::RecoveryQuestion(orphan), MsgIcon::Question))
            return recover(orphan);
        DocumentSession::DeclineRecovery(orphan);
    }
    return false;
}

// Offered at start-up: the window is on the screen before a long parse starts. Text that did not
// parse goes back into the text view, as typing.
bool frmMain::recover(const RecoveryOrphan& orphan) {
    show();
    std::optional<QString> typed;
    if (!m_session.Recover(orphan, &typed))
        return false;
    if (!typed) {
        RefreshViews(true);
        return true;
    }
    mnutextView_Click();
    m_txtXML->SetTypedText(*typed);
    UpdateFormCaption();
    return true;
}
