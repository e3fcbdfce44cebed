#include "tree/itemcommands.h"

std::vector<std::pair<const char*, bool>> ItemCommandStates(TreeModel& nodes,
                                                            TreeModel::ItemId item,
                                                            bool somethingCopied) {
    const int type = nodes.Tag(item).nodeType();
    const TreeModel::ItemId parent = nodes.Parent(item);
    const bool hasPrevious = nodes.Previous(item) != TreeModel::NoItem;
    const bool notAttribute = type != NODE_ATTRIBUTE;
    return {
        {"mnuCut", parent != TreeModel::NoItem},
        {"mnuCopy", parent != TreeModel::NoItem},
        {"mnuPaste", somethingCopied},
        {"mnuMoveUp", hasPrevious},
        {"mnuMoveDown", nodes.Next(item) != TreeModel::NoItem},
        {"mnuMoveRight", hasPrevious},
        {"mnuMoveLeft",
         parent != TreeModel::NoItem && nodes.Parent(parent) != TreeModel::NoItem},
        {"mnuNewElement", type == NODE_ELEMENT},
        {"mnuNewText", notAttribute},
        {"mnuNewComment", notAttribute},
        {"mnuNewCDATA", notAttribute},
        {"mnuNewPI", notAttribute},
        {"mnuUpdate", notAttribute && type != NODE_PROCESSING_INSTRUCTION},
        {"mnuSpecialUpdate", type != NODE_ELEMENT},
    };
}
