#pragma once

#include "platform/tree/treemodel.h"
#include "platform/xml/xmlnode.h"

#include <vector>

// Bringing built items back in line with the Document after it changed under them (undo and
// redo), and finding the item that shows a node.
namespace ModGeneral {

// The child items of `item` (NoItem: the top-level items, for the document) made to show the
// current child items of `container`, the builder's way. Items at either end that still show
// the right nodes stay, with what is expanded below them, and their labels are renewed; the
// ones between are built anew. Items whose children are pending are left: they are built from
// the Document when needed.
void SyncChildItems(TreeModel& tree, TreeModel::ItemId item, const XmlNode& container,
                    int maxTextLength);

// SyncChildItems for each of `containers` still in the Document (the ones an undo step touched)
// that has an item built.
void SyncContainers(TreeModel& tree, const std::vector<XmlNode>& containers, int maxTextLength);

// The item that shows `node` (an attribute or declaration too); NoItem when the node is not in
// the document, or, unless `build`, when pending items would have to be built to reach it.
TreeModel::ItemId ItemShowing(TreeModel& tree, const XmlNode& node, bool build);

} // namespace ModGeneral
