#pragma once

#include "platform/tree/treemodel.h"
#include "platform/xml/xmlnode.h"

#include <QString>

// The one place that decides how an XML node looks in a tree: which nodes get items, the label
// and icon of each, and the order of child items (attributes first).
namespace ModGeneral {

// Icon keys of the item kinds.
inline const QString kElement = QStringLiteral("Element");
inline const QString kText = QStringLiteral("Text");
inline const QString kAttribute = QStringLiteral("Attribute");
inline const QString kComment = QStringLiteral("Comment");
inline const QString kCData = QStringLiteral("CData");
inline const QString kPInstructions = QStringLiteral("PInstructions");
// The label of every item the builder creates before it knows what it shows.
inline const QString kPlaceholder = QStringLiteral("Dummy");

// A text longer than maxLength characters is cut to maxLength characters followed by "...".
QString ShortenedText(const QString& text, int maxLength);
// The label an item of the node shows; nodes of other kinds keep `current`.
QString ItemLabel(const XmlNode& node, int maxLength, const QString& current);
// The icon key of the node's kind, empty for kinds without an item kind.
QString ItemIconKey(const XmlNode& node);
// The label of an attribute item: name = "value".
QString AttributeLabel(const QString& name, const QString& value);

// Makes `item` show `node`: its Tag, label and icon; an element's child items are created when
// first needed.
void DescribeItem(TreeModel& tree, TreeModel::ItemId item, const XmlNode& node, int maxTextLength);

// Makes `item` show `node` (its Tag, label, icon and child items), or with NoItem adds the
// children of a document or element as top-level items. Child items of elements are created
// when first needed.
void AddXmlNodeToTree(TreeModel::ItemId item, XmlNode node, TreeModel& tree, int maxTextLength);

// Adds a top-level item that shows `container` and has the `nodes` (of any document) as its
// child items, in order. The list's items, like the nodes' own, are created when first needed.
TreeModel::ItemId AddXmlNodeListToTree(const XmlNode& container, XmlNodeList nodes, TreeModel& tree,
                                       int maxTextLength);

} // namespace ModGeneral
