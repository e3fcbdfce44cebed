// A node's path, step by step from the document down, in the terms the Query Analyzer registers.

#include "platform/xml/xmlpath.h"

#include "platform/xml/xmlquery.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/tree.h>

using namespace xmlimpl;

namespace {

bool isXmlDeclaration(xmlNodePtr n) {
    return n->type == XML_PI_NODE && n->parent && n->parent->type == XML_DOCUMENT_NODE &&
           xmlStrEqual(n->name, BAD_CAST "xml");
}

QString literal(const QString& text) {
    return text.contains(u'\'') ? u'"' + text + u'"' : u'\'' + text + u'\'';
}

// How queries name a namespace: the document element's own prefix for it, its default namespace
// under the registered prefix; nothing when the document element does not declare it.
class Names {
public:
    Names(xmlNodePtr root, const XmlNode& documentElement)
        : m_root(root), m_defaultPrefix(DefaultNamespacePrefix(documentElement)) {}

    QString test(xmlNsPtr ns, const xmlChar* local, bool attribute) const {
        const QString name = qs(local);
        if (!ns || !ns->href)
            return attribute ? u'@' + name : name;
        if (xmlStrEqual(ns->href, BAD_CAST "http://www.w3.org/XML/1998/namespace"))
            return (attribute ? QStringLiteral("@xml:") : QStringLiteral("xml:")) + name;
        const QString prefix = prefixFor(ns);
        if (!prefix.isEmpty())
            return (attribute ? QStringLiteral("@") : QString()) + prefix + u':' + name;
        return (attribute ? QStringLiteral("@*") : QStringLiteral("*")) +
               QStringLiteral("[local-name()=%1 and namespace-uri()=%2]")
                   .arg(literal(name), literal(qs(ns->href)));
    }

private:
    QString prefixFor(xmlNsPtr ns) const {
        for (xmlNsPtr d = m_root ? m_root->nsDef : nullptr; d; d = d->next) {
            if (!xmlStrEqual(d->href, ns->href))
                continue;
            if (d->prefix && (!ns->prefix || xmlStrEqual(d->prefix, ns->prefix)))
                return qs(d->prefix);
            if (!d->prefix && !ns->prefix)
                return m_defaultPrefix;
        }
        return {};
    }

    xmlNodePtr m_root;
    QString m_defaultPrefix;
};

// Whether two siblings answer the same node test.
bool sameTest(xmlNodePtr a, xmlNodePtr b) {
    const auto textual = [](xmlNodePtr n) {
        return n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE;
    };
    if (textual(a) || textual(b))
        return textual(a) && textual(b);
    if (a->type != b->type)
        return false;
    if (a->type == XML_ELEMENT_NODE)
        return xmlStrEqual(a->name, b->name) &&
               (a->ns && b->ns ? xmlStrEqual(a->ns->href, b->ns->href) : a->ns == b->ns);
    if (a->type == XML_PI_NODE)
        return xmlStrEqual(a->name, b->name);
    return true;
}

} // namespace

struct XPathMemoAccess {
    using Entry = XPathMemo::Entry;
    static const Entry* find(const XPathMemo* memo, xmlNodePtr node) {
        if (memo) {
            for (const Entry& e : memo->m_entries) {
                if (e.node == node)
                    return &e;
            }
        }
        return nullptr;
    }
    static void keep(XPathMemo* memo, xmlNodePtr node, int index, bool many) {
        if (memo)
            memo->m_entries[memo->m_next++ % memo->m_entries.size()] = {node, index, many};
    }
};

namespace {

// "[n]" among the parent's nodes answering the same test, when there is more than one. The count
// goes back to the first such sibling, or to one whose position the memo has.
QString position(xmlNodePtr node, XPathMemo* memo) {
    if (const auto* known = XPathMemoAccess::find(memo, node))
        return known->many ? QStringLiteral("[%1]").arg(known->index) : QString();
    int index = 1;
    for (xmlNodePtr s = node->prev; s; s = s->prev) {
        if (isXmlDeclaration(s) || !sameTest(s, node))
            continue;
        if (const auto* known = XPathMemoAccess::find(memo, s)) {
            index += known->index;
            break;
        }
        ++index;
    }
    bool many = index > 1;
    for (xmlNodePtr s = node->next; s && !many; s = s->next)
        many = !isXmlDeclaration(s) && sameTest(s, node);
    XPathMemoAccess::keep(memo, node, index, many);
    return many ? QStringLiteral("[%1]").arg(index) : QString();
}

QString step(xmlNodePtr node, const Names& names, XPathMemo* memo) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
        return names.test(node->ns, node->name, false) + position(node, memo);
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
        return QStringLiteral("text()") + position(node, memo);
    case XML_COMMENT_NODE:
        return QStringLiteral("comment()") + position(node, memo);
    case XML_PI_NODE:
        return QStringLiteral("processing-instruction(%1)").arg(literal(qs(node->name))) +
               position(node, memo);
    default:
        return {};
    }
}

QString pathOf(const XmlNode& node, XPathMemo* memo) {
    xmlNodePtr n = node.raw();
    if (!n || !n->doc || !node.isAttachedToDocument())
        return {};
    xmlNodePtr root = xmlDocGetRootElement(n->doc);
    const Names names(root, XmlNode(root, node.storage()));
    QString tail;
    if (node.isNamespaceDeclaration()) {
        xmlNsPtr ns = node.rawNamespace();
        tail = ns->prefix ? QStringLiteral("/namespace::") + qs(ns->prefix)
                          : QStringLiteral("/namespace::*[name()='']");
    } else if (n->type == XML_ATTRIBUTE_NODE) {
        tail = u'/' + names.test(n->ns, n->name, true);
        n = n->parent;
    } else if (isXmlDeclaration(n)) {
        return {};
    }
    QString path;
    for (; n && n->type != XML_DOCUMENT_NODE; n = n->parent) {
        const QString s = step(n, names, memo);
        if (s.isEmpty())
            return {};
        path.prepend(u'/' + s);
    }
    return path + tail;
}

} // namespace

QString XPathOf(const XmlNode& node) {
    return pathOf(node, nullptr);
}

QString XPathOf(const XmlNode& node, XPathMemo& memo) {
    return pathOf(node, &memo);
}
