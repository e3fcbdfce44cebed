#pragma once

#include "document/textsearch.h"
#include "platform/xml/xmldocument.h"

#include <functional>

// Replace over the Document's nodes: the parts of each node the user chose, each replaced through
// the XML layer, so that its rules hold (a name stays a name, a prefix must be declared, a
// comment holds no "--"). A replacement the layer refuses leaves its node as it was and is counted
// as skipped.
struct ReplaceScope {
    bool elementNames = true;
    bool attributeNames = true;
    bool attributeValues = true;
    bool text = true; // text and CDATA sections
    bool comments = true;
};

struct ReplaceCount {
    qint64 made = 0;
    qint64 skipped = 0;
};

// Every node of `document` in document order; `step` is called every few thousand nodes. A text
// left empty is removed.
ReplaceCount ReplaceInNodes(XmlDocument& document, const TextSearch& search, const QString& with,
                            const ReplaceScope& scope, const std::function<void()>& step);
