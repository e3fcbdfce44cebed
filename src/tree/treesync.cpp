#include "tree/treesync.h"

#include "tree/treebuilder.h"

#include <unordered_set>
#include <vector>

namespace ModGeneral {

namespace {
std::vector<XmlNode> childNodesShown(const XmlNode& container) {
    std::vector<XmlNode> nodes;
    if (container.nodeType() == NODE_ELEMENT)
        nodes = container.attributes().toVector();
    for (XmlNode c = container.firstChild(); c; c = c.nextSibling())
        nodes.push_back(c);
    return nodes;
}

bool hasBuiltChildren(TreeModel& tree, TreeModel::ItemId item) {
    return !tree.ChildrenPending(item) && tree.Child(item) != TreeModel::NoItem;
}

void renewLabel(TreeModel& tree, TreeModel::ItemId item, const XmlNode& node, int maxTextLength) {
    if (ItemIconKey(node).isEmpty())
        return;
    const QString current = tree.Text(item);
    const QString label = ItemLabel(node, maxTextLength, current);
    if (label != current)
        tree.SetText(item, label);
}
} // namespace

void SyncChildItems(TreeModel& tree, TreeModel::ItemId item, const XmlNode& container,
                    int maxTextLength) {
    if (item != TreeModel::NoItem && tree.ChildrenPending(item)) {
        // Its children are built from the Document when needed; its own name may have changed.
        renewLabel(tree, item, container, maxTextLength);
        return;
    }
    const std::vector<XmlNode> wanted = childNodesShown(container);
    std::vector<TreeModel::ItemId> shown;
    for (auto c = item ? tree.Child(item) : tree.FirstTopLevel(); c; c = tree.Next(c))
        shown.push_back(c);
    size_t head = 0;
    while (head < wanted.size() && head < shown.size() && tree.Shows(shown[head], wanted[head]))
        ++head;
    size_t tail = 0;
    while (tail < wanted.size() - head && tail < shown.size() - head &&
           tree.Shows(shown[shown.size() - 1 - tail], wanted[wanted.size() - 1 - tail]))
        ++tail;
    const bool swapped = shown.size() - tail - head == 2 && wanted.size() - tail - head == 2 &&
                         tree.Shows(shown[head], wanted[head + 1]) &&
                         tree.Shows(shown[head + 1], wanted[head]);
    if (swapped) {
        // Two neighbours changed places (a move up or down): the one with items built below it
        // (expanded, most likely) stays, the other is built anew on its other side.
        const TreeModel::ItemId first = shown[head], second = shown[head + 1];
        if (hasBuiltChildren(tree, first) || !hasBuiltChildren(tree, second)) {
            tree.Remove(second);
            DescribeItem(tree, tree.Add(first, TreeModel::tvwPrevious, kPlaceholder), wanted[head],
                         maxTextLength);
        } else {
            tree.Remove(first);
            DescribeItem(tree, tree.Add(second, TreeModel::tvwNext, kPlaceholder), wanted[head + 1],
                         maxTextLength);
        }
    } else {
        for (size_t i = head; i < shown.size() - tail; ++i)
            tree.Remove(shown[i]);
        const TreeModel::ItemId before = tail ? shown[shown.size() - tail] : TreeModel::NoItem;
        TreeModel::ItemId after = head ? shown[head - 1] : TreeModel::NoItem;
        for (size_t i = head; i < wanted.size() - tail; ++i) {
            TreeModel::ItemId added;
            if (after)
                added = tree.Add(after, TreeModel::tvwNext, kPlaceholder);
            else if (before)
                added = tree.Add(before, TreeModel::tvwPrevious, kPlaceholder);
            else
                added = item ? tree.Add(item, TreeModel::tvwChild, kPlaceholder)
                             : tree.Add(kPlaceholder);
            DescribeItem(tree, added, wanted[i], maxTextLength);
            after = added;
        }
    }
    // The values of the items that stay may have changed; their names not: a renamed element
    // is a container of its own, renewed below when its turn comes.
    auto renewValue = [&](TreeModel::ItemId child, const XmlNode& node) {
        if (node.nodeType() != NODE_ELEMENT)
            renewLabel(tree, child, node, maxTextLength);
    };
    for (size_t i = 0; i < head; ++i)
        renewValue(shown[i], wanted[i]);
    for (size_t k = 0; k < tail; ++k)
        renewValue(shown[shown.size() - 1 - k], wanted[wanted.size() - 1 - k]);
    if (item != TreeModel::NoItem)
        renewLabel(tree, item, container, maxTextLength);
}

TreeModel::ItemId ItemShowing(TreeModel& tree, const XmlNode& node, bool build) {
    if (node.isNull())
        return TreeModel::NoItem;
    std::vector<XmlNode> chain;
    XmlNode n = node;
    if (const XmlNode owner = n.ownerElement()) {
        chain.push_back(n);
        n = owner;
    }
    for (; n && n.nodeType() != NODE_DOCUMENT; n = n.parentNode())
        chain.push_back(n);
    if (n.isNull())
        return TreeModel::NoItem;
    TreeModel::ItemId at = TreeModel::NoItem;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (at != TreeModel::NoItem && !build && tree.ChildrenPending(at))
            return TreeModel::NoItem;
        TreeModel::ItemId found = TreeModel::NoItem;
        for (auto c = at ? tree.Child(at) : tree.FirstTopLevel(); c && !found; c = tree.Next(c)) {
            if (tree.Tag(c) == *it)
                found = c;
        }
        if (!found)
            return TreeModel::NoItem;
        at = found;
    }
    return at;
}

void SyncContainers(TreeModel& tree, const std::vector<XmlNode>& containers, int maxTextLength) {
    // A few containers are found by their paths; many (a Replace All, its undo) in one walk over
    // the items built, since finding each alone would walk a long list of siblings each time.
    constexpr size_t kFindEach = 32;
    if (containers.size() <= kFindEach) {
        for (const XmlNode& container : containers) {
            const bool document = container.nodeType() == NODE_DOCUMENT;
            if (!document && !container.isAttachedToDocument())
                continue;
            const TreeModel::ItemId item =
                document ? TreeModel::NoItem : ItemShowing(tree, container, false);
            if (item != TreeModel::NoItem || document)
                SyncChildItems(tree, item, container, maxTextLength);
        }
        return;
    }
    std::unordered_set<const void*> wanted;
    XmlNode document;
    for (const XmlNode& container : containers) {
        if (container.nodeType() == NODE_DOCUMENT)
            document = container;
        wanted.insert(container.key().node);
    }
    // Pre-order, then synced backwards: an item's descendants before it, so that no item synced
    // later was removed by an earlier one.
    std::vector<TreeModel::ItemId> found;
    TreeModel::ItemId item = tree.FirstTopLevel();
    while (item != TreeModel::NoItem) {
        if (wanted.count(tree.Tag(item).key().node))
            found.push_back(item);
        if (!tree.ChildrenPending(item) && tree.Child(item) != TreeModel::NoItem) {
            item = tree.Child(item);
            continue;
        }
        while (item != TreeModel::NoItem && tree.Next(item) == TreeModel::NoItem)
            item = tree.Parent(item);
        if (item != TreeModel::NoItem)
            item = tree.Next(item);
    }
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const XmlNode container = tree.Tag(*it);
        if (container.isAttachedToDocument())
            SyncChildItems(tree, *it, container, maxTextLength);
    }
    if (document)
        SyncChildItems(tree, TreeModel::NoItem, document, maxTextLength);
}

} // namespace ModGeneral
