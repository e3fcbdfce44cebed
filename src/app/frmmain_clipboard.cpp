// The whole document to and from the system clipboard as XML text.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"

#include <utility>

using namespace DocumentRules;

// The Document's own text is copied; typing not yet applied in the text view is not.
void frmMain::CopyClipboardText() {
    try {
        Ui().setClipboardText(Document().xml());
    } catch (...) {
        MsgBox(QStringLiteral("Cannot copy the text. XML is not valid."), MsgButtons::OKOnly,
               MsgIcon::Critical, kAppTitle);
    }
}

// The text becomes the Document in an undo step, when it parses; it is not in any file yet.
void frmMain::PasteClipboardText() {
    QString text = Ui().clipboardText();
    if (text.isEmpty()) {
        MsgBox(QStringLiteral("The clipboard holds no text."), MsgButtons::OKOnly,
               MsgIcon::Information, kAppTitle);
        return;
    }
    QByteArray utf8;
    if (m_session.PasteXml(std::move(text), &utf8))
        RefreshViews(true, utf8);
}
