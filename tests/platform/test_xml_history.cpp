// Undo and redo through the XML layer's journal: every change puts back the same node objects in
// the same places, with the same declarations behind the same names, and every state in between
// serialises to text that parses with namespace checking. A refused change changes nothing at all.

#include "platform/xml/xmldocument.h"
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

// Every node of a subtree by identity: its place, its name, the declaration it points to, its
// value; every attribute with its value nodes, every declaration; in document order.
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

class RandomEdits {
public:
    // The XML layer checks only the tree for references to the entities of a document type
    // declaration it removes, not the subtrees held outside it that may come back later, so
    // a document that declares entities keeps its declaration here.
    RandomEdits(XmlDocument doc, quint32 seed)
        : m_doc(std::move(doc)), m_rng(seed), m_keepDoctype(m_doc.xml().contains("<!ENTITY")) {}

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
        };
        for (int k = count; k > 0; --k) {
            ASSERT_TRUE(history.canUndo());
            history.undo();
            ASSERT_NO_FATAL_FAILURE(expectState(k - 1)) << "undo of step " << k;
        }
        ASSERT_FALSE(history.canUndo());
        for (int k = 1; k <= count; ++k) {
            ASSERT_TRUE(history.canRedo());
            history.redo();
            ASSERT_NO_FATAL_FAILURE(expectState(k)) << "redo of step " << k;
        }
        ASSERT_FALSE(history.canRedo());
    }

private:
    void record() {
        m_states.push_back(capture(m_doc, m_pool, m_pool.size()));
        m_held.push_back(m_pool.size());
    }

    // One random change through the public API, in a step of its own.
    void step() {
        const int before = m_doc.history().undoCount();
        const size_t held = m_pool.size();
        const State unchanged = capture(m_doc, m_pool, held);
        bool refused = false;
        {
            XmlChangeStep change(m_doc, "edit");
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
            ASSERT_EQ(difference(unchanged, capture(m_doc, m_pool, held)), "")
                << (refused ? "refused" : "not recorded");
            return;
        }
        ASSERT_EQ(after, before + 1);
        record();
    }

    template <typename List> auto pick(const List& list) {
        return list[static_cast<int>(m_rng.bounded(static_cast<quint32>(list.size())))];
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
    XmlNode anyChild(const XmlNode& parent) {
        const XmlNodeList children = parent.childNodes();
        return children.item(static_cast<int>(m_rng.bounded(children.length() + 1u)));
    }
    void hold(const XmlNode& n) {
        if (std::find(m_pool.begin(), m_pool.end(), n) == m_pool.end())
            m_pool.push_back(n);
    }
    void insertAnywhere(const XmlNode& n, const std::vector<XmlNode>& containers) {
        XmlNode parent = pick(containers);
        parent.insertBefore(n, anyChild(parent));
    }

    void randomChange() {
        static const QStringList elementNames = {"e",   "p:e",          "q:e",
                                                 "n:e", "undeclared:e", "bad name"},
                                 attributeNames = {"a",       "p:a",     "q:b",     "n:u",
                                                   "xmlns:p", "xmlns:n", "xmlns:z", "xmlns",
                                                   "b",       "xml:lang"},
                                 values = {"",      "v",      "urn:p", "urn:n",
                                           "urn:d", "x\r\ny", "a&b<",  "--"},
                                 uris = {"urn:p", "urn:n", "urn:q", "urn:fresh"};
        const std::vector<XmlNode> all = nodes();
        const XmlNode target = pick(all);
        std::vector<XmlNode> containers, elements;
        for (const XmlNode& n : all) {
            if (n.nodeType() == NODE_ELEMENT || n.nodeType() == NODE_DOCUMENT)
                containers.push_back(n);
            if (n.nodeType() == NODE_ELEMENT)
                elements.push_back(n);
        }
        const bool keep = m_keepDoctype && target.nodeType() == NODE_DOCUMENT_TYPE;
        switch (m_rng.bounded(12)) {
        case 0:
        case 1:
            return insertAnywhere(target, containers);
        case 2:
            if (XmlNode parent = target.parentNode(); parent && !keep) {
                parent.removeChild(target);
                hold(target);
            }
            return;
        case 3:
            if (XmlNode parent = target.parentNode(); parent && !keep) {
                parent.replaceChild(pick(all), target);
                hold(target);
            }
            return;
        case 4: {
            if (elements.empty())
                return;
            const auto attributes = pick(elements).attributes().toVector();
            if (!attributes.empty() && m_rng.bounded(2))
                XmlNode(pick(attributes)).setText(pick(values));
            else if (target.nodeType() != NODE_DOCUMENT)
                XmlNode(target).setText(pick(values));
            return;
        }
        case 5:
            for (XmlNode e : elements) {
                if (m_rng.bounded(4) == 0)
                    return e.setAttribute(pick(attributeNames), pick(values));
            }
            return;
        case 6:
            for (XmlNode e : elements) {
                if (m_rng.bounded(4) == 0)
                    return e.setAttribute(pick(attributeNames), pick(values), pick(uris));
            }
            return;
        case 7:
            for (XmlNode e : elements) {
                const auto attributes = e.attributes().toVector();
                if (!attributes.empty() && m_rng.bounded(3) == 0)
                    return e.removeAttribute(pick(attributes).nodeName());
            }
            return;
        case 8:
            for (XmlNode e : elements) {
                if (m_rng.bounded(4) == 0)
                    return e.rename(pick(elementNames));
            }
            return;
        case 9: {
            XmlNode created; // linked by a later change, when it is picked
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
                created = m_doc.createComment("new");
                break;
            case 3:
                created = m_doc.createCDATASection(pick(values));
                break;
            default:
                created = m_doc.createProcessingInstruction("t", pick(values));
            }
            return hold(created);
        }
        case 10:
            if (target.nodeType() != NODE_DOCUMENT && target.nodeType() != NODE_DOCUMENT_TYPE) {
                const XmlNode copy = target.cloneNode(m_rng.bounded(2));
                hold(copy);
                insertAnywhere(copy, containers);
            }
            return;
        default: {
            // Another document's subtree, with its own declarations.
            const XmlDocument other =
                parsed("<o:m xmlns:o=\"urn:p\" xmlns=\"urn:x\"><k o:a=\"1\"/></o:m>");
            const XmlNode copy = m_doc.importNode(other.documentElement(), true);
            hold(copy);
            insertAnywhere(copy, containers);
        }
        }
    }

    XmlDocument m_doc;
    QRandomGenerator m_rng;
    bool m_keepDoctype;
    std::vector<XmlNode> m_pool;
    std::vector<State> m_states;
    std::vector<size_t> m_held;
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

