#pragma once

#include "platform/xml/xmldocument.h"

#include <QString>

namespace fuzz {

// Whether runs of XML blanks between other nodes count. An edited document may hold blank text
// where the writer indents, which a reload rightly reads as indentation: compare those with Drop.
enum class Blanks { Keep, Drop };

// The document's tree as text, one line per node: kind, qualified name, namespace URI, attributes
// sorted by name, content; adjacent text nodes merged as a parser would see them. Two documents
// with the same form hold the same information.
// With DefaultNamespace::Skip, unprefixed elements show no namespace URI (see
// ORVEL_FUZZ_AVOID=declaration-scope).
enum class DefaultNamespace { Show, Skip };
QString canonicalForm(const XmlDocument& doc, Blanks blanks,
                      DefaultNamespace defaultNamespace = DefaultNamespace::Show);

} // namespace fuzz
