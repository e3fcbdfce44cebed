// Deep copies of whole documents, for readers that must not see later edits.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

using namespace xmlimpl;

namespace {

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
