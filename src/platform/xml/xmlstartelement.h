#pragma once

#include <libxml/parser.h>

namespace xmlimpl {

class HeldAttributes;

// libxml2's own start of an element (xmlSAX2StartElementNs), building exactly the same element,
// but in time linear in its number of attributes. libxml2 appends each attribute by walking the
// element's whole attribute list, which made an element with 100,000 attributes take minutes.
// The attributes `held` back from this start tag while the file was read (xmlwidetags.h), if any,
// are appended after the ones libxml2 read.
void startElementNs(void* context, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                    int nbAttributes, int nbDefaulted, const xmlChar** attributes,
                    HeldAttributes* held);

} // namespace xmlimpl
