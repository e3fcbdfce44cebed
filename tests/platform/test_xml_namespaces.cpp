// Namespaces through edits: every element and attribute keeps its namespace wherever it is moved,
// new names take the namespace their prefix has where they stand, and declarations change only
// where no name depends on them. Every result must parse again with namespace checking.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/namespacecheck.h"
#include "support/xmltesting.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace xmltesting;

namespace {

// The element reached from the document element by child positions, "1/0"; "" is the
// document element itself.
XmlNode element(const XmlDocument& doc, const char* path) {
    XmlNode n = doc.documentElement();
    for (const QString& step : q(path).split(QLatin1Char('/'), Qt::SkipEmptyParts))
        n = n.childNodes().item(step.toInt());
    EXPECT_FALSE(n.isNull()) << path;
    return n;
}

// Every element and attribute (not declarations) with its namespace, by node.
std::map<_xmlNode*, QString> namespaces(const XmlDocument& doc) {
    std::map<_xmlNode*, QString> out;
    std::vector<XmlNode> stack{doc.documentElement()};
    while (!stack.empty()) {
        const XmlNode n = stack.back();
        stack.pop_back();
        out[n.raw()] = n.namespaceURI();
        for (const XmlNode& a : n.attributes().toVector()) {
            if (!a.isNamespaceDeclaration())
                out[a.raw()] = a.namespaceURI();
        }
        for (const XmlNode& c : n.childNodes()) {
            if (c.nodeType() == NODE_ELEMENT)
                stack.push_back(c);
        }
    }
    return out;
}

} // namespace

