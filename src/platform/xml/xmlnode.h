#pragma once

#include <QString>
#include <memory>
#include <vector>

struct _xmlNode;
struct _xmlNs;

class XmlDocument;
class XmlNode;
class XmlNodeList;
class XmlNamedNodeMap;
struct XmlStorage;

// Node type codes as the tree and the commands use them.
enum XmlNodeType {
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12
};

// Told before the XML layer changes a node's content, its children or its attributes, so that
// lazily built views of that node can catch up with the state they were promised.
class XmlChangeListener {
public:
    virtual ~XmlChangeListener() = default;
    virtual void aboutToChange(const XmlNode& container) = 0;
};

// A handle to one node. It keeps the node's document storage alive, so it stays valid while
// held: after the node was removed from its tree and after its document was released or
// reloaded. Handles compare equal when they show the same node.
class XmlNode {
public:
    XmlNode() = default;

    bool isNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }
    bool operator==(const XmlNode& other) const {
        return m_node == other.m_node && m_ns == other.m_ns;
    }
    bool operator!=(const XmlNode& other) const { return !(*this == other); }

    int nodeType() const;
    QString nodeName() const;
    // Text content: the data of a text-like node, an attribute's value, the concatenated
    // descendant text of an element or document.
    QString text() const;
    void setText(const QString& value);
    // The node and its subtree as markup.
    QString xml() const;

    XmlNode parentNode() const;
    // The element an attribute or a namespace declaration belongs to; null for other nodes.
    XmlNode ownerElement() const;
    XmlNode firstChild() const;
    XmlNode lastChild() const;
    XmlNode nextSibling() const;
    XmlNode previousSibling() const;
    bool hasChildNodes() const;
    XmlNodeList childNodes() const;
    XmlNamedNodeMap attributes() const;
    bool hasAttributes() const;
    XmlDocument ownerDocument() const;

    // Tree changes. Each checks first and throws XmlError with the document unchanged when the
    // result would not be a well-formed document.
    XmlNode appendChild(const XmlNode& newChild);
    XmlNode insertBefore(const XmlNode& newChild, const XmlNode& refChild);
    XmlNode removeChild(const XmlNode& oldChild);
    XmlNode replaceChild(const XmlNode& newChild, const XmlNode& oldChild);
    // A copy owned by the same document, not in its tree.
    XmlNode cloneNode(bool deep) const;

    // The namespace URI of an element or attribute, empty for none.
    QString namespaceURI() const;

    // Element operations. A prefix in a name must be declared in scope; a namespace declaration
    // cannot change the namespace of a name in its scope. Both throw XmlError otherwise.
    void setAttribute(const QString& name, const QString& value);
    // Sets an attribute in the given namespace: its prefix is declared on the element when it
    // means nothing there, another prefix is used when it means something else.
    void setAttribute(const QString& name, const QString& value, const QString& namespaceUri);
    // Renames the element where it stands, keeping its identity, attributes and children; the
    // name's prefix, or its absence, takes the namespace in scope there.
    void rename(const QString& name);
    void removeAttribute(const QString& name);

    // XPath 1.0 from this node.
    XmlNode selectSingleNode(const QString& query) const;
    XmlNodeList selectNodes(const QString& query) const;

    // Whether the node is in its document's tree (false for created, cloned and removed nodes).
    bool isAttachedToDocument() const;
    // How many start tags the document's text holds before this element's own: the elements that
    // come before it in document order, its ancestors among them (an entity's content is not in
    // the text, so not counted).
    qsizetype startTagsBefore() const;

    void addChangeListener(XmlChangeListener* listener) const;
    void removeChangeListener(XmlChangeListener* listener) const;

    // A handle taken apart, for a store that keeps millions compactly: `key` tells the node (and
    // the namespace declaration shown, if any) within its document; `owner` keeps the document's
    // storage alive and is the same for every node of it, so it can be held once.
    struct Key {
        const void* node = nullptr;
        const void* declaration = nullptr;
        bool operator==(const Key&) const = default;
    };
    using Owner = std::shared_ptr<const void>;
    Key key() const { return {m_node, m_ns}; }
    Owner owner() const { return m_storage; }
    static XmlNode fromKey(const Key& key, const Owner& owner);

    // For the XML layer's own use.
    XmlNode(_xmlNode* node, std::shared_ptr<XmlStorage> storage, _xmlNs* ns = nullptr)
        : m_node(node), m_ns(ns), m_storage(std::move(storage)) {}
    _xmlNode* raw() const { return m_node; }
    bool isNamespaceDeclaration() const { return m_ns != nullptr; }
    _xmlNs* rawNamespace() const { return m_ns; }
    const std::shared_ptr<XmlStorage>& storage() const { return m_storage; }

private:
    void requireNode() const;
    void requireElement(const char* operation) const;
    void requireContainer() const;

    _xmlNode* m_node = nullptr;
    _xmlNs* m_ns = nullptr; // set for a namespace declaration shown as an attribute of m_node
    std::shared_ptr<XmlStorage> m_storage;
};

class XmlNodeList {
public:
    XmlNodeList() = default;
    explicit XmlNodeList(std::vector<XmlNode> nodes) : m_nodes(std::move(nodes)) {}
    int length() const { return static_cast<int>(m_nodes.size()); }
    XmlNode item(int index) const {
        return index >= 0 && index < length() ? m_nodes[static_cast<size_t>(index)] : XmlNode();
    }
    auto begin() const { return m_nodes.begin(); }
    auto end() const { return m_nodes.end(); }

private:
    std::vector<XmlNode> m_nodes;
};

// An element's attributes: its namespace declarations first, then its attributes, in document
// order.
class XmlNamedNodeMap {
public:
    explicit XmlNamedNodeMap(XmlNode owner) : m_owner(std::move(owner)) {}
    int length() const;
    XmlNode item(int index) const;
    XmlNode getNamedItem(const QString& name) const;
    XmlNode removeNamedItem(const QString& name);
    std::vector<XmlNode> toVector() const;

private:
    XmlNode m_owner;
};
