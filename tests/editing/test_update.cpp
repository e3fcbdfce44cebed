// Update, Special Update and double-click editing through the two editor dialogs: which dialog,
// what it shows, and how a refusal is told. The refusals themselves are the item edits' rules.

#include "support/editingfixture.h"

TEST_F(EditingTest, EachKindOpensItsEditorAndRefusalsAreTold) {
    load("<?p data?><r a=\"v\" b=\"2\">text<![CDATA[cd]]><!--c--></r>");
    for (const auto& [path, caption] :
         {std::pair{"r/text", "Text Editor"}, std::pair{"r/cd", "CDdata Editor"},
          std::pair{"r/c", "Comment Editor"}}) {
        click(find(QString::fromLatin1(path)));
        const QString shown = QString::fromLatin1(path).mid(2);
        expectTextEditor(QString::fromLatin1(caption), shown, shown + "2");
        trigger("mnuSpecialUpdate");
    }
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a = \"v\"", "b = \"2\"", "text2", "cd2", "c2"}));
    click(find("r/c2"));
    expectTextEditor("Comment Editor", "c2", QStringLiteral("bell\x07"));
    expectCritical(
        QStringLiteral("The text contains a character that XML does not allow (U+0007)."));
    trigger("mnuSpecialUpdate");

    click(find("r/a = \"v\""));
    expectAttributeEditor("Attribute Editor", "a", "v", std::make_pair(QString("b"), QString("1")));
    expectInfo("Attribute 'b' already exists.");
    trigger("mnuSpecialUpdate");
    // Spaces around the name and the value are dropped by the dialog.
    expectAttributeEditor("Attribute Editor", "a", "v",
                          std::make_pair(QString(" c "), QString("  3 ")));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(labelsUnder("r").first(), QStringLiteral("c = \"3\""));

    click(find("p data"));
    expectAttributeEditor("Processing Instruction Editor", "p", "data",
                          std::make_pair(QString("a b"), QString("d")));
    expectCritical("'a b' is not a valid processing instruction target name.");
    trigger("mnuSpecialUpdate");
    expectAttributeEditor("Processing Instruction Editor", "p", "data",
                          std::make_pair(QString("q"), QString("new")));
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(labels().first(), QStringLiteral("q new"));
    EXPECT_EQ(xml(),
              QStringLiteral("<?q new?>\n<r b=\"2\" c=\"3\">text2<![CDATA[cd2]]><!--c2--></r>"));
    check();
}

// Confirming a text unchanged writes back exactly what it was (the text box shows some characters
// its own way) and marks the document; Cancel marks it from the menu but not from a double-click,
// which on an element opens nothing.
TEST_F(EditingTest, ConfirmAndCancelMarkTheDocument) {
    const QString text = QString(300, QLatin1Char('z')) + QStringLiteral("a\u00A0b\rc\u2028d\te");
    load("<r>" + QString(300, QLatin1Char('z')).toUtf8() +
         "a&#160;b&#13;c&#x2028;d\te<!--c--></r>");
    click(find("r/" + text.left(256) + "..."));
    ui.expectModal([](QDialog& dialog) { dynamic_cast<EditorDialog&>(dialog).cmdOK->click(); });
    trigger("mnuSpecialUpdate");
    EXPECT_EQ(window->m_objDocument.documentElement().firstChild().text(), text);
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(labelsUnder("r"), (QStringList{text.left(256) + "...", "c"}));

    window->markSaved();
    click(find("r/c"));
    expectTextEditor("Comment Editor", "c", std::nullopt);
    trigger("mnuSpecialUpdatePopup");
    EXPECT_TRUE(window->HasUnsavedChanges());
    window->markSaved();
    expectTextEditor("Comment Editor", "c", std::nullopt);
    QTest::mouseDClick(window->m_wndTree->viewport(), Qt::LeftButton, {},
                       window->m_wndTree->visualRect(nodes().IndexOf(find("r/c"))).center());
    EXPECT_FALSE(window->HasUnsavedChanges());
    click(find("r"));
    window->m_wndTree_DblClick();
    EXPECT_FALSE(window->HasUnsavedChanges());
}
