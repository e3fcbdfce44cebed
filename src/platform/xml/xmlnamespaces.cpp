// Keeping every name in its namespace through edits. libxml2 writes a name with the prefix of the
// declaration it points to and never checks that this prefix means the same there, so every
// change that moves a name into another scope, or changes a scope, goes through here.

#include "platform/xml/xmlnamespaces.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmljournal.h"
#include "platform/xml/xmlstorage.h"

#include <algorithm>

#include <vector>

namespace xmlimpl {

namespace {

bool sameUri(const xmlChar* a, const xmlChar* b) {
    return xmlStrEqual(a ? a : BAD_CAST "", b ? b : BAD_CAST "");
}

bool hasUri(const xmlNs* ns) {
    return ns && ns->href && *ns->href;
}

QString nameOf(xmlNodePtr n) {
    if (n->ns && n->ns->prefix)
        return qs(n->ns->prefix) + QLatin1Char(':') + qs(n->name);
    return qs(n->name);
}

QString declarationName(const xmlChar* prefix) {
    return prefix ? QStringLiteral("xmlns:") + qs(prefix) : QStringLiteral("xmlns");
}

xmlNsPtr ownDeclaration(xmlNodePtr element, const xmlChar* prefix) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
        if (xmlStrEqual(ns->prefix, prefix))
            return ns;
    }
    return nullptr;
}

// The declarations a subtree walk has met, innermost last, over those outside the subtree. The
// walk's changes go through here, so that the journal hears of each one.
class Scope {
public:
    Scope(xmlDocPtr doc, xmlNodePtr outside, XmlJournal* journal, ChangedNodes* changed)
        : m_doc(doc), m_outside(outside), m_journal(journal), m_changed(changed) {}

    size_t mark() const { return m_local.size(); }
    void reset(size_t mark) { m_local.resize(mark); }
    void enter(xmlNodePtr element) {
        for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
            m_local.push_back(ns);
    }
    void add(xmlNsPtr ns) { m_local.push_back(ns); }

    xmlNsPtr declare(xmlNodePtr element, const xmlChar* href, const xmlChar* prefix) {
        if (m_journal)
            m_journal->declarations(element);
        if (m_changed)
            m_changed->insert(element);
        xmlNsPtr ns = xmlNewNs(element, href, prefix);
        m_local.push_back(ns);
        return ns;
    }
    void point(xmlNodePtr node, xmlNsPtr ns) {
        xmlNsPtr& current =
            node->type == XML_ATTRIBUTE_NODE ? reinterpret_cast<xmlAttrPtr>(node)->ns : node->ns;
        if (current == ns)
            return;
        if (m_journal)
            m_journal->pointer(node);
        if (m_changed)
            m_changed->insert(node);
        current = ns;
    }

    xmlNsPtr find(const xmlChar* prefix) {
        for (auto it = m_local.rbegin(); it != m_local.rend(); ++it) {
            if (xmlStrEqual((*it)->prefix, prefix))
                return *it;
        }
        const QByteArray key = prefix ? QByteArray(reinterpret_cast<const char*>(prefix)) : "";
        for (const auto& [cachedPrefix, ns] : m_outsideCache) {
            if (cachedPrefix == key)
                return ns;
        }
        xmlNsPtr ns = declarationInScope(m_doc, m_outside, prefix);
        m_outsideCache.emplace_back(key, ns);
        return ns;
    }

    // A prefix (not the default) bound to `href` here and not hidden by an inner declaration.
    xmlNsPtr prefixFor(const xmlChar* href) {
        for (auto it = m_local.rbegin(); it != m_local.rend(); ++it) {
            if ((*it)->prefix && sameUri((*it)->href, href) && find((*it)->prefix) == *it)
                return *it;
        }
        for (xmlNodePtr n = m_outside; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
            for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) {
                if (ns->prefix && sameUri(ns->href, href) && find(ns->prefix) == ns)
                    return ns;
            }
        }
        return nullptr;
    }

    // A prefix of the form ns1, ns2... that means nothing here.
    QByteArray unusedPrefix(xmlNodePtr element) {
        for (int i = 1;; ++i) {
            const QByteArray prefix = "ns" + QByteArray::number(i);
            if (!find(xc(prefix)) && !ownDeclaration(element, xc(prefix)))
                return prefix;
        }
    }

