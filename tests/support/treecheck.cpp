#include "support/treecheck.h"

#include "support/namespacecheck.h"
#include "tree/treebuilder.h"

#include <QSet>

namespace {
QString describe(TreeModel& nodes, TreeModel::ItemId item) {
    return QStringLiteral("item %1 \"%2\"").arg(item).arg(nodes.Text(item));
}
} // namespace

QString TreeDocumentProblem(frmMain& window) {
    TreeModel& nodes = window.m_wndTree->Nodes();
    if (window.m_objDocument.isNull())
        return nodes.IsEmpty() ? QString() : QStringLiteral("items without a Document");
    const XmlDocument& document = window.m_objDocument;
    QSet<QPair<const void*, QString>> seen;
    std::vector<TreeModel::ItemId> stack;
    for (auto c = nodes.FirstTopLevel(); c; c = nodes.Next(c))
        stack.push_back(c);
    while (!stack.empty()) {
        const TreeModel::ItemId item = stack.back();
        stack.pop_back();
        for (auto c = nodes.Child(item); c; c = nodes.Next(c))
            stack.push_back(c);
        const XmlNode node = nodes.Tag(item);
        if (node.isNull())
            return describe(nodes, item) + QStringLiteral(" has no node");
        const auto key = qMakePair<const void*, QString>(
            node.raw(), node.isNamespaceDeclaration() ? node.nodeName() : QString());
        if (seen.contains(key))
            return describe(nodes, item) + QStringLiteral(" shows a node another item shows");
        seen.insert(key);
        const TreeModel::ItemId parentItem = nodes.Parent(item);
        if (node.nodeType() == NODE_ATTRIBUTE) {
            if (parentItem == TreeModel::NoItem)
                return describe(nodes, item) + QStringLiteral(" is an attribute at the top level");
            const XmlNode owner = nodes.Tag(parentItem);
            if (owner.attributes().getNamedItem(node.nodeName()) != node)
                return describe(nodes, item) +
                       QStringLiteral(" shows an attribute its parent item's element lacks");
            if (!owner.isAttachedToDocument())
                return describe(nodes, item) +
                       QStringLiteral(" belongs to an element outside the Document");
        } else {
            if (!node.isAttachedToDocument() || node.ownerDocument().asNode() != document.asNode())
                return describe(nodes, item) + QStringLiteral(" shows a node outside the Document");
            const XmlNode expectedParent = parentItem ? nodes.Tag(parentItem) : document.asNode();
            if (node.parentNode() != expectedParent)
                return describe(nodes, item) +
                       QStringLiteral(" is not under the item of its node's parent");
        }
        const QString key2 = ModGeneral::ItemIconKey(node);
        if (!key2.isEmpty()) {
            if (nodes.Image(item) != key2)
                return describe(nodes, item) + QStringLiteral(" has the icon ") + nodes.Image(item);
            if (nodes.Text(item) !=
                ModGeneral::ItemLabel(node, window.m_lTreeTextMaxLength, QString()))
                return describe(nodes, item) + QStringLiteral(" should read \"") +
                       ModGeneral::ItemLabel(node, window.m_lTreeTextMaxLength, QString()) +
                       QLatin1Char('"');
        }
    }
    // Every node of the Document has its item.
    int nodeCount = 0;
    std::vector<XmlNode> walk{document.asNode()};
    while (!walk.empty()) {
        const XmlNode n = walk.back();
        walk.pop_back();
        if (n.nodeType() == NODE_ELEMENT)
            nodeCount += n.attributes().length();
        for (XmlNode c = n.firstChild(); c; c = c.nextSibling()) {
            ++nodeCount;
            if (c.nodeType() == NODE_ELEMENT)
                walk.push_back(c);
        }
    }
    if (nodeCount != seen.size())
        return QStringLiteral("the Document has %1 nodes but the tree %2 items")
            .arg(nodeCount)
            .arg(seen.size());
    // Without a document element (after it was deleted, before a new one is inserted) there is
    // nothing well-formed to write; every other state must parse again, namespaces checked.
    const QString text = document.xml();
    if (document.documentElement().isNull())
        return {};
    if (!XmlDocument::create().loadXML(text))
        return QStringLiteral("the Document does not serialise to well-formed XML:\n") + text;
    if (const QString problem = NamespaceProblem(text); !problem.isEmpty())
        return QStringLiteral("the serialisation breaks the namespace rules (%1):\n").arg(problem) +
               text;
    return {};
}
