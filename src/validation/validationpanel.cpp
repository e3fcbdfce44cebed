#include "validation/validationpanel.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>

namespace {
enum Column { kLine, kMessage };
constexpr int kIssueRole = Qt::UserRole + 1; // index into the faults, -1 for a note
constexpr int kTextError = -2;                // ... and this for the text error's row
constexpr int kPlaceRole = Qt::UserRole + 2;  // the text error's line and column

QIcon severityIcon(bool warning, bool note = false) {
    const QStyle::StandardPixmap pixmap = note      ? QStyle::SP_MessageBoxInformation
                                          : warning ? QStyle::SP_MessageBoxWarning
                                                    : QStyle::SP_MessageBoxCritical;
    return QApplication::style()->standardIcon(pixmap);
}
} // namespace

ValidationPanel::ValidationPanel(QWidget* parent)
    : ResultsPanel(QStringLiteral("Validation"), QStringLiteral("Validation/PanelShown"),
                   QStringLiteral("The document has changed since these results: validate again "
                                  "(F7)."),
                   parent) {
    setObjectName(QStringLiteral("ValidationPanel"));
    StaleNote()->setObjectName(QStringLiteral("ValidationStaleNote"));
    m_rows = new QTreeWidget;
    m_rows->setObjectName(QStringLiteral("ValidationRows"));
    m_rows->setHeaderLabels({QStringLiteral("Line"), QStringLiteral("Message")});
    m_rows->setRootIsDecorated(false);
    m_rows->setUniformRowHeights(true);
    m_rows->setAllColumnsShowFocus(true);
    m_rows->setContextMenuPolicy(Qt::CustomContextMenu);
    m_rows->header()->setStretchLastSection(true);
    m_rows->setColumnWidth(kLine, 90);
    SetRows(m_rows);
    connect(m_rows, &QTreeWidget::itemActivated, this, [this] { emit rowActivated(); });
    connect(m_rows, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (m_rows->itemAt(at))
            emit contextMenuAsked(m_rows->viewport()->mapToGlobal(at));
    });
}

void ValidationPanel::Clear() {
    m_rows->clear();
    m_issues.clear();
    m_hasResult = false;
    SetStale(false);
}

void ValidationPanel::ShowRunning() {
    ShowNote(QStringLiteral("Validating..."), false);
}

void ValidationPanel::ShowNote(const QString& text, bool error) {
    Clear();
    auto* row = new QTreeWidgetItem(m_rows);
    row->setIcon(kLine, error ? severityIcon(false) : severityIcon(false, true));
    row->setText(kMessage, text);
    row->setData(kLine, kIssueRole, -1);
}

void ValidationPanel::ShowTextError(const QString& sentence, int line, int column) {
    Clear();
    auto* row = new QTreeWidgetItem(m_rows);
    row->setIcon(kLine, severityIcon(false));
    row->setText(kLine, QString::number(line));
    row->setText(kMessage, sentence);
    row->setData(kLine, kIssueRole, kTextError);
    row->setData(kLine, kPlaceRole, QPoint(column, line));
    m_rows->setCurrentItem(row);
}

void ValidationPanel::ClearTextError() {
    const QTreeWidgetItem* row = m_rows->topLevelItemCount() == 1 ? m_rows->topLevelItem(0) : nullptr;
    if (row && row->data(kLine, kIssueRole).toInt() == kTextError)
        Clear();
}

std::optional<std::pair<int, int>> ValidationPanel::CurrentTextPlace() const {
    const QTreeWidgetItem* row = m_rows->currentItem();
    if (!row || row->data(kLine, kIssueRole).toInt() != kTextError)
        return std::nullopt;
    const QPoint place = row->data(kLine, kPlaceRole).toPoint();
    return std::make_pair(place.y(), place.x());
}

void ValidationPanel::ShowResult(const XmlValidationResult& result, const XmlDocumentStamp& stamp) {
    Clear();
    m_issues = result.issues;
    m_stamp = stamp;
    m_hasResult = true;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(m_issues.size() + 1);
    for (int i = 0; i < m_issues.size(); ++i) {
        const XmlValidationIssue& issue = m_issues.at(i);
        auto* row = new QTreeWidgetItem;
        row->setIcon(kLine, severityIcon(issue.warning));
        if (issue.line > 0)
            row->setText(kLine, issue.file.isEmpty()
                                    ? QString::number(issue.line)
                                    : QStringLiteral("%1:%2").arg(issue.file).arg(issue.line));
        row->setText(kMessage, issue.message);
        row->setData(kLine, kIssueRole, i);
        rows.append(row);
    }
    const int unlisted = result.errors + result.warnings - int(m_issues.size());
    if (unlisted > 0) {
        auto* row = new QTreeWidgetItem;
        row->setIcon(kLine, severityIcon(false, true));
        row->setText(kMessage, QStringLiteral("%1 more not listed").arg(unlisted));
        row->setData(kLine, kIssueRole, -1);
        rows.append(row);
    }
    if (result.valid()) {
        auto* row = new QTreeWidgetItem;
        row->setIcon(kLine, severityIcon(false, true));
        row->setText(kMessage, QStringLiteral("The document is valid."));
        row->setData(kLine, kIssueRole, -1);
        rows.append(row);
    }
    m_rows->addTopLevelItems(rows);
    if (!rows.isEmpty())
        m_rows->setCurrentItem(rows.first());
}

void ValidationPanel::ShowMessages(const QList<XmlValidationIssue>& messages,
                                   const XmlDocumentStamp& stamp) {
    XmlValidationResult result;
    result.issues = messages;
    for (const XmlValidationIssue& m : messages)
        ++(m.warning ? result.warnings : result.errors);
    ShowResult(result, stamp);
}

void ValidationPanel::UpdateStale(const XmlDocument& document) {
    if (m_hasResult)
        SetStale(!m_stamp.isCurrentFor(document));
}

const XmlValidationIssue* ValidationPanel::CurrentIssue() const {
    const QTreeWidgetItem* row = m_rows->currentItem();
    const int index = row ? row->data(kLine, kIssueRole).toInt() : -1;
    return index >= 0 && index < m_issues.size() ? &m_issues.at(index) : nullptr;
}

XmlNode ValidationPanel::CurrentNode(const XmlDocument& document, bool& gone) const {
    gone = false;
    const XmlValidationIssue* issue = CurrentIssue();
    if (!issue || !issue->file.isEmpty() || issue->place.isNull())
        return {};
    const XmlNode& node = issue->node;
    gone = node.isNull() || document.isNull() || !(node.ownerDocument() == document) ||
           !node.isAttachedToDocument();
    return gone ? XmlNode() : node;
}
