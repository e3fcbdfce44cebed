// Inserting the six kinds of items.

#include "support/editingfixture.h"

TEST_F(EditingTest, ElementsAreNumberedForTheWholeRunAndOpenForRenaming) {
    load("<r/>");
    click(find("r"));
    trigger("mnuNewElement");
    typeLabel(QStringLiteral("Element1")); // kept as generated
    click(find("r"));
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    typeLabel(QStringLiteral("named"));
    EXPECT_EQ(labelsUnder("r"), (QStringList{"Element1", "named"}));
    check();
    expectSaveQuestion(window->m_strFileName, MsgResult::No);
    trigger("mnuNewDoc");
    click(find("Root"));
    click(window->Toolbox, "Element");
    EXPECT_TRUE(labelEditor() != nullptr);
    typeLabel(QStringLiteral("Element3"));
    EXPECT_EQ(labelsUnder("Root"), QStringList{QStringLiteral("Element3")});
}

TEST_F(EditingTest, AnEmptyTreeGetsARootAndOtherInsertsNeedASelection) {
    load("<r/>");
    click(find("r"));
    window->DeleteSelectedItem(find("r"));
    EXPECT_TRUE(nodes().IsEmpty());
    window->mnuNewText_Click();
    window->mnuNewComment_Click();
    EXPECT_TRUE(nodes().IsEmpty());
    const qint16 counter = window->m_iElementCounter;
    window->mnuNewElement_Click();
    typeLabel(QStringLiteral("Root"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_EQ(window->m_iElementCounter, counter);
    check();
}

TEST_F(EditingTest, TextLikeItemsGoUnderAnElementOrDirectlyAfterAnotherItem) {
    load("<r><a/><t>x</t></r>");
    click(find("r/a"));
    trigger("mnuNewText");
    typeLabel(QStringLiteral("inside"));
    EXPECT_EQ(labelsUnder("r/a"), QStringList{QStringLiteral("inside")});
    click(find("r/t/x"));
    trigger("mnuNewComment");
    typeLabel(QStringLiteral("after x"));
    click(find("r/t/x"));
    trigger("mnuNewCDATA");
    typeLabel(QStringLiteral("cdata"));
    EXPECT_EQ(labelsUnder("r/t"), (QStringList{"x", "cdata", "after x"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r/t/cdata"));
    check();
    // Insert Element with a text item selected does nothing at all.
    click(find("r/t/x"));
    window->markSaved();
    window->mnuNewElement_Click();
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(EditingTest, AttributesStayInFrontAndDuplicatesAreRefused) {
    load("<r><e a=\"1\" b=\"2\"><x/></e><f a=\"1\"/><g/><h>t</h></r>");
    auto add = [&](const QString& path, const QString& name) {
        click(find(path));
        expectAttributeEditor("Attribute Editor", "", "", std::make_pair(name, QString("v")));
        trigger("mnuNewAttribute");
    };
    add("r/e", "c");
    EXPECT_EQ(labelsUnder("r/e"), (QStringList{"a = \"1\"", "b = \"2\"", "c = \"v\"", "x"}));
    add("r/f", "c");
    EXPECT_EQ(labelsUnder("r/f"), (QStringList{"a = \"1\"", "c = \"v\""}));
    add("r/g", "c");
    EXPECT_EQ(labelsUnder("r/g"), QStringList{"c = \"v\""});
    add("r/h/t", "c"); // a text item: the attribute goes to its element
    EXPECT_EQ(labelsUnder("r/h"), (QStringList{"c = \"v\"", "t"}));
    check();
    window->markSaved();
    click(find("r/e"));
    expectAttributeEditor("Attribute Editor", "", "", std::make_pair(QString("a"), QString("9")));
    expectInfo("Attribute 'a' already exists.");
    trigger("mnuNewAttribute");
    EXPECT_FALSE(window->HasUnsavedChanges());
    // Cancel inserts nothing, yet the document counts as changed.
    expectAttributeEditor("Attribute Editor", "", "", std::nullopt);
    trigger("mnuNewAttribute");
    EXPECT_TRUE(window->HasUnsavedChanges());
    check();
}

TEST_F(EditingTest, ProcessingInstructionsAndTheCounterLimit) {
    load("<r><a/></r>");
    click(find("r/a"));
    expectAttributeEditor("Processing Instruction Editor", "", "",
                          std::make_pair(QString("go"), QString("now")));
    trigger("mnuNewPI");
    EXPECT_EQ(labelsUnder("r/a"), (QStringList{"go now"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r/a/go now"));
    check();

    window->m_iElementCounter = 32766;
    click(find("r"));
    trigger("mnuNewElement");
    typeLabel(QStringLiteral("Element32767"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        click(find("r"));
        expectCritical(QStringLiteral("Overflow"));
        trigger("mnuNewElement");
        EXPECT_EQ(window->m_iElementCounter, 32767);
    }
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "Element32767"}));
    check();
}

// Nothing may precede the XML declaration, so a comment or instruction inserted at it goes after
// it: the only way to give such a document a comment at the top level.
TEST_F(EditingTest, CommentsAndInstructionsGoAfterTheXmlDeclaration) {
    load("<?xml version=\"1.0\"?><r/>");
    click(find("xml version=\"1.0\""));
    QTest::keyClick(window->m_wndTree, Qt::Key_M, Qt::ControlModifier);
    typeLabel(QStringLiteral("top"));
    click(find("xml version=\"1.0\""));
    expectAttributeEditor(QStringLiteral("Processing Instruction Editor"), QString(), QString(),
                          std::pair{QStringLiteral("pi"), QStringLiteral("data")});
    trigger("mnuNewPI");
    EXPECT_EQ(xml(), QStringLiteral("<?xml version=\"1.0\"?>\n<?pi data?>\n<!--top-->\n<r/>\n"));
    EXPECT_EQ(labelsUnder(""), (QStringList{"xml version=\"1.0\"", "pi data", "top", "r"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("pi data"));
    check();
}
