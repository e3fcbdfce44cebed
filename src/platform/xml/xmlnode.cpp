// Node navigation, content and tree changes over libxml2.

#include "platform/xml/xmlnode.h"

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmljournal.h"
#include "platform/xml/xmlparseguard.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxml/uri.h>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <optional>

using namespace xmlimpl;

namespace {

quint64 nextRevision() {
    // Documents are also made on worker threads (copies for readers).
    static std::atomic<quint64> counter{0};
    return ++counter;
}

bool isXmlDeclaration(xmlNodePtr n) {
    return n && n->type == XML_PI_NODE && xmlStrEqual(n->name, BAD_CAST "xml");
}

QString qualifiedName(xmlNodePtr n) {
    const QString local = qs(n->name);
    if (n->ns && n->ns->prefix)
        return qs(n->ns->prefix) + QLatin1Char(':') + local;
    return local;
}

// Text of an element or document: its descendant text in document order. Entity references
// count with their replacement text, within a budget, so that a document built to explode on
// expansion cannot exhaust the memory.
QString descendantText(xmlDocPtr doc, xmlNodePtr root) {
    constexpr qsizetype kBudget = 64 * 1024 * 1024;
    QString out;
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = root->last; c; c = c->prev)
        stack.push_back(c);
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        switch (n->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            out += qs(n->content);
            if (out.size() > kBudget)
                throw XmlError(QStringLiteral("The text of this node is too large to be shown."));
            break;
        case XML_ELEMENT_NODE:
            for (xmlNodePtr c = n->last; c; c = c->prev)
                stack.push_back(c);
            break;
        case XML_ENTITY_REF_NODE:
            if (xmlEntityPtr entity = xmlGetDocEntity(doc, n->name)) {
                for (xmlNodePtr c = entity->last; c; c = c->prev)
                    stack.push_back(c);
            }
            break;
        default:
            break;
        }
    }
    return out;
}

void setAttributeValue(XmlStorage& storage, xmlAttrPtr attr, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (storage.journal)
        storage.journal->attributeValue(attr);
    else
        xmlFreeNodeList(attr->children);
    attr->children = attr->last = nullptr;
    xmlNodePtr text = xmlNewDocText(attr->doc, xc(utf8));
    text->parent = reinterpret_cast<xmlNodePtr>(attr);
    attr->children = attr->last = text;
}

bool isContainer(xmlNodePtr n) {
    return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE ||
           n->type == XML_DOCUMENT_FRAG_NODE;
}

bool isChildKind(xmlNodePtr n) {
    switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
    case XML_DTD_NODE:
        return true;
    default:
        return false;
    }
}

// How many elements deep `n` stands, itself included.
int elementDepth(xmlNodePtr n) {
    int depth = 0;
    for (; n && n->type == XML_ELEMENT_NODE; n = n->parent)
        ++depth;
    return depth;
}

