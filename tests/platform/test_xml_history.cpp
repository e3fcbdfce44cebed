// Undo and redo through the XML layer's journal put back the same node objects and declarations;
// every state serialises to namespace-well-formed text; a refused change changes nothing.

#include "platform/work/asidework.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmldocumentaside.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlhistory.h"
#include "platform/xml/xmlpackeddocument.h"
#include "support/namespacecheck.h"
#include "support/seed.h"
#include "support/workergate.h"
#include "support/xmltesting.h"

#include <libxml/tree.h>

#include <QRandomGenerator>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

using namespace xmltesting;

namespace {

QString ptr(const void* p) {
    return QString::asprintf("%p", p);
}
QString u8(const xmlChar* s) {
    return QString::fromUtf8(reinterpret_cast<const char*>(s ? s : BAD_CAST ""));
}
QString declaration(const xmlNs* ns) {
    return ns ? ptr(ns) + '(' + u8(ns->prefix) + '=' + u8(ns->href) + ')' : QString("-");
}

// Every node of a subtree by identity, in document order, with its declarations and attributes.
void describe(xmlNodePtr root, QStringList& out) {
    std::vector<xmlNodePtr> stack{root};
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        QString line = ptr(n) + ' ' + QString::number(n->type) + ' ' + u8(n->name) +
                       " parent=" + ptr(n->parent);
        if (n->type == XML_ELEMENT_NODE) {
            line += " ns=" + declaration(n->ns);
            for (xmlNsPtr d = n->nsDef; d; d = d->next)
                line += " decl=" + declaration(d);
            for (xmlAttrPtr a = n->properties; a; a = a->next) {
                line += " @" + ptr(a) + u8(a->name) + " ns=" + declaration(a->ns) + " [";
                for (xmlNodePtr v = a->children; v; v = v->next)
                    line += QString::number(v->type) +
                            u8(v->type == XML_TEXT_NODE ? v->content : v->name) + ';';
                line += ']';
            }
        } else if (n->type != XML_DOCUMENT_NODE && n->type != XML_DTD_NODE &&
                   n->type != XML_ENTITY_REF_NODE) {
            line += " content=" + (n->content ? u8(n->content) : QString("(none)"));
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

// The document and the first `held` nodes of `pool`, held outside it (removed or created ones).
State capture(const XmlDocument& doc, const std::vector<XmlNode>& pool = {}, size_t held = 0) {
    State s{{"subset=" + ptr(reinterpret_cast<xmlDocPtr>(doc.asNode().raw())->intSubset)},
            doc.xml()};
    describe(doc.asNode().raw(), s.nodes);
    for (size_t i = 0; i < held; ++i) {
        s.nodes << "held";
        describe(pool[i].raw(), s.nodes);
    }
    return s;
}

// The first line where two states differ, empty when they are equal.
std::string difference(const State& expected, const State& actual) {
    if (expected.text != actual.text)
        return str("text:\n" + expected.text + "\n---\n" + actual.text);
    for (qsizetype i = 0; i < std::max(expected.nodes.size(), actual.nodes.size()); ++i) {
        if (expected.nodes.value(i) != actual.nodes.value(i))
            return str(expected.nodes.value(i) + "\n  is now\n" + actual.nodes.value(i));
    }
    return {};
}

// Every element and attribute name of a subtree with its namespace, prefixes aside.
QStringList namesOf(const XmlNode& root) {
    QStringList out;
    std::vector<XmlNode> stack{root};
    while (!stack.empty()) {
        const XmlNode n = stack.back();
        stack.pop_back();
        if (n.nodeType() != NODE_ELEMENT)
            continue;
        out << n.nodeName().section(':', -1) + '=' + n.namespaceURI();
        for (const XmlNode& a : n.attributes().toVector()) {
            if (!a.isNamespaceDeclaration())
                out << '@' + a.nodeName().section(':', -1) + '=' + a.namespaceURI();
        }
        for (const XmlNode& c : n.childNodes())
            stack.push_back(c);
    }
    return out;
}

QString serialisationProblem(const XmlDocument& doc) {
    return doc.documentElement().isNull() ? QString() : NamespaceProblem(doc.xml());
}

// One change in a step of its own.
void change(XmlDocument& doc, const std::function<void()>& edit) {
    XmlChangeStep step(doc, "change");
    edit();
    step.commit();
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

struct Seen : XmlChangeListener {
    void aboutToChange(const XmlNode& container) override { containers.push_back(container); }
    bool saw(const XmlNode& n) const {
        return std::find(containers.begin(), containers.end(), n) != containers.end();
    }
    std::vector<XmlNode> containers;
};

class RandomEdits {
public:
    // Entity references in held subtrees that may come back are not checked when a document type
    // declaration is removed, so a document that declares entities keeps its declaration here.
    RandomEdits(XmlDocument doc, quint32 seed)
        : m_doc(std::move(doc)), m_rng(seed), m_keepDoctype(m_doc.xml().contains("<!ENTITY")) {
        m_doc.asNode().addChangeListener(&m_seen);
    }

    void run(int steps) {
        record();
        for (int i = 0; i < steps && !testing::Test::HasFatalFailure(); ++i)
            step();
        if (testing::Test::HasFatalFailure())
            return;
        XmlHistory& history = m_doc.history();
        const int count = static_cast<int>(m_states.size()) - 1;
        ASSERT_EQ(history.undoCount(), count);
        const auto expectState = [&](int k) {
            ASSERT_EQ(difference(m_states[k], capture(m_doc, m_pool, m_held[k])), "");
            ASSERT_EQ(serialisationProblem(m_doc), QString());
            ASSERT_EQ(history.isAtSavedPosition(), k == m_saved);
        };
        ASSERT_NO_FATAL_FAILURE(expectState(count));
        // Undo and redo tell the listeners of the container they changed, and count as changes.
        const auto undoOrRedo = [&](bool undo) {
            m_seen.containers.clear();
            const quint64 revision = m_doc.revision();
            const XmlNode first = (undo ? history.undo() : history.redo()).first;
            if (inTree(first)) {
                ASSERT_TRUE(m_seen.saw(first));
                ASSERT_NE(m_doc.revision(), revision);
            }
        };
        for (int k = count; k > 0; --k) {
            ASSERT_TRUE(history.canUndo());
            ASSERT_NO_FATAL_FAILURE(undoOrRedo(true)) << "undo of step " << k;
            ASSERT_NO_FATAL_FAILURE(expectState(k - 1)) << "undo of step " << k;
        }
        ASSERT_FALSE(history.canUndo());
        for (int k = 1; k <= count; ++k) {
            ASSERT_TRUE(history.canRedo());
            ASSERT_NO_FATAL_FAILURE(undoOrRedo(false)) << "redo of step " << k;
            ASSERT_NO_FATAL_FAILURE(expectState(k)) << "redo of step " << k;
        }
        ASSERT_FALSE(history.canRedo());
        // A new change drops the steps it could redo, and a saved state among them.
        const int back = static_cast<int>(m_rng.bounded(count + 1u));
        for (int k = 0; k < back; ++k)
            history.undo();
        change(m_doc, [&] { m_doc.appendChild(m_doc.createComment("new")); });
        EXPECT_FALSE(history.canRedo());
        EXPECT_EQ(history.undoCount(), count - back + 1);
        history.undo();
        EXPECT_EQ(history.isAtSavedPosition(), m_saved == count - back);
        // A change no step can undo ends the history: outside a step, in a step dropped
        // uncommitted, or a reload.
        const quint32 how = m_rng.bounded(3);
        if (how == 2) {
            m_doc.loadXML("<other/>");
        } else {
            std::optional<XmlChangeStep> dropped;
            if (how == 1)
                dropped.emplace(m_doc, "dropped");
            m_doc.appendChild(m_doc.createComment("unrecorded"));
        }
        EXPECT_FALSE(history.canUndo()) << how;
        EXPECT_FALSE(history.isAtSavedPosition()) << how;
        EXPECT_EQ(history.memoryUse(), 0u) << how;
    }

private:
    void record() {
        m_states.push_back(capture(m_doc, m_pool, m_pool.size()));
        m_held.push_back(m_pool.size());
        if (m_rng.bounded(10) == 0) {
            m_doc.history().markSaved();
            m_saved = static_cast<int>(m_states.size()) - 1;
        }
    }

    // One random change through the public API in a step of its own, or now and then three in a
    // step rolled back, as a command that fails half-way is.
    void step() {
        const int before = m_doc.history().undoCount();
        const size_t held = m_pool.size();
        const State unchanged = capture(m_doc, m_pool, held);
        const bool rolledBack = m_rng.bounded(8) == 0;
        bool refused = false;
        {
            XmlChangeStep change(m_doc, "edit");
            try {
                for (int i = rolledBack ? 3 : 1; i > 0; --i)
                    randomChange();
                if (!rolledBack && m_rng.bounded(8) == 0) {
                    // An inner scope's roll-back undoes only its own part of the step.
                    const size_t pool = m_pool.size();
                    const State middle = capture(m_doc, m_pool, pool);
                    XmlChangeStep inner(m_doc, "inner");
                    try {
                        randomChange();
                    } catch (const XmlError&) {
                    }
                    inner.rollBack();
                    ASSERT_EQ(difference(middle, capture(m_doc, m_pool, pool)), "") << "inner";
                }
                if (!rolledBack)
                    change.commit();
            } catch (const XmlError&) {
                refused = true;
            }
            if (rolledBack)
                change.rollBack();
        }
        ASSERT_EQ(serialisationProblem(m_doc), QString()) << str(m_doc.xml());
        const int after = m_doc.history().undoCount();
        if (refused || rolledBack || after == before) {
            // A refusal, a roll-back or a change to nothing must leave everything, the steps too.
            ASSERT_EQ(after, before) << "a refused change was kept as a step";
            ASSERT_EQ(difference(unchanged, capture(m_doc, m_pool, held)), "")
                << (rolledBack ? "rolled back"
                    : refused  ? "refused"
                               : "not recorded");
            ASSERT_EQ(m_doc.history().isAtSavedPosition(), m_saved == int(m_states.size()) - 1);
            return;
        }
        ASSERT_EQ(after, before + 1);
        ASSERT_EQ(str(m_doc.history().undoCaption()), "edit");
        record();
    }

    template <typename List> auto pick(const List& list) {
        return list[static_cast<int>(m_rng.bounded(static_cast<quint32>(list.size())))];
    }
    // The first of `list` drawn with a chance of one in `odds`, or null.
    XmlNode draw(const std::vector<XmlNode>& list, quint32 odds) {
        for (const XmlNode& n : list) {
            if (m_rng.bounded(odds) == 0)
                return n;
        }
        return {};
    }
    // Every node in the tree and held outside it, the document first.
    std::vector<XmlNode> nodes() const {
        std::vector<XmlNode> out, stack{m_doc.asNode()};
        stack.insert(stack.end(), m_pool.begin(), m_pool.end());
        while (!stack.empty()) {
            out.push_back(stack.back());
            stack.pop_back();
            for (const XmlNode& c : out.back().childNodes())
                stack.push_back(c);
        }
        return out;
    }
    void hold(const XmlNode& n) {
        if (std::find(m_pool.begin(), m_pool.end(), n) == m_pool.end())
            m_pool.push_back(n);
    }
    bool inTree(XmlNode n) const {
        while (!n.isNull() && n != m_doc.asNode())
            n = n.parentNode();
        return !n.isNull();
    }
    // Inserts `n` in a random place; it must keep every name in the namespace `names` gives.
    void insertAnywhere(const XmlNode& n, const std::vector<XmlNode>& containers,
                        const std::optional<QStringList>& names) {
        XmlNode parent = pick(containers);
        const XmlNodeList children = parent.childNodes();
        parent.insertBefore(n, children.item(int(m_rng.bounded(children.length() + 1u))));
        if (names) {
            ASSERT_EQ(namesOf(n), *names) << str(m_doc.xml());
        }
    }

    void randomChange() {
        static const QStringList elementNames = q("e|p:e|q:e|n:e|undeclared:e|bad name").split('|'),
                                 attributeNames =
                                     q("a|p:a|q:b|n:u|xmlns:p|xmlns:n|xmlns:z|xmlns|b|xml:lang")
                                         .split('|'),
                                 values = q("|v|urn:p|urn:n|urn:d|x\r\ny|a&b<|--").split('|'),
                                 uris = q("urn:p|urn:n|urn:q|urn:fresh").split('|');
        const std::vector<XmlNode> all = nodes();
        XmlNode target = pick(all), parent = target.parentNode(), e;
        std::vector<XmlNode> containers, elements;
        for (const XmlNode& n : all) {
            if (n.nodeType() == NODE_ELEMENT || n.nodeType() == NODE_DOCUMENT)
                containers.push_back(n);
            if (n.nodeType() == NODE_ELEMENT)
                elements.push_back(n);
        }
        const bool keep = m_keepDoctype && target.nodeType() == NODE_DOCUMENT_TYPE;
        std::optional<QStringList> names; // of a copy, as the original has them
        switch (m_rng.bounded(11)) {
        case 0:
        case 1:
            // Names in held subtrees that were never linked take their namespace where they go.
            return insertAnywhere(target, containers,
                                  inTree(target) ? std::optional(namesOf(target)) : std::nullopt);
        case 2:
        case 3:
            if (parent && !keep) {
                if (m_rng.bounded(2))
                    parent.removeChild(target);
                else
                    parent.replaceChild(pick(all), target);
                hold(target);
            }
            return;
        case 4:
            if (const auto attributes = elements.empty() ? std::vector<XmlNode>()
                                                         : pick(elements).attributes().toVector();
                !attributes.empty() && m_rng.bounded(2))
                XmlNode(pick(attributes)).setText(pick(values));
            else if (target.nodeType() != NODE_DOCUMENT)
                target.setText(pick(values));
            return;
        case 5: // an attribute set, with or without its namespace, or an element renamed
            if ((e = draw(elements, 4))) {
                if (const quint32 how = m_rng.bounded(3); how == 0)
                    e.rename(pick(elementNames));
                else if (how == 1)
                    e.setAttribute(pick(attributeNames), pick(values));
                else
                    e.setAttribute(pick(attributeNames), pick(values), pick(uris));
            }
            return;
        case 6:
            for (XmlNode el : elements) {
                const auto attributes = el.attributes().toVector();
                if (!attributes.empty() && m_rng.bounded(3) == 0)
                    return el.removeAttribute(pick(attributes).nodeName());
            }
            return;
        case 7: { // created and held; linked by a later change, when it is picked
            const QString value = pick(values);
            const XmlNode created[] = {m_doc.createTextNode(value), m_doc.createComment("new"),
                                       m_doc.createCDATASection(value),
                                       m_doc.createProcessingInstruction("t", value)};
            e = m_rng.bounded(5) ? created[m_rng.bounded(4)]
                                 : m_doc.createElement(pick(elementNames));
            if (e.nodeType() == NODE_ELEMENT && m_rng.bounded(2))
                e.rename(pick(elementNames));
            return hold(e);
        }
        case 8:
        case 9:
            if (target.nodeType() == NODE_DOCUMENT || target.nodeType() == NODE_DOCUMENT_TYPE)
                return;
            e = target.cloneNode(m_rng.bounded(2));
            names = inTree(target) ? std::optional(namesOf(e)) : std::nullopt;
            break;
        default: { // another document's subtree, with its own declarations
            const XmlDocument other =
                parsed("<o:m xmlns:o=\"urn:p\" xmlns=\"urn:x\"><k o:a=\"1\"/></o:m>");
            e = m_doc.importNode(other.documentElement(), true);
            names = namesOf(other.documentElement());
        }
        }
        hold(e);
        insertAnywhere(e, containers, names);
    }

    Seen m_seen; // outlives the document it listens to
    XmlDocument m_doc;
    QRandomGenerator m_rng;
    bool m_keepDoctype;
    std::vector<XmlNode> m_pool;
    std::vector<State> m_states;
    std::vector<size_t> m_held;
    int m_saved = 0; // the state last marked saved
};

TEST(XmlHistory, RandomChangesUndoAndRedoToTheSameNodes) {
    const quint32 seed = testSeed(4013326442u);
    const int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                          ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                          : 150;
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    for (const char* text : kDocuments) {
        SCOPED_TRACE(text);
        for (quint32 run = 0; run < 4 && !testing::Test::HasFatalFailure(); ++run)
            RandomEdits(parsed(text), seed + run).run(steps);
    }
}
const auto at = [](const XmlDocument& d, const char* path) { return d.selectSingleNode(q(path)); };

// Every rule by which the DOM refuses a change, named in the refusal, inside a step or outside.
TEST(XmlHistory, RefusedChangesChangeNothing) {
    using D = XmlDocument&;
    const QString dom = "<?xml version=\"1.0\"?><!DOCTYPE r><r id=\"1\" xmlns:p=\"urn:p\">text<a>"
                        "<b/></a><!--c--></r>";
    const QString ns = "<r xmlns:p=\"urn:p\" xmlns:u=\"urn:u\" xmlns:p2=\"urn:p\"><a><p:b k=\"1\" "
                       "p:a=\"1\"/><c/></a></r>";
    // As deep as a document may nest, with an element to move under the deepest.
    const QString deep =
        QString("<a>").repeated(9999) + "<b>t</b><s/>" + QString("</a>").repeated(9999);
    const char* tooDeep = "The document would nest elements more than 10000 levels deep, deeper "
                          "than the editor can hold.";
    const QString texts[] = {dom, kDocuments[2], deep, ns};
    const struct Row {
        int text; // in texts
        const char* message;
        std::function<void(D)> act;
    } rows[] = {
        {0, "Only one top level element is allowed in an XML document.",
         [](D d) { d.appendChild(d.createElement("s")); }},
        {0, "Text cannot be inserted at the top level of a document.",
         [](D d) { d.appendChild(d.createTextNode("t")); }},
        {0, "A node cannot be inserted into itself or one of its descendants.",
         [](D d) { at(d, "//b").appendChild(at(d, "//a")); }},
        {0, "An attribute cannot be inserted as a child node.",
         [](D d) { at(d, "//a").appendChild(at(d, "/r/@id")); }},
        {0, "This node cannot have child nodes.",
         [](D d) { at(d, "/r/text()").appendChild(d.createElement("z")); }},
        {0, "This node cannot have child nodes.",
         [](D d) { at(d, "/r").attributes().item(0).appendChild(at(d, "//b")); }},
        {0, "The node is not a child of this node.",
         [](D d) { at(d, "/r").insertBefore(at(d, "//a"), at(d, "//b")); }},
        {0, "The node is not a child of this node.",
         [](D d) { at(d, "/r").removeChild(at(d, "//b")); }},
        {0, "The node belongs to a different document.",
         [](D d) { at(d, "//a").appendChild(at(parsed("<o/>"), "/o")); }},
        {0, "'1x' is not a valid element name.", [](D d) { d.createElement("1x"); }},
        {0, "'a b' is not a valid attribute name.",
         [](D d) { at(d, "//a").setAttribute("a b", "v"); }},
        {0, "The text contains a character that XML does not allow (U+0001).",
         [](D d) { at(d, "/r/text()").setText("\x01"); }},
        {0, "The text contains a character that XML does not allow (U+D800).",
         [](D d) { at(d, "/r").setAttribute("id", QChar(0xD800)); }},
        {0, "A comment cannot contain \"--\" or end with \"-\".",
         [](D d) { at(d, "//comment()").setText("a--b"); }},
        {0, "A comment cannot contain \"--\" or end with \"-\".",
         [](D d) { d.createComment("a-"); }},
        {0, "Processing instruction data cannot contain \"?>\".",
         [](D d) { d.createProcessingInstruction("t", "a?>"); }},
        {0, "The processing instruction target 'XML' is reserved.",
         [](D d) { d.createProcessingInstruction("XML", ""); }},
        {0, "'p:x' is not a valid processing instruction target name.",
         [](D d) { d.createProcessingInstruction("p:x", ""); }},
        {0, "'garbage' is not a valid XML declaration.",
         [](D d) { d.firstChild().setText("garbage"); }},
        {0, "The XML declaration can only stand at the start of the document.",
         [](D d) { d.appendChild(d.firstChild()); }},
        {0, "The document type declaration must come before the document element.",
         [](D d) { d.appendChild(d.childNodes().item(1)); }},
        {1,
         "The document type declaration cannot be removed while the document uses the entities it "
         "declares.",
         [](D d) { d.removeChild(d.childNodes().item(1)); }},
        {1, "The text contains a character that XML does not allow (U+0001).",
         [](D d) { d.documentElement().setAttribute("a", QString(QChar(1))); }},
        {2, tooDeep, [](D d) { at(d, "//b").appendChild(d.createElement("c")); }},
        {2, tooDeep, [](D d) { at(d, "//b").appendChild(at(d, "//s")); }},
        {3, "The prefix 'q' is not declared.", [](D d) { at(d, "/r/a").rename("q:x"); }},
        {3, "The prefix 'q' is not declared.",
         [](D d) { d.documentElement().appendChild(d.createElement("q:x")); }},
        {3, "The prefix 'q' is not declared.",
         [](D d) { at(d, "//p:b").setAttribute("q:x", "v"); }},
        {3, "The namespace declaration 'xmlns:k' cannot be empty.",
         [](D d) { at(d, "//p:b").setAttribute("xmlns:k", ""); }},
        {3, "The attribute 'p2:a' has the same namespace and name as 'p:a'.",
         [](D d) { at(d, "//p:b").setAttribute("p2:a", "2"); }},
        {3, "'p:a:b' is not a valid attribute name.",
         [](D d) { at(d, "//p:b").setAttribute("p:a:b", "2"); }},
        {3, "The namespace declaration 'xmlns:p' cannot be removed: 'p:b' uses it.",
         [](D d) { d.documentElement().removeAttribute("xmlns:p"); }},
        {3, "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
         [](D d) { d.documentElement().setAttribute("xmlns:p", "urn:changed"); }},
        {3, "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns:p", "urn:other"); }},
        {3, "The namespace declaration 'xmlns' would change the namespace of 'a'.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns", "urn:d"); }},
        {3, "The prefix 'xml' is reserved.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns:xml", "urn:x"); }},
        {3, "'<&>' is not a valid namespace name.",
         [](D d) { at(d, "//c").setAttribute("xmlns:z", "<&>"); }},
        {3, "'u:a&b#f' is not a valid namespace name.", // libxml2 would not read it again
         [](D d) { at(d, "//c").setAttribute("xmlns:z", "u:a&b#f"); }},
        {3, "'x]]>y' is not a valid namespace name.",
         [](D d) { at(d, "//c").setAttribute("xmlns", "x]]>y"); }},
        {3, "The namespace name 'http://www.w3.org/2000/xmlns/' is reserved.",
         [](D d) { at(d, "//c").setAttribute("xmlns:z", "http://www.w3.org/2000/xmlns/"); }},
        {3, "'xmlns:a' is not a valid element name.", [](D d) { at(d, "//c").rename("xmlns:a"); }},
        {3, "':a' is not a valid element name.",
         [](D d) { at(d, "//c").appendChild(d.createElement(":a")); }},
    };
    for (const Row& row : rows) {
        for (const bool inStep : {false, true}) {
            SCOPED_TRACE(std::string(row.message) + (inStep ? " in a step" : " outside a step"));
            XmlDocument doc = parsed(texts[row.text]);
            change(doc, [&] { doc.documentElement().setAttribute("k", "1"); });
            const State before = capture(doc);
            const quint64 revision = doc.revision();
            {
                std::optional<XmlChangeStep> step;
                if (inStep)
                    step.emplace(doc, "refused");
                expectRefused(doc, row.message, [&] { row.act(doc); });
            }
            EXPECT_EQ(difference(before, capture(doc)), "");
            EXPECT_EQ(doc.revision(), revision);
            EXPECT_EQ(doc.history().undoCount(), 1);
            doc.history().undo();
            EXPECT_TRUE(doc.documentElement().attributes().getNamedItem("k").isNull());
        }
    }
}

