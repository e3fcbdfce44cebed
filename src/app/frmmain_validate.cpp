// Validation: the commands, the panel's place in the window, and its rows that lead to the node.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "document/markuptokens.h"
#include "platform/views/richtextbox.h"
#include "tree/treesync.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

void frmMain::buildValidationPanel() {
    m_validationPanel = new ValidationPanel(this);
    m_validationPanel->Attach(*this, *Command(QStringLiteral("mnuValidationPanel")));
    m_validation = new ValidationRun(m_objDocument, *m_validationPanel, *StatusBar1, this);
    QAction* cancel = Command(QStringLiteral("mnuCancelValidation"));
    cancel->setEnabled(false);
    connect(m_validation, &ValidationRun::runningChanged, cancel, &QAction::setEnabled);
    connect(m_validationPanel, &ValidationPanel::rowActivated, this,
            [this] { guarded([this] { RunCommand(&frmMain::mnuGoToValidationItem_Click); }); });
    connect(m_validationPanel, &ValidationPanel::contextMenuAsked, this,
            [this](const QPoint& at) { Menu(QStringLiteral("mnuValidationPopup"))->popup(at); });
}

void frmMain::mnuValidate_Click() {
    m_validationPanel->ShowInWindow();
    m_validation->Start(m_strValidationSchema, m_strFileName);
}

// The last schema chosen is offered, else the document's folder: schemas are mostly kept beside it.
void frmMain::mnuValidateAgainst_Click() {
    ::CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Validate Against Schema");
    dialog.Filter = DocumentRules::kSchemaFilter;
    dialog.FileName = m_strValidationSchema;
    if (dialog.FileName.isEmpty() && !m_strFileName.isEmpty())
        dialog.FileName = QFileInfo(m_strFileName).absolutePath() + QLatin1Char('/');
    dialog.ShowOpen();
    if (dialog.FileName.trimmed().isEmpty())
        return;
    m_strValidationSchema = dialog.FileName.trimmed();
    mnuValidate_Click();
}

// The row's node, in the text view at its element's start tag, or in the tree view with only the
// items on the way to it built. A node no longer in the Document cannot be shown. A text error's
// row leads to its place in the text view.
void frmMain::mnuGoToValidationItem_Click() {
    if (const auto place = m_validationPanel->CurrentTextPlace()) {
        if (m_txtXML->isHidden())
            mnutextView_Click();
        m_txtXML->GoToLineColumn(place->first, place->second);
        return m_txtXML->setFocus();
    }
    bool gone = false;
    const XmlNode node = m_validationPanel->CurrentNode(m_objDocument, gone);
    if (gone)
        return tell(QStringLiteral("The document has changed since these results: validate again "
                                   "(F7)."),
                    MsgIcon::Information);
    if (node.isNull())
        return;
    const qsizetype at =
        m_txtXML->isVisible() ? Markup::StartTagOf(m_txtXML->Utf8Content(), node) : qsizetype(-1);
    if (at >= 0) {
        m_txtXML->GoToPosition(at);
        return m_txtXML->setFocus();
    }
    showInTree(node);
}

// The node's item selected in the tree view, with only the items on the way to it built.
void frmMain::showInTree(const XmlNode& node) {
    if (m_wndTree->isHidden())
        mnuTreeView_Click();
    const TreeModel::ItemId item = ModGeneral::ItemShowing(m_wndTree->Nodes(), node, true);
    if (item == TreeModel::NoItem)
        return;
    selectItem(item);
    m_wndTree->setFocus();
}
