// Namespaces through the editing commands: renames, moves, pastes and inserts keep every name in
// its namespace, undeclared prefixes are refused with the command's usual report, and namespace
// declarations can be deleted, cut and copied while nothing depends on them.

#include "platform/xml/xmlerror.h"
#include "support/editingfixture.h"
#include "support/namespacecheck.h"

namespace {

class NamespaceEditingTest : public EditingTest {
protected:
    void checkNamespaces() {
        check();
        EXPECT_EQ(NamespaceProblem(xml()), QString());
    }
    XmlNode node(const QString& path) { return nodes().Tag(find(path)); }
};

} // namespace

TEST_F(NamespaceEditingTest, RenameTakesTheNamespaceInScopeAndLeavesTheContentAlone) {
    load(R"(<root xmlns="urn:default" xmlns:p="urn:p"><p:item a="1"><child/></p:item></root>)");
    click(find("root/p:item"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("p:renamed"));
    EXPECT_EQ(xml(),
              QStringLiteral("<root xmlns=\"urn:default\" xmlns:p=\"urn:p\">\n"
                             "  <p:renamed a=\"1\">\n    <child/>\n  </p:renamed>\n</root>\n"));
    EXPECT_EQ(node("root/p:renamed").namespaceURI(), QStringLiteral("urn:p"));
    checkNamespaces();

    const QString before = xml();
    expectInfo(QStringLiteral("The prefix 'q' is not declared."));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("q:x"));
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(labelsUnder("root"),
              (QStringList{"xmlns = \"urn:default\"", "xmlns:p = \"urn:p\"", "p:renamed"}));

    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("plain"));
    EXPECT_EQ(node("root/plain").namespaceURI(), QStringLiteral("urn:default"));
    checkNamespaces();
}

TEST_F(NamespaceEditingTest, MovedAndPastedItemsKeepTheirNamespace) {
    load(R"(<r xmlns="urn:d"><a><b xmlns=""><c/></b></a></r>)");
    click(find("r/a/b/c"));
    trigger("mnuMoveLeft");
    EXPECT_EQ(xml(), QStringLiteral("<r xmlns=\"urn:d\">\n  <a>\n    <b xmlns=\"\"/>\n"
                                    "    <c xmlns=\"\"/>\n  </a>\n</r>\n"));
    EXPECT_EQ(labelsUnder("r/a/c"), QStringList{"xmlns = \"\""});
    EXPECT_EQ(node("r/a/c").namespaceURI(), QString());
    checkNamespaces();

    load(R"(<r><a xmlns:p="urn:p"><p:x/></a><b/></r>)");
    click(find("r/a/p:x"));
    trigger("mnuCopy");
    click(find("r/b"));
    trigger("mnuPaste");
    EXPECT_EQ(node("r/b/p:x").namespaceURI(), QStringLiteral("urn:p"));
    EXPECT_EQ(labelsUnder("r/b/p:x"), QStringList{"xmlns:p = \"urn:p\""});
    checkNamespaces();

    // An attribute pasted where its prefix means another namespace is given another prefix.
    load(R"(<r xmlns:p="urn:p"><a p:x="1" xml:lang="en"/><b xmlns:p="urn:o"/></r>)");
    for (const char* copied : {"r/a/p:x = \"1\"", "r/a/xml:lang = \"en\""}) {
        click(find(copied));
        trigger("mnuCopy");
        click(find("r/b"));
        trigger("mnuPaste");
    }
    EXPECT_EQ(node("r/b/ns1:x = \"1\"").namespaceURI(), QStringLiteral("urn:p"));
    EXPECT_EQ(node("r/b/xml:lang = \"en\"").namespaceURI(),
              QStringLiteral("http://www.w3.org/XML/1998/namespace"));
    EXPECT_EQ(labelsUnder("r/b"), (QStringList{"xmlns:p = \"urn:o\"", "xmlns:ns1 = \"urn:p\"",
                                               "ns1:x = \"1\"", "xml:lang = \"en\""}));
    checkNamespaces();
}