// Whether the elements of `node`'s subtree, itself included, nest more than `levels` deep.
bool nestsDeeperThan(xmlNodePtr node, int levels) {
    int depth = 0;
    for (xmlNodePtr n = node; n;) {
        if (n->type == XML_ELEMENT_NODE && ++depth > levels)
            return true;
        if (n->type == XML_ELEMENT_NODE && n->children) {
            n = n->children;
            continue;
        }
        if (n->type == XML_ELEMENT_NODE)
            --depth;
        while (n != node && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n == node ? nullptr : n->next;
    }
    return false;
}

// A document the editor would refuse to open is never made: an element may nest no deeper than
// a parse lets it. A node moved no deeper than it stood needs no look at its subtree.
void checkDepth(xmlNodePtr parent, xmlNodePtr node) {
    if (node->type != XML_ELEMENT_NODE)
        return;
    const int above = elementDepth(parent);
    xmlNodePtr top = node;
    while (top->parent)
        top = top->parent;
    if (top->type == XML_DOCUMENT_NODE && above + 1 <= elementDepth(node))
        return;
    if (nestsDeeperThan(node, kMaxDepth - above))
        throw XmlError(DepthRefusal());
}

// Checks that putting `node` into `parent` (before `ref`, or in place of `replaced`, or at the
// end) keeps a well-formed document; throws otherwise. Nothing is changed here.
void checkInsert(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref, xmlNodePtr replaced) {
    if (!isContainer(parent))
        throw XmlError(QStringLiteral("This node cannot have child nodes."));
    if (node->type == XML_ATTRIBUTE_NODE)
        throw XmlError(QStringLiteral("An attribute cannot be inserted as a child node."));
    if (!isChildKind(node))
        throw XmlError(QStringLiteral("This kind of node cannot be inserted as a child node."));
    for (xmlNodePtr p = parent; p; p = p->parent) {
        if (p == node)
            throw XmlError(
                QStringLiteral("A node cannot be inserted into itself or one of its descendants."));
    }
    checkDepth(parent, node);
    if (parent->type != XML_DOCUMENT_NODE) {
        if (node->type == XML_DTD_NODE)
            throw XmlError(QStringLiteral(
                "A document type declaration can only stand at the top level of a document."));
        if (isXmlDeclaration(node))
            throw XmlError(
                QStringLiteral("The XML declaration can only stand at the start of the document."));
        return;
    }
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
        throw XmlError(QStringLiteral("Text cannot be inserted at the top level of a document."));
    if (node->type == XML_ENTITY_REF_NODE)
        throw XmlError(QStringLiteral(
            "An entity reference cannot be inserted at the top level of a document."));

    // The document's children as they would be afterwards.
    std::vector<xmlNodePtr> after;
    for (xmlNodePtr c = parent->children; c; c = c->next) {
        if (c == ref)
            after.push_back(node);
        if (c == replaced) {
            after.push_back(node);
            continue;
        }
        if (c != node)
            after.push_back(c);
    }
    if (!ref && !replaced)
        after.push_back(node);

    int elements = 0, doctypes = 0;
    bool elementSeen = false;
    for (size_t i = 0; i < after.size(); ++i) {
        xmlNodePtr c = after[i];
        if (isXmlDeclaration(c) && i != 0)
            throw XmlError(
                QStringLiteral("The XML declaration can only stand at the start of the document."));
        if (c->type == XML_ELEMENT_NODE) {
            ++elements;
            elementSeen = true;
        }
        if (c->type == XML_DTD_NODE) {
            ++doctypes;
            if (elementSeen)
                throw XmlError(QStringLiteral(
                    "The document type declaration must come before the document element."));
        }
    }
    if (elements > 1)
        throw XmlError(QStringLiteral("Only one top level element is allowed in an XML document."));
    if (doctypes > 1)
        throw XmlError(
            QStringLiteral("Only one document type declaration is allowed in an XML document."));
}

// An element made by createElement gets the namespace its name has at the place it is first
// linked to. Worked out before anything changes, so that an undeclared prefix changes nothing.
struct Placement {
    bool pending = false;
    xmlNsPtr ns = nullptr;
    QByteArray localName;
};

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

// Before a node is linked or unlinked: where it stands, and for a document type declaration the
// one the document points to, which libxml2's unlinking and the linking here both set.
void recordPosition(XmlStorage& storage, xmlNodePtr node) {
    if (!storage.journal)
        return;
    if (node->type == XML_DTD_NODE)
        storage.journal->internalSubset();
    storage.journal->position(node);
}

// Whether `node` stands in the document. Only there is every name known to be right where it
// stands: a subtree held outside may point to declarations above the place it was taken from.
bool inDocumentTree(xmlNodePtr node) {
    while (node && node->parent)
        node = node->parent;
    return node && node->type == XML_DOCUMENT_NODE;
}

// Links `node` into `parent` before `ref` (at the end without one). libxml2's own insertion
// functions merge adjacent text nodes and free one of them, which would leave handles dangling,
// so the pointers are set here.
void link(XmlStorage& storage, xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref,
          const Placement& placement = {}) {
    // Where the subtree stands now, or stood until the change just before this one.
    std::optional<std::vector<xmlNsPtr>> scopeBefore;
    if (node->type == XML_ELEMENT_NODE && !placement.pending) {
        if (node->parent && inDocumentTree(node->parent))
            scopeBefore = declarationsInScope(node->parent);
        else if (storage.lastDetached.node == node &&
                 storage.lastDetached.revision == storage.previousRevision)
            scopeBefore = storage.lastDetached.scope;
    }
    recordPosition(storage, node);
    xmlUnlinkNode(node);
    storage.attach(node);
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
        storage.doc->intSubset = reinterpret_cast<xmlDtdPtr>(node);
    if (placement.pending) {
        if (storage.journal) {
            storage.journal->name(node);
            storage.journal->unplaced(node);
        }
        xmlNodeSetName(node, xc(placement.localName));
        node->ns = placement.ns;
        storage.unplaced.erase(node);
    }
    if (!scopeBefore || *scopeBefore != declarationsInScope(parent))
        keepNamespaces(storage.doc, node, storage.journal);
}

// Whether taking the document type declaration away would leave entity references without
// their declaration.
bool hasEntityReferences(xmlDocPtr doc) {
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = doc->children; c; c = c->next)
        stack.push_back(c);
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        if (n->type == XML_ENTITY_REF_NODE)
            return true;
        if (n->type == XML_ELEMENT_NODE) {
            for (xmlNodePtr c = n->children; c; c = c->next)
                stack.push_back(c);
            for (xmlAttrPtr a = n->properties; a; a = a->next) {
                for (xmlNodePtr c = a->children; c; c = c->next)
                    stack.push_back(c);
            }
        }
    }
    return false;
}