TEST(XmlHistory, MemoryLimitDropsTheOldestSteps) {
    XmlDocument doc = parsed("<r><t>start</t></r>");
    XmlHistory& history = doc.history();
    XmlNode text = doc.documentElement().firstChild().firstChild();
    const QString big(20000, 'x');
    for (int i = 0; i < 5; ++i)
        change(doc, [&] { text.setText(big + QString::number(i)); });
    // A step holds the value it replaced.
    EXPECT_GE(history.undoStepMemory(), 20000u);
    EXPECT_LT(history.undoStepMemory(), 40000u);
    EXPECT_LT(history.undoStepMemory(4), 1000u);
    history.markSaved();
    history.setMemoryLimit(50000);
    EXPECT_EQ(history.undoCount(), 2);
    EXPECT_LE(history.memoryUse(), 50000u);
    EXPECT_TRUE(history.isAtSavedPosition());
    history.undo();
    history.undo();
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(text.text(), big + "2");
    // The newest step stays even when it alone is over the limit.
    history.setMemoryLimit(10);
    change(doc, [&] { text.setText("short"); });
    EXPECT_EQ(history.undoCount(), 1);
    history.undo();
    EXPECT_EQ(text.text(), big + "2");
}

// Replaces `first` by a new document in one step, as Open and Apply Text do; `shown` follows.
XmlDocument replaced(XmlDocument& first, XmlDocument& shown, const char* caption) {
    XmlDocument second = parsed("<second/>");
    first.history().replaceDocument(caption, second, [&shown](const XmlDocument& d) { shown = d; });
    shown = second;
    return second;
}