private:
    xmlDocPtr m_doc;
    xmlNodePtr m_outside;
    XmlJournal* m_journal;
    ChangedNodes* m_changed;
    std::vector<xmlNsPtr> m_local;
    // Keyed by prefix, the default namespace as the empty one (no prefix is empty).
    std::vector<std::pair<QByteArray, xmlNsPtr>> m_outsideCache;
};

// A declaration on `element` binding a prefix to `href`: the wanted prefix when the element
// does not declare it yet, else one that means `href` here already, else a new one.
xmlNsPtr declareFor(Scope& scope, xmlNodePtr element, const xmlChar* prefix, const xmlChar* href) {
    if (prefix && !ownDeclaration(element, prefix) && !scope.find(prefix))
        return scope.declare(element, href, prefix);
    if (xmlNsPtr existing = scope.prefixFor(href))
        return existing;
    const QByteArray fresh = scope.unusedPrefix(element);
    return scope.declare(element, href, xc(fresh));
}

void keepElementNamespace(Scope& scope, xmlNodePtr element) {
    xmlNsPtr current = element->ns;
    if (!hasUri(current)) {
        scope.point(element, nullptr);
        if (hasUri(scope.find(nullptr)) && !ownDeclaration(element, nullptr))
            scope.declare(element, BAD_CAST "", nullptr);
        return;
    }
    xmlNsPtr bound = scope.find(current->prefix);
    if (bound && sameUri(bound->href, current->href)) {
        scope.point(element, bound);
        return;
    }
    if (!ownDeclaration(element, current->prefix)) {
        scope.point(element, scope.declare(element, current->href, current->prefix));
        return;
    }
    if (hasUri(scope.find(nullptr)) && sameUri(scope.find(nullptr)->href, current->href))
        scope.point(element, scope.find(nullptr));
    else
        scope.point(element, declareFor(scope, element, nullptr, current->href));
}

void keepAttributeNamespace(Scope& scope, xmlNodePtr element, xmlAttrPtr attribute) {
    xmlNodePtr node = reinterpret_cast<xmlNodePtr>(attribute);
    xmlNsPtr current = attribute->ns;
    if (!hasUri(current)) {
        scope.point(node, nullptr);
        return;
    }
    xmlNsPtr bound = current->prefix ? scope.find(current->prefix) : nullptr;
    if (bound && sameUri(bound->href, current->href))
        scope.point(node, bound);
    else
        scope.point(node, declareFor(scope, element, current->prefix, current->href));
}

} // namespace

xmlNsPtr declarationInScope(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix) {
    if (prefix && xmlStrEqual(prefix, BAD_CAST "xml"))
        // The document node, not its element: a document whose element was removed still binds
        // the prefix xml, and a null answer would have the walk declare it.
        return xmlSearchNs(doc, element ? element : reinterpret_cast<xmlNodePtr>(doc), prefix);
    for (xmlNodePtr n = element; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
        if (xmlNsPtr ns = ownDeclaration(n, prefix))
            return ns;
    }
    return nullptr;
}

void checkQualifiedName(const QString& qualifiedName, bool attribute) {
    const qsizetype colon = qualifiedName.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return;
    const QString prefix = qualifiedName.left(colon);
    const QString local = qualifiedName.mid(colon + 1);
    if (prefix.isEmpty() || local.isEmpty() || local.contains(QLatin1Char(':')) ||
        prefix == QLatin1String("xmlns"))
        throw XmlError(QStringLiteral("'%1' is not a valid %2 name.")
                           .arg(qualifiedName, attribute ? QStringLiteral("attribute")
                                                         : QStringLiteral("element")));
}

