// Right-clicks, F2 and in-place label editing, renames and Expand All.

#include "support/editingfixture.h"

TEST_F(EditingTest, RightClickSelectsTheItemAndShowsTheItemMenu) {
    load("<r><a/><b/></r>");
    click(find("r/a"));
    const Id b = find("r/b");
    click(b, Qt::RightButton);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), b);
    EXPECT_FALSE(enabled("mnuMoveDown"));
    window->m_wndTree->scrollTo(nodes().IndexOf(b));
    QTest::mousePress(window->m_wndTree->viewport(), Qt::RightButton, {},
                      window->m_wndTree->visualRect(nodes().IndexOf(b)).center());
    EXPECT_EQ(QApplication::activePopupWidget(),
              static_cast<QWidget*>(window->Menu(QStringLiteral("mnuContextMenu"))));
    closePopups();
}

TEST_F(EditingTest, F2OpensOnlyLabelsThatShowTheWholeNode) {
    const QString longText(300, QLatin1Char('x'));
    load("<?p data?><r a=\"1\"><!--short-->" + longText.toUtf8() + "</r>");
    for (const QString& path :
         {QStringLiteral("p data"), QStringLiteral("r/a = \"1\""),
          QStringLiteral("r/") + longText.left(256) + QStringLiteral("...")}) {
        click(find(path));
        QTest::keyClick(window->m_wndTree, Qt::Key_F2);
        EXPECT_EQ(labelEditor(), nullptr) << path.left(20).toStdString();
    }
    click(find("r/short"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("edited"));
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("//comment()")).text(),
              QStringLiteral("edited"));
    EXPECT_TRUE(window->m_bNeedToSave);
    check();
}

TEST_F(EditingTest, EditingACommentToALongTextKeepsItAllAndShortensTheLabel) {
    load("<r><!--c--></r>");
    click(find("r/c"));
    trigger("mnuUpdate");
    const QString text(300, QLatin1Char('y'));
    typeLabel(text);
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("//comment()")).text(), text);
    EXPECT_EQ(labelsUnder("r"), QStringList{text.left(256) + QStringLiteral("...")});
    check();
}

TEST_F(EditingTest, RenameKeepsAttributesChildrenAndPlace) {
    load("<r><x/><old b=\"2\" a=\"1\"><c/>t<!--k--></old><y/></r>");
    click(find("r/old"));
    trigger("mnuUpdate");
    typeLabel(QStringLiteral("new"));
    EXPECT_EQ(
        xml(),
        QStringLiteral("<r>\n  <x/>\n  <new b=\"2\" a=\"1\"><c/>t<!--k--></new>\n  <y/>\n</r>\n"));
    EXPECT_EQ(labelsUnder("r"), (QStringList{"x", "new", "y"}));
    EXPECT_EQ(labelsUnder("r/new"), (QStringList{"b = \"2\"", "a = \"1\"", "c", "t", "k"}));
    check();

    click(find("r"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("top"));
    EXPECT_EQ(window->m_objDocument.documentElement().nodeName(), QStringLiteral("top"));
    check();
}

TEST_F(EditingTest, InvalidNamesAreRefusedAndAbandonedEditsChangeNothing) {
    load("<r><a/></r>");
    for (const QString& bad : {QStringLiteral("1a"), QStringLiteral("a b")}) {
        click(find("r/a"));
        trigger("mnuUpdate");
        window->m_bNeedToSave = false;
        expectInfo(QStringLiteral("'%1' is not a valid element name.").arg(bad));
        typeLabel(bad);
        EXPECT_TRUE(window->m_bNeedToSave); // marked changed all the same
        EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    }
    const QString before = xml();
    click(find("r/a"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("gone"), Qt::Key_Escape);
    EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    EXPECT_EQ(xml(), before);
    check();
}

TEST_F(EditingTest, ExpandAllOpensTheWholeSubtreeAndNothingWithoutASelection) {
    QByteArray deep;
    for (int i = 0; i < 200; ++i)
        deep += "<d>";
    for (int i = 0; i < 200; ++i)
        deep += "</d>";
    load("<r><a><b><c/></b></a>" + deep + "</r>");
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    trigger("mnuExpandAll");
    EXPECT_FALSE(window->m_wndTree->Expanded(find("r")));
    click(find("r"));
    trigger("mnuExpandAll");
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/a/b")));
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/a/b/c")));
    Id d = find("r/d");
    for (int depth = 1; depth < 200; ++depth)
        d = nodes().Child(d);
    EXPECT_TRUE(window->m_wndTree->Expanded(d));
    EXPECT_FALSE(window->m_bNeedToSave);
}
