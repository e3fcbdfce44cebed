// Starting an element with many attributes in linear time.

#include "platform/xml/xmlstartelement.h"

#include <libxml/SAX2.h>
#include <libxml/globals.h>

#include <mutex>

namespace xmlimpl {
namespace {

// Below this many attributes the walk costs less than switching the callback.
constexpr int kManyAttributes = 64;

// The element whose attributes are being appended, and its true first attribute.
struct Appending {
    xmlNodePtr element = nullptr;
    xmlAttrPtr first = nullptr;
};
thread_local Appending t_appending;

// libxml2 calls this right after it made a node and linked it. While our element's attributes
// are appended, the element's list is made to start at its newest attribute, so that libxml2's
// walk to the end of the list takes one step; the true start is put back afterwards. Nothing
// else reads the list in between: the value, the ID and the reference tables only look at the
// new attribute itself.
void startListAtNewest(xmlNodePtr node) {
    if (node->type != XML_ATTRIBUTE_NODE || !node->parent)
        return;
    Appending& appending = t_appending;
    if (!appending.element) {
        appending.element = node->parent;
        appending.first = node->parent->properties;
    } else if (appending.element != node->parent) {
        return;
    }
    appending.element->properties = reinterpret_cast<xmlAttrPtr>(node);
}

} // namespace

void startElementNs(void* context, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                    int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    if (nbAttributes < kManyAttributes) {
        xmlSAX2StartElementNs(context, localname, prefix, uri, nbNamespaces, namespaces,
                              nbAttributes, nbDefaulted, attributes);
        return;
    }
    // libxml2 calls the callbacks only once one was ever registered; registering none as the
    // default for new threads switches them on without giving any thread a callback.
    static std::once_flag switchedOn;
    std::call_once(switchedOn,
                   [] { xmlThrDefRegisterNodeDefault(xmlThrDefRegisterNodeDefault(nullptr)); });
    // The callback is this thread's own, set through libxml2's per-thread accessor:
    // xmlRegisterNodeDefault would set the main thread's, whichever thread calls it.
    xmlRegisterNodeFunc& callback = xmlRegisterNodeDefaultValue;
    const xmlRegisterNodeFunc previous = callback;
    t_appending = {};
    callback = startListAtNewest;
    xmlSAX2StartElementNs(context, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                          nbDefaulted, attributes);
    callback = previous;
    if (t_appending.element)
        t_appending.element->properties = t_appending.first;
    t_appending = {};
}

} // namespace xmlimpl
