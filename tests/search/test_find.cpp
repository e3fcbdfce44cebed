// Find and Find Next: the search walk (its order, coming round to its start, what a label matches,
// a lazily built tree walked without building it), then the dialog, the history and the commands
// in the window.

#include "platform/xml/xmldocument.h"
#include "search/findwalk.h"
#include "search/frmfind.h"
#include "support/builttree.h"
#include "support/editingfixture.h"

#include <QCheckBox>
#include <QComboBox>

#include <vector>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;
constexpr int kMax = 256;

// Every item in pre-order, building the whole tree.
std::vector<Id> PreOrder(TreeModel& tree, Id parent = None) {
    std::vector<Id> out;
    for (Id i = parent ? tree.Child(parent) : tree.FirstTopLevel(); i; i = tree.Next(i)) {
        out.push_back(i);
        const std::vector<Id> below = PreOrder(tree, i);
        out.insert(out.end(), below.begin(), below.end());
    }
    return out;
}

QStringList LabelsOf(TreeModel& tree, const std::vector<Id>& items) {
    QStringList out;
    for (Id i : items)
        out << tree.Text(i);
    return out;
}

// From any item of an eagerly built tree, the walk passes every other item once, in pre-order
// from the end of the last top-level item round to the first, and then stands on its start.
// Below pending items it reads the DOM: the labels, in the order, of the items the builder would
// make there, none of them built.
TEST(FindWalk, ComesRoundEveryItemOnceAndWalksAPendingTreeAsIfBuilt) {
    for (const QString& xml :
         {QStringLiteral("<r a=\"1\"><x b=\"2\"><y/>t<!--c--></x><z><![CDATA[d]]></z></r>"),
          QStringLiteral("<?xml version=\"1.0\"?><!--before--><!DOCTYPE r [<!ENTITY e \"v\">]>"
                         "<r xmlns:p=\"urn:p\" p:a=\"1\"><x>&e;<y/></x><?pi data?></r>"
                         "<!--after-->")}) {
        SCOPED_TRACE(xml.toStdString());
        BuiltTree eager(xml);
        const std::vector<Id> order = PreOrder(eager.tree);
        for (size_t s = 0; s < order.size(); ++s) {
            FindCursor cursor(eager.tree, order[s], kMax);
            for (size_t k = 1; k <= order.size(); ++k) {
                cursor.GetNextNode();
                ASSERT_TRUE(cursor.IsItem(order[(s + k) % order.size()]))
                    << "start " << s << " step " << k;
            }
        }
        const QStringList expected = LabelsOf(eager.tree, order);
        BuiltTree lazy(xml);
        const int built = lazy.tree.BuiltCount();
        FindCursor cursor(lazy.tree, lazy.tree.FirstTopLevel(), kMax);
        QStringList walked;
        do {
            walked << cursor.Label();
            cursor.GetNextNode();
        } while (!cursor.IsItem(lazy.tree.FirstTopLevel()) && walked.size() <= expected.size());
        EXPECT_EQ(walked, expected);
        EXPECT_EQ(lazy.tree.BuiltCount(), built);
    }
}

