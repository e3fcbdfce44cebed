// Undo and redo through the XML layer's journal: every change puts back the same node objects in
// the same places, with the same declarations behind the same names, and every state in between
// serialises to text that parses with namespace checking.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlhistory.h"
#include "support/namespacecheck.h"

#include <libxml/tree.h>

#include <QRandomGenerator>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const auto str = [](const QString& s) { return s.toStdString(); };

XmlDocument parsed(const char* text) {
    XmlDocument doc = XmlDocument::create();
    EXPECT_TRUE(doc.loadXML(QString::fromUtf8(text))) << text;
    return doc;
}

QString pointer(const void* p) {
    return QString::asprintf("%p", p);
}

QString declaration(const xmlNs* ns) {
    if (!ns)
        return QStringLiteral("-");
    return pointer(ns) + QLatin1Char('(') +
           QString::fromUtf8(reinterpret_cast<const char*>(ns->prefix ? ns->prefix : BAD_CAST "")) +
           QLatin1Char('=') + QString::fromUtf8(reinterpret_cast<const char*>(ns->href)) +
           QLatin1Char(')');
}

// Every node of a subtree by identity: its place, its name, the declaration it points to, its
// value; every attribute with its value nodes, every declaration; in document order.
void describe(xmlNodePtr root, QStringList& out) {
    std::vector<xmlNodePtr> stack{root};
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        QString line = pointer(n) + QLatin1Char(' ') + QString::number(n->type) + QLatin1Char(' ') +
                       QString::fromUtf8(reinterpret_cast<const char*>(n->name)) +
                       QStringLiteral(" parent=") + pointer(n->parent);
        if (n->type == XML_ELEMENT_NODE) {
            line += QStringLiteral(" ns=") + declaration(n->ns);
            for (xmlNsPtr d = n->nsDef; d; d = d->next)
                line += QStringLiteral(" decl=") + declaration(d);
            for (xmlAttrPtr a = n->properties; a; a = a->next) {
                line += QStringLiteral(" @") + pointer(a) +
                        QString::fromUtf8(reinterpret_cast<const char*>(a->name)) +
                        QStringLiteral(" ns=") + declaration(a->ns) + QStringLiteral(" [");
                for (xmlNodePtr v = a->children; v; v = v->next)
                    line += QString::number(v->type) +
                            QString::fromUtf8(reinterpret_cast<const char*>(
                                v->type == XML_TEXT_NODE ? v->content : v->name)) +
                            QLatin1Char(';');
                line += QLatin1Char(']');
            }
        } else if (n->type != XML_DOCUMENT_NODE && n->type != XML_DTD_NODE &&
                   n->type != XML_ENTITY_REF_NODE) {
            line += QStringLiteral(" content=") +
                    (n->content ? QString::fromUtf8(reinterpret_cast<const char*>(n->content))
                                : QStringLiteral("(none)"));
        }
        out << line;
        if (n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE) {
            for (xmlNodePtr c = n->last; c; c = c->prev)
                stack.push_back(c);
        }
    }
}

struct State {
    QStringList nodes;
    QString text;
};

// The document and the first `held` nodes held outside it (removed or created ones).
State capture(const XmlDocument& doc, const std::vector<XmlNode>& pool, size_t held) {
    State s;
    xmlDocPtr raw = reinterpret_cast<xmlDocPtr>(doc.asNode().raw());
    s.nodes << QStringLiteral("subset=") + pointer(raw->intSubset);
    describe(doc.asNode().raw(), s.nodes);
    for (size_t i = 0; i < held; ++i) {
        s.nodes << QStringLiteral("held");
        describe(pool[i].raw(), s.nodes);
    }
    s.text = doc.xml();
    return s;
}

// The first line where two states differ, empty when they are equal.
QString difference(const State& expected, const State& actual) {
    if (expected.text != actual.text)
        return QStringLiteral("text:\n") + expected.text + QStringLiteral("\n---\n") + actual.text;
    for (qsizetype i = 0; i < std::max(expected.nodes.size(), actual.nodes.size()); ++i) {
        const QString a = expected.nodes.value(i), b = actual.nodes.value(i);
        if (a != b)
            return a + QStringLiteral("\n  is now\n") + b;
    }
    return {};
}

QString serialisationProblem(const XmlDocument& doc) {
    return doc.documentElement().isNull() ? QString() : NamespaceProblem(doc.xml());
}