TEST(XmlHistory, WholeDocumentStepsHandTheDocumentsBack) {
    XmlDocument first = parsed(kDocuments[1]), shown = first;
    XmlNode kept = first.documentElement().firstChild();
    change(first, [&] { kept.setText("edited"); });
    XmlDocument second = replaced(first, shown, "Open");
    EXPECT_EQ(str(second.history().undoCaption()), "Open");
    change(second, [&] { second.documentElement().setAttribute("a", "1"); });
    second.history().undo();
    second.history().undo();
    EXPECT_TRUE(shown == first);
    EXPECT_TRUE(first.history().canUndo());
    first.history().undo();
    EXPECT_EQ(str(kept.text()), "text ");
    first.history().redo();
    first.history().redo();
    EXPECT_TRUE(shown == second);
    second.history().redo();
    EXPECT_EQ(str(second.xml()), "<second a=\"1\"/>\n");
    // The replaced document changed while it waited: its older steps no longer fit it.
    kept.setText("changed aside");
    second.history().undo();
    second.history().undo();
    EXPECT_TRUE(shown == first);
    EXPECT_FALSE(first.history().canUndo());
    EXPECT_TRUE(first.history().canRedo());
}

TEST(XmlHistory, LargeReplacedDocumentsArePackedAndReadBack) {
    const QStringList texts = {
        kDocuments[0], kDocuments[1], kDocuments[2], kDocuments[3],
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><r a=\"x&#13;&#9;y\" "
        "b='q\"'>\u00e9\u4e2d&#13;\r\n<![CDATA[a]]]]><![CDATA[>b]]><e xml:space=\"preserve\">  "
        "</e><m> <k/> </m></r><!--after-->"};
    for (const QString& text : texts) {
        SCOPED_TRACE(str(text));
        XmlDocument first = parsed(text), shown = first;
        XmlNode root = first.documentElement();
        change(first, [&] { root.setAttribute("added", "1"); });
        // Two text nodes side by side are one once read back; the text is the same.
        change(first, [&] { root.appendChild(first.createTextNode("one ")); });
        change(first, [&] { root.appendChild(first.createTextNode("two")); });
        first.history().markSaved();
        const QString before = first.xml();
        first.history().setPackAbove(0);
        XmlDocument second = replaced(first, shown, "Apply Text");
        XmlHistory& history = second.history();
        EXPECT_EQ(history.undoCount(), 1) << "the steps on the packed nodes go with them";
        history.finishPacking();
        change(second, [&] { second.documentElement().setAttribute("s", "2"); });
        history.undo();
        EXPECT_FALSE(history.isAtSavedPosition());
        history.undo();
        ASSERT_FALSE(shown == first);
        EXPECT_EQ(str(shown.xml()), str(before));
        EXPECT_EQ(str(serialisationProblem(shown)), "");
        EXPECT_TRUE(shown.history().isAtSavedPosition());
        EXPECT_FALSE(shown.history().canUndo());
        // Undone, the newer document is packed in turn, and the step after it had its nodes.
        EXPECT_EQ(str(shown.history().redoCaption()), "Apply Text");
        shown.history().finishPacking();
        shown.history().redo();
        EXPECT_EQ(str(shown.xml()), "<second/>\n");
        EXPECT_FALSE(shown.history().canRedo());
        shown.history().undo();
        EXPECT_EQ(str(shown.xml()), str(before));
    }
}

