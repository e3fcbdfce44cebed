// Thousands of random commands on small documents, with and without namespaces: after each one
// the tree and the Document must be in step, the Document namespace-well-formed, every node the
// command did not touch unchanged and in its namespace, and no failure may escape.

#include "support/randomediting.h"
#include "support/seed.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

const QByteArray kStarts[] = {
    "<?xml version=\"1.0\"?><!--head--><r a=\"1\"><b c=\"2\">text<d/></b><!--k--><e/></r>",
    "<?xml version=\"1.0\"?><r xmlns=\"urn:d\" xmlns:p=\"urn:p\" p:a=\"1\"><p:b c=\"2\">text "
    "<i>mixed</i> tail<d xmlns=\"\"><e/>x</d></p:b><!--k--><f xmlns:q=\"urn:q\"><q:g q:h=\"3\">"
    "x<p:j/><k xmlns=\"urn:k\"><l/></k></q:g></f></r>",
    "<p:r xmlns:p=\"urn:p\"><a xmlns:p=\"urn:other\" p:x=\"1\"><p:b/></a><c xml:lang=\"en\">t"
    "<p:d/>u</c></p:r>",
};

// What a node is, apart from its children: what a command that did not touch it must leave.
QString signature(const XmlNode& n) {
    const int type = n.nodeType();
    QString out = QString::number(type) + n.nodeName() + QLatin1Char('{') + n.namespaceURI() +
                  QLatin1Char('}');
    if (type != NODE_ELEMENT)
        out += n.text();
    return out;
}

// The node, its attributes and its descendants.
template <typename Visit> void forSubtree(const XmlNode& root, Visit visit) {
    std::vector<XmlNode> stack{root};
    while (!stack.empty()) {
        const XmlNode n = stack.back();
        stack.pop_back();
        visit(n);
        if (n.nodeType() != NODE_ELEMENT && n.nodeType() != NODE_DOCUMENT)
            continue;
        for (const XmlNode& a : n.attributes().toVector())
            visit(a);
        for (XmlNode c = n.firstChild(); c; c = c.nextSibling())
            stack.push_back(c);
    }
}

class RandomSequenceTest : public RandomEditingTest {
protected:
    // Every node of the Document outside the subtree of `touched`, with its signature.
    std::vector<std::pair<XmlNode, QString>> untouched(const XmlNode& touched) {
        std::vector<std::pair<XmlNode, QString>> out;
        if (window->m_objDocument.isNull() || touched.isNull())
            return out;
        std::vector<XmlNode> inside;
        forSubtree(touched, [&](const XmlNode& n) { inside.push_back(n); });
        forSubtree(window->m_objDocument.asNode(), [&](const XmlNode& n) {
            if (n.nodeType() != NODE_DOCUMENT &&
                std::find(inside.begin(), inside.end(), n) == inside.end())
                out.emplace_back(n, signature(n));
        });
        return out;
    }
    QString changedUntouchedNode(const std::vector<std::pair<XmlNode, QString>>& before) {
        for (const auto& [node, was] : before) {
            if (window->m_objDocument.isNull() ||
                node.storage() != window->m_objDocument.asNode().storage())
                return {}; // a new document: nothing carried over to compare
            if (!node.isAttachedToDocument())
                return QStringLiteral("lost ") + was;
            if (signature(node) != was)
                return QStringLiteral("changed ") + was + QStringLiteral(" to ") + signature(node);
        }
        return {};
    }
};

const char* const kCommands[] = {
    "mnuNewElement", "mnuNewText",   "mnuNewComment",    "mnuNewCDATA", "mnuNewAttribute",
    "mnuNewPI",      "mnuUpdate",    "mnuSpecialUpdate", "mnuMoveUp",   "mnuMoveDown",
    "mnuMoveLeft",   "mnuMoveRight", "mnuDeleteItem",    "mnuCut",      "mnuCopy",
    "mnuPaste",      "mnuRefresh",   "mnuExpandAll",
};

} // namespace

TEST_F(RandomSequenceTest, CommandsKeepTreeAndDocumentInStep) {
    const quint32 seed = testSeed(20261207u);
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    QRandomGenerator rng(seed);
    load(kStarts[rng.bounded(static_cast<quint32>(std::size(kStarts)))]);
    int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                    ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                    : 1500;
    for (int step = 0; step < steps && !HasFailure(); ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        if (nodes().IsEmpty() || rng.bounded(40) == 0) {
            window->markSaved();
            if (rng.bounded(2))
                trigger("mnuNewDoc");
            else
                load(kStarts[rng.bounded(static_cast<quint32>(std::size(kStarts)))]);
            continue;
        }
        const Id item = randomItem(rng);
        const char* command = kCommands[rng.bounded(static_cast<quint32>(std::size(kCommands)))];
        const auto before = untouched(nodes().Tag(item));
        if (!runOn(rng, item, command))
            continue;
        ASSERT_EQ(TreeDocumentProblem(*window), QString()) << "after " << command;
        ASSERT_EQ(changedUntouchedNode(before), QString()) << "after " << command;
    }
}
