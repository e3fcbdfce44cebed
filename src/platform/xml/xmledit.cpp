#include "platform/xml/xmledit.h"

#include "platform/xml/xmljournal.h"
#include "platform/xml/xmlnamespaces.h"
#include "platform/xml/xmlnode.h"
#include "platform/xml/xmlstorage.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace xmlimpl {

namespace {
// Whether `node` stands in the document. Only there is every name known to be right where it
// stands: a subtree held outside may point to declarations above the place it was taken from.
bool inDocumentTree(xmlNodePtr node) {
    while (node && node->parent)
        node = node->parent;
    return node && node->type == XML_DOCUMENT_NODE;
}
} // namespace

Placement placementFor(XmlStorage& storage, xmlNodePtr node, xmlNodePtr parent) {
    Placement placement;
    if (node->type != XML_ELEMENT_NODE || !storage.unplaced.count(node))
        return placement;
    const QString name = qs(node->name);
    placement.ns = namespaceForName(storage.doc, node, parent, name, false);
    placement.pending = true;
    placement.localName = name.mid(name.indexOf(QLatin1Char(':')) + 1).toUtf8();
    return placement;
}

XmlEdit::XmlEdit(XmlStorage& storage, std::initializer_list<xmlNodePtr> containers)
    : m_storage(storage) {
    for (xmlNodePtr container : containers) {
        if (!container)
            continue;
        if (!storage.journal)
            storage.forgetHistory();
        storage.notifyChange(container);
    }
}

// Before a node is linked or unlinked: where it stands, and for a document type declaration the
// one the document points to, which libxml2's unlinking and the linking here both set.
void XmlEdit::recordPosition(xmlNodePtr node) {
    m_storage.moved.insert(node);
    if (node->parent)
        m_storage.regrouped.insert(node->parent);
    if (!m_storage.journal)
        return;
    if (node->type == XML_DTD_NODE)
        m_storage.journal->internalSubset();
    m_storage.journal->position(node);
}

// libxml2's own insertion functions merge adjacent text nodes and free one of them, which would
// leave handles dangling, so the pointers are set here.
void XmlEdit::link(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref, const Placement& placement) {
    // Where the subtree stands now, or stood until the change just before this one.
    std::optional<std::vector<xmlNsPtr>> scopeBefore;
    if (node->type == XML_ELEMENT_NODE && !placement.pending) {
        if (node->parent && inDocumentTree(node->parent))
            scopeBefore = declarationsInScope(node->parent);
        else if (m_storage.lastDetached.node == node &&
                 m_storage.lastDetached.revision == m_storage.previousRevision)
            scopeBefore = m_storage.lastDetached.scope;
    }
    recordPosition(node);
    xmlUnlinkNode(node);
    m_storage.attach(node);
    m_storage.regrouped.insert(parent);
    node->parent = parent;
    if (!ref) {
        node->prev = parent->last;
        node->next = nullptr;
        if (parent->last)
            parent->last->next = node;
        else
            parent->children = node;
        parent->last = node;
    } else {
        node->next = ref;
        node->prev = ref->prev;
        if (ref->prev)
            ref->prev->next = node;
        else
            parent->children = node;
        ref->prev = node;
    }
    if (node->type == XML_DTD_NODE)
        m_storage.doc->intSubset = reinterpret_cast<xmlDtdPtr>(node);
    if (placement.pending) {
        setName(node, placement.localName, placement.ns);
        if (m_storage.journal)
            m_storage.journal->unplaced(node);
        m_storage.unplaced.erase(node);
    }
    if (!scopeBefore || *scopeBefore != declarationsInScope(parent))
        keepNamespaces(m_storage.doc, node, m_storage.journal, &m_storage.touched);
}

void XmlEdit::detach(xmlNodePtr node) {
    if (node->type == XML_ELEMENT_NODE)
        m_storage.lastDetached =
            inDocumentTree(node->parent)
                ? XmlStorage::Detached{node, m_storage.revision, declarationsInScope(node->parent)}
                : XmlStorage::Detached{};
    recordPosition(node);
    xmlUnlinkNode(node);
    m_storage.keepDetached(node);
}

