// Delete, cut, copy, paste and moves through the window: the questions, the messages and the
// selection. What the edits do to the Document is checked without a window in the insert test,
// every way to each command with the commands.

#include "platform/xml/xmlerror.h"
#include "support/editingfixture.h"

TEST_F(EditingTest, DeleteAsksFirstAndTellsARefusal) {
    load(R"(<r xmlns:p="urn:p"><p:a/></r>)");
    const QString before = xml();
    click(find("r/p:a"));
    expectDeleteQuestion(MsgResult::No);
    trigger("mnuDelPopup");
    click(find("r/xmlns:p = \"urn:p\""));
    expectDeleteQuestion(MsgResult::Yes);
    expectCritical(
        QStringLiteral("The namespace declaration 'xmlns:p' cannot be removed: 'p:a' uses it."));
    trigger("mnuDeleteItem");
    EXPECT_EQ(xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges());
    check();
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    trigger("mnuDeleteItem"); // nothing selected: no question
}

TEST_F(EditingTest, PastesAreExpandedAndRefusalsTold) {
    load("<!DOCTYPE r><r><a k=\"1\"><b/></a><t>x</t><c k=\"2\"/></r>");
    click(find("r/a"));
    trigger("mnuCopy");
    click(find("r/t"));
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r/t"), (QStringList{"x", "a"}));
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/t")));
    click(find("r/t/x"));
    expectCritical(QStringLiteral("This node cannot have child nodes."));
    trigger("mnuPaste");
    click(find("r/a/k = \"1\""));
    trigger("mnuCut");
    click(find("r/c"));
    expectInfo(QStringLiteral("Attribute 'k' already exists."));
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r/c"), QStringList{QStringLiteral("k = \"2\"")});
    check();

    // A refused copy keeps the earlier one, which outlives the document it came from.
    window->m_wndTree->SetSelectedItem(nodes().FirstTopLevel());
    EXPECT_THROW(window->mnuCopy_Click(), XmlError);
    window->markSaved();
    trigger("mnuNewDoc");
    click(find("Root"));
    trigger("mnuPaste");
    EXPECT_EQ(xml(), QStringLiteral("<Root k=\"1\"/>\n"));
    check();
}

TEST_F(EditingTest, MovesKeepTheItemSelectedAndRefusalsAreTold) {
    load("<r a=\"1\">text<b/><c/></r>");
    click(find("r/c"));
    EXPECT_FALSE(enabled("mnuMoveDown"));
    trigger("mnuMoveUp");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a = \"1\"", "text", "c", "b"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r/c"));
    EXPECT_TRUE(enabled("mnuMoveDown")); // the state follows the moved item
    check();
    const QString before = xml();
    window->markSaved();
    // Left is off for a child of the document element: the routine must refuse on its own.
    expectCritical(kCannotMove);
    window->mnuMoveLeft_Click();
    expectCritical(kCannotMove);
    trigger("mnuMoveRight"); // into a text
    EXPECT_EQ(xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges());
    check();
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    window->mnuMoveUp_Click(); // nothing selected: nothing, silently
}
