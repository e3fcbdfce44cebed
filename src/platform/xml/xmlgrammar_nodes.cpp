// The grammar's questions asked about the Document's own nodes: an element's place is the names
// on the way down to it and the names of its siblings.

#include "platform/xml/xmlgrammar.h"

#include "platform/xml/xmlnode.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/tree.h>

using namespace xmlimpl;

namespace {

GrammarName nameOf(const Grammar& grammar, xmlNodePtr node) {
    if (!grammar.usesNamespaces()) {
        const QString local = qs(node->name);
        return {{}, node->ns && node->ns->prefix ? qs(node->ns->prefix) + u':' + local : local};
    }
    return {node->ns ? qs(node->ns->href) : QString(), qs(node->name)};
}

QList<GrammarName> pathTo(const Grammar& grammar, xmlNodePtr element) {
    QList<GrammarName> path;
    for (xmlNodePtr at = element; at && at->type == XML_ELEMENT_NODE; at = at->parent)
        path.prepend(nameOf(grammar, at));
    return path;
}

// The names of `parent`'s element children, those before `stop` in `before` and the rest in
// `after` (`stop` itself in neither when `skipStop`).
void siblings(const Grammar& grammar, xmlNodePtr parent, xmlNodePtr stop, bool skipStop,
              QList<GrammarName>& before, QList<GrammarName>& after) {
    bool past = false;
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child == stop) {
            past = true;
            if (skipStop)
                continue;
        }
        if (child->type == XML_ELEMENT_NODE)
            (past ? after : before).append(nameOf(grammar, child));
    }
}

xmlNodePtr elementChild(xmlNodePtr parent, int index) {
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && index-- == 0)
            return child;
    }
    return nullptr;
}

} // namespace

int DeclOf(const Grammar& grammar, const XmlNode& element) {
    xmlNodePtr node = element.raw();
    if (!node || node->type != XML_ELEMENT_NODE)
        return -1;
    return grammar.declFor(pathTo(grammar, node), true);
}

QList<GrammarName> ElementsAllowedIn(const Grammar& grammar, const XmlNode& parent, int before) {
    xmlNodePtr node = parent.raw();
    if (!node || node->type != XML_ELEMENT_NODE)
        return {};
    QList<GrammarName> pre, post;
    xmlNodePtr stop = before < 0 ? nullptr : elementChild(node, before);
    siblings(grammar, node, stop, false, pre, post);
    return grammar.childrenAllowed(DeclOf(grammar, parent), pre, post);
}

QList<GrammarName> ElementsAllowedFor(const Grammar& grammar, const XmlNode& element) {
    xmlNodePtr node = element.raw();
    if (!node || node->type != XML_ELEMENT_NODE)
        return {};
    QList<GrammarName> pre, post;
    if (!node->parent || node->parent->type != XML_ELEMENT_NODE)
        return grammar.childrenAllowed(-1, pre, post);
    siblings(grammar, node->parent, node, true, pre, post);
    return grammar.childrenAllowed(DeclOf(grammar, element.parentNode()), pre, post);
}

QList<AttributeDecl> AttributesAllowedOn(const Grammar& grammar, const XmlNode& element) {
    xmlNodePtr node = element.raw();
    if (!node || node->type != XML_ELEMENT_NODE)
        return {};
    QList<GrammarName> present;
    for (xmlAttrPtr a = node->properties; a; a = a->next)
        present.append(nameOf(grammar, reinterpret_cast<xmlNodePtr>(a)));
    return grammar.attributesAllowed(DeclOf(grammar, element), present);
}

namespace {

const char* const kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

// `name` as written in `scope`: empty when it cannot be written there without a new declaration.
QString written(const Grammar& grammar, xmlNodePtr scope, const GrammarName& name, bool attribute) {
    if (!grammar.usesNamespaces())
        return name.local;
    if (name.ns.isEmpty()) {
        if (attribute)
            return name.local;
        xmlNsPtr fallback = xmlSearchNs(scope->doc, scope, nullptr);
        return !fallback || !fallback->href || !*fallback->href ? name.local : QString();
    }
    if (name.ns == QLatin1String(kXmlNamespace))
        return QStringLiteral("xml:") + name.local;
    const QByteArray href = name.ns.toUtf8();
    if (!attribute) {
        xmlNsPtr fallback = xmlSearchNs(scope->doc, scope, nullptr);
        if (fallback && xmlStrEqual(fallback->href, xc(href)))
            return name.local;
    }
    // A prefix for the namespace that no nearer declaration hides.
    for (xmlNodePtr at = scope; at && at->type == XML_ELEMENT_NODE; at = at->parent) {
        for (xmlNsPtr ns = at->nsDef; ns; ns = ns->next) {
            if (ns->prefix && xmlStrEqual(ns->href, xc(href)) &&
                xmlSearchNs(scope->doc, scope, ns->prefix) == ns)
                return qs(ns->prefix) + u':' + name.local;
        }
    }
    return {};
}

QStringList writtenAll(const Grammar& grammar, xmlNodePtr scope, const QList<GrammarName>& names) {
    QStringList out;
    for (const GrammarName& name : names) {
        const QString text = written(grammar, scope, name, false);
        if (!text.isEmpty() && !out.contains(text))
            out << text;
    }
    return out;
}

} // namespace

QStringList ElementNamesForInsert(const Grammar& grammar, const XmlNode& parent) {
    return parent.raw() ? writtenAll(grammar, parent.raw(), ElementsAllowedIn(grammar, parent))
                        : QStringList();
}

QStringList ElementNamesForRename(const Grammar& grammar, const XmlNode& element) {
    xmlNodePtr node = element.raw();
    if (!node)
        return {};
    xmlNodePtr scope = node->parent && node->parent->type == XML_ELEMENT_NODE ? node->parent : node;
    return writtenAll(grammar, scope, ElementsAllowedFor(grammar, element));
}

QList<AttributeChoice> AttributeChoicesOn(const Grammar& grammar, const XmlNode& element) {
    QList<AttributeChoice> out;
    if (!element.raw())
        return out;
    for (const AttributeDecl& decl : AttributesAllowedOn(grammar, element)) {
        const QString name = written(grammar, element.raw(), decl.name, true);
        if (!name.isEmpty())
            out.append({name, decl});
    }
    return out;
}

QStringList AttributeValuesFor(const Grammar& grammar, const XmlNode& element,
                               const QString& name) {
    xmlNodePtr node = element.raw();
    if (!node || node->type != XML_ELEMENT_NODE || name.isEmpty())
        return {};
    GrammarName wanted{{}, name};
    if (grammar.usesNamespaces() && name.contains(u':')) {
        const QByteArray prefix = name.section(u':', 0, 0).toUtf8();
        xmlNsPtr ns = xmlSearchNs(node->doc, node, xc(prefix));
        if (!ns)
            return {};
        wanted = {qs(ns->href), name.section(u':', 1)};
    }
    const AttributeDecl* decl = grammar.attribute(DeclOf(grammar, element), wanted);
    if (!decl)
        return {};
    if (!decl->values.isEmpty())
        return decl->values;
    const QString single = decl->fixed.isEmpty() ? decl->defaultValue : decl->fixed;
    return single.isEmpty() ? QStringList() : QStringList{single};
}