void XmlEdit::setContent(xmlNodePtr node, const QByteArray& utf8) {
    m_storage.touched.insert(node);
    if (m_storage.journal)
        m_storage.journal->content(node);
    xmlNodeSetContent(node, xc(utf8));
}

// The journal takes the old value nodes: they may hold entity references, which a copied string
// would lose.
void XmlEdit::setAttributeValue(xmlAttrPtr attribute, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    m_storage.touched.insert(reinterpret_cast<xmlNodePtr>(attribute));
    if (m_storage.journal)
        m_storage.journal->attributeValue(attribute);
    else
        xmlFreeNodeList(attribute->children);
    attribute->children = attribute->last = nullptr;
    xmlNodePtr text = xmlNewDocText(attribute->doc, xc(utf8));
    text->parent = reinterpret_cast<xmlNodePtr>(attribute);
    attribute->children = attribute->last = text;
}

void XmlEdit::setName(xmlNodePtr element, const QByteArray& name) {
    if (m_storage.journal)
        m_storage.journal->name(element);
    xmlNodeSetName(element, xc(name));
}

void XmlEdit::setName(xmlNodePtr element, const QByteArray& localName, xmlNsPtr ns) {
    setName(element, localName);
    element->ns = ns;
}

xmlAttrPtr XmlEdit::addAttribute(xmlNodePtr element, xmlNsPtr ns, const QByteArray& localName,
                                 const QByteArray& value) {
    xmlAttrPtr added = xmlSetNsProp(element, ns, xc(localName), xc(value));
    if (added)
        m_storage.moved.insert(reinterpret_cast<xmlNodePtr>(added));
    if (added && m_storage.journal)
        m_storage.journal->created(reinterpret_cast<xmlNodePtr>(added));
    return added;
}

xmlNsPtr XmlEdit::addDeclaration(xmlNodePtr element, const QByteArray& href,
                                 const xmlChar* prefix) {
    if (m_storage.journal)
        m_storage.journal->declarations(element);
    return xmlNewNs(element, xc(href), prefix);
}

void XmlEdit::setHref(xmlNodePtr element, xmlNsPtr declaration, const QByteArray& href) {
    if (m_storage.journal)
        m_storage.journal->href(element, declaration);
    xmlFree(const_cast<xmlChar*>(declaration->href));
    declaration->href = xmlStrdup(xc(href));
}

// Nodes out of the tree may still refer to the declaration: the storage keeps it.
void XmlEdit::removeDeclaration(xmlNodePtr element, xmlNsPtr declaration) {
    if (m_storage.journal)
        m_storage.journal->declarations(element);
    xmlNsPtr* link = &element->nsDef;
    while (*link != declaration)
        link = &(*link)->next;
    *link = declaration->next;
    declaration->next = nullptr;
    m_storage.removedDeclarations.insert(declaration);
}

void XmlEdit::repairAttributeNamespaces(xmlNodePtr element) {
    keepAttributeNamespaces(m_storage.doc, element, m_storage.journal, &m_storage.touched);
}

void XmlEdit::dropDeclaration(xmlNsPtr declaration) {
    if (m_storage.journal)
        m_storage.removedDeclarations.insert(declaration);
    else
        xmlFreeNs(declaration);
}

} // namespace xmlimpl

// Every change to a document goes through here (XmlEdit, and the journal when it undoes): the
// readers stop, the revision moves on and the listeners hear of it first.
void XmlStorage::notifyChange(xmlNodePtr container) {
    readerGate.stopReader();
    // The source must be had before the first change: from then on the file alone would not do.
    if (touched.empty() && moved.empty() && source.kind == xmlimpl::XmlSource::Kind::File) {
        std::lock_guard<std::mutex> lock(sourceMutex);
        xmlimpl::readSource(source);
    }
    if (container)
        touched.insert(container);
    previousRevision = revision;
    revision = xmlimpl::nextRevision();
    if (listeners.empty() || !container)
        return;
    // Listeners may remove themselves while being told.
    const auto copy = listeners;
    const XmlNode handle(container, shared_from_this());
    for (XmlChangeListener* l : copy) {
        if (std::find(listeners.begin(), listeners.end(), l) != listeners.end())
            l->aboutToChange(handle);
    }
}
