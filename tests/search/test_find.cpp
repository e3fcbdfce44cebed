// Find and Find Next in the window: the dialog, the history, the options, the commands that
// reach them, and what a search selects and says.

#include "search/frmfind.h"
#include "support/editingfixture.h"

#include <QLineEdit>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {

const QString kSearched = QStringLiteral("The specified region has been searched.");

class FindTest : public EditingTest {
protected:
    static frmFind& asFind(QDialog& dialog) {
        auto* find = qobject_cast<frmFind*>(&dialog);
        EXPECT_NE(find, nullptr);
        return *find;
    }
    // The next Find dialog is filled in and confirmed with OK.
    void expectFind(const QString& text, bool matchCase = false, bool wholeWord = false) {
        ui.expectModal([=](QDialog& dialog) {
            frmFind& find = asFind(dialog);
            find.cmboFind->setEditText(text);
            find.ChkMatchCase->setChecked(matchCase);
            find.chkMachAll->setChecked(wholeWord);
            find.cmdOK->click();
        });
    }
    void find(const QString& text, bool matchCase = false, bool wholeWord = false) {
        expectFind(text, matchCase, wholeWord);
        trigger("mnuFind");
    }
    QString selectedLabel() {
        const Id item = window->m_wndTree->SelectedItem();
        return item ? nodes().Text(item) : QStringLiteral("<none>");
    }
    // The path of labels from the top to the selected item.
    QString selectedPath() {
        QStringList path;
        for (Id i = window->m_wndTree->SelectedItem(); i; i = nodes().Parent(i))
            path.prepend(nodes().Text(i));
        return path.join(QLatin1Char('/'));
    }
    static QStringList listOf(const QComboBox& box) {
        QStringList out;
        for (int i = 0; i < box.count(); ++i)
            out << box.itemText(i);
        return out;
    }
};

TEST_F(FindTest, TheDialogIsLaidOutAsDesigned) {
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        EXPECT_EQ(find.windowTitle(), QStringLiteral("Find"));
        EXPECT_EQ(find.size(), QSize(321, 134));
        EXPECT_FALSE(find.windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(find.Label1->text(), QStringLiteral("Find What: "));
        EXPECT_EQ(find.ChkMatchCase->text(), QStringLiteral("Match &Case"));
        EXPECT_EQ(find.chkMachAll->text(), QStringLiteral("Match &Whole Word Only"));
        EXPECT_EQ(find.cmdOK->text(), QStringLiteral("OK"));
        EXPECT_EQ(find.cmdCancel->text(), QStringLiteral("Cancel"));
        EXPECT_TRUE(find.cmdOK->isDefault());
        EXPECT_TRUE(find.cmboFind->isEditable());
        EXPECT_EQ(find.cmboFind->geometry(), QRect(88, 16, 225, 21));
        // Tab goes from the text to Cancel, OK and the two options.
        QStringList chain;
        QWidget* w = find.cmboFind;
        for (int i = 0; i < 5; ++i) {
            chain << w->objectName();
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || w->parentWidget() == find.cmboFind);
        }
        EXPECT_EQ(chain,
                  (QStringList{"cmboFind", "cmdCancel", "cmdOK", "ChkMatchCase", "chkMachAll"}));
        find.cmdCancel->click();
    });
    trigger("mnuFind");
}

// Finding a, then b, then a keeps a once, newest last; texts that differ in case are two.
TEST_F(FindTest, TheHistoryHoldsEachTextOnceNewestLastAndTheDialogShowsIt) {
    load("<r><a/><b/><Item/><item/></r>");
    find("a");
    EXPECT_EQ(selectedLabel(), QStringLiteral("a"));
    find("b");
    find("a");
    EXPECT_EQ(*window->m_lstTextToFind, (QStringList{"b", "a"}));
    ui.expectModal([this](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        EXPECT_EQ(find.cmboFind->currentText(), QStringLiteral("a"));
        EXPECT_EQ(listOf(*find.cmboFind), (QStringList{"b", "a"}));
        find.cmdCancel->click();
    });
    trigger("mnuFind");
    find("Item", true, true);
    // Typed key by key after "Item" was searched, and taken with Enter, "item" is searched as
    // typed.
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        find.cmboFind->lineEdit()->clear();
        QTest::keyClicks(find.cmboFind->lineEdit(), QStringLiteral("item"));
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedLabel(), QStringLiteral("item"));
    EXPECT_EQ(*window->m_lstTextToFind, (QStringList{"b", "a", "Item", "item"}));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(FindTest, AnEmptyTextIsRefusedAndTheDialogStaysOpen) {
    load("<r><a/></r>");
    ui.expectMessage(QStringLiteral("Please enter text to find."), MsgButtons::OKOnly,
                     MsgIcon::Information, QStringLiteral("Enter Text"));
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        find.cmboFind->setEditText(QString());
        find.cmdOK->click();
        EXPECT_TRUE(find.isVisible());
        EXPECT_FALSE(find.bOK);
        // Enter in the text box is OK.
        find.cmboFind->setEditText(QStringLiteral("a"));
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
        EXPECT_TRUE(find.bOK);
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedLabel(), QStringLiteral("a"));
    EXPECT_EQ(*window->m_lstTextToFind, QStringList{"a"});
}

// A text of blanks is searched as typed, not trimmed.
TEST_F(FindTest, BlanksAreSearchedAsTyped) {
    load("<r><a>one two</a><b>one  two</b></r>");
    find(QStringLiteral("  "));
    EXPECT_EQ(selectedLabel(), QStringLiteral("one  two"));
}