TEST(FindWalk, LabelsMatchByTheOptions) {
    const QString xml = QStringLiteral("<?xml version=\"1.0\"?><catalog id=\"Name\"><nameList>"
                                       "<name>Value</name></nameList><item code=\"x1\">Some text"
                                       "</item><long>%1hidden</long><Item/></catalog><!--end-->")
                            .arg(QString(kMax, QLatin1Char('w')));
    const struct {
        const char* behaviour;
        const char* text;
        bool matchCase;
        bool wholeWord;
        const char* start; // the top-level item searched from; null for the first
        const char* found; // the label of the item found, "" for none
    } rows[] = {
        {"whole word ignores case but takes the whole label", "Name", false, true, nullptr, "name"},
        {"without whole word the first label containing it", "Name", false, false, nullptr,
         "id = \"Name\""},
        {"match case compares exactly", "name", true, false, nullptr, "nameList"},
        {"match case finds nothing of another case", "NAME", true, false, nullptr, ""},
        {"match case and whole word", "Item", true, true, nullptr, "Item"},
        {"an attribute label holds its quotes", "x1", false, true, nullptr, ""},
        {"an attribute value is part of its label", "x1", false, false, nullptr, "code = \"x1\""},
        {"a whole attribute label", "code = \"X1\"", false, true, nullptr, "code = \"x1\""},
        {"a text beyond the shortened label is not found", "hidden", false, false, nullptr, ""},
        {"the shortened label ends in full stops", "ww...", true, false, nullptr, "ww..."},
        {"the start item is never tested", "catalog", false, true, "catalog", ""},
        {"the search wraps to the first top-level item", "version", false, false, "end",
         "xml version=\"1.0\""},
        {"blanks are searched as typed", " text", false, false, "end", "Some text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        for (bool eager : {false, true}) {
            BuiltTree b(xml);
            if (eager)
                b.tree.Count();
            Id start = b.tree.FirstTopLevel();
            while (row.start && b.tree.Text(start) != QString::fromUtf8(row.start))
                start = b.tree.Next(start);
            const QString label = b.tree.Text(FindText(b.tree, QString::fromUtf8(row.text), start,
                                                       row.matchCase, row.wholeWord, kMax));
            EXPECT_EQ(label.endsWith(QStringLiteral("ww...")) ? QStringLiteral("ww...") : label,
                      QString::fromUtf8(row.found));
        }
    }
}

// The item found below pending items is built with the items on its way down, and only those
// and their siblings: the other subtrees stay pending.
TEST(FindWalk, BuildsOnlyThePathToTheItemFound) {
    QString xml = QStringLiteral("<list>");
    for (int i = 0; i < 200; ++i)
        xml +=
            QStringLiteral("<record n=\"%1\"><inner><leaf>text %1</leaf></inner></record>").arg(i);
    BuiltTree b(xml + QStringLiteral("</list>"));
    const Id list = b.tree.FirstTopLevel();
    ASSERT_TRUE(b.tree.ChildrenPending(list));
    const Id found = FindText(b.tree, QStringLiteral("text 150"), list, false, true, kMax);
    ASSERT_NE(found, None);
    EXPECT_EQ(b.tree.Tag(found).nodeType(), NODE_TEXT);
    std::vector<Id> path;
    for (Id up = b.tree.Parent(found); up; up = b.tree.Parent(up))
        path.insert(path.begin(), up);
    ASSERT_EQ(LabelsOf(b.tree, path), (QStringList{"list", "record", "inner", "leaf"}));
    EXPECT_EQ(b.tree.Text(b.tree.Child(path[1])), QStringLiteral("n = \"150\""));
    // list, its 200 records, the record's attribute and inner, inner's leaf, the leaf's text.
    EXPECT_EQ(b.tree.BuiltCount(), 1 + 200 + 2 + 1 + 1);
    for (Id record = b.tree.Child(list); record; record = b.tree.Next(record))
        EXPECT_EQ(b.tree.ChildrenPending(record), record != path[1]);
}

// The walk after an edit follows the items, not the DOM: the search order and labels are the
// tree's.
TEST(FindWalk, FollowsTheTreesOrderNotTheDoms) {
    BuiltTree b(QStringLiteral("<r><a/><b/></r>"));
    const Id r = b.tree.FirstTopLevel();
    const Id renamed = b.tree.Next(b.tree.Child(r));
    b.tree.SetText(renamed, QStringLiteral("renamed"));
    EXPECT_EQ(FindText(b.tree, QStringLiteral("renamed"), r, true, true, kMax), renamed);
    EXPECT_EQ(FindText(b.tree, QStringLiteral("b"), r, true, true, kMax), None);
}

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
    void search(const QString& text, bool matchCase = false, bool wholeWord = false) {
        expectFind(text, matchCase, wholeWord);
        trigger("mnuFind");
    }
    // The labels from the top down to the selected item.
    QString selectedPath() {
        QStringList path;
        for (Id i = window->m_wndTree->SelectedItem(); i; i = nodes().Parent(i))
            path.prepend(nodes().Text(i));
        return path.join(QLatin1Char('/'));
    }
    QStringList history() { return *window->m_lstTextToFind; }
};

