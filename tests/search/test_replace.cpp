// Replace in the window: Ctrl+H in the text view finds, replaces the selected match and replaces
// all as typing in one undo step; in the tree view it replaces over the items as one undo step
// "Replace", with what was made and skipped told.

#include "platform/views/richtextbox.h"
#include "search/frmreplace.h"
#include "support/editingfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRegularExpression>

namespace {

class ReplaceTest : public EditingTest {
protected:
    // The next Replace dialog goes through `handle`.
    void expectDialog(std::function<void(frmReplace&)> handle) { expectDialogOf(std::move(handle)); }
    static void fillIn(frmReplace& dialog, const char* find, const char* with, bool regex = false,
                       bool matchCase = true) {
        dialog.cmboFind->setEditText(QString::fromUtf8(find));
        dialog.cmboReplace->setEditText(QString::fromUtf8(with));
        dialog.chkRegularExpression->setChecked(regex);
        dialog.ChkMatchCase->setChecked(matchCase);
    }
    QString caption(const char* name) { return window->Command(QString::fromLatin1(name))->text(); }
    // The Document's markup without the layout between tags.
    QString markup() {
        return xml().replace(QRegularExpression(QStringLiteral(">\\s+<")), QStringLiteral("><")).trimmed();
    }
    QByteArray viewBytes() { return window->m_txtXML->Utf8Text(); }
    QByteArray selected() {
        const auto [from, to] = window->m_txtXML->SelectedBytes();
        return viewBytes().mid(from, to - from);
    }
};

TEST_F(ReplaceTest, InTheTextViewFindReplaceAndReplaceAllAreTyping) {
    load("<r><a n=\"b1\">b2 B3</a><b4/></r>");
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    window->m_txtXML->GoToPosition(0);
    const QByteArray original = viewBytes();
    expectDialog([&](frmReplace& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Replace"));
        EXPECT_FALSE(dialog.fraReplaceIn->isVisibleTo(&dialog));
        EXPECT_TRUE(dialog.cmdFindNext->isDefault());
        fillIn(dialog, "b(\\d)", "c\\1", true);
        dialog.cmdFindNext->click();
        EXPECT_EQ(selected(), "b1");
        dialog.cmdReplace->click(); // replaced, and the next one selected
        EXPECT_EQ(selected(), "b2");
        EXPECT_TRUE(viewBytes().contains("n=\"c1\""));
        dialog.cmdFindNext->click();
        EXPECT_EQ(selected(), "b4");
        ui.expectMessage(QStringLiteral("The specified region has been searched."),
                         MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        dialog.cmboFind->setEditText(QStringLiteral("zz"));
        dialog.cmdFindNext->click();
        dialog.cmboFind->setEditText(QStringLiteral("b(\\d)"));
        dialog.ChkMatchCase->setChecked(false);
        ui.expectMessage(QStringLiteral("3 replacements made."), MsgButtons::OKOnly,
                         MsgIcon::Information, kAppTitle);
        dialog.cmdReplaceAll->click();
        ui.expectMessagePrefix(QStringLiteral("The regular expression is not valid: "),
                               MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        dialog.cmboFind->setEditText(QStringLiteral("b("));
        dialog.cmdReplaceAll->click();
        dialog.cmdClose->click();
    });
    QTest::keyClick(window->m_txtXML, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(viewBytes(), QByteArray(original).replace("b1", "c1").replace("b2", "c2")
                               .replace("B3", "c3").replace("b4", "c4"));
    EXPECT_TRUE(window->m_txtXML->HasTyping());
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Replace"));
    EXPECT_EQ(*window->m_lstTextToFind, (QStringList{"zz", "b(\\d)", "b("}));
    EXPECT_TRUE(window->m_bRegularExpression);
    trigger("mnuUndo");
    EXPECT_EQ(viewBytes(), QByteArray(original).replace("b1", "c1"));
    // Like Indent, the whole-text step keeps no typing before it to undo, but the typing stays.
    EXPECT_TRUE(window->m_txtXML->HasTyping());
    EXPECT_EQ(caption("mnuRedo"), QStringLiteral("&Redo Replace"));
    trigger("mnuRedo");
    click(window->ToolbarApply, "Apply");
    EXPECT_EQ(markup(), QStringLiteral("<r><a n=\"c1\">c2 c3</a><c4/></r>"));
}

TEST_F(ReplaceTest, InTheTreeViewEveryChosenPartIsReplacedInOneUndoStep) {
    load("<r xmlns:p=\"urn:p\"><item p:kind=\"item\">item<!--item--></item><p:item/></r>");
    select("r/item");
    QTest::keyClick(window->m_wndTree, Qt::Key_Right); // its items are built and shown
    const QString before = xml();
    expectDialog([&](frmReplace& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Replace in the Tree"));
        EXPECT_TRUE(dialog.fraReplaceIn->isVisibleTo(&dialog));
        EXPECT_FALSE(dialog.cmdFindNext->isVisibleTo(&dialog));
        EXPECT_TRUE(dialog.cmdReplaceAll->isDefault());
        fillIn(dialog, "item", "thing");
        dialog.chkComments->setChecked(false);
        ui.expectMessage(QStringLiteral("4 replacements made, 0 skipped."), MsgButtons::OKOnly,
                         MsgIcon::Information, kAppTitle);
        QTest::keyClick(&dialog, Qt::Key_Return);
        fillIn(dialog, "p:", "q:");
        ui.expectMessage(QStringLiteral("0 replacements made, 2 skipped."), MsgButtons::OKOnly,
                         MsgIcon::Information, kAppTitle);
        dialog.cmdReplaceAll->click();
        dialog.cmdClose->click();
    });
    trigger("mnuReplace");
    EXPECT_EQ(markup(), QStringLiteral("<r xmlns:p=\"urn:p\"><thing p:kind=\"thing\">thing"
                                       "<!--item--></thing><p:thing/></r>"));
    EXPECT_EQ(labelsUnder(QStringLiteral("r")),
              (QStringList{"xmlns:p = \"urn:p\"", "thing", "p:thing"}));
    EXPECT_EQ(labelsUnder(QStringLiteral("r/thing")),
              (QStringList{"p:kind = \"thing\"", "thing", "item"}));
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Replace"));
    EXPECT_FALSE(window->m_replaceScope.comments) << "the choice is kept for the next time";
    trigger("mnuUndo");
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(labelsUnder(QStringLiteral("r")), (QStringList{"xmlns:p = \"urn:p\"", "item", "p:item"}));
    ASSERT_EQ(TreeDocumentProblem(*window), QString());
}

// Many places changed at once (more than the tree looks up one by one) are all shown, expanded or
// not, after Replace All and after its undo.
TEST_F(ReplaceTest, ManyChangedItemsAreAllShownAgain) {
    QByteArray xml = "<list>";
    for (int i = 0; i < 200; ++i)
        xml += "<record n=\"r" + QByteArray::number(i) + "\">r" + QByteArray::number(i) +
               "<!--r--></record>";
    load(xml + "</list>");
    select("list");
    QTest::keyClick(window->m_wndTree, Qt::Key_Right);
    for (const Id record : {find(QStringLiteral("list/record")), nodes().Next(find(QStringLiteral("list/record")))})
        window->m_wndTree->SetExpanded(record, true);
    expectDialog([&](frmReplace& dialog) {
        fillIn(dialog, "^r", "s", true);
        ui.expectMessage(QStringLiteral("800 replacements made, 0 skipped."), MsgButtons::OKOnly,
                         MsgIcon::Information, kAppTitle);
        dialog.cmdReplaceAll->click();
        dialog.cmdClose->click();
    });
    trigger("mnuReplace");
    EXPECT_EQ(TreeDocumentProblem(*window), QString());
    EXPECT_EQ(labelsUnder(QStringLiteral("list/secord")),
              (QStringList{"n = \"s0\"", "s0", "s"}));
    trigger("mnuUndo");
    EXPECT_EQ(TreeDocumentProblem(*window), QString());
    EXPECT_EQ(labelsUnder(QStringLiteral("list/record")),
              (QStringList{"n = \"r0\"", "r0", "r"}));
}

// A text larger than the view empties line by line is replaced whole, and its undo and redo
// bring each text back as it was, highlighted, with its own line ends.
TEST_F(ReplaceTest, ALargeTextIsReplacedWholeAndBackAgain) {
    QByteArray xml = "<r>\r\n";
    while (xml.size() <= RichTextBox::kFreshDocumentSize)
        xml += "  <item>caf\xc3\xa9</item>\r\n";
    load(xml + "</r>\r\n");
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    const QByteArray before = viewBytes();
    expectDialog([&](frmReplace& dialog) {
        fillIn(dialog, "caf\xc3\xa9", "tea");
        ui.expectMessagePrefix(QString(), MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        dialog.cmdReplaceAll->click();
        dialog.cmdClose->click();
    });
    trigger("mnuReplace");
    const QByteArray after = QByteArray(before).replace("caf\xc3\xa9", "tea");
    EXPECT_EQ(viewBytes(), after);
    RichTextBox& view = *window->m_txtXML;
    EXPECT_NE(view.lexer(), nullptr);
    EXPECT_EQ(view.eolMode(), QsciScintilla::EolWindows);
    trigger("mnuUndo");
    EXPECT_EQ(viewBytes(), before);
    trigger("mnuRedo");
    EXPECT_EQ(viewBytes(), after);
    EXPECT_TRUE(view.HasTyping());
    view.setModified(false);
}

} // namespace
