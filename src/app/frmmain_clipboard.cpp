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

// The text is parsed into a document of its own first, so text that does not parse leaves the
// Document as it was. That document then becomes the Document, also when there was none after
// text that did not parse, in an undo step that keeps the old one (packed when large, as Apply's).
// It replaces the current one under the current name and is not in any file yet: it counts as
// unsaved, so closing asks before it is lost. A long text is parsed aside while the window shows
// it is busy; no copy of it is kept.
void frmMain::PasteClipboardText() {
    QString text = Ui().clipboardText();
    if (text.isEmpty()) {
        MsgBox(QStringLiteral("The clipboard holds no text."), MsgButtons::OKOnly,
               MsgIcon::Information, kAppTitle);
        return;
    }
    QByteArray utf8;
    XmlDocument scratch = XmlDocument::create();
    bool loaded = false;
    const auto parse = [&] {
        utf8 = std::exchange(text, QString()).toUtf8();
        loaded = scratch.loadUtf8(utf8);
    };
    if (text.size() > kReadAside)
        runAside(QStringLiteral("Pasting"), parse);
    else
        parse();
    if (!loaded) {
        if (!scratch.parseError().reason.isEmpty())
            showParseError(scratch.parseError());
        return;
    }
    replaceDocument(scratch, QStringLiteral("Paste XML"));
    m_strXMLText.clear();
    m_parsedRevision = m_objDocument.revision();
    RefreshViews(true, utf8);
}