void checkRemovable(xmlDocPtr doc, xmlNodePtr node) {
    if (node->type == XML_DTD_NODE && hasEntityReferences(doc))
        throw XmlError(QStringLiteral(
            "The document type declaration cannot be removed while the document uses "
            "the entities it declares."));
}

void detach(XmlStorage& storage, xmlNodePtr node) {
    if (node->type == XML_ELEMENT_NODE)
        storage.lastDetached =
            inDocumentTree(node->parent)
                ? XmlStorage::Detached{node, storage.revision, declarationsInScope(node->parent)}
                : XmlStorage::Detached{};
    recordPosition(storage, node);
    xmlUnlinkNode(node);
    storage.keepDetached(node);
}

} // namespace

// ---- storage ---------------------------------------------------------------------------------

XmlStorage::~XmlStorage() {
    for (xmlNodePtr n : detached) {
        if (n->type == XML_ATTRIBUTE_NODE)
            xmlFreeProp(reinterpret_cast<xmlAttrPtr>(n));
        else
            xmlFreeNode(n);
    }
    for (xmlNsPtr ns : removedDeclarations)
        xmlFreeNs(ns);
    xmlFreeDoc(doc);
}

void XmlStorage::aboutToChange(xmlNodePtr container) {
    if (!journal)
        forgetHistory();
    notifyChange(container);
}