TEST_F(FindTest, CancelKeepsHistoryAndOptionsButSelectsTheFirstItem) {
    load("<r><a/><b/></r>");
    find("b", true, true);
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        EXPECT_TRUE(find.ChkMatchCase->isChecked());
        EXPECT_TRUE(find.chkMachAll->isChecked());
        find.cmboFind->setEditText(QStringLiteral("a"));
        find.ChkMatchCase->setChecked(false);
        QTest::keyClick(&find, Qt::Key_Escape);
        EXPECT_FALSE(find.bOK);
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedLabel(), QStringLiteral("r"));
    EXPECT_EQ(*window->m_lstTextToFind, QStringList{"b"});
    EXPECT_TRUE(window->m_bMatchCase);
    EXPECT_TRUE(window->m_bMatchAllWord);
}

TEST_F(FindTest, ASearchThatComesRoundSaysSoAndKeepsTheSelection) {
    load("<r><a/><b/></r>");
    select("r/b");
    ui.expectMessage(kSearched, MsgButtons::OKOnly, MsgIcon::Information);
    find("zzz");
    EXPECT_EQ(selectedLabel(), QStringLiteral("b"));
    // The selected item is never tested, even when it is the only match.
    ui.expectMessage(kSearched, MsgButtons::OKOnly, MsgIcon::Information);
    find("b", false, true);
    EXPECT_EQ(selectedLabel(), QStringLiteral("b"));
}

// Find Next repeats the newest text with the last options, from the item selected now; F3,
// Ctrl+F and the toolbar's Find button reach the commands.
TEST_F(FindTest, FindNextRepeatsTheLastSearchFromTheSelection) {
    load("<r><v/><V/><w><v/></w></r>");
    select("r");
    const Id before = window->m_wndTree->SelectedItem();
    QTest::keyClick(window->m_wndTree, Qt::Key_F3);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), before);

    expectFind("v", true, true);
    QTest::keyClick(window->m_wndTree, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(selectedPath(), QStringLiteral("r/v"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F3);
    EXPECT_EQ(selectedPath(), QStringLiteral("r/w/v"));
    trigger("mnuFindNext");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/v"));

    select("r/w");
    expectFind("V", false, true);
    click(window->Toolbar1, "Find");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/w/v"));
    trigger("mnuFindNext");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/v"));
    trigger("mnuFindNext");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/V"));
}

// With several top-level items the search goes on from the last one to the first.
TEST_F(FindTest, TheSearchWrapsFromTheLastTopLevelItemToTheFirst) {
    load("<?xml version=\"1.0\"?>\n<!--one--><r><a/></r><!--two-->");
    find("two");
    EXPECT_EQ(selectedPath(), QStringLiteral("two"));
    find("one");
    EXPECT_EQ(selectedPath(), QStringLiteral("one"));
    ui.expectMessage(kSearched, MsgButtons::OKOnly, MsgIcon::Information);
    trigger("mnuFindNext");
    EXPECT_EQ(selectedPath(), QStringLiteral("one"));
}

// In a large document whose items below the top were never built, the item found is built with
// the path down to it, opened and shown; the rest stays unbuilt.
TEST_F(FindTest, FindsAnItemNeverBuiltAndBuildsOnlyItsPath) {
    QByteArray xml = "<list>";
    for (int i = 0; i < 2000; ++i)
        xml += "<record n=\"" + QByteArray::number(i) + "\"><inner><leaf>text " +
               QByteArray::number(i) + "</leaf></inner></record>";
    xml += "</list>";
    window->DropFiles({writeFile(QStringLiteral("large.xml"), xml)});
    QCoreApplication::processEvents();
    const int builtBefore = nodes().BuiltCount();
    EXPECT_LT(builtBefore, 2100);
    find("text 1500", false, true);
    EXPECT_EQ(selectedPath(), QStringLiteral("list/record/inner/leaf/text 1500"));
    QCoreApplication::processEvents();
    TreeControl* tree = window->m_wndTree;
    const Id found = tree->SelectedItem();
    for (Id up = nodes().Parent(found); up; up = nodes().Parent(up))
        EXPECT_TRUE(tree->Expanded(up));
    EXPECT_TRUE(tree->viewport()->rect().intersects(tree->visualRect(nodes().IndexOf(found))));
    // The list's records show now, and below the one found only its path.
    EXPECT_EQ(nodes().BuiltCount(), builtBefore + 2000 + 4);
    int pending = 0;
    for (Id record = nodes().Child(nodes().FirstTopLevel()); record; record = nodes().Next(record))
        pending += nodes().ChildrenPending(record) ? 1 : 0;
    EXPECT_EQ(pending, 1999);
}

// With no Document the tree is empty: the search cannot start, and says so.
TEST_F(FindTest, ASearchOfAnEmptyTreeIsReportedNotFatal) {
    ui.expectMessagePrefix(QString(), MsgButtons::OKOnly, MsgIcon::Information);
    window->SetTextToXML(QStringLiteral("<r>"));
    ASSERT_TRUE(nodes().IsEmpty());
    ui.expectMessage(QStringLiteral("There is no item to search from."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    find("x");
    EXPECT_EQ(*window->m_lstTextToFind, QStringList{"x"});
    ui.expectMessage(QStringLiteral("There is no item to search from."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    trigger("mnuFindNext");
}

} // namespace
