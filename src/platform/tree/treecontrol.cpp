#include "platform/tree/treecontrol.h"

#include "platform/views/dropfiles.h"

#include <QCompleter>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

// Hands a finished label edit to the control's hook instead of writing it straight to the
// model; an edit left with Escape never reaches it.
class LabelDelegate : public QStyledItemDelegate {
public:
    explicit LabelDelegate(TreeControl* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    // The label edit, with a list of the names it may take when there are any.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* self = const_cast<LabelDelegate*>(this);
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        auto* line = qobject_cast<QLineEdit*>(editor);
        m_offer = {};
        if (line && m_tree->LabelChoices)
            m_offer = m_tree->LabelChoices(m_tree->Nodes().ItemOf(index));
        if (line && !m_offer.names.isEmpty()) {
            auto* completer = new QCompleter(m_offer.names, line);
            completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
            completer->setCaseSensitivity(Qt::CaseSensitive);
            line->setCompleter(completer);
            // The name moved to is the label at once; the name taken from the list ends the edit,
            // as Return does in the label itself.
            connect(completer, qOverload<const QString&>(&QCompleter::highlighted), line,
                    &QLineEdit::setText);
            connect(completer, qOverload<const QString&>(&QCompleter::activated), line,
                    [self, line](const QString& name) {
                        line->setText(name);
                        QTimer::singleShot(0, line, [self, line] {
                            emit self->commitData(line);
                            emit self->closeEditor(line, QAbstractItemDelegate::SubmitModelCache);
                        });
                    });
            QTimer::singleShot(0, completer, [completer] { completer->complete(); });
        }
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::setEditorData(editor, index);
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && m_offer.takeFirst && !m_offer.names.isEmpty()) {
            line->setText(m_offer.names.first());
            line->selectAll();
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line)
            return;
        m_tree->FinishLabelEdit(m_tree->Nodes().ItemOf(index), line->text());
    }

private:
    TreeControl* m_tree;
    mutable TreeControl::LabelOffer m_offer;
};

} // namespace

TreeControl::TreeControl(QWidget* parent) : QTreeView(parent) {
    setModel(&m_model);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new LabelDelegate(this));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { emit NodeClick(m_model.ItemOf(index)); });
    connect(
        selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { emit CurrentItemChanged(m_model.ItemOf(current)); });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent) { rowsAdded(parent); });
    connect(
        &m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex& parent, int first, int last) { rowsGoing(parent, first, last); });
}

void TreeControl::SetImageList(const QHash<QString, QIcon>& icons) {
    m_icons = icons;
    m_model.SetIconProvider([this](const QString& key) -> QVariant {
        const auto it = m_icons.constFind(key);
        return it == m_icons.constEnd() ? QVariant() : QVariant(*it);
    });
}

TreeControl::ItemId TreeControl::SelectedItem() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? TreeModel::NoItem : m_model.ItemOf(selected.constFirst());
}

void TreeControl::SetSelectedItem(ItemId item) {
    if (item == TreeModel::NoItem) {
        clearSelection();
        return;
    }
    const QModelIndex index = m_model.IndexOf(item);
    setCurrentIndex(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

bool TreeControl::Expanded(ItemId item) const {
    return m_model.KeepsExpanded(item) || isExpanded(m_model.IndexOf(item));
}

// The view would keep a persistent index for every expanded item, children or not; for the
// millions of leaves of a fully expanded document the store keeps a bit instead.
void TreeControl::SetExpanded(ItemId item, bool expanded) {
    const QModelIndex index = m_model.IndexOf(item);
    const bool leaf = !m_model.hasChildren(index);
    m_model.SetKeepsExpanded(item, expanded && leaf);
    if (!expanded || !leaf)
        setExpanded(index, expanded);
}

void TreeControl::rowsAdded(const QModelIndex& parent) {
    const ItemId item = m_model.ItemOf(parent);
    if (!m_model.KeepsExpanded(item))
        return;
    m_model.SetKeepsExpanded(item, false);
    expand(parent);
}

void TreeControl::SetPlaceholder(const QString& text) {
    if (text == m_placeholder)
        return;
    m_placeholder = text;
    viewport()->update();
}

void TreeControl::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (m_placeholder.isEmpty() || m_model.rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_placeholder);
}

void TreeControl::timerEvent(QTimerEvent* event) {
    if (!m_layoutHeld)
        QTreeView::timerEvent(event);
}

void TreeControl::StartLabelEdit() {
    const ItemId item = SelectedItem();
    if (item != TreeModel::NoItem)
        QTreeView::edit(m_model.IndexOf(item));
}

bool TreeControl::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Labels are edited only when asked for (StartLabelEdit), never by a click or a key.
    if (trigger != QAbstractItemView::AllEditTriggers)
        return false;
    const ItemId item = m_model.ItemOf(index);
    if (item == TreeModel::NoItem || (BeforeLabelEdit && BeforeLabelEdit(item)))
        return false;
    return QTreeView::edit(index, trigger, event);
}

void TreeControl::FinishLabelEdit(ItemId item, const QString& text) {
    if (!m_model.Exists(item))
        return;
    QString kept = text;
    if (AfterLabelEdit && AfterLabelEdit(item, kept))
        return;
    if (m_model.Exists(item))
        m_model.SetText(item, kept);
}

TreeControl::ItemId TreeControl::HitTest(const QPoint& point) const {
    return m_model.ItemOf(indexAt(point));
}

void TreeControl::SetMousePointer(int pointer) {
    m_mousePointer = pointer;
    if (pointer == PointerWait)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

// A press where no item is changes neither the selection nor the current item: the view would
// clear the selection and leave the commands offered for an item no longer selected.
void TreeControl::mousePressEvent(QMouseEvent* event) {
    if (indexAt(event->position().toPoint()).isValid())
        QTreeView::mousePressEvent(event);
    else
        event->accept();
    emit MouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TreeControl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    emit DblClick();
}

void TreeControl::keyPressEvent(QKeyEvent* event) {
    QTreeView::keyPressEvent(event);
    emit KeyDown(event->key(), event->modifiers());
}

void TreeControl::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TreeControl::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TreeControl::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(files);
}
