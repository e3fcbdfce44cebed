#pragma once

#include "platform/tree/treemodel.h"
#include "platform/xml/xmlnode.h"

#include <QString>
#include <QStringMatcher>
#include <functional>
#include <vector>

// The search walk of Find. It compares item labels in tree order as if every item were built,
// but builds nothing while it walks: below an item whose children are still pending it walks the
// DOM and makes each label with the tree builder's own function. Only when a label matches are
// the items on the way down to it created. It loops, never recurses, and keeps no stack: a
// search of any tree runs in constant memory.

// One label against the text sought, with Match Case and Match Whole Word Only.
class FindMatcher {
public:
    FindMatcher(const QString& text, bool bMatchCase, bool bMatchAllWord);
    bool Matches(const QString& label) const;

private:
    QString m_text;
    Qt::CaseSensitivity m_case;
    bool m_wholeLabel;
    QStringMatcher m_matcher;
};

// A place in the search order: pre-order (attribute items first), and from the end of the last
// top-level item on to the first top-level item, so every item comes round once.
class FindCursor {
public:
    FindCursor(TreeModel& tree, TreeModel::ItemId item, int maxTextLength);

    // Whether the cursor stands on this built item.
    bool IsItem(TreeModel::ItemId item) const { return m_node.isNull() && m_item == item; }
    // The label the item at the cursor has, or would have once built.
    QString Label() const;
    // Moves to the item that follows in search order.
    void GetNextNode();
    // The node at the cursor.
    XmlNode Node() const;
    // Creates the items on the way down to the cursor and returns the cursor's item.
    TreeModel::ItemId BuildItem();

private:
    bool enterChildren(const XmlNode& node);
    void climbFromItem(TreeModel::ItemId item);
    void climbFromNode(XmlNode node);

    TreeModel& m_tree;
    int m_maxTextLength;
    // The built item at the cursor; while the cursor is below it in the DOM, the pending item
    // the walk went down from.
    TreeModel::ItemId m_item;
    // Set while the cursor is below a pending item: the node at the cursor, or the element whose
    // attribute m_attribute is at the cursor.
    XmlNode m_node;
    XmlNode m_anchorTag;
    std::vector<XmlNode> m_attributes;
    int m_attribute = -1;
};

// Tests the items after `start` in search order, up to `start` itself, which is never tested.
// Returns the first item whose label matches, built, or NoItem when the search came back to
// `start`.
TreeModel::ItemId FindText(TreeModel& tree, const QString& strFind, TreeModel::ItemId start,
                           bool bMatchCase, bool bMatchAllWord, int maxTextLength);

// The items whose labels match, all of them, in tree order from the first top-level item, as the
// nodes they show: nothing is built. `owner` keeps the nodes alive.
struct FoundNodes {
    XmlNode::Owner owner;
    std::vector<XmlNode::Key> keys;
};
// `step` is called every few thousand items with the number tested so far; the search ends
// early, with what it found until then, when it answers false.
FoundNodes FindAll(TreeModel& tree, const QString& strFind, bool bMatchCase, bool bMatchAllWord,
                   int maxTextLength, const std::function<bool(qint64)>& step);
