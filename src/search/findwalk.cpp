#include "search/findwalk.h"

#include "platform/errors.h"
#include "tree/treebuilder.h"

FindMatcher::FindMatcher(const QString& text, bool bMatchCase, bool bMatchAllWord)
    : m_text(text), m_case(bMatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      m_wholeLabel(bMatchAllWord), m_matcher(text, m_case) {}

bool FindMatcher::Matches(const QString& label) const {
    if (m_wholeLabel)
        return label.compare(m_text, m_case) == 0;
    return m_matcher.indexIn(label) >= 0;
}

FindCursor::FindCursor(TreeModel& tree, TreeModel::ItemId item, int maxTextLength)
    : m_tree(tree), m_maxTextLength(maxTextLength), m_item(item) {}

QString FindCursor::Label() const {
    if (m_node.isNull())
        return m_tree.Text(m_item);
    return ModGeneral::ItemLabel(Node(), m_maxTextLength, ModGeneral::kPlaceholder);
}

XmlNode FindCursor::Node() const {
    if (m_node.isNull())
        return m_tree.Tag(m_item);
    return m_attribute >= 0 ? m_attributes[static_cast<size_t>(m_attribute)] : m_node;
}

// The child items the tree builder would make for a node: an element's attributes, then its
// child nodes; other nodes have none.
bool FindCursor::enterChildren(const XmlNode& node) {
    if (node.nodeType() != NODE_ELEMENT)
        return false;
    if (node.hasAttributes()) {
        m_attributes = node.attributes().toVector();
        m_node = node;
        m_attribute = 0;
        return true;
    }
    if (XmlNode child = node.firstChild()) {
        m_node = std::move(child);
        return true;
    }
    return false;
}

void FindCursor::GetNextNode() {
    if (m_node.isNull()) {
        if (m_tree.ChildrenPending(m_item)) {
            const XmlNode tag = m_tree.Tag(m_item);
            if (enterChildren(tag)) {
                m_anchorTag = tag;
                return;
            }
        } else if (const TreeModel::ItemId child = m_tree.Child(m_item)) {
            m_item = child;
            return;
        }
        climbFromItem(m_item);
        return;
    }
    if (m_attribute >= 0) {
        if (++m_attribute < static_cast<int>(m_attributes.size()))
            return;
        m_attribute = -1;
        m_attributes.clear();
        if (XmlNode child = m_node.firstChild()) {
            m_node = std::move(child);
            return;
        }
        climbFromNode(m_node);
        return;
    }
    if (!enterChildren(m_node))
        climbFromNode(m_node);
}

void FindCursor::climbFromItem(TreeModel::ItemId item) {
    for (;;) {
        if (const TreeModel::ItemId next = m_tree.Next(item)) {
            m_item = next;
            return;
        }
        item = m_tree.Parent(item);
        if (item == TreeModel::NoItem) {
            m_item = m_tree.FirstTopLevel();
            return;
        }
    }
}

void FindCursor::climbFromNode(XmlNode node) {
    for (;;) {
        if (node == m_anchorTag) {
            m_node = XmlNode();
            m_anchorTag = XmlNode();
            climbFromItem(m_item);
            return;
        }
        if (XmlNode next = node.nextSibling()) {
            m_node = std::move(next);
            return;
        }
        node = node.parentNode();
    }
}

TreeModel::ItemId FindCursor::BuildItem() {
    if (m_node.isNull())
        return m_item;
    std::vector<XmlNode> path;
    if (m_attribute >= 0)
        path.push_back(m_attributes[static_cast<size_t>(m_attribute)]);
    for (XmlNode n = m_node; n != m_anchorTag; n = n.parentNode())
        path.push_back(n);
    TreeModel::ItemId item = m_item;
    for (auto node = path.rbegin(); node != path.rend(); ++node) {
        TreeModel::ItemId child = m_tree.Child(item);
        while (child != TreeModel::NoItem && m_tree.Tag(child) != *node)
            child = m_tree.Next(child);
        if (child == TreeModel::NoItem)
            throw DescribedError(QStringLiteral("The item found is no longer in the tree."));
        item = child;
    }
    m_node = XmlNode();
    m_anchorTag = XmlNode();
    m_attributes.clear();
    m_attribute = -1;
    m_item = item;
    return item;
}

TreeModel::ItemId FindText(TreeModel& tree, const QString& strFind, TreeModel::ItemId start,
                           bool bMatchCase, bool bMatchAllWord, int maxTextLength) {
    if (!tree.Exists(start))
        throw DescribedError(QStringLiteral("There is no item to search from."));
    const FindMatcher matcher(strFind, bMatchCase, bMatchAllWord);
    FindCursor cursor(tree, start, maxTextLength);
    for (cursor.GetNextNode(); !cursor.IsItem(start); cursor.GetNextNode()) {
        if (matcher.Matches(cursor.Label()))
            return cursor.BuildItem();
    }
    return TreeModel::NoItem;
}

FoundNodes FindAll(TreeModel& tree, const QString& strFind, bool bMatchCase, bool bMatchAllWord,
                   int maxTextLength, const std::function<bool(qint64)>& step) {
    FoundNodes found;
    const TreeModel::ItemId first = tree.FirstTopLevel();
    if (first == TreeModel::NoItem)
        return found;
    const FindMatcher matcher(strFind, bMatchCase, bMatchAllWord);
    FindCursor cursor(tree, first, maxTextLength);
    qint64 tested = 0;
    do {
        if (matcher.Matches(cursor.Label())) {
            const XmlNode node = cursor.Node();
            if (!found.owner)
                found.owner = node.owner();
            if (node.owner() == found.owner)
                found.keys.push_back(node.key());
        }
        constexpr qint64 kStepEvery = 4096;
        if (++tested % kStepEvery == 0 && !step(tested))
            break;
        cursor.GetNextNode();
    } while (!cursor.IsItem(first));
    return found;
}
