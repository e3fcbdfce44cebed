// Starting an element with many attributes in linear time.

#include "platform/xml/xmlstartelement.h"

#include "platform/xml/xmlwidetags.h"

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

// As libxml2's builder makes an attribute of no declared type: its value one text node, also when
// empty. The list is walked once to its end, then each attribute is linked after the last.
void appendHeld(xmlNodePtr element, const HeldTag& tag) {
    xmlAttrPtr last = element->properties;
    while (last && last->next)
        last = last->next;
    for (const HeldTag::Attribute& held : tag.attributes) {
        xmlAttrPtr attribute =
            xmlNewDocProp(element->doc, BAD_CAST(tag.text.data() + held.nameAt), nullptr);
        xmlNodePtr value = xmlNewDocTextLen(element->doc, BAD_CAST(tag.text.data() + held.valueAt),
                                            static_cast<int>(held.valueLength));
        if (!attribute || !value) {
            xmlFreeProp(attribute);
            xmlFreeNode(value);
            return;
        }
        value->parent = reinterpret_cast<xmlNodePtr>(attribute);
        attribute->children = attribute->last = value;
        attribute->parent = element;
        attribute->prev = last;
        if (last)
            last->next = attribute;
        else
            element->properties = attribute;
        last = attribute;
    }
}

void buildElement(void* context, const xmlChar* localname, const xmlChar* prefix,
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

} // namespace

void startElementNs(void* context, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                    int nbAttributes, int nbDefaulted, const xmlChar** attributes,
                    HeldAttributes* held) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    const std::optional<HeldTag> tag = held ? held->takeForNextTag() : std::nullopt;
    if (tag && tag->visible != nbAttributes) {
        // The filter took this for another tag: an element built from it could not be trusted.
        ctxt->wellFormed = 0;
        xmlStopParser(ctxt);
        return;
    }
    xmlNodePtr parent = ctxt->node;
    buildElement(context, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                 nbDefaulted, attributes);
    if (tag && ctxt->node && ctxt->node != parent)
        appendHeld(ctxt->node, *tag);
}

} // namespace xmlimpl