void XmlStorage::notifyChange(xmlNodePtr container) {
    readerGate.stopReader();
    previousRevision = revision;
    revision = nextRevision();
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

std::shared_ptr<XmlStorage> xmlimpl::newStorage(xmlDocPtr doc) {
    auto storage = std::make_shared<XmlStorage>(doc);
    storage->revision = nextRevision();
    return storage;
}

// ---- node ------------------------------------------------------------------------------------

XmlNode XmlNode::fromKey(const Key& key, const Owner& owner) {
    if (!key.node)
        return {};
    // The owner is a storage: one reference more, as for any copy of a handle.
    return XmlNode(static_cast<xmlNodePtr>(const_cast<void*>(key.node)),
                   std::shared_ptr<XmlStorage>(
                       owner, static_cast<XmlStorage*>(const_cast<void*>(owner.get()))),
                   static_cast<xmlNsPtr>(const_cast<void*>(key.declaration)));
}

void XmlNode::requireNode() const {
    if (!m_node)
        throw MissingObjectError();
}

void XmlNode::requireElement(const char* operation) const {
    requireNode();
    if (m_ns || m_node->type != XML_ELEMENT_NODE)
        throw XmlError(
            QStringLiteral("%1 is only possible on an element.").arg(QLatin1String(operation)));
}

void XmlNode::requireContainer() const {
    requireNode();
    if (m_ns || !isContainer(m_node))
        throw XmlError(QStringLiteral("This node cannot have child nodes."));
}

int XmlNode::nodeType() const {
    requireNode();
    if (m_ns)
        return NODE_ATTRIBUTE;
    switch (m_node->type) {
    case XML_ELEMENT_NODE:
        return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE:
        return NODE_ATTRIBUTE;
    case XML_TEXT_NODE:
        return NODE_TEXT;
    case XML_CDATA_SECTION_NODE:
        return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE:
        return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_NODE:
    case XML_ENTITY_DECL:
        return NODE_ENTITY;
    case XML_PI_NODE:
        return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE:
        return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return NODE_DOCUMENT;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE:
        return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE:
        return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE:
        return NODE_NOTATION;
    default:
        return 0;
    }
}

QString XmlNode::nodeName() const {
    requireNode();
    if (m_ns)
        return m_ns->prefix ? QStringLiteral("xmlns:") + qs(m_ns->prefix) : QStringLiteral("xmlns");
    switch (m_node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        return qualifiedName(m_node);
    case XML_TEXT_NODE:
        return QStringLiteral("#text");
    case XML_CDATA_SECTION_NODE:
        return QStringLiteral("#cdata-section");
    case XML_COMMENT_NODE:
        return QStringLiteral("#comment");
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return QStringLiteral("#document");
    case XML_DOCUMENT_FRAG_NODE:
        return QStringLiteral("#document-fragment");
    default:
        return qs(m_node->name);
    }
}

namespace {
// An attribute's value as a reader of the file gets it. A reference to an entity the document
// does not declare (its external subset, never read, may) stays as it is written: what it stands
// for is not known.
QString attributeValue(xmlDocPtr doc, xmlNodePtr attribute) {
    QString value;
    for (xmlNodePtr c = attribute->children; c; c = c->next) {
        if (c->type == XML_ENTITY_REF_NODE && !xmlGetDocEntity(doc, c->name)) {
            value += QLatin1Char('&') + qs(c->name) + QLatin1Char(';');
            continue;
        }
        xmlChar* content = xmlNodeGetContent(c);
        value += qs(content);
        xmlFree(content);
    }
    return value;
}
} // namespace

QString XmlNode::text() const {
    requireNode();
    if (m_ns)
        return qs(m_ns->href);
    switch (m_node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return qs(m_node->content);
    case XML_ATTRIBUTE_NODE:
        return attributeValue(m_storage->doc, m_node);
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
        return descendantText(m_storage->doc, m_node);
    case XML_ENTITY_REF_NODE: {
        xmlEntityPtr entity = xmlGetDocEntity(m_storage->doc, m_node->name);
        return entity ? descendantText(m_storage->doc, reinterpret_cast<xmlNodePtr>(entity))
                      : QString();
    }
    default:
        return {};
    }
}

void XmlNode::setText(const QString& given) {
    requireNode();
    // A declaration's value is its namespace name, checked like any new one.
    if (m_ns)
        return XmlNode(m_node, m_storage).setAttribute(nodeName(), given);
    const bool unreadableCr = m_node->type == XML_COMMENT_NODE || m_node->type == XML_PI_NODE ||
                              m_node->type == XML_CDATA_SECTION_NODE;
    const QString value = unreadableCr ? asReadBack(given, m_node->type == XML_PI_NODE) : given;
    checkChars(value);
    const QByteArray utf8 = value.toUtf8();
    switch (m_node->type) {
    case XML_COMMENT_NODE:
        checkComment(value);
        break;
    case XML_PI_NODE:
        checkPI(qs(m_node->name), value);
        break;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_ELEMENT_NODE:
        break;
    default:
        throw XmlError(QStringLiteral("The text of this kind of node cannot be changed."));
    }
    m_storage->aboutToChange(m_node->parent ? m_node->parent : m_node);
    if (m_node->type == XML_ATTRIBUTE_NODE) {
        setAttributeValue(*m_storage, reinterpret_cast<xmlAttrPtr>(m_node), value);
    } else if (m_node->type == XML_ELEMENT_NODE) {
        m_storage->aboutToChange(m_node);
        while (m_node->children)
            detach(*m_storage, m_node->children);
        if (!value.isEmpty())
            link(*m_storage, m_node, xmlNewDocText(m_storage->doc, xc(utf8)), nullptr);
    } else {
        if (m_storage->journal)
            m_storage->journal->content(m_node);
        xmlNodeSetContent(m_node, xc(utf8));
    }
}

QString XmlNode::xml() const {
    requireNode();
    if (m_ns || m_node->type == XML_ATTRIBUTE_NODE) {
        QString value = text();
        value.replace(QLatin1Char('&'), QLatin1String("&amp;"))
            .replace(QLatin1Char('<'), QLatin1String("&lt;"))
            .replace(QLatin1Char('"'), QLatin1String("&quot;"));
        return nodeName() + QStringLiteral("=\"") + value + QLatin1Char('"');
    }
    QByteArray out = serialize(*m_storage, m_node);
    if (m_node->type != XML_DOCUMENT_NODE && out.endsWith('\n'))
        out.chop(1);
    return QString::fromUtf8(out);
}

XmlNode XmlNode::ownerElement() const {
    requireNode();
    if (m_ns)
        return XmlNode(m_node, m_storage);
    if (m_node->type != XML_ATTRIBUTE_NODE || !m_node->parent)
        return {};
    return XmlNode(m_node->parent, m_storage);
}

XmlNode XmlNode::parentNode() const {
    requireNode();
    if (m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->parent)
        return {};
    return XmlNode(m_node->parent, m_storage);
}

namespace {
bool hasVisibleChildren(xmlNodePtr n) {
    return isContainer(n);
}
} // namespace

XmlNode XmlNode::firstChild() const {
    requireNode();
    if (m_ns || !hasVisibleChildren(m_node) || !m_node->children)
        return {};
    return XmlNode(m_node->children, m_storage);
}

XmlNode XmlNode::lastChild() const {
    requireNode();
    if (m_ns || !hasVisibleChildren(m_node) || !m_node->last)
        return {};
    return XmlNode(m_node->last, m_storage);
}

XmlNode XmlNode::nextSibling() const {
    requireNode();
    if (m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->next)
        return {};
    return XmlNode(m_node->next, m_storage);
}

XmlNode XmlNode::previousSibling() const {
    requireNode();
    if (m_ns || m_node->type == XML_ATTRIBUTE_NODE || !m_node->prev)
        return {};
    return XmlNode(m_node->prev, m_storage);
}

bool XmlNode::hasChildNodes() const {
    return !firstChild().isNull();
}

XmlNodeList XmlNode::childNodes() const {
    std::vector<XmlNode> nodes;
    for (XmlNode c = firstChild(); c; c = c.nextSibling())
        nodes.push_back(c);
    return XmlNodeList(std::move(nodes));
}

XmlNamedNodeMap XmlNode::attributes() const {
    requireNode();
    return XmlNamedNodeMap(!m_ns && m_node->type == XML_ELEMENT_NODE ? *this : XmlNode());
}

bool XmlNode::hasAttributes() const {
    requireNode();
    return !m_ns && m_node->type == XML_ELEMENT_NODE && (m_node->properties || m_node->nsDef);
}

XmlDocument XmlNode::ownerDocument() const {
    requireNode();
    auto object = m_storage->owner.lock();
    if (object && object->storage == m_storage)
        return XmlDocument(object);
    // The document was reloaded since: this node belongs to its earlier content.
    auto earlier = std::make_shared<XmlDocumentObject>();
    earlier->storage = m_storage;
    return XmlDocument(earlier);
}

bool XmlNode::isAttachedToDocument() const {
    requireNode();
    xmlNodePtr n = m_node;
    while (n && n->type != XML_DOCUMENT_NODE)
        n = n->parent;
    return n == reinterpret_cast<xmlNodePtr>(m_storage->doc);
}

qsizetype XmlNode::startTagsBefore() const {
    requireElement("startTagsBefore");
    qsizetype count = 0;
    xmlNodePtr top = m_node;
    while (top->parent)
        top = top->parent;
    for (xmlNodePtr n = top; n && n != m_node;) {
        if (n->type == XML_ELEMENT_NODE)
            ++count;
        if ((n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE) && n->children) {
            n = n->children;
            continue;
        }
        while (n && !n->next)
            n = n->parent;
        if (n)
            n = n->next;
    }
    return count;
}

// ---- tree changes ----------------------------------------------------------------------------

namespace {
void requireSameDocument(const XmlNode& a, const XmlNode& b) {
    if (b.isNull())
        throw XmlError(QStringLiteral("The node to insert does not exist."));
    if (a.storage() != b.storage())
        throw XmlError(QStringLiteral("The node belongs to a different document."));
}

void requireChild(const XmlNode& parent, const XmlNode& child) {
    if (child.isNull() || child.storage() != parent.storage() || child.isNamespaceDeclaration() ||
        child.raw()->type == XML_ATTRIBUTE_NODE || child.raw()->parent != parent.raw())
        throw XmlError(QStringLiteral("The node is not a child of this node."));
}
} // namespace

XmlNode XmlNode::appendChild(const XmlNode& newChild) {
    return insertBefore(newChild, XmlNode());
}

XmlNode XmlNode::insertBefore(const XmlNode& newChild, const XmlNode& refChild) {
    requireContainer();
    requireSameDocument(*this, newChild);
    if (!refChild.isNull())
        requireChild(*this, refChild);
    if (newChild.m_ns)
        throw XmlError(QStringLiteral("An attribute cannot be inserted as a child node."));
    if (newChild == refChild)
        return newChild;
    checkInsert(m_node, newChild.m_node, refChild.m_node, nullptr);
    const Placement placement = placementFor(*m_storage, newChild.m_node, m_node);
    if (xmlNodePtr oldParent = newChild.m_node->parent)
        m_storage->aboutToChange(oldParent);
    m_storage->aboutToChange(m_node);
    link(*m_storage, m_node, newChild.m_node, refChild.m_node, placement);
    return newChild;
}

XmlNode XmlNode::removeChild(const XmlNode& oldChild) {
    requireContainer();
    requireChild(*this, oldChild);
    checkRemovable(m_storage->doc, oldChild.m_node);
    m_storage->aboutToChange(m_node);
    detach(*m_storage, oldChild.m_node);
    return oldChild;
}

XmlNode XmlNode::replaceChild(const XmlNode& newChild, const XmlNode& oldChild) {
    requireContainer();
    requireSameDocument(*this, newChild);
    requireChild(*this, oldChild);
    if (newChild.m_ns)
        throw XmlError(QStringLiteral("An attribute cannot be inserted as a child node."));
    if (newChild == oldChild)
        return oldChild;
    checkInsert(m_node, newChild.m_node, nullptr, oldChild.m_node);
    checkRemovable(m_storage->doc, oldChild.m_node);
    const Placement placement = placementFor(*m_storage, newChild.m_node, m_node);
    if (xmlNodePtr oldParent = newChild.m_node->parent)
        m_storage->aboutToChange(oldParent);
    m_storage->aboutToChange(m_node);
    link(*m_storage, m_node, newChild.m_node, oldChild.m_node, placement);
    detach(*m_storage, oldChild.m_node);
    return oldChild;
}

XmlNode XmlNode::cloneNode(bool deep) const {
    requireNode();
    if (m_ns || m_node->type == XML_DOCUMENT_NODE || m_node->type == XML_DTD_NODE)
        throw XmlError(QStringLiteral("This kind of node cannot be copied."));
    xmlNodePtr copy = xmlDocCopyNode(m_node, m_storage->doc, deep ? 1 : 2);
    if (!copy)
        throw XmlError(QStringLiteral("The node could not be copied."));
    keepCopiedNamespaces(m_node, copy, true);
    m_storage->keepDetached(copy);
    if (m_storage->unplaced.count(m_node))
        m_storage->unplaced.insert(copy);
    return XmlNode(copy, m_storage);
}

// ---- attributes ------------------------------------------------------------------------------

namespace {
const char* const kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

// A declaration's prefix (nullptr for the default namespace) after the checks a parser with
// namespaces would make of `name="value"`.
QByteArray declaredPrefix(const QString& name, const QString& value) {
    const QByteArray prefix = name.mid(6).toUtf8();
    if (name.size() > 5 && (prefix.isEmpty() || prefix.contains(':')))
        throw XmlError(QStringLiteral("'%1' is not a valid attribute name.").arg(name));
    if (prefix == "xml" || prefix == "xmlns")
        throw XmlError(
            QStringLiteral("The prefix '%1' is reserved.").arg(QString::fromUtf8(prefix)));
    if (!prefix.isEmpty() && value.isEmpty())
        throw XmlError(QStringLiteral("The namespace declaration '%1' cannot be empty.").arg(name));
    const QByteArray uri = value.toUtf8();
    if (uri == reinterpret_cast<const char*>(XML_XML_NAMESPACE) || uri == kXmlnsNamespace)
        throw XmlError(QStringLiteral("The namespace name '%1' is reserved.").arg(value));
    // A parser with namespaces refuses a namespace name that is no URI reference.
    if (!uri.isEmpty()) {
        xmlURIPtr parsedUri = xmlParseURI(uri.constData());
        xmlFreeURI(parsedUri);
        if (!parsedUri)
            throw XmlError(QStringLiteral("'%1' is not a valid namespace name.").arg(value));
    }
    return prefix;
}

// Two attributes of one element may not share namespace and local name.
void refuseTwin(const XmlNode& element, const QByteArray& local, const xmlChar* uri,
                const QString& name) {
    if (xmlAttrPtr twin = xmlHasNsProp(element.raw(), xc(local), uri))
        throw XmlError(
            QStringLiteral("The attribute '%1' has the same namespace and name as '%2'.")
                .arg(name,
                     XmlNode(reinterpret_cast<xmlNodePtr>(twin), element.storage()).nodeName()));
}

bool isDeclarationName(const QString& name) {
    return name == QLatin1String("xmlns") || name.startsWith(QLatin1String("xmlns:"));
}
} // namespace

// A declaration may change only where no name in its scope would change namespace; an attribute
// name takes the namespace its prefix has at the element.
void XmlNode::setAttribute(const QString& name, const QString& value) {
    requireElement("Setting an attribute");
    checkName(name, "attribute");
    checkChars(value);
    const QByteArray utf8 = value.toUtf8();
    XmlNode existing = attributes().getNamedItem(name);
    if (isDeclarationName(name)) {
        const QByteArray prefix = declaredPrefix(name, value);
        const xmlChar* p = prefix.isEmpty() ? nullptr : xc(prefix);
        checkDeclarationChange(m_storage->doc, m_node, p, xc(utf8));
        m_storage->aboutToChange(m_node);
        if (XmlJournal* journal = m_storage->journal) {
            if (existing)
                journal->href(m_node, existing.m_ns);
            else
                journal->declarations(m_node);
        }
        if (existing) {
            xmlFree(const_cast<xmlChar*>(existing.m_ns->href));
            existing.m_ns->href = xmlStrdup(xc(utf8));
        } else if (!xmlNewNs(m_node, xc(utf8), p)) {
            throw XmlError(
                QStringLiteral("The namespace declaration '%1' cannot be added.").arg(name));
        }
        return;
    }
    if (existing) {
        m_storage->aboutToChange(m_node);
        setAttributeValue(*m_storage, reinterpret_cast<xmlAttrPtr>(existing.m_node), value);
        return;
    }
    xmlNsPtr ns = namespaceForName(m_storage->doc, m_node, m_node->parent, name, true);
    const QByteArray local = name.mid(name.indexOf(QLatin1Char(':')) + 1).toUtf8();
    if (ns)
        refuseTwin(*this, local, ns->href, name);
    m_storage->aboutToChange(m_node);
    xmlAttrPtr added = xmlSetNsProp(m_node, ns, xc(local), xc(utf8));
    if (added && m_storage->journal)
        m_storage->journal->created(reinterpret_cast<xmlNodePtr>(added));
}

void XmlNode::setAttribute(const QString& name, const QString& value, const QString& namespaceUri) {
    // The prefix xml is bound everywhere, and to nothing else.
    if (namespaceUri.isEmpty() || isDeclarationName(name) ||
        name.startsWith(QLatin1String("xml:")) || !attributes().getNamedItem(name).isNull())
        return setAttribute(name, value);
    requireElement("Setting an attribute");
    checkName(name, "attribute");
    checkChars(value);
    checkQualifiedName(name, true);
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    const QByteArray prefix = colon > 0 ? name.left(colon).toUtf8() : QByteArray();
    const QByteArray local = name.mid(colon + 1).toUtf8();
    const QByteArray uri = namespaceUri.toUtf8();
    refuseTwin(*this, local, xc(uri), name);
    m_storage->aboutToChange(m_node);
    // The attribute first points to a declaration of its own, which the element's scope then
    // replaces by one that is in force there.
    xmlNsPtr wanted = xmlNewNs(nullptr, xc(uri), prefix.isEmpty() ? nullptr : xc(prefix));
    xmlAttrPtr added = xmlSetNsProp(m_node, wanted, xc(local), xc(value.toUtf8()));
    if (added && m_storage->journal)
        m_storage->journal->created(reinterpret_cast<xmlNodePtr>(added));
    keepAttributeNamespaces(m_storage->doc, m_node, m_storage->journal);
    // Undoing the repoint gives the attribute this declaration back for a moment.
    if (m_storage->journal)
        m_storage->removedDeclarations.insert(wanted);
    else
        xmlFreeNs(wanted);
}

void XmlNode::rename(const QString& name) {
    requireElement("Renaming");
    checkName(name, "element");
    // A created element not yet linked keeps its whole name until it is placed.
    if (m_storage->unplaced.count(m_node)) {
        checkQualifiedName(name, false);
        m_storage->aboutToChange(m_node);
        if (m_storage->journal)
            m_storage->journal->name(m_node);
        xmlNodeSetName(m_node, xc(name.toUtf8()));
        return;
    }
    xmlNsPtr ns = namespaceForName(m_storage->doc, m_node, m_node->parent, name, false);
    m_storage->aboutToChange(m_node);
    if (m_storage->journal)
        m_storage->journal->name(m_node);
    xmlNodeSetName(m_node, xc(name.mid(name.indexOf(QLatin1Char(':')) + 1).toUtf8()));
    m_node->ns = ns;
}

QString XmlNode::namespaceURI() const {
    requireNode();
    if (m_ns)
        return QString::fromLatin1(kXmlnsNamespace);
    if ((m_node->type == XML_ELEMENT_NODE || m_node->type == XML_ATTRIBUTE_NODE) && m_node->ns)
        return qs(m_node->ns->href);
    return {};
}

void XmlNode::removeAttribute(const QString& name) {
    requireElement("Removing an attribute");
    attributes().removeNamedItem(name);
}

int XmlNamedNodeMap::length() const {
    return static_cast<int>(toVector().size());
}

XmlNode XmlNamedNodeMap::item(int index) const {
    const auto all = toVector();
    return index >= 0 && index < static_cast<int>(all.size()) ? all[static_cast<size_t>(index)]
                                                              : XmlNode();
}

std::vector<XmlNode> XmlNamedNodeMap::toVector() const {
    std::vector<XmlNode> out;
    if (m_owner.isNull())
        return out;
    xmlNodePtr element = m_owner.raw();
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        out.emplace_back(element, m_owner.storage(), ns);
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        out.emplace_back(reinterpret_cast<xmlNodePtr>(a), m_owner.storage());
    return out;
}

XmlNode XmlNamedNodeMap::getNamedItem(const QString& name) const {
    for (const XmlNode& a : toVector()) {
        if (a.nodeName() == name)
            return a;
    }
    return {};
}

XmlNode XmlNamedNodeMap::removeNamedItem(const QString& name) {
    XmlNode found = getNamedItem(name);
    if (found.isNull())
        return {};
    XmlStorage& storage = *m_owner.storage();
    xmlNodePtr element = m_owner.raw();
    if (xmlNsPtr declaration = found.rawNamespace()) {
        checkDeclarationChange(storage.doc, element, declaration->prefix, nullptr);
        storage.aboutToChange(element);
        if (storage.journal)
            storage.journal->declarations(element);
        xmlNsPtr* link = &element->nsDef;
        while (*link != declaration)
            link = &(*link)->next;
        *link = declaration->next;
        declaration->next = nullptr;
        storage.removedDeclarations.insert(declaration);
        return found;
    }
    storage.aboutToChange(element);
    detach(storage, found.raw());
    return found;
}

// ---- listeners -------------------------------------------------------------------------------

void XmlNode::addChangeListener(XmlChangeListener* listener) const {
    requireNode();
    auto& l = m_storage->listeners;
    if (std::find(l.begin(), l.end(), listener) == l.end())
        l.push_back(listener);
}

void XmlNode::removeChangeListener(XmlChangeListener* listener) const {
    requireNode();
    auto& l = m_storage->listeners;
    l.erase(std::remove(l.begin(), l.end(), listener), l.end());
}
