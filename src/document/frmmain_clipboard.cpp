// The whole document to and from the system clipboard as XML text.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"

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

// The text is parsed into a document of its own first, so text that does not parse leaves the
// Document as it was. That document then becomes the Document, also when there was none after
// text that did not parse. It replaces the current one under the current name and is not in any
// file yet: it counts as unsaved, so closing asks before it is lost.
void frmMain::PasteClipboardText() {
    const QString text = Ui().clipboardText();
    XmlDocument scratch = XmlDocument::create();
    if (!scratch.loadXML(text)) {
        if (!scratch.parseError().reason.isEmpty())
            showParseError(scratch.parseError());
        return;
    }
    replaceDocument(scratch, QStringLiteral("Paste XML"));
    m_strXMLText = text;
    m_parsedRevision = m_objDocument.revision();
    RefreshViews(true);
}
