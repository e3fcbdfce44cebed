// A document without a schema still says what it uses: under an element of a name, the child
// elements and attributes found under elements of that name anywhere, in the order first met.

#include "platform/xml/xmlgrammar.h"

#include "platform/xml/xmlstorage.h"

#include <libxml/tree.h>

#include <QSet>

using namespace xmlimpl;

namespace {

// An attribute's values are offered only while they are this few: more are data, not a choice.
constexpr int kMaxLearnedValues = 20;

class Learner {
public:
    Learner(Grammar& grammar, qsizetype limit) : m_grammar(grammar), m_left(limit) {}

    void learn(xmlNodePtr root) {
        m_grammar.roots.append(indexOf(root));
        // Iterative, for documents thousands of levels deep.
        for (xmlNodePtr at = root; at;) {
            if (at->type == XML_ELEMENT_NODE) {
                if (m_left-- == 0)
                    break;
                learnElement(at);
                if (at->children) {
                    at = at->children;
                    continue;
                }
            }
            while (at && at != root && !at->next)
                at = at->parent;
            if (!at || at == root)
                break;
            at = at->next;
        }
        for (size_t i = 0; i < m_grammar.elements.size(); ++i) {
            Particle& content = m_grammar.elements[i].content;
            content.kind =
                content.parts.isEmpty() ? Particle::Kind::Nothing : Particle::Kind::Choice;
            content.min = 0;
            content.max = Particle::kUnbounded;
        }
        for (size_t i = 0; i < m_grammar.elements.size(); ++i) {
            for (AttributeDecl& a : m_grammar.elements[i].attributes) {
                if (m_values.value({static_cast<int>(i), keyOf(a.name)}).size() > kMaxLearnedValues)
                    a.values.clear();
            }
        }
    }

private:
    static QString keyOf(const GrammarName& name) { return name.ns + u'\n' + name.local; }

    static GrammarName nameOf(xmlNodePtr node) {
        return {node->ns ? qs(node->ns->href) : QString(), qs(node->name)};
    }

    int indexOf(xmlNodePtr node) {
        const GrammarName name = nameOf(node);
        const QString key = keyOf(name);
        const auto it = m_index.constFind(key);
        if (it != m_index.constEnd())
            return *it;
        const int index = static_cast<int>(m_grammar.elements.size());
        m_grammar.elements.push_back({name, {}, {}});
        m_index.insert(key, index);
        return index;
    }

    void learnElement(xmlNodePtr element) {
        const int index = indexOf(element);
        for (xmlNodePtr child = element->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            const int childIndex = indexOf(child);
            Particle& content = m_grammar.elements[static_cast<size_t>(index)].content;
            if (m_children.contains({index, childIndex}))
                continue;
            m_children.insert({index, childIndex});
            content.parts.append(Particle::ofElement(childIndex));
        }
        for (xmlAttrPtr a = element->properties; a; a = a->next)
            learnAttribute(index, a);
    }

    void learnAttribute(int element, xmlAttrPtr a) {
        ElementDecl& decl = m_grammar.elements[static_cast<size_t>(element)];
        const GrammarName name = nameOf(reinterpret_cast<xmlNodePtr>(a));
        qsizetype at = 0;
        while (at < decl.attributes.size() && !(decl.attributes[at].name == name))
            ++at;
        if (at == decl.attributes.size())
            decl.attributes.append({name, false, {}, {}, {}});
        QStringList& values = decl.attributes[at].values;
        QSet<QString>& seen = m_values[{element, keyOf(name)}];
        if (seen.size() > kMaxLearnedValues)
            return;
        xmlChar* text = xmlNodeListGetString(a->doc, a->children, 1);
        const QString value = qs(text);
        xmlFree(text);
        if (!seen.contains(value)) {
            seen.insert(value);
            values.append(value);
        }
    }

    Grammar& m_grammar;
    qsizetype m_left;
    QHash<QString, int> m_index;
    QSet<std::pair<int, int>> m_children;
    QHash<std::pair<int, QString>, QSet<QString>> m_values;
};

} // namespace

std::shared_ptr<Grammar> GrammarLearned(const _xmlDoc* doc, qsizetype limit) {
    auto grammar = std::make_shared<Grammar>();
    grammar->language = Grammar::Language::Learned;
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (root)
        Learner(*grammar, limit).learn(root);
    return grammar;
}
