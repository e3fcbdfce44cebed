// Attributes and namespace declarations, and renaming: each primitive checks first, with nothing
// changed when a check throws, then makes its change through one XmlEdit.

#include "platform/xml/xmlnode.h"

#include "platform/xml/xmlchecks.h"
#include "platform/xml/xmledit.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlnamespaces.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/uri.h>

using namespace xmlimpl;

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
    if (!uri.isEmpty() && !isRereadableNamespaceName(uri))
        throw XmlError(QStringLiteral("'%1' is not a valid namespace name.").arg(value));
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
        XmlEdit edit(*m_storage, {m_node});
        if (existing) {
            edit.setHref(m_node, existing.m_ns, utf8);
        } else if (!edit.addDeclaration(m_node, utf8, p)) {
            throw XmlError(
                QStringLiteral("The namespace declaration '%1' cannot be added.").arg(name));
        }
        return;
    }
    if (existing) {
        XmlEdit(*m_storage, {m_node})
            .setAttributeValue(reinterpret_cast<xmlAttrPtr>(existing.m_node), value);
        return;
    }
    xmlNsPtr ns = namespaceForName(m_storage->doc, m_node, m_node->parent, name, true);
    const QByteArray local = name.mid(name.indexOf(QLatin1Char(':')) + 1).toUtf8();
    if (ns)
        refuseTwin(*this, local, ns->href, name);
    XmlEdit(*m_storage, {m_node}).addAttribute(m_node, ns, local, utf8);
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
    XmlEdit edit(*m_storage, {m_node});
    // The attribute first points to a declaration of its own, which the element's scope then
    // replaces by one that is in force there; undoing the repoint gives it back for a moment.
    xmlNsPtr wanted = xmlNewNs(nullptr, xc(uri), prefix.isEmpty() ? nullptr : xc(prefix));
    edit.addAttribute(m_node, wanted, local, value.toUtf8());
    edit.repairAttributeNamespaces(m_node);
    edit.dropDeclaration(wanted);
}

void XmlNode::rename(const QString& name) {
    requireElement("Renaming");
    checkName(name, "element");
    // A created element not yet linked keeps its whole name until it is placed.
    if (m_storage->unplaced.count(m_node)) {
        checkQualifiedName(name, false);
        XmlEdit(*m_storage, {m_node}).setName(m_node, name.toUtf8());
        return;
    }
    xmlNsPtr ns = namespaceForName(m_storage->doc, m_node, m_node->parent, name, false);
    XmlEdit(*m_storage, {m_node})
        .setName(m_node, name.mid(name.indexOf(QLatin1Char(':')) + 1).toUtf8(), ns);
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
        XmlEdit(storage, {element}).removeDeclaration(element, declaration);
        return found;
    }
    XmlEdit(storage, {element}).detach(found.raw());
    return found;
}
