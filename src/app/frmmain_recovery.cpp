// Copies of unsaved work while the program runs, and their recovery after an unclean end.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"

#include <QTimer>

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
        if (MsgBox(DocumentSession::RecoveryQuestion(orphan), MsgButtons::YesNo, MsgIcon::Question,
                   DocumentRules::kAppTitle) != MsgResult::Yes) {
            DocumentSession::DeclineRecovery(orphan);
            continue;
        }
        return recover(orphan);
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
