#pragma once

#include "platform/tree/treemodel.h"

#include <QHash>
#include <QIcon>
#include <QStringList>
#include <QTreeView>
#include <functional>

// The tree control: an item store (TreeModel) in a QTreeView, with label editing hooks, hit
// testing, a busy pointer and file drops.
class TreeControl : public QTreeView {
    Q_OBJECT
public:
    using ItemId = TreeModel::ItemId;
    static constexpr int PointerDefault = 0;
    static constexpr int PointerWait = 11;

    explicit TreeControl(QWidget* parent = nullptr);

    TreeModel& Nodes() { return m_model; }
    const TreeModel& Nodes() const { return m_model; }
    // Icons by key, like an image list attached to the control.
    void SetImageList(const QHash<QString, QIcon>& icons);

    ItemId SelectedItem() const;
    // Selects the item and scrolls it into view; NoItem clears the selection.
    void SetSelectedItem(ItemId item);
    bool Expanded(ItemId item) const;
    void SetExpanded(ItemId item, bool expanded);
    // Expands `item` and every item below it, building pending items on the way, and lays the
    // view out once at the end. `step(done, total)` is called often, during that layout too, and
    // may pass over the events; when it answers false during the walk the walk stops, and what
    // was expanded stays expanded (during the layout it is too late to stop). Returns false when
    // stopped.
    bool ExpandSubtree(ItemId item, const std::function<bool(qint64, qint64)>& step);
    // Begins editing the selected item's label in place.
    void StartLabelEdit();
    bool IsEditingLabel() const { return state() == QAbstractItemView::EditingState; }
    // The item under a point of the viewport, or NoItem.
    ItemId HitTest(const QPoint& point) const;
    int MousePointer() const { return m_mousePointer; }
    void SetMousePointer(int pointer);

    // Before an edit starts: return true to cancel it.
    std::function<bool(ItemId)> BeforeLabelEdit;
    // When an edit ends with new text: return true to cancel (the old label stays); the hook may
    // change the text that the item keeps.
    std::function<bool(ItemId, QString&)> AfterLabelEdit;

    // The names a label edit offers to complete; with `takeFirst` the first stands in the label
    // from the start.
    struct LabelOffer {
        QStringList names;
        bool takeFirst = false;
    };
    std::function<LabelOffer(ItemId)> LabelChoices;

    // Called by the label delegate.
    void FinishLabelEdit(ItemId item, const QString& text);

    // While ExpandSubtree lays the view out, a layout asked for waits until it is over.
    void doItemsLayout() override;

    // Said in the middle of the view while it has no items (empty: nothing).
    void SetPlaceholder(const QString& text);
    const QString& Placeholder() const { return m_placeholder; }

signals:
    void NodeClick(TreeModel::ItemId item);
    // The current item changed, by a click, a key or the program.
    void CurrentItemChanged(TreeModel::ItemId item);
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& point);
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void DblClick();
    void FilesDropped(const QStringList& paths);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void rowsAdded(const QModelIndex& parent);
    void rowsGoing(const QModelIndex& parent, int first, int last);
    bool aloneExpandable(ItemId top);
    ItemId walkSubtree(ItemId top, ItemId until,
                       const std::function<bool(ItemId, bool, qint64)>& visit);
    void layOutHeld(const std::function<bool(qint64, qint64)>& step, bool expandingAll);

    TreeModel m_model;
    QHash<QString, QIcon> m_icons;
    int m_mousePointer = PointerDefault;
    bool m_layoutHeld = false; // ExpandSubtree is recording expanded items for one layout
    bool m_layingOut = false;  // ... and is now laying the view out
    bool m_layoutAgain = false;
    bool m_passingEvents = false;
    QString m_placeholder;
};
