#pragma once

#include "platform/xml/xmldocument.h"
#include "tree/treebuilder.h"

#include <gtest/gtest.h>

// A document and the tree the builder makes of it, its items below the top level still pending.
struct BuiltTree {
    explicit BuiltTree(const QString& xml, int maxTextLength = 256) {
        EXPECT_TRUE(doc.loadXML(xml)) << qPrintable(doc.parseError().reason);
        ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, doc.asNode(), tree, maxTextLength);
    }
    XmlDocument doc = XmlDocument::create();
    TreeModel tree;
};