const char* const kDocuments[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!--head--><r xmlns=\"urn:d\" xmlns:p=\"urn:p\" "
    "p:a=\"1\"><p:x xmlns:q=\"urn:q\" q:b=\"2\"><y/><q:z>t</q:z></p:x><plain xmlns=\"\"><in "
    "p:c=\"3\">x</in></plain><!--c--><?pi data?></r>",
    "<doc>text <b>bold</b> more <i>it<![CDATA[cd]]></i> tail<!-- note --><p:k "
    "xmlns:p=\"urn:p\"><p:l p:m=\"v\"/></p:k></doc>",
    "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"ent\"><!ELEMENT r ANY>]><r a=\"x&e;y\">&e; "
    "text <k b=\"&e;\">&e;</k><?go?></r>",
    "<?xml version=\"1.0\"?><!DOCTYPE s [<!ELEMENT s ANY>]><s xmlns:n=\"urn:n\"><n:t "
    "n:u=\"1\">v</n:t><w/></s>",
};

class RandomEdits {
public:
    RandomEdits(XmlDocument doc, quint32 seed) : m_doc(std::move(doc)), m_rng(seed) {}

    // One random change through the public API, in a step of its own.
    void step() {
        const int before = m_doc.history().undoCount();
        const size_t held = m_pool.size();
        const State unchanged = capture(m_doc, m_pool, held);
        bool refused = false;
        {
            XmlChangeStep change(m_doc, QStringLiteral("edit"));
            try {
                randomChange();
                change.commit();
            } catch (const XmlError&) {
                refused = true;
            }
        }
        ASSERT_EQ(serialisationProblem(m_doc), QString()) << str(m_doc.xml());
        const int after = m_doc.history().undoCount();
        if (refused || after == before) {
            // A refusal or a change to nothing must leave everything, the steps too.
            ASSERT_EQ(after, before) << "a refused change was kept as a step";
            ASSERT_EQ(str(difference(unchanged, capture(m_doc, m_pool, held))), "")
                << (refused ? "refused" : "not recorded");
            return;
        }
        ASSERT_EQ(after, before + 1);
        m_states.push_back(capture(m_doc, m_pool, m_pool.size()));
        m_held.push_back(m_pool.size());
    }

    void run(int steps) {
        m_states.push_back(capture(m_doc, m_pool, m_pool.size()));
        m_held.push_back(m_pool.size());
        for (int i = 0; i < steps && !testing::Test::HasFatalFailure(); ++i)
            step();
        if (testing::Test::HasFatalFailure())
            return;
        XmlHistory& history = m_doc.history();
        const int count = static_cast<int>(m_states.size()) - 1;
        ASSERT_EQ(history.undoCount(), count);
        for (int k = count; k > 0; --k) {
            ASSERT_TRUE(history.canUndo());
            history.undo();
            ASSERT_EQ(str(difference(m_states[k - 1], capture(m_doc, m_pool, m_held[k - 1]))), "")
                << "undo of step " << k;
            ASSERT_EQ(serialisationProblem(m_doc), QString());
        }
        ASSERT_FALSE(history.canUndo());
        for (int k = 1; k <= count; ++k) {
            ASSERT_TRUE(history.canRedo());
            history.redo();
            ASSERT_EQ(str(difference(m_states[k], capture(m_doc, m_pool, m_held[k]))), "")
                << "redo of step " << k;
            ASSERT_EQ(serialisationProblem(m_doc), QString());
        }
        ASSERT_FALSE(history.canRedo());
    }

private:
    template <typename T> const T& pick(const std::vector<T>& list) {
        return list[m_rng.bounded(static_cast<quint32>(list.size()))];
    }
    QString pick(const QStringList& list) {
        return list[m_rng.bounded(static_cast<quint32>(list.size()))];
    }

    // Every node in the tree and held outside it, the document first.
    std::vector<XmlNode> nodes() const {
        std::vector<XmlNode> out, stack{m_doc.asNode()};
        for (const XmlNode& p : m_pool)
            stack.push_back(p);
        while (!stack.empty()) {
            XmlNode n = stack.back();
            stack.pop_back();
            out.push_back(n);
            for (const XmlNode& c : n.childNodes())
                stack.push_back(c);
        }
        return out;
    }
    std::vector<XmlNode> elements() const {
        std::vector<XmlNode> out;
        for (const XmlNode& n : nodes()) {
            if (n.nodeType() == NODE_ELEMENT)
                out.push_back(n);
        }
        return out;
    }
    XmlNode anyChild(const XmlNode& parent) {
        const XmlNodeList children = parent.childNodes();
        return children.item(static_cast<int>(m_rng.bounded(children.length() + 1u)));
    }
    void hold(const XmlNode& n) {
        for (const XmlNode& p : m_pool) {
            if (p == n)
                return;
        }
        m_pool.push_back(n);
    }