// Holds the packing worker before it writes, until released or told to stop.
struct PackHold {
    PackHold() {
        XmlPackedDocument::SetBeforePackHook(
            [this](const std::atomic<bool>& stop) { gate.pass(&stop); });
    }
    ~PackHold() {
        gate.release();
        XmlPackedDocument::SetBeforePackHook({});
    }
    WorkerGate gate;
};

TEST(XmlHistory, DocumentStillBeingPackedComesBackItself) {
    XmlDocument first = parsed(kDocuments[0]), shown = first;
    XmlNode kept = first.documentElement().firstChild();
    first.history().setPackAbove(0);
    {
        PackHold hold; // undone before the worker wrote it: the same nodes come back at once
        replaced(first, shown, "Apply Text").history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(kept.parentNode() == first.documentElement());
    }
    {
        // Changed through a node held elsewhere while it waited: the worker gives up, and the
        // document stays as nodes, with the change.
        PackHold hold;
        XmlDocument second = replaced(first, shown, "Apply Text");
        kept.setAttribute("aside", "1");
        hold.gate.release();
        second.history().finishPacking();
        second.history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(first.xml().contains("aside=\"1\""));
    }
    PackHold hold; // forgotten while the worker waits: it is stopped, not waited for
    XmlDocument second = replaced(first, shown, "Apply Text");
    second.history().clear();
    EXPECT_FALSE(second.history().canUndo());
}

