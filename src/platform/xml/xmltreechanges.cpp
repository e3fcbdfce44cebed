// Tree changes: each primitive checks first, with nothing changed when a check throws, then makes
// its change through one XmlEdit.

#include "platform/xml/xmlnode.h"

#include "platform/xml/xmlchecks.h"
#include "platform/xml/xmledit.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlnamespaces.h"
#include "platform/xml/xmlstorage.h"

using namespace xmlimpl;

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
    xmlNodePtr container = m_node->parent ? m_node->parent : m_node;
    if (m_node->type == XML_ELEMENT_NODE) {
        XmlEdit edit(*m_storage, {container, m_node});
        while (m_node->children)
            edit.detach(m_node->children);
        if (!value.isEmpty())
            edit.link(m_node, xmlNewDocText(m_storage->doc, xc(utf8)), nullptr);
        return;
    }
    XmlEdit edit(*m_storage, {container});
    if (m_node->type == XML_ATTRIBUTE_NODE)
        edit.setAttributeValue(reinterpret_cast<xmlAttrPtr>(m_node), value);
    else
        edit.setContent(m_node, utf8);
}


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
    XmlEdit edit(*m_storage, {newChild.m_node->parent, m_node});
    edit.link(m_node, newChild.m_node, refChild.m_node, placement);
    return newChild;
}

XmlNode XmlNode::removeChild(const XmlNode& oldChild) {
    requireContainer();
    requireChild(*this, oldChild);
    checkRemovable(m_storage->doc, oldChild.m_node);
    XmlEdit edit(*m_storage, {m_node});
    edit.detach(oldChild.m_node);
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
    XmlEdit edit(*m_storage, {newChild.m_node->parent, m_node});
    edit.link(m_node, newChild.m_node, oldChild.m_node, placement);
    edit.detach(oldChild.m_node);
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
