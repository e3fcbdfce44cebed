#pragma once

#include "platform/xml/xmlnode.h"

#include <QString>

// The absolute XPath by which a query of the Query Analyzer finds `node` and nothing else:
// element names with the prefixes the document element declares, its default namespace under
// the prefix queries reach it by ("d", or "d1"... when "d" is taken); a position only where the
// parent holds more than one such node. Empty for what XPath does not reach: the XML
// declaration, the document type, an entity reference.
QString XPathOf(const XmlNode& node);