// Set aside as the text it wrote (read anyway as its replacement), a document comes back from that
// very text, in its layout when written over its source, without the steps made on its nodes.
TEST(XmlHistory, ADocumentSetAsideAsItsOwnTextComesBackFromIt) {
    const QByteArray layout = "<r  a='1'>\n\t<k/>  <!-- c --></r>\r\n";
    const auto into = [](QByteArray& out) {
        return [&out](const char* data, int len) {
            out.append(data, len);
            return true;
        };
    };
    for (const bool withSource : {true, false}) {
        SCOPED_TRACE(withSource ? "written over its source" : "written as plain markup");
        XmlDocument document = XmlDocument::create();
        ASSERT_TRUE(document.loadUtf8(layout));
        if (withSource)
            document.keepSourceText(layout);
        change(document, [&] { document.documentElement().setAttribute("b", "2"); });
        QByteArray text;
        EXPECT_EQ(document.writeXml(into(text)), withSource);
        EXPECT_EQ(text.startsWith("<r  a='1' b=\"2\">\n\t<k/>  "), withSource) << text.data();
        XmlDocumentAside aside(std::move(document), text, withSource);
        EXPECT_TRUE(document.isNull());
        XmlDocument back = aside.takeBack();
        QByteArray again;
        EXPECT_EQ(back.writeXml(into(again)), withSource);
        EXPECT_EQ(again, text);
        EXPECT_FALSE(back.history().canUndo());
    }
}

