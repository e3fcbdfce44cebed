// Delete with its question, and cut, copy and paste through the copy buffer.

#include "support/editingfixture.h"

TEST_F(EditingTest, DeleteAsksAndTakesTheWholeSubtree) {
    load("<r><a x=\"1\" y=\"2\"><b><c/></b></a><d/></r>");
    click(find("r/a/x = \"1\""));
    expectDeleteQuestion(MsgResult::Yes);
    QTest::keyClick(window->m_wndTree, Qt::Key_Delete);
    EXPECT_EQ(labelsUnder("r/a"), (QStringList{"y = \"2\"", "b"}));
    check();

    click(find("r/a"));
    window->markSaved();
    expectDeleteQuestion(MsgResult::No);
    trigger("mnuDelPopup");
    EXPECT_FALSE(window->HasUnsavedChanges());
    expectDeleteQuestion(MsgResult::Yes);
    click(window->Toolbar1, "Delete");
    EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("d")});
    EXPECT_TRUE(window->HasUnsavedChanges());
    check();

    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    trigger("mnuDeleteItem"); // nothing selected: no question
}

TEST_F(EditingTest, CopiedItemsPasteAnyNumberOfTimesAsTheyWereWhenCopied) {
    load("<r><a k=\"1\"><b/></a><t>x</t></r>");
    click(find("r/a"));
    QTest::keyClick(window->m_wndTree, Qt::Key_C, Qt::ControlModifier);
    // Changing the original afterwards does not change the copy.
    trigger("mnuUpdate");
    typeLabel(QStringLiteral("renamed"));
    click(find("r/t"));
    QTest::keyClick(window->m_wndTree, Qt::Key_V, Qt::ControlModifier);
    trigger("mnuPastePopup");
    EXPECT_EQ(labelsUnder("r/t"), (QStringList{"x", "a", "a"}));
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/t")));
    EXPECT_EQ(window->m_objDocument.selectNodes(QStringLiteral("/r/t/a[@k='1']/b")).length(), 2);
    check();

    // Pasting into a text is reported, and nothing changes.
    const QString before = xml();
    click(find("r/t/x"));
    expectCritical(QStringLiteral("This node cannot have child nodes."));
    trigger("mnuPaste");
    EXPECT_EQ(xml(), before);
    check();
}

TEST_F(EditingTest, CutMovesAndAttributesPasteOnlyWhereFree) {
    load("<r><a id=\"7\"/><b/><c id=\"1\"/></r>");
    click(find("r/a/id = \"7\""));
    trigger("mnuCut");
    EXPECT_EQ(labelsUnder("r/a"), QStringList());
    click(find("r/b"));
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r/b"), QStringList{QStringLiteral("id = \"7\"")});
    click(find("r/c"));
    expectInfo(QStringLiteral("Attribute 'id' already exists."));
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r/c"), QStringList{QStringLiteral("id = \"1\"")});
    check();
}

TEST_F(EditingTest, TheCopyBufferOutlivesNewAndOpen) {
    load("<r><keep>me</keep></r>");
    click(find("r/keep"));
    trigger("mnuCopy");
    window->markSaved();
    trigger("mnuNewDoc");
    click(find("Root"));
    EXPECT_TRUE(enabled("mnuPaste"));
    trigger("mnuPaste");
    EXPECT_EQ(xml(), QStringLiteral("<Root>\n  <keep>me</keep>\n</Root>\n"));
    check();
}
