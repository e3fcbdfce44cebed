// A DTD's declarations as a grammar: libxml2 keeps them parsed, content models and all.

#include "platform/xml/xmlgrammar.h"

#include "platform/xml/xmlstorage.h"

#include <libxml/tree.h>
#include <libxml/valid.h>

using namespace xmlimpl;

namespace {

QString fullName(const xmlChar* prefix, const xmlChar* name) {
    return prefix ? qs(prefix) + u':' + qs(name) : qs(name);
}

class DtdReader {
public:
    explicit DtdReader(Grammar& grammar) : m_grammar(grammar) {
        for (size_t i = 0; i < grammar.elements.size(); ++i)
            m_index.insert(grammar.elements[i].name.local, static_cast<int>(i));
    }

    void read(const xmlDtd* dtd) {
        // Every element first, so that content models can name those declared after them.
        for (xmlNodePtr at = dtd->children; at; at = at->next) {
            if (at->type == XML_ELEMENT_DECL) {
                auto* decl = reinterpret_cast<xmlElementPtr>(at);
                m_declared.append({decl, indexOf(fullName(decl->prefix, decl->name))});
            }
        }
        for (const auto& [decl, index] : m_declared)
            m_grammar.elements[static_cast<size_t>(index)].content = contentOf(decl);
        for (xmlNodePtr at = dtd->children; at; at = at->next) {
            if (at->type == XML_ATTRIBUTE_DECL)
                addAttribute(reinterpret_cast<xmlAttributePtr>(at));
        }
    }

private:
    int indexOf(const QString& name) {
        const auto it = m_index.constFind(name);
        if (it != m_index.constEnd())
            return *it;
        const int index = static_cast<int>(m_grammar.elements.size());
        m_grammar.elements.push_back({{{}, name}, {}, {}});
        m_index.insert(name, index);
        return index;
    }

    Particle contentOf(const xmlElement* decl) {
        switch (decl->etype) {
        case XML_ELEMENT_TYPE_ANY: {
            Particle any = Particle::of(Particle::Kind::Choice, {}, 0, Particle::kUnbounded);
            for (const auto& declared : m_declared)
                any.parts.append(Particle::ofElement(declared.second));
            return any;
        }
        case XML_ELEMENT_TYPE_MIXED:
        case XML_ELEMENT_TYPE_ELEMENT:
            return decl->content ? particleOf(decl->content) : Particle();
        default:
            return Particle();
        }
    }

    // libxml2 keeps a sequence or choice of n as a chain of binary nodes: c1 and the rest in c2,
    // the rest with no occurrence of its own.
    void flatten(const xmlElementContent* c, xmlElementContentType type, QList<Particle>& parts) {
        if (c->type == type && c->ocur == XML_ELEMENT_CONTENT_ONCE) {
            flatten(c->c1, type, parts);
            flatten(c->c2, type, parts);
            return;
        }
        parts.append(particleOf(c));
    }

    Particle particleOf(const xmlElementContent* c) {
        Particle p;
        switch (c->type) {
        case XML_ELEMENT_CONTENT_PCDATA:
            p = Particle();
            break;
        case XML_ELEMENT_CONTENT_ELEMENT:
            p = Particle::ofElement(indexOf(fullName(c->prefix, c->name)));
            break;
        case XML_ELEMENT_CONTENT_SEQ:
        case XML_ELEMENT_CONTENT_OR: {
            QList<Particle> parts;
            flatten(c->c1, c->type, parts);
            flatten(c->c2, c->type, parts);
            p = Particle::of(c->type == XML_ELEMENT_CONTENT_SEQ ? Particle::Kind::Sequence
                                                                : Particle::Kind::Choice,
                             parts);
            break;
        }
        }
        switch (c->ocur) {
        case XML_ELEMENT_CONTENT_OPT:
            p.min = 0;
            break;
        case XML_ELEMENT_CONTENT_MULT:
            p.min = 0;
            p.max = Particle::kUnbounded;
            break;
        case XML_ELEMENT_CONTENT_PLUS:
            p.max = Particle::kUnbounded;
            break;
        default:
            break;
        }
        return p;
    }

    // The first declaration of an attribute binds, as in the DTD itself; the internal subset is
    // read first.
    void addAttribute(const xmlAttribute* a) {
        ElementDecl& element = m_grammar.elements[static_cast<size_t>(indexOf(qs(a->elem)))];
        AttributeDecl decl;
        decl.name = {{}, fullName(a->prefix, a->name)};
        for (const AttributeDecl& known : element.attributes) {
            if (known.name == decl.name)
                return;
        }
        decl.required = a->def == XML_ATTRIBUTE_REQUIRED;
        const QString value = a->defaultValue ? qs(a->defaultValue) : QString();
        (a->def == XML_ATTRIBUTE_FIXED ? decl.fixed : decl.defaultValue) = value;
        if (a->atype == XML_ATTRIBUTE_ENUMERATION || a->atype == XML_ATTRIBUTE_NOTATION) {
            for (xmlEnumerationPtr e = a->tree; e; e = e->next)
                decl.values.append(qs(e->name));
        }
        element.attributes.append(decl);
    }

    Grammar& m_grammar;
    QHash<QString, int> m_index;
    QList<std::pair<const xmlElement*, int>> m_declared;
};

} // namespace

std::shared_ptr<Grammar> GrammarFromDtd(const _xmlDtd* dtd, std::shared_ptr<Grammar> into) {
    if (!into) {
        into = std::make_shared<Grammar>();
        into->language = Grammar::Language::Dtd;
    }
    if (!dtd)
        return into;
    DtdReader(*into).read(dtd);
    into->roots.clear();
    const int root = dtd->name ? into->uniqueDecl({{}, qs(dtd->name)}) : -1;
    if (root >= 0) {
        into->roots.append(root);
    } else {
        for (size_t i = 0; i < into->elements.size(); ++i)
            into->roots.append(static_cast<int>(i));
    }
    return into;
}
