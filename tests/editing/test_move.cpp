// Moving items up, down, left and right, and the moves that are refused.

#include "support/editingfixture.h"

TEST_F(EditingTest, MovesGoOneStepAndRebuildTheSelectedItem) {
    load("<r><a x=\"1\"><k/></a><b/><c><d/></c></r>");
    click(find("r/b"));
    QTest::keyClick(window->m_wndTree, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(labelsUnder("r"), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r/b"));
    EXPECT_FALSE(enabled("mnuMoveUp")); // the state follows the moved item
    check();

    trigger("mnuMoveDown");
    trigger("mnuMoveDown"); // the next-to-last becomes the last: the append path
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "c", "b"}));
    check();

    trigger("mnuMoveRight"); // into c, after its children
    EXPECT_EQ(labelsUnder("r/c"), (QStringList{"d", "b"}));
    trigger("mnuMoveLeft"); // back out, directly after c
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "c", "b"}));
    click(find("r/c"));
    trigger("mnuMoveRight"); // into a, which has an attribute and a child
    EXPECT_EQ(labelsUnder("r/a"), (QStringList{"x = \"1\"", "k", "c"}));
    EXPECT_EQ(window->m_objDocument.selectNodes(QStringLiteral("/r/a/*")).length(), 2);
    EXPECT_TRUE(window->HasUnsavedChanges());
    check();
}

TEST_F(EditingTest, RefusedMovesLeaveTheDocumentAndTheTreeAsTheyWere) {
    load("<?xml version=\"1.0\"?><r a=\"1\"><b/>text<c/></r>");
    const QString before = xml();
    auto refused = [&](const QString& path, const char* command) {
        SCOPED_TRACE(path.toStdString() + " " + command);
        click(find(path));
        window->markSaved();
        expectCritical(kCannotMove);
        if (qstrcmp(command, "mnuMoveLeft") == 0)
            window->mnuMoveLeft_Click(); // disabled here; the routine must refuse on its own
        else
            trigger(command);
        ui.verify();
        EXPECT_EQ(xml(), before) << path.toStdString() << " " << command;
        EXPECT_FALSE(window->HasUnsavedChanges());
        check();
    };
    refused("r/b", "mnuMoveUp");           // the previous item is an attribute
    refused("r/a = \"1\"", "mnuMoveDown"); // attributes never move
    refused("r/c", "mnuMoveRight");        // a text cannot hold children
    refused("r", "mnuMoveUp");             // nothing goes before the XML declaration
    // A second top-level element: b taken out of r cannot follow it at the top.
    refused("r/b", "mnuMoveLeft");
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    window->mnuMoveUp_Click(); // nothing selected: nothing, silently
}
