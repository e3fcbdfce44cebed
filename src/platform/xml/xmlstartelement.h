#pragma once

#include <libxml/parser.h>

namespace xmlimpl {

// libxml2's own start of an element (xmlSAX2StartElementNs), building exactly the same element,
// but in time linear in its number of attributes. libxml2 appends each attribute by walking the
// element's whole attribute list, which made an element with 100,000 attributes take minutes.
void startElementNs(void* context, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                    int nbAttributes, int nbDefaulted, const xmlChar** attributes);

} // namespace xmlimpl
