#include "tree/treebuilder.h"

namespace ModGeneral {

QString ShortenedText(const QString& text, int maxLength) {
    if (text.size() <= maxLength)
        return text;
    return text.left(maxLength) + QStringLiteral("...");
}

// Labels are made for every item a search passes, so each is put together in one allocation.
QString AttributeLabel(const QString& name, const QString& value) {
    QString label;
    label.reserve(name.size() + value.size() + 5);
    label.append(name).append(QLatin1String(" = \"")).append(value).append(QLatin1Char('"'));
    return label;
}

QString ItemLabel(const XmlNode& node, int maxLength, const QString& current) {
    switch (node.nodeType()) {
    case NODE_ELEMENT:
        return node.nodeName();
    case NODE_ATTRIBUTE:
        return AttributeLabel(node.nodeName(), node.text());
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
        return ShortenedText(node.text(), maxLength);
    case NODE_PROCESSING_INSTRUCTION:
        return node.nodeName() + QLatin1Char(' ') + node.text();
    default:
        return current;
    }
}

QString ItemIconKey(const XmlNode& node) {
    switch (node.nodeType()) {
    case NODE_ELEMENT:
        return kElement;
    case NODE_ATTRIBUTE:
        return kAttribute;
    case NODE_TEXT:
        return kText;
    case NODE_CDATA_SECTION:
        return kCData;
    case NODE_COMMENT:
        return kComment;
    case NODE_PROCESSING_INSTRUCTION:
        return kPInstructions;
    default:
        return {};
    }
}

namespace {

bool hasChildItems(const XmlNode& node) {
    return node.hasAttributes() || node.hasChildNodes();
}

void describe(TreeModel& tree, TreeModel::ItemId item, const XmlNode& node, int maxTextLength) {
    tree.SetTag(item, node);
    const QString key = ItemIconKey(node);
    if (key.isEmpty())
        return;
    tree.SetText(item, ItemLabel(node, maxTextLength, tree.Text(item)));
    tree.SetImage(item, key);
}

// A new last child item of `parent` (top level with NoItem) showing `node`; an element's own
// children wait until they are needed.
void addItemShowing(TreeModel& tree, TreeModel::ItemId parent, const XmlNode& node,
                    int maxTextLength) {
    const QString key = ItemIconKey(node);
    const TreeModel::ItemId item =
        key.isEmpty()
            ? tree.AddShowing(parent, node, kPlaceholder, QString())
            : tree.AddShowing(parent, node, ItemLabel(node, maxTextLength, kPlaceholder), key);
    if (node.nodeType() == NODE_ELEMENT && hasChildItems(node))
        tree.MarkChildrenPending(item);
}

// Adds the items of the node's children under `item` (top level with NoItem).
void addChildItems(TreeModel& tree, TreeModel::ItemId item, const XmlNode& node,
                   int maxTextLength) {
    if (item != TreeModel::NoItem && node.nodeType() == NODE_ELEMENT) {
        for (const XmlNode& attribute : node.attributes().toVector())
            tree.AddShowing(item, attribute, ItemLabel(attribute, maxTextLength, kPlaceholder),
                            kAttribute);
    }
    for (XmlNode child = node.firstChild(); child; child = child.nextSibling())
        addItemShowing(tree, item, child, maxTextLength);
}

} // namespace

void DescribeItem(TreeModel& tree, TreeModel::ItemId item, const XmlNode& node, int maxTextLength) {
    describe(tree, item, node, maxTextLength);
    if (node.nodeType() == NODE_ELEMENT && hasChildItems(node))
        tree.MarkChildrenPending(item);
}

void AddXmlNodeToTree(TreeModel::ItemId item, XmlNode node, TreeModel& tree, int maxTextLength) {
    tree.SetChildLoader([maxTextLength](TreeModel& t, TreeModel::ItemId id) {
        addChildItems(t, id, t.Tag(id), maxTextLength);
    });
    if (item != TreeModel::NoItem) {
        tree.EnsureChildren(item);
        describe(tree, item, node, maxTextLength);
    }
    const int type = node.nodeType();
    if (type != NODE_ELEMENT && type != NODE_DOCUMENT)
        return;
    // A caller's item may already have been seen by the view, so its own children are added at
    // once, announced; only the new items below it wait until they are needed.
    addChildItems(tree, item, node, maxTextLength);
}

TreeModel::ItemId AddXmlNodeListToTree(const XmlNode& container, XmlNodeList nodes, TreeModel& tree,
                                       int maxTextLength) {
    const TreeModel::ItemId top = tree.Add(kPlaceholder);
    auto list = std::make_shared<const XmlNodeList>(std::move(nodes));
    tree.SetChildLoader([list, top, maxTextLength](TreeModel& t, TreeModel::ItemId id) {
        if (id != top) {
            addChildItems(t, id, t.Tag(id), maxTextLength);
            return;
        }
        for (const XmlNode& node : *list)
            addItemShowing(t, id, node, maxTextLength);
    });
    describe(tree, top, container, maxTextLength);
    if (list->length() > 0)
        tree.MarkChildrenPending(top);
    return top;
}

} // namespace ModGeneral
