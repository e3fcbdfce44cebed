#include "editing/itemedits.h"

#include "platform/errors.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treebuilder.h"

#include <algorithm>
#include <limits>

namespace ItemEdits {

namespace {
QString alreadyExists(const QString& name) {
    return QStringLiteral("Attribute '") + name + QStringLiteral("' already exists.");
}
} // namespace

TreeModel::ItemId InsertElement(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId selected,
                                qint16& counter) {
    TreeModel::ItemId item = TreeModel::NoItem;
    XmlNode element;
    if (nodes.IsEmpty()) {
        element = document.createElement(QStringLiteral("Root"));
        document.appendChild(element);
        item = nodes.Add(QStringLiteral("Root"), ModGeneral::kElement);
    } else {
        if (selected == TreeModel::NoItem || nodes.Tag(selected).nodeType() != NODE_ELEMENT)
            return TreeModel::NoItem;
        // The counter is 16 bits wide: past its largest value every further insert fails.
        if (counter == std::numeric_limits<qint16>::max())
            throw DescribedError(QStringLiteral("Overflow"));
        ++counter;
        const QString name = QStringLiteral("Element") + QString::number(counter);
        element = document.createElement(name);
        nodes.Tag(selected).appendChild(element);
        item = nodes.Add(selected, TreeModel::tvwChild, name, ModGeneral::kElement);
    }
    nodes.SetTag(item, element);
    return item;
}

TreeModel::ItemId InsertLeaf(TreeModel& nodes, TreeModel::ItemId selected, XmlNode node,
                             const QString& image) {
    XmlNode anchor = nodes.Tag(selected);
    const QString label = image == ModGeneral::kPInstructions
                              ? node.nodeName() + QLatin1Char(' ') + node.text()
                              : QString();
    TreeModel::ItemId item;
    if (anchor.nodeType() == NODE_ELEMENT) {
        anchor.appendChild(node);
        item = nodes.Add(selected, TreeModel::tvwChild, label, image);
    } else {
        anchor.parentNode().insertBefore(node, anchor.nextSibling());
        item = nodes.Add(selected, TreeModel::tvwNext, label, image);
    }
    nodes.SetTag(item, node);
    return item;
}

XmlNode ElementOf(TreeModel& nodes, TreeModel::ItemId selected) {
    return nodes.Tag(nodes.Tag(selected).nodeType() == NODE_ELEMENT ? selected
                                                                    : nodes.Parent(selected));
}

TreeModel::ItemId InsertAttribute(TreeModel& nodes, TreeModel::ItemId selected, const QString& name,
                                  const QString& value, QString& refusal) {
    const TreeModel::ItemId ownerItem =
        nodes.Tag(selected).nodeType() == NODE_ELEMENT ? selected : nodes.Parent(selected);
    XmlNode owner = nodes.Tag(ownerItem);
    if (owner.isNull())
        throw MissingObjectError();
    if (!owner.attributes().getNamedItem(name).isNull()) {
        refusal = alreadyExists(name);
        return TreeModel::NoItem;
    }
    owner.setAttribute(name, value);
    const XmlNode attribute = owner.attributes().getNamedItem(name);
    const QString label = ModGeneral::AttributeLabel(attribute.nodeName(), attribute.text());
    // Attribute items stay in front of the other child items.
    TreeModel::ItemId item;
    TreeModel::ItemId walk = nodes.Child(ownerItem);
    if (walk == TreeModel::NoItem) {
        item = nodes.Add(ownerItem, TreeModel::tvwChild, label, ModGeneral::kAttribute);
    } else {
        while (nodes.Tag(walk).nodeType() == NODE_ATTRIBUTE &&
               nodes.Next(walk) != TreeModel::NoItem)
            walk = nodes.Next(walk);
        item = nodes.Tag(walk).nodeType() == NODE_ATTRIBUTE
                   ? nodes.Add(walk, TreeModel::tvwLast, label, ModGeneral::kAttribute)
                   : nodes.Add(walk, TreeModel::tvwPrevious, label, ModGeneral::kAttribute);
    }
    nodes.SetTag(item, attribute);
    return item;
}

void SetText(TreeModel& nodes, TreeModel::ItemId item, const QString& text, int maxLength) {
    XmlNode node = nodes.Tag(item);
    node.setText(text);
    nodes.SetText(item, ModGeneral::ShortenedText(node.text(), maxLength));
}

// The new attribute is set before the old one goes, so that a name the XML layer refuses leaves
// the element exactly as it was; so is an old name it will not let go (a namespace declaration
// still in use), by taking the new one away again.
bool EditAttribute(TreeModel& nodes, TreeModel::ItemId item, const QString& name,
                   const QString& value, QString& refusal) {
    XmlNode owner = nodes.Tag(nodes.Parent(item));
    const QString oldName = nodes.Tag(item).nodeName();
    if (name != oldName && !owner.attributes().getNamedItem(name).isNull()) {
        refusal = alreadyExists(name);
        return false;
    }
    QString kept = name;
    try {
        owner.setAttribute(name, value);
        if (name != oldName) {
            try {
                owner.removeAttribute(oldName);
            } catch (const XmlError&) {
                owner.removeAttribute(name);
                throw;
            }
        }
    } catch (const XmlError& e) {
        refusal = e.description();
        kept = oldName;
    }
    const XmlNode current = owner.attributes().getNamedItem(kept);
    nodes.SetTag(item, current);
    nodes.SetText(item, ModGeneral::AttributeLabel(current.nodeName(), current.text()));
    return refusal.isEmpty();
}

void ReplaceInstruction(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId item,
                        const QString& target, const QString& data) {
    XmlNode node = nodes.Tag(item);
    XmlNode replacement = document.createProcessingInstruction(target, data);
    node.parentNode().replaceChild(replacement, node);
    nodes.SetText(item, replacement.nodeName() + QLatin1Char(' ') + replacement.text());
    nodes.SetTag(item, replacement);
}

bool EditsInPlace(TreeModel& nodes, TreeModel::ItemId item, int maxLength) {
    switch (nodes.Tag(item).nodeType()) {
    case NODE_ELEMENT:
        return true;
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
        return nodes.Text(item).size() <= maxLength;
    default:
        return false;
    }
}

// An element is renamed where it stands, so its attributes and children keep their nodes and their
// namespaces; the new name's prefix means what it means at that place.
bool SetLabel(TreeModel& nodes, TreeModel::ItemId item, QString& label, int maxLength,
              QString& refusal) {
    XmlNode node = nodes.Tag(item);
    switch (node.nodeType()) {
    case NODE_ELEMENT:
        try {
            node.rename(label);
        } catch (const XmlError& e) {
            refusal = e.description();
            return false;
        }
        break;
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
        node.setText(label);
        label = ModGeneral::ShortenedText(label, maxLength);
        break;
    default:
        break;
    }
    return true;
}

void Delete(TreeModel& nodes, TreeModel::ItemId item) {
    XmlNode node = nodes.Tag(item);
    if (node.isNull())
        return;
    if (node.nodeType() != NODE_ATTRIBUTE)
        node.parentNode().removeChild(node);
    else
        nodes.Tag(nodes.Parent(item)).attributes().removeNamedItem(node.nodeName());
    nodes.Remove(item);
}

namespace {
// Taken out and put in as one change: a refusal takes back the taking out, and leaves nothing to
// undo, so the refusal finds the Document and the tree as they were.
void moveNode(XmlDocument& document, XmlNode node, XmlNode reference, Move move) {
    XmlChangeStep change(document, QStringLiteral("Move"));
    XmlNode detachFrom = move == Move::Left ? reference : reference.parentNode();
    detachFrom.removeChild(node);
    try {
        switch (move) {
        case Move::Up:
            reference.parentNode().insertBefore(node, reference);
            break;
        case Move::Down:
        case Move::Left: {
            XmlNode parent = reference.parentNode();
            if (parent.isNull())
                throw MissingObjectError();
            const XmlNode after = reference.nextSibling();
            if (after.isNull())
                parent.appendChild(node);
            else
                parent.insertBefore(node, after);
            break;
        }
        case Move::Right:
            reference.appendChild(node);
            break;
        }
    } catch (...) {
        change.rollBack();
        throw;
    }
    change.commit();
}
} // namespace

TreeModel::ItemId MoveItem(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId item,
                           Move move, int maxLength) {
    try {
        const XmlNode node = nodes.Tag(item);
        const TreeModel::ItemId reference = move == Move::Down   ? nodes.Next(item)
                                            : move == Move::Left ? nodes.Parent(item)
                                                                 : nodes.Previous(item);
        if (reference == TreeModel::NoItem)
            return TreeModel::NoItem;
        const XmlNode referenceNode = nodes.Tag(reference);
        if (node.isNull() || referenceNode.isNull() || node.parentNode().isNull() ||
            (move != Move::Left && referenceNode.parentNode().isNull()))
            return TreeModel::NoItem;
        moveNode(document, node, referenceNode, move);
        nodes.Remove(item);
        const bool sideways = move == Move::Left || move == Move::Right;
        const TreeModel::ItemId moved =
            nodes.Add(reference,
                      move == Move::Up      ? TreeModel::tvwPrevious
                      : move == Move::Right ? TreeModel::tvwChild
                                            : TreeModel::tvwNext,
                      sideways ? QStringLiteral("New") : QStringLiteral("DUMMY"));
        ModGeneral::AddXmlNodeToTree(moved, node, nodes, maxLength);
        return moved;
    } catch (...) {
        return TreeModel::NoItem;
    }
}

// The copy lives in a document of its own, so that it neither keeps a released document alive nor
// depends on one. An attribute is copied with its element, which carries the declarations that
// give it its namespace.
XmlNode Copy(TreeModel& nodes, TreeModel::ItemId item) {
    const XmlNode node = nodes.Tag(item);
    if (node.isNull())
        return XmlNode();
    XmlDocument buffer = XmlDocument::create();
    if (node.nodeType() != NODE_ATTRIBUTE)
        return buffer.importNode(node, true);
    const XmlNode owner = buffer.importNode(nodes.Tag(nodes.Parent(item)), false);
    return owner.attributes().getNamedItem(node.nodeName());
}

bool Paste(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId selected,
           const XmlNode& copied, int maxLength, QString& refusal) {
    XmlNode target = nodes.Tag(selected);
    std::vector<XmlNode> pasted;
    if (copied.nodeType() != NODE_ATTRIBUTE) {
        pasted.push_back(document.importNode(copied, true));
        target.appendChild(pasted.front());
    } else {
        const QString name = copied.nodeName();
        if (!target.attributes().getNamedItem(name).isNull()) {
            refusal = alreadyExists(name);
            return false;
        }
        // Keeping its namespace may declare a prefix, or give the attribute another one: whatever
        // the element gained gets an item.
        const std::vector<XmlNode> before = target.attributes().toVector();
        target.setAttribute(name, copied.text(), copied.namespaceURI());
        for (const XmlNode& attribute : target.attributes().toVector()) {
            if (std::find(before.begin(), before.end(), attribute) == before.end())
                pasted.push_back(attribute);
        }
    }
    for (const XmlNode& node : pasted) {
        const TreeModel::ItemId item =
            nodes.Add(selected, TreeModel::tvwChild, QStringLiteral("New"));
        ModGeneral::AddXmlNodeToTree(item, node, nodes, maxLength);
    }
    return true;
}

} // namespace ItemEdits
