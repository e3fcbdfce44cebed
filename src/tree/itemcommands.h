#pragma once

#include "platform/tree/treemodel.h"

#include <utility>
#include <vector>

// Which item commands can act on a tree item, each named by its menu item: moves need a place to
// go, cut and copy an item below the top, paste something copied, the inserts an item they can
// go under or beside, and the updates an item their editor edits.
std::vector<std::pair<const char*, bool>> ItemCommandStates(TreeModel& nodes,
                                                            TreeModel::ItemId item,
                                                            bool somethingCopied);
