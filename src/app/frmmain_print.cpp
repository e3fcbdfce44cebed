// The Print button: the document's XML text, highlighted as in the text view.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/printservice.h"
#include "platform/ui/uiservices.h"

using namespace DocumentRules;

// What is printed is the document as it stands, like a save would write it (or the text that did
// not parse, while there is no Document); typing not yet applied in the text view is not.
void frmMain::PrintXML() {
    const QString name = m_strFileName.isEmpty() ? kAppTitle : LastPathPart(m_strFileName);
    if (Printing().printXml(GetTextFromXML(), name) == PrintResult::Failed)
        MsgBox(QStringLiteral("The XML could not be printed."), MsgButtons::OKOnly,
               MsgIcon::Critical, kAppTitle);
}
