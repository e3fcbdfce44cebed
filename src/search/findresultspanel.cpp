#include "search/findresultspanel.h"

#include "tree/itemicons.h"
#include "tree/treebuilder.h"

#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QTreeView>

namespace {
// The list lays out all its rows at once, about 70 ms for a million: more come when it is scrolled
// to the end, so that the window is never held longer.
constexpr int kRowsAtATime = 1000000;
} // namespace

FindResultsModel::FindResultsModel(QObject* parent)
    : QAbstractTableModel(parent), m_icons(ModGeneral::ItemIcons()) {}

void FindResultsModel::SetResults(FoundNodes found, int maxTextLength) {
    beginResetModel();
    m_found = std::move(found);
    m_maxTextLength = maxTextLength;
    m_shown = int(qMin<qint64>(Count(), kRowsAtATime));
    m_memo.Clear();
    m_memoStamp = {};
    endResetModel();
}

XmlNode FindResultsModel::NodeAt(int row) const {
    if (row < 0 || row >= m_shown)
        return {};
    return XmlNode::fromKey(m_found.keys[size_t(row)], m_found.owner);
}

int FindResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shown;
}

int FindResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

bool FindResultsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_shown < Count();
}

void FindResultsModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const int more = int(qMin<qint64>(Count() - m_shown, kRowsAtATime));
    beginInsertRows({}, m_shown, m_shown + more - 1);
    m_shown += more;
    endInsertRows();
}

QString FindResultsModel::pathOf(const XmlNode& node) const {
    const XmlDocument document = node.ownerDocument();
    if (!m_memoStamp.isCurrentFor(document)) {
        m_memo.Clear();
        m_memoStamp = XmlDocumentStamp(document);
    }
    return XPathOf(node, m_memo);
}

QVariant FindResultsModel::data(const QModelIndex& index, int role) const {
    const XmlNode node = NodeAt(index.row());
    if (node.isNull())
        return {};
    if (index.column() == kItem) {
        if (role == Qt::DisplayRole)
            return ModGeneral::ItemLabel(node, m_maxTextLength, ModGeneral::kPlaceholder);
        if (role == Qt::DecorationRole)
            return m_icons.value(ModGeneral::ItemIconKey(node));
    } else if (index.column() == kPath && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
        return node.isAttachedToDocument() ? pathOf(node) : QString();
    }
    return {};
}

QVariant FindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == kItem ? QStringLiteral("Item") : QStringLiteral("Path");
}

FindResultsPanel::FindResultsPanel(QWidget* parent)
    : ResultsPanel(QStringLiteral("Find Results"), QStringLiteral("FindResults/PanelShown"),
                   QStringLiteral("The document has changed since these results: find again."),
                   parent) {
    setObjectName(QStringLiteral("FindResultsPanel"));
    StaleNote()->setObjectName(QStringLiteral("FindResultsStaleNote"));
    m_summary = new QLabel(widget());
    m_summary->setObjectName(QStringLiteral("FindResultsSummary"));
    m_summary->setContentsMargins(4, 2, 4, 2);
    widget()->layout()->addWidget(m_summary);
    m_model = new FindResultsModel(this);
    m_rows = new QTreeView;
    m_rows->setObjectName(QStringLiteral("FindResultsRows"));
    m_rows->setModel(m_model);
    m_rows->setRootIsDecorated(false);
    m_rows->setUniformRowHeights(true);
    m_rows->setAllColumnsShowFocus(true);
    m_rows->header()->setStretchLastSection(true);
    m_rows->setColumnWidth(FindResultsModel::kItem, 260);
    SetRows(m_rows);
    connect(m_rows, &QTreeView::activated, this, [this] { emit rowActivated(); });
}

void FindResultsPanel::ShowResults(FoundNodes found, const QString& text, bool stopped,
                                   const XmlDocument& document, int maxTextLength) {
    const qint64 count = qint64(found.keys.size());
    m_model->SetResults(std::move(found), maxTextLength);
    m_stamp = XmlDocumentStamp(document);
    m_hasResult = true;
    SetStale(false);
    const QString number = QLocale().toString(count);
    QString summary = count == 0   ? QStringLiteral("No item matches \"%1\".").arg(text)
                      : count == 1 ? QStringLiteral("1 item matches \"%1\".").arg(text)
                                   : QStringLiteral("%1 items match \"%2\".").arg(number, text);
    if (stopped)
        summary += QStringLiteral(" The search was stopped before the end.");
    m_summary->setText(summary);
    if (count > 0)
        m_rows->setCurrentIndex(m_model->index(0, 0));
}

void FindResultsPanel::Clear() {
    m_model->SetResults({}, 256);
    m_summary->clear();
    m_hasResult = false;
    SetStale(false);
}

QString FindResultsPanel::Summary() const {
    return m_summary->text();
}

void FindResultsPanel::UpdateStale(const XmlDocument& document) {
    if (m_hasResult)
        SetStale(!m_stamp.isCurrentFor(document));
}

XmlNode FindResultsPanel::CurrentNode(const XmlDocument& document, bool& gone) const {
    gone = false;
    const QModelIndex current = m_rows->currentIndex();
    if (!current.isValid())
        return {};
    const XmlNode node = m_model->NodeAt(current.row());
    gone = node.isNull() || document.isNull() || !(node.ownerDocument() == document) ||
           !node.isAttachedToDocument();
    return gone ? XmlNode() : node;
}
