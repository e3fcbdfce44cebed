#include "tree/itemcommands.h"

std::vector<std::pair<const char*, bool>>
ItemCommandStates(TreeModel& nodes, TreeModel::ItemId item, bool somethingCopied) {
    // No item (an empty tree): nothing to act on, nor anywhere to paste.
    const bool any = item != TreeModel::NoItem;
    const int type = any ? nodes.Tag(item).nodeType() : -1;
    const TreeModel::ItemId parent = any ? nodes.Parent(item) : TreeModel::NoItem;
    const bool hasPrevious = any && nodes.Previous(item) != TreeModel::NoItem;
    const bool notAttribute = any && type != NODE_ATTRIBUTE;
    return {
        {"mnuCut", parent != TreeModel::NoItem},
        {"mnuCopy", parent != TreeModel::NoItem},
        {"mnuCopyXPath", any},
        {"mnuPaste", any && somethingCopied},
        {"mnuMoveUp", hasPrevious},
        {"mnuMoveDown", any && nodes.Next(item) != TreeModel::NoItem},
        {"mnuMoveRight", hasPrevious},
        {"mnuMoveLeft", parent != TreeModel::NoItem && nodes.Parent(parent) != TreeModel::NoItem},
        {"mnuNewElement", type == NODE_ELEMENT},
        {"mnuNewText", notAttribute},
        {"mnuNewComment", notAttribute},
        {"mnuNewCDATA", notAttribute},
        {"mnuNewPI", notAttribute},
        {"mnuUpdate", notAttribute && type != NODE_PROCESSING_INSTRUCTION},
        {"mnuSpecialUpdate", any && type != NODE_ELEMENT},
    };
}