    void randomChange() {
        const QStringList elementNames = {"e", "p:e", "q:e", "n:e", "undeclared:e", "bad name"};
        const QStringList attributeNames = {"a",       "p:a",     "q:b",   "n:u", "xmlns:p",
                                            "xmlns:n", "xmlns:z", "xmlns", "b",   "xml:lang"};
        const QStringList values = {"", "v", "urn:p", "urn:n", "urn:d", "x\r\ny", "a&b<", "--"};
        const QStringList uris = {"urn:p", "urn:n", "urn:q", "urn:fresh"};
        const std::vector<XmlNode> all = nodes();
        const XmlNode target = pick(all);
        std::vector<XmlNode> containers;
        for (const XmlNode& n : all) {
            if (n.nodeType() == NODE_ELEMENT || n.nodeType() == NODE_DOCUMENT)
                containers.push_back(n);
        }
        switch (m_rng.bounded(12)) {
        case 0:
        case 1: {
            XmlNode parent = pick(containers);
            parent.insertBefore(target, anyChild(parent));
            break;
        }
        case 2:
            if (XmlNode parent = target.parentNode()) {
                parent.removeChild(target);
                hold(target);
            }
            break;
        case 3:
            if (XmlNode parent = target.parentNode()) {
                const XmlNode replacement = pick(all);
                parent.replaceChild(replacement, target);
                hold(target);
            }
            break;
        case 4: {
            const std::vector<XmlNode> elems = elements();
            if (elems.empty())
                break;
            const auto attributes = pick(elems).attributes().toVector();
            if (!attributes.empty() && m_rng.bounded(2))
                XmlNode(pick(attributes)).setText(pick(values));
            else if (target.nodeType() != NODE_DOCUMENT)
                XmlNode(target).setText(pick(values));
            break;
        }
        case 5:
            for (XmlNode e : elements()) {
                if (m_rng.bounded(4) == 0)
                    return e.setAttribute(pick(attributeNames), pick(values));
            }
            break;
        case 6:
            for (XmlNode e : elements()) {
                if (m_rng.bounded(4) == 0)
                    return e.setAttribute(pick(attributeNames), pick(values), pick(uris));
            }
            break;
        case 7:
            for (XmlNode e : elements()) {
                const auto attributes = e.attributes().toVector();
                if (!attributes.empty() && m_rng.bounded(3) == 0)
                    return e.removeAttribute(pick(attributes).nodeName());
            }
            break;
        case 8:
            for (XmlNode e : elements()) {
                if (m_rng.bounded(4) == 0)
                    return e.rename(pick(elementNames));
            }
            break;
        case 9: {
            XmlNode created;
            switch (m_rng.bounded(5)) {
            case 0:
                created = m_doc.createElement(pick(elementNames));
                if (m_rng.bounded(2))
                    created.rename(pick(elementNames));
                break;
            case 1:
                created = m_doc.createTextNode(pick(values));
                break;
            case 2:
                created = m_doc.createComment(QStringLiteral("new"));
                break;
            case 3:
                created = m_doc.createCDATASection(pick(values));
                break;
            default:
                created = m_doc.createProcessingInstruction(QStringLiteral("t"), pick(values));
            }
            // Linked by a later change, when it is picked.
            hold(created);
            break;
        }
        case 10:
            if (target.nodeType() != NODE_DOCUMENT && target.nodeType() != NODE_DOCUMENT_TYPE) {
                const XmlNode copy = target.cloneNode(m_rng.bounded(2));
                hold(copy);
                XmlNode parent = pick(containers);
                parent.insertBefore(copy, anyChild(parent));
            }
            break;
        default: {
            // Another document's subtree, with its own declarations.
            const XmlDocument other =
                parsed("<o:m xmlns:o=\"urn:p\" xmlns=\"urn:x\"><k o:a=\"1\"/></o:m>");
            const XmlNode copy = m_doc.importNode(other.documentElement(), true);
            hold(copy);
            XmlNode parent = pick(containers);
            parent.insertBefore(copy, anyChild(parent));
        }
        }
    }

    XmlDocument m_doc;
    QRandomGenerator m_rng;
    std::vector<XmlNode> m_pool;
    std::vector<State> m_states;
    std::vector<size_t> m_held;
};

TEST(XmlHistory, RandomChangesUndoAndRedoToTheSameNodes) {
    const quint32 seed = qEnvironmentVariableIsSet("ORVEL_SEED")
                             ? qEnvironmentVariableIntValue("ORVEL_SEED")
                             : QRandomGenerator::global()->generate();
    const int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                          ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                          : 150;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    for (const char* text : kDocuments) {
        SCOPED_TRACE(text);
        for (quint32 run = 0; run < 4; ++run) {
            RandomEdits edits(parsed(text), seed + run);
            edits.run(steps);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
}

} // namespace
