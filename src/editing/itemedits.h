#pragma once

#include "platform/tree/treemodel.h"
#include "platform/xml/xmldocument.h"

#include <QString>

// The item commands' work on the Document and the tree, without a window: each changes the
// Document and makes the tree show the change, and answers the item to select (NoItem: none).
// What the user is told of a refusal is the caller's to show: it is left in `refusal`.
namespace ItemEdits {

// A new element: "Root" in an empty tree, else the last child of the selected element, named
// "Element" and the next number of `counter`, which stops with "Overflow" at its largest value.
TreeModel::ItemId InsertElement(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId selected,
                                qint16& counter);
// Under a selected element the node becomes its last child; next to any other item it lands
// directly after it (so also after the XML declaration, which nothing may precede).
TreeModel::ItemId InsertLeaf(TreeModel& nodes, TreeModel::ItemId selected, XmlNode node,
                             const QString& image);
// The selected element, or the selected item's element: where an attribute goes.
XmlNode ElementOf(TreeModel& nodes, TreeModel::ItemId selected);
// An attribute of the selected element, or of the selected item's element.
TreeModel::ItemId InsertAttribute(TreeModel& nodes, TreeModel::ItemId selected, const QString& name,
                                  const QString& value, QString& refusal);

// A text, CDATA section or comment gets `text`; its label shows it shortened.
void SetText(TreeModel& nodes, TreeModel::ItemId item, const QString& text, int maxLength);
// An attribute renamed and re-valued; false (with the element as it was) when refused.
bool EditAttribute(TreeModel& nodes, TreeModel::ItemId item, const QString& name,
                   const QString& value, QString& refusal);
// A processing instruction replaced by one with `target` and `data`.
void ReplaceInstruction(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId item,
                        const QString& target, const QString& data);
// Elements, and texts, CDATA sections and comments whose label shows the whole text, are edited
// in place; everything else through its dialog.
bool EditsInPlace(TreeModel& nodes, TreeModel::ItemId item, int maxLength);
// The label typed for an element (its new name) or a text, CDATA section or comment (its text);
// false when refused. `label` becomes what the item shows.
bool SetLabel(TreeModel& nodes, TreeModel::ItemId item, QString& label, int maxLength,
              QString& refusal);

void Delete(TreeModel& nodes, TreeModel::ItemId item);

enum class Move { Up, Down, Left, Right };
// The node moves first in the Document, then its item is built anew at the new place; NoItem
// (with nothing changed) when the move is not possible.
TreeModel::ItemId MoveItem(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId item,
                           Move move, int maxLength);

// A copy of the item's node in a document of its own, for the copy buffer.
XmlNode Copy(TreeModel& nodes, TreeModel::ItemId item);
// The copy buffer's node pasted under the selected item; false when refused.
bool Paste(TreeModel& nodes, XmlDocument& document, TreeModel::ItemId selected,
           const XmlNode& copied, int maxLength, QString& refusal);

} // namespace ItemEdits