TEST_F(FindTest, TheDialogIsAFixedOneWhoseTabGoesFromTheTextToTheButtonsAndOptions) {
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        EXPECT_EQ(find.windowTitle(), QStringLiteral("Find"));
        EXPECT_EQ(find.size(), QSize(321, 134));
        EXPECT_EQ(find.minimumSize(), find.maximumSize());
        EXPECT_FALSE(find.windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(find.cmdOK->isDefault());
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
    search("a");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/a"));
    search("b");
    search("a");
    EXPECT_EQ(history(), (QStringList{"b", "a"}));
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        EXPECT_EQ(find.cmboFind->currentText(), QStringLiteral("a"));
        ASSERT_EQ(find.cmboFind->count(), 2);
        EXPECT_EQ(find.cmboFind->itemText(0), QStringLiteral("b"));
        EXPECT_EQ(find.cmboFind->itemText(1), QStringLiteral("a"));
        find.cmdCancel->click();
    });
    trigger("mnuFind");
    search("Item", true, true);
    // Typed key by key after "Item" was searched, and taken with Enter, "item" is searched as
    // typed, not completed from the history.
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        find.cmboFind->lineEdit()->clear();
        QTest::keyClicks(find.cmboFind->lineEdit(), QStringLiteral("item"));
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/item"));
    EXPECT_EQ(history(), (QStringList{"b", "a", "Item", "item"}));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

// An empty text is refused and the dialog stays open; a text of blanks is searched as typed.
TEST_F(FindTest, AnEmptyTextIsRefusedAndBlanksAreSearchedAsTyped) {
    load("<r><a>one two</a><b>one  two</b></r>");
    ui.expectMessage(QStringLiteral("Please enter text to find."), MsgButtons::OKOnly,
                     MsgIcon::Information, QStringLiteral("Enter Text"));
    ui.expectModal([](QDialog& dialog) {
        frmFind& find = asFind(dialog);
        find.cmboFind->setEditText(QString());
        find.cmdOK->click();
        EXPECT_TRUE(find.isVisible());
        EXPECT_FALSE(find.bOK);
        // Enter in the text box is OK.
        find.cmboFind->setEditText(QStringLiteral("  "));
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
        EXPECT_TRUE(find.bOK);
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/b/one  two"));
    EXPECT_EQ(history(), QStringList{"  "});
}

TEST_F(FindTest, CancelKeepsHistoryAndOptionsButSelectsTheFirstItem) {
    load("<r><a/><b/></r>");
    search("b", true, true);
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
    EXPECT_EQ(selectedPath(), QStringLiteral("r"));
    EXPECT_EQ(history(), QStringList{"b"});
    EXPECT_TRUE(window->m_bMatchCase);
    EXPECT_TRUE(window->m_bMatchAllWord);
}

// A search that comes round says so and keeps the selection; the selected item is never tested,
// even when it is the only match.
TEST_F(FindTest, ASearchThatComesRoundSaysSoAndKeepsTheSelection) {
    load("<r><a/><b/></r>");
    select("r/b");
    for (const char* text : {"zzz", "b"}) {
        ui.expectMessage(kSearched, MsgButtons::OKOnly, MsgIcon::Information);
        search(text, false, true);
        EXPECT_EQ(selectedPath(), QStringLiteral("r/b"));
    }
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

// In a large document whose items below the top were never built, the item found is built with
// the path down to it, opened and shown; the rest stays unbuilt.
TEST_F(FindTest, FindsAnItemNeverBuiltAndBuildsOnlyItsPath) {
    QByteArray xml = "<list>";
    for (int i = 0; i < 2000; ++i)
        xml += "<record n=\"" + QByteArray::number(i) + "\"><inner><leaf>text " +
               QByteArray::number(i) + "</leaf></inner></record>";
    // Not load(): its check of the tree against the Document builds every item.
    window->DropFiles({writeFile(QStringLiteral("large.xml"), xml + "</list>")});
    QCoreApplication::processEvents();
    const int builtBefore = nodes().BuiltCount();
    EXPECT_LT(builtBefore, 2100);
    search("text 1500", false, true);
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
    search("x");
    EXPECT_EQ(history(), QStringList{"x"});
    ui.expectMessage(QStringLiteral("There is no item to search from."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    trigger("mnuFindNext");
}

} // namespace
