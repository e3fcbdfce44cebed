// Deep copies of whole documents, for readers that must not see later edits.

#include "platform/work/asidework.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmlserialize.h"

#include <libxml/valid.h>

#include <memory>

using namespace xmlimpl;

namespace {

// libxml2's copy of a DTD leaves every element declaration without the list of its attribute
// declarations, where validation looks for the required, fixed and defaulted ones: linked again
// here, in the order they were declared, as libxml2 links them when it reads them.
void linkAttributeDeclarations(xmlDtdPtr dtd) {
    for (xmlNodePtr n = dtd->children; n; n = n->next) {
        if (n->type != XML_ATTRIBUTE_DECL)
            continue;
        auto* attribute = reinterpret_cast<xmlAttributePtr>(n);
        xmlElementPtr element = xmlGetDtdElementDesc(dtd, attribute->elem);
        if (!element)
            continue;
        xmlAttributePtr* end = &element->attributes;
        while (*end && *end != attribute)
            end = &(*end)->nexth;
        if (!*end)
            *end = attribute;
    }
}

// The declarations first, so that copied entity references find their entities.
void copyDeclarations(xmlDocPtr source, xmlDocPtr copy) {
    if (source->intSubset) {
        copy->intSubset = xmlCopyDtd(source->intSubset);
        if (copy->intSubset) {
            linkAttributeDeclarations(copy->intSubset);
            xmlSetTreeDoc(reinterpret_cast<xmlNodePtr>(copy->intSubset), copy);
            copy->intSubset->parent = copy;
        }
    }
    if (source->oldNs)
        copy->oldNs = xmlCopyNamespaceList(source->oldNs);
}

// What xmlCopyDoc does, with a dictionary of the copy's own: names are shared within the copy as
// in a parsed document (the copy is as small as the original), and never with the original,
// whose dictionary grows while it is edited.
xmlDocPtr copyDocument(xmlDocPtr source) {
    xmlDocPtr copy = xmlCopyDoc(source, 0);
    if (!copy)
        return nullptr;
    copy->dict = xmlDictCreate();
    copyDeclarations(source, copy);
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

// Copies the sibling nodes from `first` up to `end` (excluded) as a list under `parent`; the first
// copy, with the last in `last`. Null with `failed` set when memory ran out.
xmlNodePtr copyRun(xmlNodePtr first, xmlNodePtr end, xmlDocPtr copy, xmlNodePtr parent,
                   xmlNodePtr& last, bool& failed) {
    xmlNodePtr head = nullptr;
    last = nullptr;
    for (xmlNodePtr node = first; node != end; node = node->next) {
        xmlNodePtr copied = xmlDocCopyNode(node, copy, 1);
        if (!copied) {
            failed = true;
            xmlFreeNodeList(head);
            return nullptr;
        }
        copied->parent = parent;
        copied->prev = last;
        (last ? last->next : head) = copied;
        last = copied;
    }
    return head;
}

// The document element with its children copied in two halves, one of them on a thread of its
// own. libxml2's copying writes only into the copy, except through the names' dictionary and the
// ID table: the copy has no dictionary (every name its own) and the caller makes sure the source
// has no IDs. A copied child that uses a namespace declared above it gets the declaration again.
xmlNodePtr copyElementInHalves(xmlNodePtr element, xmlDocPtr copy) {
    xmlNodePtr shell = xmlDocCopyNode(element, copy, 2);
    if (!shell)
        return nullptr;
    int count = 0;
    for (xmlNodePtr c = element->children; c; c = c->next)
        ++count;
    xmlNodePtr middle = element->children;
    for (int i = 0; i < count / 2; ++i)
        middle = middle->next;
    // The declaration of the xml prefix is made once, before both look it up.
    xmlSearchNs(copy, shell, reinterpret_cast<const xmlChar*>("xml"));
    xmlNodePtr secondLast = nullptr;
    xmlNodePtr second = nullptr;
    bool secondFailed = false;
    const std::shared_ptr<AsideWork> other = AsideWork::Start(
        [&] { second = copyRun(middle, nullptr, copy, shell, secondLast, secondFailed); });
    xmlNodePtr firstLast = nullptr;
    bool failed = false;
    xmlNodePtr first = copyRun(element->children, middle, copy, shell, firstLast, failed);
    other->Wait();
    if (failed || secondFailed) {
        xmlFreeNodeList(first);
        xmlFreeNodeList(second);
        xmlFreeNode(shell);
        return nullptr;
    }
    if (firstLast) {
        firstLast->next = second;
        if (second)
            second->prev = firstLast;
    }
    shell->children = first ? first : second;
    shell->last = secondLast ? secondLast : firstLast;
    return shell;
}

// The same document as copyDocument gives, made faster for a reader that drops it soon: on two
// threads, with no names' dictionary. Null when this does not apply: no large document element;
// IDs in the source, which copying would record in one table from both threads; or namespaces
// declared on the document element, which each copied child would declare again.
xmlDocPtr copyDocumentQuickly(xmlDocPtr source) {
    constexpr unsigned long kWorthTwoThreads = 4096;
    const xmlNodePtr root = xmlDocGetRootElement(source);
    if (!root || source->ids || root->nsDef || root->ns ||
        xmlChildElementCount(root) < kWorthTwoThreads)
        return nullptr;
    xmlDocPtr copy = xmlCopyDoc(source, 0);
    if (!copy)
        return nullptr;
    copyDeclarations(source, copy);
    xmlNodePtr last = nullptr;
    for (xmlNodePtr node = source->children; node; node = node->next) {
        xmlNodePtr copied = nullptr;
        if (node->type == XML_DTD_NODE)
            copied = reinterpret_cast<xmlNodePtr>(copy->intSubset);
        else if (node == root)
            copied = copyElementInHalves(node, copy);
        else
            copied = xmlDocCopyNode(node, copy, 1);
        if (!copied) {
            xmlFreeDoc(copy);
            return nullptr;
        }
        copied->parent = reinterpret_cast<xmlNodePtr>(copy);
        copied->prev = last;
        copied->next = nullptr;
        (last ? last->next : copy->children) = copied;
        last = copied;
    }
    copy->last = last;
    return copy;
}

// The storage of a copy made from `source`.
XmlDocument documentOf(xmlDocPtr doc, const XmlStorage& source) {
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

} // namespace

XmlDocument XmlDocument::snapshot() const {
    return snapshotOf(*object().storage);
}

XmlDocument xmlimpl::quickCopyOf(const XmlStorage& source) {
    if (xmlDocPtr doc = copyDocumentQuickly(source.doc))
        return documentOf(doc, source);
    return snapshotOf(source);
}

XmlDocument xmlimpl::snapshotOf(const XmlStorage& source) {
    xmlDocPtr doc = copyDocument(source.doc);
    if (!doc)
        throw XmlError(QStringLiteral("Out of memory"));
    return documentOf(doc, source);
}
