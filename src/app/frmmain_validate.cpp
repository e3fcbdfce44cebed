// Validation: the commands, the job on a worker, and the panel's rows that lead to the node.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "document/markuptokens.h"
#include "platform/ui/commondialog.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "tree/treesync.h"
#include "validation/validationjob.h"
#include "validation/validationpanel.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QTreeWidget>

namespace {
const QString kSchemaFilter = QStringLiteral(
    "Schemas (*.xsd;*.rng;*.dtd)|*.xsd;*.rng;*.dtd|XML Schema (*.xsd)|*.xsd|RELAX NG (*.rng)|*.rng|"
    "DTD (*.dtd)|*.dtd|All files (*.*)|*.*");
const QString kPanelShownKey = QStringLiteral("Validation/PanelShown");

QSettings settings() {
    return QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"));
}

QString outcomeText(const XmlValidationResult& result) {
    if (result.against == XmlValidationResult::Against::Nothing)
        return QStringLiteral("No schema or document type declaration to validate against.");
    if (!result.schemaLoaded)
        return QStringLiteral("The schema could not be loaded.");
    if (result.errors == 0)
        return QStringLiteral("The document is valid.");
    return result.errors == 1 ? QStringLiteral("1 validation error")
                              : QStringLiteral("%1 validation errors").arg(result.errors);
}
} // namespace

void frmMain::buildValidationPanel() {
    m_validationPanel = new ValidationPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_validationPanel);
    m_validationPanel->hide();
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
    Command(QStringLiteral("mnuCancelValidation"))->setEnabled(false);
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
    startValidation();
}

void frmMain::mnuValidateAgainst_Click() {
    ::CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Validate Against Schema");
    dialog.Filter = kSchemaFilter;
    // The last schema chosen, else the document's folder: schemas are mostly kept beside it.
    dialog.FileName = m_strValidationSchema;
    if (dialog.FileName.isEmpty() && !m_strFileName.isEmpty())
        dialog.FileName = QFileInfo(m_strFileName).absolutePath() + QLatin1Char('/');
    dialog.ShowOpen();
    if (dialog.FileName.trimmed().isEmpty())
        return;
    m_strValidationSchema = dialog.FileName.trimmed();
    startValidation();
}

void frmMain::startValidation() {
    abandonValidation();
    showValidationPanel();
    if (m_objDocument.isNull()) {
        m_validationPanel->ShowNote(
            QStringLiteral(
                "The text is not well-formed XML: apply text that parses to validate it."),
            true);
        StatusBar1->ShowStatus(QStringLiteral("The document is not well-formed."));
        return;
    }
    XmlValidationRequest request;
    request.schemaFile = m_strValidationSchema;
    request.documentFile = m_strFileName;
    m_validationPanel->ShowRunning();
    StatusBar1->ShowProgress(QStringLiteral("Validating"), -1);
    Command(QStringLiteral("mnuCancelValidation"))->setEnabled(true);
    QPointer<frmMain> window(this);
    m_validationJob = ValidationJob::Start(m_objDocument, request, [window] {
        QMetaObject::invokeMethod(
            window.data(), [window] { window->takeValidationResult(); }, Qt::QueuedConnection);
    });
}

void frmMain::takeValidationResult() {
    const std::shared_ptr<ValidationJob> job = m_validationJob;
    std::optional<ValidationJob::Result> result = job ? job->Take() : std::nullopt;
    if (!result)
        return;
    m_validationJob.reset();
    Command(QStringLiteral("mnuCancelValidation"))->setEnabled(false);
    if (result->failed) {
        m_validationPanel->ShowNote(
            QStringLiteral("The validation could not be completed: %1").arg(result->error), true);
        StatusBar1->ShowStatus(QStringLiteral("The validation could not be completed."));
        return;
    }
    XmlValidationResult& validation = result->validation;
    // The rows follow their nodes in the Document, as long as it is the one validated; it knows
    // the lines past 65535 that the copy does not.
    if (job->stamp().isCurrentFor(m_objDocument))
        TieToDocument(m_objDocument, validation.issues);
    if (validation.against == XmlValidationResult::Against::Nothing)
        m_validationPanel->ShowNote(outcomeText(validation), false);
    else
        m_validationPanel->ShowResult(validation, job->stamp());
    m_validationStatus = outcomeText(validation);
    StatusBar1->ShowStatus(m_validationStatus);
    UpdateValidationState();
}

void frmMain::mnuCancelValidation_Click() {
    if (!m_validationJob)
        return;
    abandonValidation();
    m_validationPanel->ShowNote(QStringLiteral("Validation cancelled."), false);
    StatusBar1->ShowStatus(QStringLiteral("Validation cancelled."));
}

void frmMain::abandonValidation() {
    if (!m_validationJob)
        return;
    m_validationJob->Abandon();
    m_validationJob.reset();
    StatusBar1->HideProgress();
    Command(QStringLiteral("mnuCancelValidation"))->setEnabled(false);
}

void frmMain::forgetValidation() {
    abandonValidation();
    m_strValidationSchema.clear();
    m_validationPanel->Clear();
}

void frmMain::UpdateValidationState() {
    if (!m_validationPanel)
        return;
    const bool wasStale = m_validationPanel->IsStale();
    m_validationPanel->UpdateStale(m_objDocument);
    // The outcome said in the status bar is no longer the document's.
    if (!wasStale && m_validationPanel->IsStale() &&
        StatusBar1->Panel(1)->text() == m_validationStatus)
        StatusBar1->HideProgress();
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
    m_wndTree->SetSelectedItem(item);
    UpdateCommandState(item);
    m_wndTree->setFocus();
}