// Every rule by which the DOM refuses a change: the refusal names the rule, and leaves the text,
// the revision, every node object and the steps as they were, inside a step or outside one.
TEST(XmlHistory, RefusedChangesChangeNothing) {
    using D = XmlDocument&;
    const QString dom = "<?xml version=\"1.0\"?><!DOCTYPE r><r id=\"1\" xmlns:p=\"urn:p\">text<a>"
                        "<b/></a><!--c--></r>";
    const QString entities = kDocuments[2];
    const QString ns = "<r xmlns:p=\"urn:p\" xmlns:u=\"urn:u\" xmlns:p2=\"urn:p\"><a><p:b k=\"1\" "
                       "p:a=\"1\"/><c/></a></r>";
    // As deep as a document may nest, with an element to move under the deepest.
    const QString deep =
        QString("<a>").repeated(9999) + "<b>t</b><s/>" + QString("</a>").repeated(9999);
    const char* tooDeep = "The document would nest elements more than 10000 levels deep, deeper "
                          "than the editor can hold.";
    const struct Row {
        const char* name;
        const QString& text;
        const char* message;
        std::function<void(D)> act;
    } rows[] = {
        {"second_root", dom, "Only one top level element is allowed in an XML document.",
         [](D d) { d.appendChild(d.createElement("s")); }},
        {"text_under_document", dom, "Text cannot be inserted at the top level of a document.",
         [](D d) { d.appendChild(d.createTextNode("t")); }},
        {"into_own_descendant", dom,
         "A node cannot be inserted into itself or one of its descendants.",
         [](D d) { at(d, "//b").appendChild(at(d, "//a")); }},
        {"attribute_as_child", dom, "An attribute cannot be inserted as a child node.",
         [](D d) { at(d, "//a").appendChild(at(d, "/r/@id")); }},
        {"child_under_text", dom, "This node cannot have child nodes.",
         [](D d) { at(d, "/r/text()").appendChild(d.createElement("z")); }},
        {"in_xmlns", dom, "This node cannot have child nodes.",
         [](D d) { at(d, "/r").attributes().item(0).appendChild(at(d, "//b")); }},
        {"bad_reference", dom, "The node is not a child of this node.",
         [](D d) { at(d, "/r").insertBefore(at(d, "//a"), at(d, "//b")); }},
        {"remove_not_a_child", dom, "The node is not a child of this node.",
         [](D d) { at(d, "/r").removeChild(at(d, "//b")); }},
        {"foreign_node", dom, "The node belongs to a different document.",
         [](D d) { at(d, "//a").appendChild(at(parsed("<o/>"), "/o")); }},
        {"element_name", dom, "'1x' is not a valid element name.",
         [](D d) { d.createElement("1x"); }},
        {"attribute_name", dom, "'a b' is not a valid attribute name.",
         [](D d) { at(d, "//a").setAttribute("a b", "v"); }},
        {"control_char_in_text", dom,
         "The text contains a character that XML does not allow (U+0001).",
         [](D d) { at(d, "/r/text()").setText("\x01"); }},
        {"lone_surrogate", dom, "The text contains a character that XML does not allow (U+D800).",
         [](D d) { at(d, "/r").setAttribute("id", QChar(0xD800)); }},
        {"comment_double_hyphen", dom, "A comment cannot contain \"--\" or end with \"-\".",
         [](D d) { at(d, "//comment()").setText("a--b"); }},
        {"comment_ending_hyphen", dom, "A comment cannot contain \"--\" or end with \"-\".",
         [](D d) { d.createComment("a-"); }},
        {"pi_data_end", dom, "Processing instruction data cannot contain \"?>\".",
         [](D d) { d.createProcessingInstruction("t", "a?>"); }},
        {"pi_target_xml", dom, "The processing instruction target 'XML' is reserved.",
         [](D d) { d.createProcessingInstruction("XML", ""); }},
        {"pi_target_prefixed", dom, "'p:x' is not a valid processing instruction target name.",
         [](D d) { d.createProcessingInstruction("p:x", ""); }},
        {"declaration_garbage", dom, "'garbage' is not a valid XML declaration.",
         [](D d) { d.firstChild().setText("garbage"); }},
        {"declaration_moved_last", dom,
         "The XML declaration can only stand at the start of the document.",
         [](D d) { d.appendChild(d.firstChild()); }},
        {"doctype_after_root", dom,
         "The document type declaration must come before the document element.",
         [](D d) { d.appendChild(d.childNodes().item(1)); }},
        {"doctype_whose_entities_are_used", entities,
         "The document type declaration cannot be removed while the document uses the entities it "
         "declares.",
         [](D d) { d.removeChild(d.childNodes().item(1)); }},
        {"attribute_value_control_char", entities,
         "The text contains a character that XML does not allow (U+0001).",
         [](D d) { d.documentElement().setAttribute("a", QString(QChar(1))); }},
        {"too_deep_new_child", deep, tooDeep,
         [](D d) { at(d, "//b").appendChild(d.createElement("c")); }},
        {"too_deep_moved_child", deep, tooDeep,
         [](D d) { at(d, "//b").appendChild(at(d, "//s")); }},
        {"rename_undeclared_prefix", ns, "The prefix 'q' is not declared.",
         [](D d) { at(d, "/r/a").rename("q:x"); }},
        {"create_undeclared_prefix", ns, "The prefix 'q' is not declared.",
         [](D d) { d.documentElement().appendChild(d.createElement("q:x")); }},
        {"attribute_undeclared_prefix", ns, "The prefix 'q' is not declared.",
         [](D d) { at(d, "//p:b").setAttribute("q:x", "v"); }},
        {"empty_prefixed_declaration", ns, "The namespace declaration 'xmlns:k' cannot be empty.",
         [](D d) { at(d, "//p:b").setAttribute("xmlns:k", ""); }},
        {"attribute_twice_by_namespace", ns,
         "The attribute 'p2:a' has the same namespace and name as 'p:a'.",
         [](D d) { at(d, "//p:b").setAttribute("p2:a", "2"); }},
        {"attribute_two_colons", ns, "'p:a:b' is not a valid attribute name.",
         [](D d) { at(d, "//p:b").setAttribute("p:a:b", "2"); }},
        {"declaration_in_use_removed", ns,
         "The namespace declaration 'xmlns:p' cannot be removed: 'p:b' uses it.",
         [](D d) { d.documentElement().removeAttribute("xmlns:p"); }},
        {"declaration_in_use_changed", ns,
         "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
         [](D d) { d.documentElement().setAttribute("xmlns:p", "urn:changed"); }},
        {"declaration_in_use_shadowed", ns,
         "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns:p", "urn:other"); }},
        {"default_namespace_in_use", ns,
         "The namespace declaration 'xmlns' would change the namespace of 'a'.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns", "urn:d"); }},
        {"xml_prefix_declared", ns, "The prefix 'xml' is reserved.",
         [](D d) { at(d, "/r/a").setAttribute("xmlns:xml", "urn:x"); }},
        {"markup_in_namespace_name", ns, "'<&>' is not a valid namespace name.",
         [](D d) { at(d, "//c").setAttribute("xmlns:z", "<&>"); }},
        {"cdata_end_in_namespace_name", ns, "'x]]>y' is not a valid namespace name.",
         [](D d) { at(d, "//c").setAttribute("xmlns", "x]]>y"); }},
        {"xmlns_namespace_bound", ns,
         "The namespace name 'http://www.w3.org/2000/xmlns/' is reserved.",
         [](D d) { at(d, "//c").setAttribute("xmlns:z", "http://www.w3.org/2000/xmlns/"); }},
        {"element_named_xmlns", ns, "'xmlns:a' is not a valid element name.",
         [](D d) { at(d, "//c").rename("xmlns:a"); }},
        {"element_name_empty_prefix", ns, "':a' is not a valid element name.",
         [](D d) { at(d, "//c").appendChild(d.createElement(":a")); }},
    };
    for (const Row& row : rows) {
        for (const bool inStep : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (inStep ? " in a step" : " outside a step"));
            XmlDocument doc = parsed(row.text);
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

TEST(XmlHistory, RollBackPutsBackWhatTheStepChanged) {
    XmlDocument doc = parsed(kDocuments[0]);
    XmlNode root = doc.documentElement();
    XmlNode x = root.firstChild();
    change(doc, [&] { x.setAttribute("q:b", "changed"); });
    const State afterFirst = capture(doc);
    {
        // A command that fails half-way: what it did is undone, the step before stays.
        XmlChangeStep step(doc, "half");
        root.removeChild(x);
        root.appendChild(x);
        x.rename("e");
        root.setAttribute("xmlns:n", "urn:n");
        step.rollBack();
    }
    EXPECT_EQ(difference(afterFirst, capture(doc)), "");
    EXPECT_EQ(doc.history().undoCount(), 1);
    EXPECT_EQ(NamespaceProblem(doc.xml()), QString());

    // An inner scope's roll-back undoes only its own part; the outer step keeps the rest.
    {
        XmlChangeStep outer(doc, "outer");
        root.setAttribute("kept", "1");
        const State middle = capture(doc);
        {
            XmlChangeStep inner(doc, "inner");
            x.setText("gone");
            inner.rollBack();
        }
        EXPECT_EQ(difference(middle, capture(doc)), "");
        outer.commit();
    }
    EXPECT_EQ(doc.history().undoCount(), 2);
    EXPECT_EQ(str(doc.history().undoCaption()), "outer");
    doc.history().undo();
    EXPECT_EQ(difference(afterFirst, capture(doc)), "");
}

TEST(XmlHistory, ChangesNoStepCanUndoEndTheHistory) {
    const std::pair<const char*, std::function<void(XmlDocument&)>> rows[] = {
        {"change outside a step",
         [](XmlDocument& d) { d.documentElement().setAttribute("o", "1"); }},
        {"step dropped after a change",
         [](XmlDocument& d) {
             XmlChangeStep step(d, "dropped");
             d.documentElement().setAttribute("o", "1");
         }},
        {"reload", [](XmlDocument& d) { d.loadXML("<other/>"); }},
    };
    for (const auto& [name, unrecorded] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(kDocuments[1]);
        change(doc, [&] { doc.documentElement().setAttribute("k", "1"); });
        doc.history().markSaved();
        unrecorded(doc);
        EXPECT_FALSE(doc.history().canUndo());
        EXPECT_FALSE(doc.history().isAtSavedPosition());
        EXPECT_EQ(doc.history().memoryUse(), 0u);
    }
}

TEST(XmlHistory, NewChangeDropsRedoAndSavedPositionFollowsSteps) {
    XmlDocument doc = parsed(kDocuments[1]);
    XmlHistory& history = doc.history();
    XmlNode root = doc.documentElement();
    EXPECT_TRUE(history.isAtSavedPosition());
    change(doc, [&] { root.setAttribute("a", "1"); });
    history.markSaved();
    change(doc, [&] { root.setAttribute("a", "2"); });
    EXPECT_FALSE(history.isAtSavedPosition());
    history.undo();
    EXPECT_TRUE(history.isAtSavedPosition());
    history.undo();
    EXPECT_FALSE(history.isAtSavedPosition());
    history.redo();
    EXPECT_TRUE(history.isAtSavedPosition());
    EXPECT_TRUE(history.canRedo());

    change(doc, [&] { root.setAttribute("b", "3"); });
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undoCount(), 2);
    history.undo();
    EXPECT_TRUE(history.isAtSavedPosition());
    EXPECT_EQ(str(root.attributes().getNamedItem("a").text()), "1");

    // The saved state lay in the redo steps a new change drops: nothing reaches it any more.
    history.undo();
    change(doc, [&] { root.setAttribute("c", "4"); });
    history.undo();
    EXPECT_FALSE(history.isAtSavedPosition());
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

struct Seen : XmlChangeListener {
    void aboutToChange(const XmlNode& container) override { containers.push_back(container); }
    bool saw(const XmlNode& n) const {
        return std::find(containers.begin(), containers.end(), n) != containers.end();
    }
    std::vector<XmlNode> containers;
};

TEST(XmlHistory, UndoAndRedoTellListenersAndCountAsChanges) {
    XmlDocument doc = parsed(kDocuments[0]);
    XmlNode root = doc.documentElement();
    XmlNode plain = root.childNodes().item(1);
    XmlNode inner = plain.firstChild();
    change(doc, [&] { root.insertBefore(inner, root.firstChild()); });
    Seen seen;
    root.addChangeListener(&seen);
    const quint64 revision = doc.revision();
    EXPECT_EQ(doc.history().undo().first, plain);
    EXPECT_NE(doc.revision(), revision);
    EXPECT_EQ(inner.parentNode(), plain);
    EXPECT_TRUE(seen.saw(root));
    EXPECT_TRUE(seen.saw(plain));
    EXPECT_EQ(doc.history().redo().first, root);
    root.removeChangeListener(&seen);
}

TEST(XmlHistory, WholeDocumentStepsHandTheDocumentsBack) {
    XmlDocument first = parsed(kDocuments[1]);
    XmlNode kept = first.documentElement().firstChild();
    change(first, [&] { kept.setText("edited"); });
    XmlDocument shown = first;
    auto show = [&shown](const XmlDocument& d) { shown = d; };
    XmlDocument second = parsed("<second/>");
    first.history().replaceDocument("Open", second, show);
    shown = second;
    EXPECT_EQ(str(second.history().undoCaption()), "Open");
    change(second, [&] { second.documentElement().setAttribute("a", "1"); });

    XmlHistory& history = second.history();
    history.undo();
    history.undo();
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
        XmlDocument first = parsed(text);
        XmlNode root = first.documentElement();
        change(first, [&] { root.setAttribute("added", "1"); });
        // Two text nodes side by side are one once read back; the text is the same.
        change(first, [&] { root.appendChild(first.createTextNode("one ")); });
        change(first, [&] { root.appendChild(first.createTextNode("two")); });
        first.history().markSaved();
        const QString before = first.xml();
        first.history().setPackAbove(0);
        XmlDocument shown = first;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument("Apply Text", second,
                                        [&shown](const XmlDocument& d) { shown = d; });
        shown = second;
        XmlHistory& history = second.history();
        // The steps made on the packed document's nodes are gone with them.
        EXPECT_EQ(history.undoCount(), 1);
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
    XmlDocument first = parsed(kDocuments[0]);
    XmlNode kept = first.documentElement().firstChild();
    XmlDocument shown = first;
    const auto show = [&shown](const XmlDocument& d) { shown = d; };
    first.history().setPackAbove(0);
    {
        // Undone before the worker wrote it: the same nodes come back at once.
        PackHold hold;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument("Apply Text", second, show);
        second.history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(kept.parentNode() == first.documentElement());
    }
    {
        // Changed through a node held elsewhere while it waited: the worker gives up, and the
        // document stays as nodes, with the change.
        PackHold hold;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument("Apply Text", second, show);
        kept.setAttribute("aside", "1");
        hold.gate.release();
        second.history().finishPacking();
        second.history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(first.xml().contains("aside=\"1\""));
    }
    {
        // Forgotten while the worker waits: it is stopped, not waited for.
        PackHold hold;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument("Apply Text", second, show);
        second.history().clear();
        EXPECT_FALSE(second.history().canUndo());
    }
}

TEST(XmlHistory, HeldElementWithXmlLangAfterTheDocumentElementWasRemoved) {
    // The prefix xml is bound also in a document with no element; the namespace pass once
    // declared it and crashed.
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