// The prefix xml is bound even with no document element; the namespace pass once crashed on it.
TEST(XmlHistory, HeldElementWithXmlLangAfterTheDocumentElementWasRemoved) {
    XmlDocument doc = parsed("<r xml:lang=\"en\"><k/></r>");
    XmlNode root = doc.documentElement();
    change(doc, [&] { doc.removeChild(root); });
    const State before = capture(doc);
    change(doc, [&] { root.setAttribute("p:a", "1", "urn:p"); });
    change(doc, [&] { doc.appendChild(root); });
    EXPECT_EQ(NamespaceProblem(doc.xml()), QString());
    EXPECT_EQ(str(root.xml()), "<r xmlns:p=\"urn:p\" xml:lang=\"en\" p:a=\"1\">\n  <k/>\n</r>");
    doc.history().undo();
    doc.history().undo();
    EXPECT_EQ(difference(before, capture(doc)), "");
}

} // namespace

// Apply measures the Document it replaces on another thread while it parses: the step then holds
// what one made without that holds. A document changed after it was measured is measured again.
TEST(XmlHistory, AReplacementPreparedAsideMakesTheSameStep) {
    const auto stepMemory = [](bool prepared, bool changedAfter) {
        XmlDocument first = parsed(kDocuments[1]), shown = first;
        if (prepared)
            AsideWork::Start([first] { first.prepareReplacement(); })->Wait();
        if (changedAfter)
            change(first, [&] { first.documentElement().setAttribute("added", "1"); });
        const XmlDocument second = replaced(first, shown, "Apply Text");
        return second.history().undoStepMemory();
    };
    EXPECT_EQ(stepMemory(true, false), stepMemory(false, false));
    EXPECT_EQ(stepMemory(true, true), stepMemory(false, true));
    EXPECT_GT(stepMemory(false, true), stepMemory(false, false));
}
