// A node's XPath finds that node and nothing else, for every node of documents of every shape,
// with the XPath engine the Query Analyzer uses as the judge.

#include "platform/xml/xmlpath.h"
#include "platform/xml/xmlquery.h"
#include "support/machinefiles.h"
#include "support/xmltesting.h"

#include <gtest/gtest.h>

using namespace xmltesting;

namespace {

// Every node the tree shows: elements, their attributes and namespace declarations, and
// everything else under the document.
void eachNode(const XmlNode& node, const std::function<void(const XmlNode&)>& visit) {
    visit(node);
    if (node.nodeType() == NODE_ELEMENT) {
        for (const XmlNode& attribute : node.attributes().toVector())
            visit(attribute);
    }
    for (XmlNode child = node.firstChild(); child; child = child.nextSibling())
        eachNode(child, visit);
}

// The nodes whose path is empty: none, but for those XPath does not reach. The paths counted from
// remembered positions are the same, asked in document order and backwards.
int checkEveryNode(const XmlDocument& doc, const QString& name) {
    int unreachable = 0;
    std::vector<std::pair<XmlNode, QString>> paths;
    XPathMemo forward;
    for (XmlNode top = doc.firstChild(); top; top = top.nextSibling()) {
        eachNode(top, [&](const XmlNode& node) {
            const QString path = XPathOf(node);
            paths.emplace_back(node, path);
            EXPECT_EQ(XPathOf(node, forward), path);
            if (path.isEmpty()) {
                ++unreachable;
                return;
            }
            const XmlNodeList found = SelectNodes(doc.asNode(), path, nullptr);
            ASSERT_EQ(found.length(), 1) << str(name) << ": " << str(path);
            EXPECT_TRUE(found.item(0) == node) << str(name) << ": " << str(path);
        });
    }
    XPathMemo backward;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        EXPECT_EQ(XPathOf(it->first, backward), it->second) << str(name);
    return unreachable;
}

struct PathCase {
    const char* query; // finds the node
    const char* path;  // its path
};

void expectPaths(const XmlDocument& doc, std::initializer_list<PathCase> cases) {
    for (const PathCase& c : cases) {
        const XmlNodeList found = SelectNodes(doc.asNode(), q(c.query), nullptr);
        ASSERT_EQ(found.length(), 1) << c.query;
        EXPECT_EQ(XPathOf(found.item(0)), q(c.path));
    }
}

} // namespace

TEST(XmlPath, PathsAreTheShortestThatFindTheNode) {
    const XmlDocument doc = parsed(QStringLiteral(
        "<?xml version=\"1.0\"?><!--top--><?pi a?><doc xmlns:x=\"urn:x\">"
        "<chapter id=\"c1\">one<!--c--><![CDATA[two]]><para/></chapter>"
        "<chapter id=\"c2\"><para/><para x:k=\"v\"/><x:note/></chapter></doc><?pi b?>"));
    expectPaths(doc, {
                         {"/doc/chapter[2]/para[2]", "/doc/chapter[2]/para[2]"},
                         {"/doc/chapter[2]/@id", "/doc/chapter[2]/@id"},
                         {"/doc/chapter[1]/text()[2]", "/doc/chapter[1]/text()[2]"},
                         {"/doc/chapter[1]/para", "/doc/chapter[1]/para"},
                         {"/comment()", "/comment()"},
                         {"/processing-instruction('pi')[2]", "/processing-instruction('pi')[2]"},
                         {"/doc/chapter[2]/x:note", "/doc/chapter[2]/x:note"},
                         {"/doc/chapter[2]/para[2]/@x:k", "/doc/chapter[2]/para[2]/@x:k"},
                     });
    EXPECT_TRUE(XPathOf(doc.firstChild()).isEmpty()) << "the XML declaration";
}

// The default namespace comes under the prefix queries reach it by; a namespace the document
// element does not declare is named by its URI.
TEST(XmlPath, NamespacesAreNamedAsQueriesReachThem) {
    const XmlDocument taken = parsed(QStringLiteral(
        "<doc xmlns=\"urn:d\" xmlns:d=\"urn:other\"><a/><d:a/><b xmlns:y=\"urn:y\"><y:c "
        "y:k=\"1\"/><e xmlns=\"urn:e\"/></b></doc>"));
    expectPaths(
        taken,
        {
            {"/d1:doc/d1:a", "/d1:doc/d1:a"},
            {"/d1:doc/d:a", "/d1:doc/d:a"},
            {"//*[local-name()='c']",
             "/d1:doc/d1:b/*[local-name()='c' and namespace-uri()='urn:y']"},
            {"//*[local-name()='c']/@*",
             "/d1:doc/d1:b/*[local-name()='c' and namespace-uri()='urn:y']/@*[local-name()='k' and "
             "namespace-uri()='urn:y']"},
            {"//*[local-name()='e']",
             "/d1:doc/d1:b/*[local-name()='e' and namespace-uri()='urn:e']"},
        });
    EXPECT_EQ(checkEveryNode(taken, QStringLiteral("namespaces")), 0);
}

// Over every node of real files written by others, and of the shapes the editor meets.
TEST(XmlPath, EveryNodeOfRealFilesIsFoundByItsPath) {
    QStringList files = machineFiles();
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.load(file)) << str(file);
        checkEveryNode(doc, file);
    }
    const XmlDocument shapes = parsed(QStringLiteral(
        "<!DOCTYPE r [<!ENTITY e \"x\">]><r xml:lang=\"en\" xmlns:p=\"urn:p\">a<![CDATA[b]]>c"
        "<p:q p:z=\"1\" z=\"2\"/><q/><p:q/>&e;<?t?><?t?><?u?><!----></r>"));
    checkEveryNode(shapes, QStringLiteral("shapes"));
}
