// New, Open, Save, Save As, the save question and the caption.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"

#include <QApplication>

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
} // namespace

void frmMain::mnuNewDoc_Click() {
    if (!HandleSaving())
        return;
    forgetValidation();
    m_session.New();
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
    const QString refusal = DocumentSession::OpenRefusal(path);
    if (!refusal.isEmpty()) {
        MsgBox(refusal, MsgButtons::OKOnly, MsgIcon::Critical, kAppTitle);
        return false;
    }
    return m_session.Load(path) != DocumentSession::LoadResult::Stopped;
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
        if (m_session.SaveNeedsName())
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
        return saveDocumentTo(name);
    } catch (...) {
        HandleError();
        return false;
    }
}

// Applies the visible view's changes, then writes the Document to `path` once every question
// about overwriting it was answered yes.
bool frmMain::saveDocumentTo(const QString& path) {
    ToolbarApply_ButtonClick(QStringLiteral("Apply"));
    Document(); // text that did not parse is not saved: the error report says why
    for (const QString& question : m_session.OverwriteQuestions(path)) {
        if (MsgBox(question, MsgButtons::YesNo, MsgIcon::Exclamation, kAppTitle) != MsgResult::Yes)
            return false;
    }
    return m_session.Save(path);
}

bool frmMain::HandleSaving() {
    try {
        if (!HasUnsavedChanges())
            return true;
        switch (MsgBox(m_session.SaveQuestion(), MsgButtons::YesNoCancel, MsgIcon::None,
                       kAppTitle)) {
        case MsgResult::Yes:
            // A save that failed or was called off leaves everything as it was: the command
            // that asked must not go on and drop the changes.
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
    const bool reload =
        MsgBox(*question, MsgButtons::YesNo, MsgIcon::Question, kAppTitle) == MsgResult::Yes;
    m_bCheckingDiskFile = false;
    m_session.ReloadAnswered(reload);
    if (!reload)
        return;
    QString name = m_session.DiskFilePath();
    OpenFile(name);
}
