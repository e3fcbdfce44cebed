// New, Open, Save, Save As, the save question and the caption.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/errors.h"
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

XmlDocument& frmMain::Document() {
    if (m_objDocument.isNull())
        throw MissingObjectError();
    return m_objDocument;
}

void frmMain::mnuNewDoc_Click() {
    if (!HandleSaving())
        return;
    m_strFileName.clear();
    m_bFileNotLoaded = false;
    m_objDocument = XmlDocument::create();
    m_objDocument.loadXML(QString());
    RefreshViews(true);
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
        m_strFileName = strFileName;
        // Until the file has loaded, Save must not write over it.
        m_bFileNotLoaded = true;
        if (Document().load(strFileName)) {
            m_bFileNotLoaded = false;
            NoteLoadedFile();
        }
        if (!Document().hasContent())
            MsgBox(QStringLiteral("XML is not valid."), MsgButtons::OKOnly, MsgIcon::Critical,
                   kAppTitle);
        RefreshViews(true);
    } catch (const DialogCancelledError&) {
    } catch (...) {
        HandleError();
    }
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

void frmMain::SaveFile() {
    WaitPointer wait;
    // The Apply below ends with a refresh that marks the document saved; a save that then fails
    // must leave it marked changed, as it was.
    const bool neededToSave = m_bNeedToSave;
    try {
        // A file that did not load is never replaced by what the window shows instead.
        if (!m_strFileName.isEmpty() && !m_bFileNotLoaded) {
            ToolbarApply_ButtonClick(QStringLiteral("Apply"));
            Document().save(m_strFileName);
        } else {
            SaveFileAs();
        }
        m_bNeedToSave = false;
    } catch (...) {
        m_bNeedToSave = neededToSave;
        HandleError();
    }
}

void frmMain::SaveFileAs() {
    try {
        CommonDialog.CancelError = true;
        CommonDialog.ShowSave();
        const QString name = CommonDialog.FileName.trimmed();
        if (name.isEmpty())
            return;
        if (IsBackupFileName(name)) {
            showBackupFileRefusal();
            return;
        }
        m_strFileName = name;
        m_bFileNotLoaded = false;
        SaveFile();
    } catch (...) {
    }
}

bool frmMain::HandleSaving() {
    try {
        if (!m_bNeedToSave)
            return true;
        switch (MsgBox(SaveQuestion(m_strFileName), MsgButtons::YesNoCancel, MsgIcon::None,
                       kAppTitle)) {
        case MsgResult::Yes:
            SaveFile();
            return true;
        case MsgResult::No:
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
