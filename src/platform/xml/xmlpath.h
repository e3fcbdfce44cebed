#pragma once

#include "platform/xml/xmlnode.h"

#include <QString>
#include <array>

// The absolute XPath by which a query of the Query Analyzer finds `node` and nothing else:
// element names with the prefixes the document element declares, its default namespace under
// the prefix queries reach it by ("d", or "d1"... when "d" is taken); a position only where the
// parent holds more than one such node. Empty for what XPath does not reach: the XML
// declaration, the document type, an entity reference.
QString XPathOf(const XmlNode& node);

// The positions XPathOf found lately, for a list that asks the paths of many nodes in document
// order: a record's position among a million siblings is then counted from the record before it,
// not from the first. Valid while the document does not change; Clear() after a change.
class XPathMemo {
public:
    void Clear() { m_entries = {}; }

private:
    friend struct XPathMemoAccess;
    struct Entry {
        const void* node = nullptr;
        int index = 0;
        bool many = false;
    };
    std::array<Entry, 16> m_entries{};
    size_t m_next = 0;
};
QString XPathOf(const XmlNode& node, XPathMemo& memo);