xmlNsPtr namespaceForName(xmlDocPtr doc, xmlNodePtr element, xmlNodePtr parent,
                          const QString& qualifiedName, bool attribute) {
    auto lookup = [&](const xmlChar* prefix) {
        xmlNsPtr own = element ? ownDeclaration(element, prefix) : nullptr;
        return own ? own : declarationInScope(doc, parent, prefix);
    };
    const qsizetype colon = qualifiedName.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        xmlNsPtr ns = attribute ? nullptr : lookup(nullptr);
        return hasUri(ns) ? ns : nullptr;
    }
    checkQualifiedName(qualifiedName, attribute);
    const QString prefix = qualifiedName.left(colon);
    const QByteArray utf8 = prefix.toUtf8();
    xmlNsPtr ns = lookup(xc(utf8));
    if (!hasUri(ns))
        throw XmlError(QStringLiteral("The prefix '%1' is not declared.").arg(prefix));
    return ns;
}

// One pass, parents before children, with its own stack: subtrees can be far deeper than the
// call stack allows. Each name costs a look-up among the declarations in scope.
void keepNamespaces(xmlDocPtr doc, xmlNodePtr node, XmlJournal* journal, ChangedNodes* changed) {
    if (node->type != XML_ELEMENT_NODE)
        return;
    Scope scope(doc, node->parent, journal, changed);
    std::vector<std::pair<xmlNodePtr, size_t>> stack{{node, scope.mark()}};
    while (!stack.empty()) {
        const auto [element, mark] = stack.back();
        stack.pop_back();
        scope.reset(mark);
        scope.enter(element);
        keepElementNamespace(scope, element);
        for (xmlAttrPtr a = element->properties; a; a = a->next)
            keepAttributeNamespace(scope, element, a);
        const size_t inner = scope.mark();
        for (xmlNodePtr c = element->last; c; c = c->prev) {
            if (c->type == XML_ELEMENT_NODE)
                stack.emplace_back(c, inner);
        }
    }
}

