// Deep copies of whole documents, for readers that must not see later edits.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

using namespace xmlimpl;

namespace {

// libxml2 copies an element's 16-bit line but not what is kept past it (keepBigLine): the two
// trees have the same shape, so one walk over both carries it.
void carryBigLines(xmlNodePtr from, xmlNodePtr to) {
    while (from && to) {
        if (from->type == XML_ELEMENT_NODE) {
            if (from->line >= kLineLimit)
                to->_private = from->_private;
            if (from->children && to->children) {
                from = from->children;
                to = to->children;
                continue;
            }
        }
        while (from && !from->next) {
            from = from->parent;
            to = to ? to->parent : nullptr;
            if (!from || from->type != XML_ELEMENT_NODE || !to)
                return;
        }
        if (!from || !to)
            return;
        from = from->next;
        to = to->next;
    }
}

// What xmlCopyDoc does, with a dictionary of the copy's own: names are shared within the copy as
// in a parsed document (the copy is as small as the original), and never with the original,
// whose dictionary grows while it is edited.
xmlDocPtr copyDocument(xmlDocPtr source) {
    xmlDocPtr copy = xmlCopyDoc(source, 0);
    if (!copy)
        return nullptr;
    copy->dict = xmlDictCreate();
    // The declarations first, so that copied entity references find their entities.
    if (source->intSubset) {
        copy->intSubset = xmlCopyDtd(source->intSubset);
        if (copy->intSubset) {
            xmlSetTreeDoc(reinterpret_cast<xmlNodePtr>(copy->intSubset), copy);
            copy->intSubset->parent = copy;
        }
    }
    if (source->oldNs)
        copy->oldNs = xmlCopyNamespaceList(source->oldNs);
    xmlNodePtr children = source->children ? xmlDocCopyNodeList(copy, source->children) : nullptr;
    if (source->children && (!children || !copy->dict)) {
        xmlFreeDoc(copy);
        return nullptr;
    }
    copy->children = children;
    for (xmlNodePtr c = children; c; c = c->next) {
        c->parent = reinterpret_cast<xmlNodePtr>(copy);
        copy->last = c;
    }
    carryBigLines(source->children, children);
    return copy;
}

} // namespace

XmlDocument XmlDocument::snapshot() const {
    return snapshotOf(*object().storage);
}

XmlDocument xmlimpl::snapshotOf(const XmlStorage& source) {
    xmlDocPtr doc = copyDocument(source.doc);
    if (!doc)
        throw XmlError(QStringLiteral("Out of memory"));
    auto object = std::make_shared<XmlDocumentObject>();
    object->storage = newStorage(doc);
    object->storage->owner = object;
    if (doc->intSubset) {
        if (const QByteArray* text =
                source.doctypeTextOf(reinterpret_cast<xmlNodePtr>(source.doc->intSubset)))
            object->storage->doctypeTexts.emplace(reinterpret_cast<xmlNodePtr>(doc->intSubset),
                                                  *text);
    }
    return XmlDocument(object);
}
