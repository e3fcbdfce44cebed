// Expand All: the whole subtree of an item built and expanded, on documents with millions of
// items, and the view laid out once.

#include "platform/tree/treecontrol.h"

#include <algorithm>

namespace {
// Progress in thousandths: the walk, then the layout.
constexpr qint64 kWhole = 1000;
constexpr qint64 kWalkShare = 600;
} // namespace

// Expanding item by item would lay the view out once per item. While a full layout is pending
// the view only records an expanded item, so the walk keeps one pending (its timer held back and
// the tree not painted, since painting runs it) and the view is laid out once at the end. When
// nothing outside the subtree can be expanded but the items on the way down to it, the walk
// only builds the items, and the view records the expanded ones as it lays them out, which
// spares it a look for each of them in its set of expanded items.
bool TreeControl::ExpandSubtree(ItemId top, const std::function<bool(qint64, qint64)>& step) {
    if (top == TreeModel::NoItem)
        return true;
    m_layoutHeld = true;
    setUpdatesEnabled(false);
    const bool alone = aloneExpandable(top);
    ItemId next = TreeModel::NoItem;
    try {
        TreeModel::BulkBuild bulk(m_model);
        scheduleDelayedItemsLayout();
        next = walkSubtree(top, TreeModel::NoItem, [&](ItemId item, bool parent, qint64 share) {
            if (!parent) {
                m_model.SetKeepsExpanded(item, true);
                return true;
            }
            if (!alone)
                expand(m_model.IndexOf(item));
            const bool go = step(share, kWhole);
            // A pass over the events may have laid the view out after all (a resize does).
            scheduleDelayedItemsLayout();
            return go;
        });
        // Stopped: the part walked is expanded, and nothing after it.
        if (alone && next != TreeModel::NoItem) {
            walkSubtree(top, next, [&](ItemId item, bool parent, qint64 share) {
                if (parent) {
                    expand(m_model.IndexOf(item));
                    step(share, kWhole);
                    scheduleDelayedItemsLayout();
                }
                return true;
            });
        }
    } catch (...) {
        layOutHeld({}, false);
        throw;
    }
    layOutHeld(step, alone && next == TreeModel::NoItem);
    return next == TreeModel::NoItem;
}

// Whether the items on the way down to `top` are expanded and every other item outside its
// subtree is a leaf, so that expanding all that can be expanded expands just the subtree.
bool TreeControl::aloneExpandable(ItemId top) {
    for (ItemId inner = top; inner != TreeModel::NoItem;) {
        const ItemId parent = m_model.Parent(inner);
        if (parent != TreeModel::NoItem && !isExpanded(m_model.IndexOf(parent)))
            return false;
        for (ItemId c = parent == TreeModel::NoItem ? m_model.FirstTopLevel()
                                                    : m_model.Child(parent);
             c != TreeModel::NoItem; c = m_model.Next(c)) {
            if (c != inner && (m_model.ChildrenPending(c) || m_model.Child(c) != TreeModel::NoItem))
                return false;
        }
        inner = parent;
    }
    return true;
}

// Visits `top` and the items below it in the order of the rows, building pending items, until
// `visit` answers false or the walk comes to `until`; returns the item it would visit next,
// NoItem once it went through. `visit` gets the item, whether it has children, and how far the
// walk got in thousandths of its share of the progress.
TreeControl::ItemId
TreeControl::walkSubtree(ItemId top, ItemId until,
                         const std::function<bool(ItemId, bool, qint64)>& visit) {
    const qint64 total = m_model.ChildCount(top) + 1;
    qint64 entered = 0;
    std::vector<ItemId> stack{top};
    while (!stack.empty() && stack.back() != until) {
        const ItemId current = stack.back();
        stack.pop_back();
        if (m_model.Parent(current) == top)
            ++entered;
        const size_t siblings = stack.size();
        for (ItemId c = m_model.Child(current); c != TreeModel::NoItem; c = m_model.Next(c))
            stack.push_back(c);
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(siblings), stack.end());
        if (!visit(current, stack.size() > siblings, entered * kWalkShare / total))
            break;
    }
    return stack.empty() ? TreeModel::NoItem : stack.back();
}

// The one layout of millions of rows takes a second or more, so the model passes over the events
// every few thousand rows the view asks for. Nothing there can change the view's rows: input is
// held back, the tree is not painted, its timers wait, and a layout asked for meanwhile waits
// until this one is over. A stop asked for now comes too late to spare anything: not heeded.
void TreeControl::layOutHeld(const std::function<bool(qint64, qint64)>& step, bool expandingAll) {
    if (step) {
        const qint64 rows = std::max<qint64>(1, m_model.BuiltCount());
        m_model.WatchRowsAsked([this, rows, &step](qint64 asked) {
            if (m_passingEvents)
                return;
            m_passingEvents = true;
            step(kWalkShare + std::min(asked, rows) * (kWhole - kWalkShare) / rows, kWhole);
            m_passingEvents = false;
        });
    }
    m_layingOut = true;
    if (expandingAll)
        QTreeView::expandAll();
    else
        QTreeView::doItemsLayout();
    m_layingOut = false;
    m_model.WatchRowsAsked({});
    m_layoutHeld = false;
    setUpdatesEnabled(true);
    if (m_layoutAgain) {
        m_layoutAgain = false;
        scheduleDelayedItemsLayout();
    }
}

void TreeControl::doItemsLayout() {
    if (m_layingOut) {
        m_layoutAgain = true;
        return;
    }
    QTreeView::doItemsLayout();
}

// The view keeps a persistent index for an expanded item with children only (the model calls a
// childless item a leaf); one that loses its last child is kept expanded by the store instead.
void TreeControl::rowsGoing(const QModelIndex& parent, int first, int last) {
    if (!parent.isValid() || first > 0 || last + 1 < m_model.rowCount(parent) ||
        !isExpanded(parent))
        return;
    collapse(parent);
    m_model.SetKeepsExpanded(m_model.ItemOf(parent), true);
}
