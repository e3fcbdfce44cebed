// Undo and redo through the XML layer's journal: every change puts back the same node objects in
// the same places, with the same declarations behind the same names, and every state in between
// serialises to text that parses with namespace checking.

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
#include <vector>

using namespace xmltesting;

namespace {

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
    // The XML layer checks only the tree for references to the entities of a document type
    // declaration it removes, not the subtrees held outside it that may come back later, so
    // a document that declares entities keeps its declaration here.
    RandomEdits(XmlDocument doc, quint32 seed)
        : m_doc(std::move(doc)), m_rng(seed),
          m_keepDoctype(m_doc.xml().contains(QLatin1String("<!ENTITY"))) {}

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
            if (m_keepDoctype && target.nodeType() == NODE_DOCUMENT_TYPE)
                break;
            if (XmlNode parent = target.parentNode()) {
                parent.removeChild(target);
                hold(target);
            }
            break;
        case 3:
            if (m_keepDoctype && target.nodeType() == NODE_DOCUMENT_TYPE)
                break;
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
        for (quint32 run = 0; run < 4; ++run) {
            RandomEdits edits(parsed(text), seed + run);
            edits.run(steps);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
}

State captured(const XmlDocument& doc) {
    return capture(doc, {}, 0);
}

// One change in a step of its own.
void change(XmlDocument& doc, const std::function<void()>& edit) {
    XmlChangeStep step(doc, QStringLiteral("change"));
    edit();
    step.commit();
}

TEST(XmlHistory, RefusedChangesRecordNothing) {
    struct Row {
        const char* behaviour;
        int document;
        std::function<void(XmlDocument&)> refused;
    };
    const Row rows[] = {
        {"second document element", 0,
         [](XmlDocument& d) { d.appendChild(d.createElement(QStringLiteral("x"))); }},
        {"text at the top level", 0,
         [](XmlDocument& d) { d.appendChild(d.createTextNode(QStringLiteral("t"))); }},
        {"undeclared prefix in a rename", 0,
         [](XmlDocument& d) { d.documentElement().rename(QStringLiteral("zz:e")); }},
        {"declaration in use changed", 0,
         [](XmlDocument& d) {
             d.documentElement().setAttribute(QStringLiteral("xmlns:p"), QStringLiteral("urn:o"));
         }},
        {"declaration in use removed", 0,
         [](XmlDocument& d) { d.documentElement().removeAttribute(QStringLiteral("xmlns:p")); }},
        {"comment with a double hyphen", 0,
         [](XmlDocument& d) { d.childNodes().item(1).setText(QStringLiteral("a--b")); }},
        {"element into its own descendant", 0,
         [](XmlDocument& d) { d.documentElement().firstChild().appendChild(d.documentElement()); }},
        {"document type declaration whose entities are used", 2,
         [](XmlDocument& d) { d.removeChild(d.childNodes().item(1)); }},
        {"attribute value with a character XML does not allow", 2,
         [](XmlDocument& d) {
             d.documentElement().setAttribute(QStringLiteral("a"), QString(QChar(1)));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        XmlDocument doc = parsed(kDocuments[row.document]);
        change(doc, [&] { doc.documentElement().setAttribute(QStringLiteral("k"), "1"); });
        const State before = captured(doc);
        {
            XmlChangeStep step(doc, QStringLiteral("refused"));
            EXPECT_THROW(row.refused(doc), XmlError);
        }
        EXPECT_EQ(doc.history().undoCount(), 1);
        EXPECT_EQ(str(difference(before, captured(doc))), "");
        doc.history().undo();
        EXPECT_TRUE(doc.documentElement().attributes().getNamedItem("k").isNull());
    }
}

TEST(XmlHistory, RollBackPutsBackWhatTheStepChanged) {
    XmlDocument doc = parsed(kDocuments[0]);
    XmlNode root = doc.documentElement();
    XmlNode x = root.firstChild();
    change(doc, [&] { x.setAttribute(QStringLiteral("q:b"), QStringLiteral("changed")); });
    const State afterFirst = captured(doc);
    {
        // A command that fails half-way: what it did is undone, the step before stays.
        XmlChangeStep step(doc, QStringLiteral("half"));
        root.removeChild(x);
        root.appendChild(x);
        x.rename(QStringLiteral("e"));
        root.setAttribute(QStringLiteral("xmlns:n"), QStringLiteral("urn:n"));
        step.rollBack();
    }
    EXPECT_EQ(str(difference(afterFirst, captured(doc))), "");
    EXPECT_EQ(doc.history().undoCount(), 1);
    EXPECT_EQ(NamespaceProblem(doc.xml()), QString());

    // An inner scope's roll-back undoes only its own part; the outer step keeps the rest.
    {
        XmlChangeStep outer(doc, QStringLiteral("outer"));
        root.setAttribute(QStringLiteral("kept"), QStringLiteral("1"));
        const State middle = captured(doc);
        {
            XmlChangeStep inner(doc, QStringLiteral("inner"));
            x.setText(QStringLiteral("gone"));
            inner.rollBack();
        }
        EXPECT_EQ(str(difference(middle, captured(doc))), "");
        outer.commit();
    }
    EXPECT_EQ(doc.history().undoCount(), 2);
    EXPECT_EQ(str(doc.history().undoCaption()), "outer");
    doc.history().undo();
    EXPECT_EQ(str(difference(afterFirst, captured(doc))), "");
}

TEST(XmlHistory, ChangesNoStepCanUndoEndTheHistory) {
    struct Row {
        const char* behaviour;
        std::function<void(XmlDocument&)> unrecorded;
    };
    const Row rows[] = {
        {"change outside a step",
         [](XmlDocument& d) { d.documentElement().setAttribute(QStringLiteral("o"), "1"); }},
        {"step dropped after a change",
         [](XmlDocument& d) {
             XmlChangeStep step(d, QStringLiteral("dropped"));
             d.documentElement().setAttribute(QStringLiteral("o"), "1");
         }},
        {"reload", [](XmlDocument& d) { d.loadXML(QStringLiteral("<other/>")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        XmlDocument doc = parsed(kDocuments[1]);
        change(doc, [&] { doc.documentElement().setAttribute(QStringLiteral("k"), "1"); });
        doc.history().markSaved();
        row.unrecorded(doc);
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
    change(doc, [&] { root.setAttribute(QStringLiteral("a"), "1"); });
    history.markSaved();
    change(doc, [&] { root.setAttribute(QStringLiteral("a"), "2"); });
    EXPECT_FALSE(history.isAtSavedPosition());
    history.undo();
    EXPECT_TRUE(history.isAtSavedPosition());
    history.undo();
    EXPECT_FALSE(history.isAtSavedPosition());
    history.redo();
    EXPECT_TRUE(history.isAtSavedPosition());
    EXPECT_TRUE(history.canRedo());

    change(doc, [&] { root.setAttribute(QStringLiteral("b"), "3"); });
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undoCount(), 2);
    history.undo();
    EXPECT_TRUE(history.isAtSavedPosition());
    EXPECT_EQ(str(root.attributes().getNamedItem("a").text()), "1");

    // The saved state lay in the redo steps a new change drops: nothing reaches it any more.
    history.undo();
    change(doc, [&] { root.setAttribute(QStringLiteral("c"), "4"); });
    history.undo();
    EXPECT_FALSE(history.isAtSavedPosition());
}

TEST(XmlHistory, MemoryLimitDropsTheOldestSteps) {
    XmlDocument doc = parsed("<r><t>start</t></r>");
    XmlHistory& history = doc.history();
    XmlNode text = doc.documentElement().firstChild().firstChild();
    const QString big(20000, QLatin1Char('x'));
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
    EXPECT_EQ(text.text(), big + QStringLiteral("2"));

    // The newest step stays even when it alone is over the limit.
    history.setMemoryLimit(10);
    change(doc, [&] { text.setText(QStringLiteral("short")); });
    EXPECT_EQ(history.undoCount(), 1);
    history.undo();
    EXPECT_EQ(text.text(), big + QStringLiteral("2"));
}

class Seen : public XmlChangeListener {
public:
    void aboutToChange(const XmlNode& container) override { containers.push_back(container); }
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
    const XmlHistory::Affected undone = doc.history().undo();
    EXPECT_NE(doc.revision(), revision);
    EXPECT_EQ(undone.first, plain);
    EXPECT_EQ(inner.parentNode(), plain);
    EXPECT_TRUE(std::find(seen.containers.begin(), seen.containers.end(), root) !=
                seen.containers.end());
    EXPECT_TRUE(std::find(seen.containers.begin(), seen.containers.end(), plain) !=
                seen.containers.end());
    const XmlHistory::Affected redone = doc.history().redo();
    EXPECT_EQ(redone.first, root);
    root.removeChangeListener(&seen);
}

TEST(XmlHistory, WholeDocumentStepsHandTheDocumentsBack) {
    XmlDocument first = parsed(kDocuments[1]);
    XmlNode kept = first.documentElement().firstChild();
    change(first, [&] { kept.setText(QStringLiteral("edited")); });
    XmlDocument shown = first;
    auto show = [&shown](const XmlDocument& d) { shown = d; };
    XmlDocument second = parsed("<second/>");
    first.history().replaceDocument(QStringLiteral("Open"), second, show);
    shown = second;
    EXPECT_EQ(str(second.history().undoCaption()), "Open");
    change(second, [&] { second.documentElement().setAttribute(QStringLiteral("a"), "1"); });

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
    kept.setText(QStringLiteral("changed aside"));
    second.history().undo();
    second.history().undo();
    EXPECT_TRUE(shown == first);
    EXPECT_FALSE(first.history().canUndo());
    EXPECT_TRUE(first.history().canRedo());
}

// Holds the packing worker before it writes, until released or told to stop.
class PackHold {
public:
    PackHold() {
        XmlPackedDocument::SetBeforePackHook(
            [this](const std::atomic<bool>& stop) { m_gate.pass(&stop); });
    }
    ~PackHold() {
        release();
        XmlPackedDocument::SetBeforePackHook({});
    }
    void release() { m_gate.release(); }

private:
    WorkerGate m_gate;
};

TEST(XmlHistory, LargeReplacedDocumentsArePackedAndReadBack) {
    const QStringList texts = {
        kDocuments[0],
        kDocuments[1],
        kDocuments[2],
        kDocuments[3],
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>"
            "<r a=\"x&#13;&#9;y\" b='q\"'>\u00e9\u4e2d&#13;\r\n<![CDATA[a]]]]><![CDATA[>b]]>"
            "<e xml:space=\"preserve\">  </e><m> <k/> </m></r><!--after-->"),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(str(text));
        XmlDocument first = parsed(text);
        XmlNode root = first.documentElement();
        change(first, [&] { root.setAttribute(QStringLiteral("added"), QStringLiteral("1")); });
        // Two text nodes side by side are one once read back; the text is the same.
        change(first, [&] { root.appendChild(first.createTextNode(QStringLiteral("one "))); });
        change(first, [&] { root.appendChild(first.createTextNode(QStringLiteral("two"))); });
        first.history().markSaved();
        const QString before = first.xml();
        first.history().setPackAbove(0);
        XmlDocument shown = first;
        const auto show = [&shown](const XmlDocument& d) { shown = d; };
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument(QStringLiteral("Apply Text"), second, show);
        shown = second;
        XmlHistory& history = second.history();
        // The steps made on the packed document's nodes are gone with them.
        EXPECT_EQ(history.undoCount(), 1);
        history.finishPacking();
        change(second, [&] { second.documentElement().setAttribute(QStringLiteral("s"), "2"); });
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
        first.history().replaceDocument(QStringLiteral("Apply Text"), second, show);
        second.history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(kept.parentNode() == first.documentElement());
    }
    {
        // Changed through a node held elsewhere while it waited: the worker gives up, and the
        // document stays as nodes, with the change.
        PackHold hold;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument(QStringLiteral("Apply Text"), second, show);
        kept.setAttribute(QStringLiteral("aside"), QStringLiteral("1"));
        hold.release();
        second.history().finishPacking();
        second.history().undo();
        EXPECT_TRUE(shown == first);
        EXPECT_TRUE(str(first.xml()).find("aside=\"1\"") != std::string::npos);
    }
    {
        // Forgotten while the worker waits: it is stopped, not waited for.
        PackHold hold;
        XmlDocument second = parsed("<second/>");
        first.history().replaceDocument(QStringLiteral("Apply Text"), second, show);
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
    const State before = captured(doc);
    change(doc, [&] {
        root.setAttribute(QStringLiteral("p:a"), QStringLiteral("1"), QStringLiteral("urn:p"));
    });
    change(doc, [&] { doc.appendChild(root); });
    EXPECT_EQ(NamespaceProblem(doc.xml()), QString());
    EXPECT_EQ(str(root.xml()), "<r xmlns:p=\"urn:p\" xml:lang=\"en\" p:a=\"1\">\n  <k/>\n</r>");
    doc.history().undo();
    doc.history().undo();
    EXPECT_EQ(str(difference(before, captured(doc))), "");
}

} // namespace