TEST_F(NamespaceEditingTest, UndeclaredPrefixesAreRefusedAndChangeNothing) {
    load(R"(<r xmlns:p="urn:p"><e a="1"/></r>)");
    const QString before = xml();
    // Insert Attribute reports through the command's error report, the editor's rename through
    // its own note.
    const std::pair<QString, QString> refusedInserts[] = {
        {QStringLiteral("q:x"), QStringLiteral("The prefix 'q' is not declared.")},
        {QStringLiteral("xmlns:k"),
         QStringLiteral("The namespace declaration 'xmlns:k' cannot be empty.")},
    };
    for (const auto& [name, message] : refusedInserts) {
        click(find("r/e"));
        expectAttributeEditor(QStringLiteral("Attribute Editor"), QString(), QString(),
                              std::pair{name, QString()});
        expectCritical(message);
        trigger("mnuNewAttribute");
        EXPECT_EQ(xml(), before);
        check();
    }
    click(find("r/e/a = \"1\""));
    expectAttributeEditor(QStringLiteral("Attribute Editor"), QStringLiteral("a"),
                          QStringLiteral("1"), std::pair{QStringLiteral("q:a"), QString("1")});
    expectInfo(QStringLiteral("The prefix 'q' is not declared."));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(labelsUnder("r/e"), QStringList{"a = \"1\""});

    click(find("r/e"));
    expectAttributeEditor(QStringLiteral("Attribute Editor"), QString(), QString(),
                          std::pair{QStringLiteral("p:x"), QStringLiteral("v")});
    trigger("mnuNewAttribute");
    EXPECT_EQ(node("r/e/p:x = \"v\"").namespaceURI(), QStringLiteral("urn:p"));
    checkNamespaces();
}

TEST_F(NamespaceEditingTest, DeclarationsInUseStayAsTheyWere) {
    load(R"(<r xmlns:p="urn:p" xmlns:u="urn:u"><p:a/><b/></r>)");
    const QString before = xml();
    const QString inUse =
        QStringLiteral("The namespace declaration 'xmlns:p' cannot be removed: 'p:a' uses it.");
    // A rename sets the new name first; the old one cannot go, so the new one goes again.
    click(find("r/xmlns:p = \"urn:p\""));
    expectAttributeEditor(QStringLiteral("Attribute Editor"), QStringLiteral("xmlns:p"),
                          QStringLiteral("urn:p"),
                          std::pair{QStringLiteral("xmlns:q"), QStringLiteral("urn:p")});
    expectInfo(inUse);
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(labelsUnder("r"),
              (QStringList{"xmlns:p = \"urn:p\"", "xmlns:u = \"urn:u\"", "p:a", "b"}));

    click(find("r/xmlns:p = \"urn:p\""));
    expectDeleteQuestion(MsgResult::Yes);
    expectCritical(inUse);
    trigger("mnuDeleteItem");
    EXPECT_EQ(xml(), before);
    check();

    // Unused: copied, pasted and cut like any attribute.
    click(find("r/xmlns:u = \"urn:u\""));
    trigger("mnuCopy");
    click(find("r/b"));
    trigger("mnuPaste");
    click(find("r/xmlns:u = \"urn:u\""));
    trigger("mnuCut");
    EXPECT_EQ(xml(), QStringLiteral("<r xmlns:p=\"urn:p\">\n  <p:a/>\n  <b xmlns:u=\"urn:u\"/>\n"
                                    "</r>\n"));
    checkNamespaces();
}

TEST_F(NamespaceEditingTest, ARefusedCopyKeepsTheEarlierCopy) {
    load("<!DOCTYPE r><r><a/></r>");
    click(find("r/a"));
    trigger("mnuCopy");
    window->m_wndTree->SetSelectedItem(nodes().FirstTopLevel());
    EXPECT_THROW(window->mnuCopy_Click(), XmlError);
    click(find("r"));
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "a"}));
    check();
}