TEST(XmlNamespaces, MovedSubtreesKeepEveryNamespace) {
    struct Row {
        const char* behaviour;
        const char* text;
        const char* moved;
        const char* to;
        const char* expected;
    };
    const Row rows[] = {
        {"no-namespace element under a default scope gets xmlns=\"\"",
         R"(<r xmlns="urn:d"><a><b xmlns=""><c/></b></a></r>)", "0/0/0", "0",
         "<r xmlns=\"urn:d\">\n  <a>\n    <b xmlns=\"\"/>\n    <c xmlns=\"\"/>\n  </a>\n</r>\n"},
        {"prefix declared above the old place is declared on the moved element",
         R"(<r><a xmlns:p="urn:p"><p:x p:k="1"><p:y/></p:x></a><b/></r>)", "0/0", "1",
         "<r>\n  <a xmlns:p=\"urn:p\"/>\n  <b>\n    <p:x xmlns:p=\"urn:p\" p:k=\"1\">\n"
         "      <p:y/>\n    </p:x>\n  </b>\n</r>\n"},
        {"prefix meaning something else at the new place is declared again",
         R"(<r xmlns:p="urn:1"><a xmlns:p="urn:2"><p:x/></a><b/></r>)", "0/0", "1",
         "<r xmlns:p=\"urn:1\">\n  <a xmlns:p=\"urn:2\"/>\n  <b>\n    <p:x xmlns:p=\"urn:2\"/>\n"
         "  </b>\n</r>\n"},
        {"default namespace taken out of its scope is declared on the moved element",
         R"(<r><a xmlns="urn:d"><x><y/></x></a><b/></r>)", "0/0", "1",
         "<r>\n  <a xmlns=\"urn:d\"/>\n  <b>\n    <x xmlns=\"urn:d\">\n      <y/>\n    </x>\n"
         "  </b>\n</r>\n"},
        {"attribute whose prefix is taken at the new place gets another prefix",
         R"(<r xmlns:p="urn:1"><p:e xmlns:p="urn:2"/><s p:k="v"/></r>)", "1", "0",
         "<r xmlns:p=\"urn:1\">\n  <p:e xmlns:p=\"urn:2\">\n    <s xmlns:ns1=\"urn:1\" "
         "ns1:k=\"v\"/>\n  </p:e>\n</r>\n"},
        {"a move within the same scopes adds no declaration",
         R"(<r xmlns="urn:d" xmlns:p="urn:p"><p:a><c/></p:a><b/></r>)", "0", "1",
         "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\">\n  <b>\n    <p:a>\n      <c/>\n    </p:a>\n"
         "  </b>\n</r>\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        XmlDocument doc = parsed(row.text);
        const auto before = namespaces(doc);
        XmlNode moved = element(doc, row.moved);
        XmlNode target = element(doc, row.to);
        moved.parentNode().removeChild(moved);
        target.appendChild(moved);
        EXPECT_EQ(str(doc.xml()), row.expected);
        EXPECT_EQ(namespaces(doc), before);
        EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
        // The same move without taking the element out first.
        XmlDocument direct = parsed(row.text);
        element(direct, row.to).appendChild(element(direct, row.moved));
        EXPECT_EQ(str(direct.xml()), row.expected);
    }
}

// A subtree put back where it came from needs no new declarations, unless the declarations
// there changed while it was out.
TEST(XmlNamespaces, APutBackSubtreeFollowsDeclarationsChangedWhileItWasOut) {
    XmlDocument doc = parsed(R"(<r><a xmlns:p="urn:p"><p:x/></a></r>)");
    XmlNode a = element(doc, "0");
    XmlNode x = a.removeChild(element(doc, "0/0"));
    a.appendChild(x);
    EXPECT_EQ(str(doc.xml()), "<r>\n  <a xmlns:p=\"urn:p\">\n    <p:x/>\n  </a>\n</r>\n");
    a.removeChild(x);
    a.removeAttribute(QStringLiteral("xmlns:p"));
    a.appendChild(x);
    EXPECT_EQ(str(doc.xml()), "<r>\n  <a>\n    <p:x xmlns:p=\"urn:p\"/>\n  </a>\n</r>\n");
    EXPECT_EQ(str(x.namespaceURI()), "urn:p");
}

// A subtree taken out of the tree still points to the declarations above its old place; its
// copies, in the same document or another, must keep every name in its namespace and prefix.
TEST(XmlNamespaces, CopiesOfATakenOutSubtreeKeepEveryNamespace) {
    XmlDocument doc = parsed(
        R"(<r xmlns="urn:d" xmlns:o="urn:o"><k o:a="1" a="2"><o:in o:b="3" xml:lang="en"/></k><z xmlns:o="urn:other"/></r>)");
    XmlNode k = element(doc, "0");
    doc.documentElement().removeChild(k);
    element(doc, "0").appendChild(k.cloneNode(true));
    XmlDocument other = parsed("<x/>");
    other.documentElement().appendChild(other.importNode(k, true));
    EXPECT_EQ(str(doc.xml()), "<r xmlns=\"urn:d\" xmlns:o=\"urn:o\">\n"
                              "  <z xmlns:o=\"urn:other\">\n"
                              "    <k xmlns=\"urn:d\" xmlns:o=\"urn:o\" o:a=\"1\" a=\"2\">\n"
                              "      <o:in o:b=\"3\" xml:lang=\"en\"/>\n    </k>\n  </z>\n</r>\n");
    EXPECT_EQ(str(other.xml()), "<x>\n  <k xmlns=\"urn:d\" xmlns:o=\"urn:o\" o:a=\"1\" a=\"2\">\n"
                                "    <o:in o:b=\"3\" xml:lang=\"en\"/>\n  </k>\n</x>\n");
    EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
}

// Names under a parent held outside the tree may point to declarations nothing above them gives,
// so coming from there under the same declarations proves nothing.
TEST(XmlNamespaces, ASubtreeFromAHeldParentIsCheckedWhereItGoes) {
    XmlDocument doc = parsed(R"(<r xmlns:o="urn:p"><p><o:m xmlns:o="urn:p"/></p></r>)");
    XmlNode p = element(doc, "0"), m = element(doc, "0/0");
    m.removeAttribute(q("xmlns:o"));
    doc.documentElement().removeChild(p);
    doc.replaceChild(m, doc.documentElement());
    EXPECT_EQ(str(doc.xml()), "<o:m xmlns:o=\"urn:p\"/>\n");
}

TEST(XmlNamespaces, ATenThousandDeepSubtreeMovesWithoutRecursion) {
    XmlDocument doc = parsed(R"(<r xmlns="urn:d"><b xmlns=""/></r>)");
    XmlNode top = doc.createElement(q("a"));
    element(doc, "0").appendChild(top);
    XmlNode deepest = top;
    for (int i = 0; i < 9990; ++i) // as deep as a document may nest
        deepest = deepest.appendChild(doc.createElement(q("a")));
    doc.documentElement().appendChild(top);
    EXPECT_EQ(str(top.namespaceURI()), "");
    EXPECT_EQ(str(deepest.namespaceURI()), "");
    EXPECT_EQ(str(top.attributes().item(0).nodeName()), "xmlns");
    EXPECT_EQ(deepest.attributes().length(), 0);
}

TEST(XmlNamespaces, NewAndRenamedElementsTakeTheNamespaceInScopeWhereTheyStand) {
    XmlDocument doc =
        parsed(R"(<root xmlns="urn:default" xmlns:p="urn:p"><p:item><child/></p:item></root>)");
    XmlNode item = element(doc, "0");
    item.rename(q("p:renamed"));
    EXPECT_EQ(str(doc.xml()), "<root xmlns=\"urn:default\" xmlns:p=\"urn:p\">\n  <p:renamed>\n"
                              "    <child/>\n  </p:renamed>\n</root>\n");
    EXPECT_EQ(str(item.namespaceURI()), "urn:p");
    item.rename(q("plain"));
    EXPECT_EQ(str(item.namespaceURI()), "urn:default");
    expectRefused(doc, "The prefix 'q' is not declared.", [&] { item.rename(q("q:x")); });

    // A prefix the element declares itself counts, as it would for a parser.
    XmlDocument own = parsed(R"(<r><p:a xmlns:p="urn:p"/></r>)");
    element(own, "0").rename(q("p:b"));
    EXPECT_EQ(str(element(own, "0").namespaceURI()), "urn:p");

    // A created element gets its namespace where it is first linked.
    XmlNode created = doc.createElement(q("p:new"));
    doc.documentElement().appendChild(created);
    EXPECT_EQ(str(created.namespaceURI()), "urn:p");
    XmlNode unprefixed = doc.createElement(q("n"));
    item.appendChild(unprefixed);
    EXPECT_EQ(str(unprefixed.namespaceURI()), "urn:default");
    EXPECT_EQ(str(unprefixed.xml()), "<n/>");
    expectRefused(doc, "The prefix 'q' is not declared.",
                  [&] { doc.documentElement().appendChild(doc.createElement(q("q:x"))); });
    EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
}

TEST(XmlNamespaces, AttributeNamesNeedTheirPrefixDeclared) {
    XmlDocument doc = parsed(R"(<r xmlns:p="urn:p" xmlns:p2="urn:p"><e p:a="1"/></r>)");
    XmlNode e = element(doc, "0");
    e.setAttribute(q("p:x"), q("v"));
    EXPECT_EQ(str(e.attributes().getNamedItem(q("p:x")).namespaceURI()), "urn:p");
    e.setAttribute(q("xml:lang"), q("en"));
    EXPECT_EQ(str(e.attributes().getNamedItem(q("xml:lang")).namespaceURI()),
              "http://www.w3.org/XML/1998/namespace");
    expectRefused(doc, "The prefix 'q' is not declared.",
                  [&] { e.setAttribute(q("q:x"), q("v")); });
    expectRefused(doc, "The namespace declaration 'xmlns:k' cannot be empty.",
                  [&] { e.setAttribute(q("xmlns:k"), QString()); });
    expectRefused(doc, "The attribute 'p2:a' has the same namespace and name as 'p:a'.",
                  [&] { e.setAttribute(q("p2:a"), q("2")); });
    expectRefused(doc, "'p:a:b' is not a valid attribute name.",
                  [&] { e.setAttribute(q("p:a:b"), q("2")); });

    // Set with its namespace (a pasted attribute): declared where its prefix means nothing,
    // under another prefix where it means something else.
    XmlDocument target = parsed(R"(<r xmlns:p="urn:other"><e/></r>)");
    XmlNode t = element(target, "0");
    t.setAttribute(q("a:x"), q("1"), q("urn:a"));
    t.setAttribute(q("p:y"), q("2"), q("urn:p"));
    EXPECT_EQ(str(t.xml()), "<e xmlns:a=\"urn:a\" xmlns:ns1=\"urn:p\" a:x=\"1\" ns1:y=\"2\"/>");
    EXPECT_EQ(str(NamespaceProblem(target.xml())), "");
}

TEST(XmlNamespaces, DeclarationsChangeOnlyWhereNoNameDependsOnThem) {
    XmlDocument doc = parsed(R"(<r xmlns:p="urn:p" xmlns:u="urn:u"><a><p:b k="1"/><c/></a></r>)");
    XmlNode r = doc.documentElement();
    XmlNode a = element(doc, "0");
    expectRefused(doc, "The namespace declaration 'xmlns:p' cannot be removed: 'p:b' uses it.",
                  [&] { r.removeAttribute(q("xmlns:p")); });
    expectRefused(doc, "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
                  [&] { r.setAttribute(q("xmlns:p"), q("urn:changed")); });
    expectRefused(doc, "The namespace declaration 'xmlns:p' would change the namespace of 'p:b'.",
                  [&] { a.setAttribute(q("xmlns:p"), q("urn:other")); });
    expectRefused(doc, "The namespace declaration 'xmlns' would change the namespace of 'a'.",
                  [&] { a.setAttribute(q("xmlns"), q("urn:d")); });
    expectRefused(doc, "The prefix 'xml' is reserved.",
                  [&] { a.setAttribute(q("xmlns:xml"), q("urn:x")); });

    // Unused, or declaring what is in force already: nothing changes namespace.
    r.removeAttribute(q("xmlns:u"));
    a.setAttribute(q("xmlns:p"), q("urn:p"));
    element(doc, "0/1").setAttribute(q("xmlns"), QString());
    EXPECT_EQ(str(doc.xml()), "<r xmlns:p=\"urn:p\">\n  <a xmlns:p=\"urn:p\">\n    <p:b k=\"1\"/>\n"
                              "    <c xmlns=\"\"/>\n  </a>\n</r>\n");
    a.removeAttribute(q("xmlns:p"));
    EXPECT_EQ(str(element(doc, "0/0").namespaceURI()), "urn:p");
    EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
}

// Each was written once and made the saved file fail a namespace-aware parser.
TEST(XmlNamespaces, NamesANamespaceAwareParserRefusesAreRefused) {
    XmlDocument doc = parsed("<r/>");
    XmlNode r = doc.documentElement();
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"'p:x' is not a valid processing instruction target name.",
         [&] { doc.createProcessingInstruction(q("p:x"), QString()); }},
        {"'<&>' is not a valid namespace name.", [&] { r.setAttribute(q("xmlns:z"), q("<&>")); }},
        {"'x]]>y' is not a valid namespace name.", [&] { r.setAttribute(q("xmlns"), q("x]]>y")); }},
        {"The namespace name 'http://www.w3.org/2000/xmlns/' is reserved.",
         [&] { r.setAttribute(q("xmlns:z"), q("http://www.w3.org/2000/xmlns/")); }},
        {"'xmlns:a' is not a valid element name.", [&] { r.rename(q("xmlns:a")); }},
        {"':a' is not a valid element name.", [&] { r.appendChild(doc.createElement(q(":a"))); }},
    };
    for (const auto& [message, change] : rows)
        expectRefused(doc, message, change);
}
