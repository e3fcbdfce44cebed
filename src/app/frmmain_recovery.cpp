// Copies of unsaved work while the program runs, and their recovery after an unclean end.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "document/recovery.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/xml/xmlfileload.h"

#include <QFile>
#include <QLocale>
#include <QTimer>

using namespace DocumentRules;

void frmMain::startRecovery() {
    m_recovery = std::make_unique<Recovery>();
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setInterval(kRecoveryInterval);
    connect(m_recoveryTimer, &QTimer::timeout, this,
            [this] { guarded([this] { WriteRecoveryCopy(); }); });
    m_recoveryTimer->start();
    // Per key only a flag: what was typed is looked at when the next copy is due.
    connect(m_txtXML, &RichTextBox::edited, this, [this] { m_bTypedSinceCopy = true; });
}

void frmMain::WriteRecoveryCopy() {
    // In the middle of a long command the Document may be half loaded; the next tick copies it.
    if (LongOperation::Running() || !HasUnsavedChanges())
        return;
    const bool redo = !m_recovery->hasCopy() || m_recovery->stoppedInARow() > 0;
    if (m_txtXML->HasTyping() || m_objDocument.isNull()) {
        if (!redo && !m_bTypedSinceCopy)
            return;
        m_bTypedSinceCopy = false;
        m_recovery->writeText(m_txtXML->HasTyping() ? m_txtXML->Utf8Text() : m_strXMLText.toUtf8(),
                              m_strFileName, m_diskFile.stamp());
        return;
    }
    if (!redo && m_objDocument.revision() == m_copiedRevision)
        return;
    m_copiedRevision = m_objDocument.revision();
    m_recovery->writeDocument(m_objDocument, m_strFileName, m_diskFile.stamp());
}

// Work left by a program that ended without saving is offered, one copy at a time; the first
// one taken becomes the window's unsaved document.
bool frmMain::OfferRecovery() {
    for (const Recovery::Orphan& orphan : m_recovery->orphans()) {
        const QString name =
            orphan.fileName.isEmpty() ? QStringLiteral("Unknown") : orphan.fileName;
        const QString question =
            QStringLiteral("Recover unsaved changes to %1 from %2?")
                .arg(name, QLocale::system().toString(orphan.time, QLocale::ShortFormat));
        if (MsgBox(question, MsgButtons::YesNo, MsgIcon::Question, kAppTitle) != MsgResult::Yes) {
            Recovery::removeOrphan(orphan);
            continue;
        }
        return recover(orphan);
    }
    return false;
}

// False when the user stopped reading the copy: it stays on offer for the next start.
bool frmMain::recover(const RecoveryOrphan& orphan) {
    XmlDocument copy = XmlDocument::create();
    // Offered at start-up: the window is on the screen before a long parse starts.
    show();
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
    m_strFileName = orphan.fileName;
    m_bFileNotLoaded = false;
    m_diskFile.restore(orphan.fileName, orphan.stamp);
    if (loaded) {
        m_objDocument = copy;
        m_parsedRevision = copy.revision();
        RefreshViews(true);
        MarkChanged(); // the work recovered is not in its file
        return true;
    }
    mnutextView_Click();
    m_txtXML->SetTypedText(text);
    UpdateFormCaption();
    return true;
}
