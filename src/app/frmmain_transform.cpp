// Tools > Transform with XSLT: the dialog, the transform run aside, its messages in the problems
// panel and its output in a window of its own.

#include "app/frmmain.h"

#include "search/frmtransform.h"
#include "search/frmtransformresult.h"

#include <QFileInfo>

namespace {
// The text before the document element, where an xml-stylesheet instruction stands.
QByteArray prologOf(const XmlDocument& document) {
    QByteArray prolog;
    for (XmlNode n = document.firstChild(); n && n.nodeType() != NODE_ELEMENT; n = n.nextSibling())
        prolog += n.xml().toUtf8();
    return prolog;
}
} // namespace

// The stylesheet the document names comes first, then the one used last on this document.
void frmMain::mnuTransform_Click() {
    if (m_objDocument.isNull())
        return tell(QStringLiteral("The text is not well-formed XML: it cannot be transformed."),
                    MsgIcon::Information);
    QStringList offered;
    const QString named = XmlTransform::StylesheetNamedIn(prologOf(m_objDocument), m_strFileName);
    for (const QString& sheet : {named, m_strStylesheet}) {
        if (!sheet.isEmpty() && !offered.contains(sheet))
            offered << sheet;
    }
    frmTransform dialog(this);
    dialog.Form_Load(offered, m_lstTransformParameters);
    ShowModal(dialog);
    if (!dialog.bOK)
        return;
    m_strStylesheet = QFileInfo(dialog.Stylesheet()).absoluteFilePath();
    m_lstTransformParameters = dialog.Parameters();
    const std::optional<XmlTransform::Result> result =
        m_session.Transform(m_strStylesheet, m_lstTransformParameters);
    if (!result)
        return;
    QList<XmlValidationIssue> messages;
    for (const XmlTransform::Message& m : result->messages)
        messages.append({!m.error, m.line, m.file, m.text, {}, {}});
    if (!messages.isEmpty()) {
        m_validationPanel->ShowMessages(messages, XmlDocumentStamp(m_objDocument));
        m_validationPanel->ShowInWindow();
    }
    if (!result->produced)
        return tell(QStringLiteral("The transform gave no result: the Validation panel lists why."),
                    MsgIcon::Information);
    if (!m_frmTransformResult) {
        m_frmTransformResult = new frmTransformResult(this);
        m_frmTransformResult->OpenAsDocument = [this](const QString& text) {
            guarded([&] { openTransformOutput(text); });
        };
    }
    m_frmTransformResult->ShowResult(*result, m_strStylesheet);
    m_frmTransformResult->show();
    m_frmTransformResult->raise();
    m_frmTransformResult->activateWindow();
}

void frmMain::openTransformOutput(const QString& text) {
    if (!HandleSaving())
        return;
    forgetResults();
    m_session.OpenOutput(text);
    showLoaded();
    raise();
    activateWindow();
}
