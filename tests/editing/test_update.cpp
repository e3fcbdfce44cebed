// Update, Special Update and double-click editing through the two editor dialogs.

#include "support/editingfixture.h"

TEST_F(EditingTest, EachKindOpensItsEditorWithItsCaption) {
    load("<?p data?><r a=\"v\">text<![CDATA[cd]]><!--c--></r>");
    struct Case {
        const char* path;
        const char* caption;
        const char* shown;
    };
    for (const Case& c :
         {Case{"r/text", "Text Editor", "text"}, Case{"r/cd", "CDdata Editor", "cd"},
          Case{"r/c", "Comment Editor", "c"}}) {
        click(find(QString::fromLatin1(c.path)));
        expectTextEditor(QString::fromLatin1(c.caption), QString::fromLatin1(c.shown),
                         QString::fromLatin1(c.shown) + "2");
        trigger("mnuSpecialUpdate");
    }
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a = \"v\"", "text2", "cd2", "c2"}));
    click(find("r/a = \"v\""));
    expectAttributeEditor("Attribute Editor", "a", "v", std::nullopt);
    trigger("mnuSpecialUpdate");
    click(find("p data"));
    expectAttributeEditor("Processing Instruction Editor", "p", "data", std::nullopt);
    trigger("mnuSpecialUpdate");
    check();
}

TEST_F(EditingTest, ConfirmingALongTextUnchangedRewritesItAndMarksTheDocument) {
    const QString text(300, QLatin1Char('z'));
    load("<r>" + text.toUtf8() + "</r>");
    click(find("r/" + text.left(256) + "..."));
    expectTextEditor("Text Editor", text, text);
    trigger("mnuSpecialUpdate");
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(labelsUnder("r"), QStringList{text.left(256) + "..."});
}

TEST_F(EditingTest, CancelMarksTheDocumentFromTheMenuButNotFromADoubleClick) {
    load("<r><!--c--></r>");
    click(find("r/c"));
    expectTextEditor("Comment Editor", "c", std::nullopt);
    trigger("mnuSpecialUpdatePopup");
    EXPECT_TRUE(window->HasUnsavedChanges());
    window->markSaved();
    expectTextEditor("Comment Editor", "c", std::nullopt);
    QTest::mouseDClick(window->m_wndTree->viewport(), Qt::LeftButton, {},
                       window->m_wndTree->visualRect(nodes().IndexOf(find("r/c"))).center());
    EXPECT_FALSE(window->HasUnsavedChanges());
    // A double-click on an element opens nothing and changes nothing.
    click(find("r"));
    window->m_wndTree_DblClick();
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(EditingTest, AttributeRenamesAreRefusedWhenTakenOrInvalid) {
    load("<r a=\"1\" b=\"2\"/>");
    click(find("r/a = \"1\""));
    expectAttributeEditor("Attribute Editor", "a", "1", std::make_pair(QString("b"), QString("1")));
    expectInfo("Attribute 'b' already exists.");
    trigger("mnuSpecialUpdate");
    expectAttributeEditor("Attribute Editor", "a", "1",
                          std::make_pair(QString("x y"), QString("9")));
    expectInfo("'x y' is not a valid attribute name.");
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(xml(), QStringLiteral("<r a=\"1\" b=\"2\"/>\n"));
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a = \"1\"", "b = \"2\""}));

    // Spaces around the name and the value are dropped by the dialog.
    expectAttributeEditor("Attribute Editor", "a", "1",
                          std::make_pair(QString(" c "), QString("  3 ")));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(xml(), QStringLiteral("<r b=\"2\" c=\"3\"/>\n"));
    check();
}

TEST_F(EditingTest, ProcessingInstructionIsReplacedInPlaceOrLeftWhenRefused) {
    load("<r><a/><?p old?><b/></r>");
    click(find("r/p old"));
    expectAttributeEditor("Processing Instruction Editor", "p", "old",
                          std::make_pair(QString("q"), QString("new")));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "q new", "b"}));
    check();
    for (const auto& [target, data, message] :
         {std::tuple{"", "d", "The processing instruction target name cannot be empty."},
          std::tuple{"a b", "d", "'a b' is not a valid processing instruction target name."},
          std::tuple{"q", "x?>y", "Processing instruction data cannot contain \"?>\"."},
          std::tuple{"XML", "d", "The processing instruction target 'XML' is reserved."}}) {
        expectAttributeEditor("Processing Instruction Editor", "q", "new",
                              std::make_pair(QString(target), QString(data)));
        expectCritical(QString::fromUtf8(message));
        trigger("mnuSpecialUpdate");
    }
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "q new", "b"}));
    check();
}

TEST_F(EditingTest, TextsThatCannotBeWrittenAsXmlAreRefused) {
    load("<r><!--c--><![CDATA[d]]></r>");
    click(find("r/c"));
    expectTextEditor("Comment Editor", "c", QStringLiteral("a--b"));
    expectCritical(QStringLiteral("A comment cannot contain \"--\" or end with \"-\"."));
    trigger("mnuSpecialUpdate");
    expectTextEditor("Comment Editor", "c", QStringLiteral("bell\x07"));
    expectCritical(
        QStringLiteral("The text contains a character that XML does not allow (U+0007)."));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"c", "d"}));
    // A CDATA section may hold "]]>": it is written so that it parses again.
    click(find("r/d"));
    expectTextEditor("CDdata Editor", "d", QStringLiteral("x]]>y"));
    trigger("mnuSpecialUpdate");
    check();
}
