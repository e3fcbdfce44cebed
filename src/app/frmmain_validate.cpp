// Validation: the commands, the panel's place in the window, and its rows that lead to the node.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "document/markuptokens.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "tree/treesync.h"
#include "validation/validationpanel.h"
#include "validation/validationrun.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSettings>

namespace {
const QString kSchemaFilter = QStringLiteral(
    "Schemas (*.xsd;*.rng;*.dtd)|*.xsd;*.rng;*.dtd|XML Schema (*.xsd)|*.xsd|RELAX NG (*.rng)|*.rng|"
    "DTD (*.dtd)|*.dtd|All files (*.*)|*.*");
const QString kPanelShownKey = QStringLiteral("Validation/PanelShown");

QSettings settings() {
    return QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"));
}
} // namespace

void frmMain::buildValidationPanel() {
    m_validationPanel = new ValidationPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_validationPanel);
    m_validationPanel->hide();
    m_validation = new ValidationRun(m_objDocument, *m_validationPanel, *StatusBar1, this);
    QAction* cancel = Command(QStringLiteral("mnuCancelValidation"));
    cancel->setEnabled(false);
    connect(m_validation, &ValidationRun::runningChanged, cancel, &QAction::setEnabled);
    QAction* toggle = Command(QStringLiteral("mnuValidationPanel"));
    toggle->setCheckable(true);
    connect(m_validationPanel, &QDockWidget::visibilityChanged, this, [this, toggle] {
        // Hidden with its window or minimised is still shown as far as the user chose.
        if (!isVisible() || isMinimized())
            return;
        const bool shown = m_validationPanel->isVisibleTo(this);
        toggle->setChecked(shown);
        settings().setValue(kPanelShownKey, shown);
    });
    connect(m_validationPanel, &ValidationPanel::rowActivated, this,
            [this] { guarded([this] { RunCommand(&frmMain::mnuGoToValidationItem_Click); }); });
    connect(m_validationPanel, &ValidationPanel::contextMenuAsked, this,
            [this](const QPoint& at) { Menu(QStringLiteral("mnuValidationPopup"))->popup(at); });
}

// After the window got its first size: the panel as the user left it.
void frmMain::restoreValidationPanel() {
    const bool shown = settings().value(kPanelShownKey, false).toBool();
    if (shown)
        showValidationPanel();
    Command(QStringLiteral("mnuValidationPanel"))->setChecked(shown);
}

void frmMain::mnuValidationPanel_Click() {
    if (m_validationPanel->isVisibleTo(this))
        m_validationPanel->hide();
    else
        showValidationPanel();
}

// The panel comes in at a few rows' height, and the views keep theirs: the window grows by the
// panel where the screen has room for it.
void frmMain::showValidationPanel() {
    if (m_validationPanel->isVisibleTo(this))
        return;
    m_validationPanel->show();
    constexpr int kPanelHeight = 160;
    resizeDocks({m_validationPanel}, {kPanelHeight}, Qt::Vertical);
    if (isMaximized() || isFullScreen())
        return;
    const int room = isVisible() && screen()
                         ? screen()->availableGeometry().bottom() - frameGeometry().bottom()
                         : kPanelHeight;
    const int grow = qMin(kPanelHeight, room);
    if (grow > 0)
        resize(width(), height() + grow);
}

void frmMain::mnuValidate_Click() {
    showValidationPanel();
    m_validation->Start(m_strValidationSchema, m_strFileName);
}

// The last schema chosen is offered, else the document's folder: schemas are mostly kept beside it.
void frmMain::mnuValidateAgainst_Click() {
    ::CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Validate Against Schema");
    dialog.Filter = kSchemaFilter;
    dialog.FileName = m_strValidationSchema;
    if (dialog.FileName.isEmpty() && !m_strFileName.isEmpty())
        dialog.FileName = QFileInfo(m_strFileName).absolutePath() + QLatin1Char('/');
    dialog.ShowOpen();
    if (dialog.FileName.trimmed().isEmpty())
        return;
    m_strValidationSchema = dialog.FileName.trimmed();
    mnuValidate_Click();
}

void frmMain::mnuCancelValidation_Click() {
    m_validation->Cancel();
}

// New and Open: no schema chosen, no results, nothing running.
void frmMain::forgetValidation() {
    m_strValidationSchema.clear();
    m_validation->Forget();
}

// The row's node, in the tree view with only the items on the way to it built, or in the text view
// at its element's start tag. A node no longer in the Document cannot be shown.
void frmMain::mnuGoToValidationItem_Click() {
    const XmlValidationIssue* issue = m_validationPanel->CurrentIssue();
    if (!issue || !issue->file.isEmpty() || issue->place.isNull())
        return;
    const XmlNode& node = issue->node;
    if (node.isNull() || m_objDocument.isNull() ||
        node.storage() != m_objDocument.asNode().storage() || !node.isAttachedToDocument()) {
        MsgBox(QStringLiteral("The document has changed since these results: validate again (F7)."),
               MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
        return;
    }
    if (m_txtXML->isVisible()) {
        XmlNode element = node;
        while (element.nodeType() != NODE_ELEMENT)
            element = element.nodeType() == NODE_ATTRIBUTE ? element.ownerElement()
                                                           : element.parentNode();
        const qsizetype at = Markup::StartTagAt(m_txtXML->Utf8Content(), element.startTagsBefore());
        if (at >= 0) {
            m_txtXML->GoToPosition(at);
            m_txtXML->setFocus();
            return;
        }
    }
    if (m_wndTree->isHidden())
        mnuTreeView_Click();
    const TreeModel::ItemId item = ModGeneral::ItemShowing(m_wndTree->Nodes(), node, true);
    if (item == TreeModel::NoItem)
        return;
    selectItem(item);
    m_wndTree->setFocus();
}