std::vector<xmlNsPtr> declarationsInScope(xmlNodePtr place) {
    std::vector<xmlNsPtr> found;
    for (xmlNodePtr n = place; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) {
            if (std::none_of(found.begin(), found.end(),
                             [ns](xmlNsPtr f) { return xmlStrEqual(f->prefix, ns->prefix); }))
                found.push_back(ns);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

namespace {
size_t declarationCount(xmlNodePtr element) {
    size_t count = 0;
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        ++count;
    return count;
}

bool sameDeclaration(const xmlNs* a, const xmlNs* b) {
    return a && b && xmlStrEqual(a->prefix, b->prefix) && sameUri(a->href, b->href);
}

class CopiedNames {
public:
    CopiedNames(xmlNodePtr copyRoot, bool sameDocument)
        : m_root(copyRoot), m_sameDocument(sameDocument) {}

    // The declaration the copy's name should point to, given the original's.
    xmlNsPtr wanted(xmlNsPtr original, xmlNsPtr copied) {
        if (!original)
            return nullptr;
        // The prefix xml is bound everywhere; libxml2 finds its document's own declaration.
        if (xmlStrEqual(original->prefix, BAD_CAST "xml"))
            return copied;
        for (const auto& [from, to] : m_copiedDeclarations) {
            if (from == original)
                return to;
        }
        // One declaration on the root rather than the ones libxml2 may have put on each name.
        if (xmlNsPtr own = ownDeclaration(m_root, original->prefix)) {
            if (sameUri(own->href, original->href))
                return own;
            return sameDeclaration(original, copied) ? copied : conflicting(original);
        }
        return xmlNewNs(m_root, original->href, original->prefix);
    }
    void copied(xmlNsPtr from, xmlNsPtr to) { m_copiedDeclarations.emplace_back(from, to); }
    void used(xmlNsPtr ns) {
        if (ns)
            m_used.push_back(ns);
    }
    bool isUsed(xmlNsPtr ns) const {
        return std::find(m_used.begin(), m_used.end(), ns) != m_used.end();
    }

private:
    xmlNsPtr conflicting(xmlNsPtr original) {
        if (m_sameDocument)
            return original;
        for (int i = 1;; ++i) {
            const QByteArray prefix = "ns" + QByteArray::number(i);
            if (!ownDeclaration(m_root, xc(prefix)))
                return xmlNewNs(m_root, original->href, xc(prefix));
        }
    }

    xmlNodePtr m_root;
    bool m_sameDocument;
    std::vector<std::pair<xmlNsPtr, xmlNsPtr>> m_copiedDeclarations;
    std::vector<xmlNsPtr> m_used;
};
} // namespace

void keepCopiedNamespaces(xmlNodePtr original, xmlNodePtr copy, bool sameDocument) {
    if (original->type != XML_ELEMENT_NODE || copy->type != XML_ELEMENT_NODE)
        return;
    CopiedNames names(copy, sameDocument);
    std::vector<std::pair<xmlNodePtr, xmlNodePtr>> pairs, stack{{original, copy}};
    while (!stack.empty()) {
        const auto [o, c] = stack.back();
        stack.pop_back();
        pairs.emplace_back(o, c);
        for (xmlNsPtr from = o->nsDef, to = c->nsDef; from && to; from = from->next, to = to->next)
            names.copied(from, to);
        for (xmlNodePtr oc = o->children, cc = c->children; oc && cc;
             oc = oc->next, cc = cc->next) {
            if (oc->type == XML_ELEMENT_NODE && cc->type == XML_ELEMENT_NODE)
                stack.emplace_back(oc, cc);
        }
    }
    for (const auto& [o, c] : pairs) {
        c->ns = names.wanted(o->ns, c->ns);
        names.used(c->ns);
        for (xmlAttrPtr oa = o->properties, ca = c->properties; oa && ca;
             oa = oa->next, ca = ca->next) {
            ca->ns = names.wanted(oa->ns, ca->ns);
            names.used(ca->ns);
        }
    }
    // What libxml2 declared beyond the original's own declarations and nothing uses now.
    for (const auto& [o, c] : pairs) {
        const size_t own = declarationCount(o);
        xmlNsPtr* link = &c->nsDef;
        for (size_t i = 0; *link; ++i) {
            xmlNsPtr ns = *link;
            if (i >= own && !names.isUsed(ns)) {
                *link = ns->next;
                ns->next = nullptr;
                xmlFreeNs(ns);
            } else {
                link = &ns->next;
            }
        }
    }
}

void keepAttributeNamespaces(xmlDocPtr doc, xmlNodePtr element, XmlJournal* journal,
                             ChangedNodes* changed) {
    Scope scope(doc, element->parent, journal, changed);
    scope.enter(element);
    for (xmlAttrPtr a = element->properties; a; a = a->next)
        keepAttributeNamespace(scope, element, a);
}

void checkDeclarationChange(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix,
                            const xmlChar* href) {
    xmlNodePtr parent = element->parent;
    xmlNsPtr outside = parent && parent->type == XML_ELEMENT_NODE
                           ? declarationInScope(doc, parent, prefix)
                           : nullptr;
    const xmlChar* outsideUri = outside ? outside->href : nullptr;
    xmlNsPtr own = ownDeclaration(element, prefix);
    const xmlChar* before = own ? own->href : outsideUri;
    const xmlChar* after = href ? href : outsideUri;
    if (sameUri(before, after))
        return;
    auto uses = [prefix](xmlNsPtr ns) {
        return prefix ? ns && xmlStrEqual(ns->prefix, prefix) : !ns || !ns->prefix;
    };
    std::vector<xmlNodePtr> stack{element};
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        QString user;
        if (uses(n->ns))
            user = nameOf(n);
        for (xmlAttrPtr a = n->properties; a && user.isEmpty() && prefix; a = a->next) {
            if (uses(a->ns))
                user = nameOf(reinterpret_cast<xmlNodePtr>(a));
        }
        if (!user.isEmpty())
            throw XmlError(
                (href ? QStringLiteral("The namespace declaration '%1' would change the namespace "
                                       "of '%2'.")
                      : QStringLiteral("The namespace declaration '%1' cannot be removed: '%2' "
                                       "uses it."))
                    .arg(declarationName(prefix), user));
        for (xmlNodePtr c = n->children; c; c = c->next) {
            if (c->type == XML_ELEMENT_NODE && !ownDeclaration(c, prefix))
                stack.push_back(c);
        }
    }
}

} // namespace xmlimpl
