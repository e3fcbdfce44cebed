// Node handles over libxml2: what a node is and holds, and the way about the tree.

#include "platform/xml/xmlnode.h"

#include "platform/xml/xmlchecks.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlserialize.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/entities.h>
#include <libxml/tree.h>

#include <algorithm>

using namespace xmlimpl;

namespace {

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

} // namespace

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
    return contentFromUtf8(out);
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
