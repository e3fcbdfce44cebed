#pragma once

#include "app/frmmain.h"

#include <QString>

// Checks that the tree and the Document are in step: every item shows a live node of the
// Document, no node has two items, an item's parent item shows the node's parent (an attribute's
// item sits under its element's item), labels and icons follow the builder, and the Document
// serialises to text that parses again with namespace checking (once it has a document
// element). Returns the first problem found, empty when none.
QString TreeDocumentProblem(frmMain& window);
