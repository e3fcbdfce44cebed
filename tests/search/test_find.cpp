// Find and Find Next: the walk over the tree and its labels, then the dialog and the commands.

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

// Every item in pre-order, building the whole tree: the walk's independent oracle.
std::vector<Id> PreOrder(TreeModel& tree, Id parent = None) {
    std::vector<Id> out;
    for (Id i = parent ? tree.Child(parent) : tree.FirstTopLevel(); i; i = tree.Next(i)) {
        out.push_back(i);
        const std::vector<Id> below = PreOrder(tree, i);
        out.insert(out.end(), below.begin(), below.end());
    }
    return out;
}

// From any item the walk passes every other item once in pre-order, coming round to its start;
// below pending items it reads the DOM and yields the builder's labels without building them.
TEST(FindWalk, ComesRoundEveryItemOnceAndWalksAPendingTreeAsIfBuilt) {
    for (const QString& xml :
         {QStringLiteral("<r a=\"1\"><x b=\"2\"><y/>t<!--c--></x><z><![CDATA[d]]></z></r>"),
          QStringLiteral("<?xml version=\"1.0\"?><!--before--><!DOCTYPE r [<!ENTITY e \"v\">]>"
                         "<r xmlns:p=\"urn:p\" p:a=\"1\"><x>&e;<y/></x><?pi data?></r>"
                         "<!--after-->")}) {
        SCOPED_TRACE(xml.toStdString());
        BuiltTree eager(xml);
        const std::vector<Id> order = PreOrder(eager.tree);
        QStringList expected;
        for (size_t s = 0; s < order.size(); ++s) {
            expected << eager.tree.Text(order[s]);
            FindCursor cursor(eager.tree, order[s], kMax);
            for (size_t k = 1; k <= order.size(); ++k) {
                cursor.GetNextNode();
                ASSERT_TRUE(cursor.IsItem(order[(s + k) % order.size()]))
                    << "start " << s << " step " << k;
            }
        }
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
        const char* text;
        bool matchCase, wholeWord;
        const char* start; // the top-level item searched from; null for the first
        const char* found; // the label of the item found, "" for none
    } rows[] = {
        {"Name", false, true, nullptr, "name"},           // whole word takes the whole label
        {"Name", false, false, nullptr, "id = \"Name\""}, // else the first label holding it
        {"name", true, false, nullptr, "nameList"},
        {"NAME", true, false, nullptr, ""},
        {"Item", true, true, nullptr, "Item"},
        {"x1", false, true, nullptr, ""}, // an attribute's label holds its quotes
        {"x1", false, false, nullptr, "code = \"x1\""},
        {"code = \"X1\"", false, true, nullptr, "code = \"x1\""},
        {"hidden", false, false, nullptr, ""}, // beyond the shortened label
        {"ww...", true, false, nullptr, "ww..."},
        {"catalog", false, true, "catalog", ""},                 // the start item is never tested
        {"version", false, false, "end", "xml version=\"1.0\""}, // wraps to the first
        {" text", false, false, "end", "Some text"},             // blanks as typed
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
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

// After an edit the walk follows the tree's labels, not the DOM's.
TEST(FindWalk, FollowsTheTreesLabelsNotTheDoms) {
    BuiltTree b(QStringLiteral("<r><a/><b/></r>"));
    const Id r = b.tree.FirstTopLevel();
    const Id renamed = b.tree.Next(b.tree.Child(r));
    b.tree.SetText(renamed, QStringLiteral("renamed"));
    EXPECT_EQ(FindText(b.tree, QStringLiteral("renamed"), r, true, true, kMax), renamed);
    EXPECT_EQ(FindText(b.tree, QStringLiteral("b"), r, true, true, kMax), None);
}

class FindTest : public EditingTest {
protected:
    // The next Find dialog goes through `handle`.
    void expectDialog(std::function<void(frmFind&)> handle) {
        ui.expectModal([=](QDialog& dialog) {
            auto* find = qobject_cast<frmFind*>(&dialog);
            ASSERT_NE(find, nullptr);
            handle(*find);
        });
    }
    // The next Find dialog is filled in and confirmed with OK.
    void expectFind(const QString& text, bool matchCase = false, bool wholeWord = false) {
        expectDialog([=](frmFind& find) {
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

// The history holds each text once, newest last, case apart; Esc keeps it and the options but
// selects the first item; an empty text is refused; the text is searched as typed.
TEST_F(FindTest, TheDialogKeepsItsHistoryAndOptionsAndSearchesTheTextAsTyped) {
    load("<r><a/><b/><Item/><item/><c>one two</c><d>one  two</d></r>");
    search("a");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/a"));
    search("b");
    search("a");
    EXPECT_EQ(history(), (QStringList{"b", "a"}));
    search("Item", true, true);
    window->m_wndTree->SetSelectedItem(None);
    expectDialog([](frmFind& find) {
        EXPECT_EQ(find.cmboFind->currentText(), QStringLiteral("Item"));
        QStringList items;
        for (int i = 0; i < find.cmboFind->count(); ++i)
            items << find.cmboFind->itemText(i);
        EXPECT_EQ(items, (QStringList{"b", "a", "Item"}));
        EXPECT_TRUE(find.ChkMatchCase->isChecked());
        EXPECT_TRUE(find.chkMachAll->isChecked());
        find.cmboFind->setEditText(QStringLiteral("b"));
        find.ChkMatchCase->setChecked(false);
        QTest::keyClick(&find, Qt::Key_Escape);
        EXPECT_FALSE(find.bOK);
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedPath(), QStringLiteral("r"));
    EXPECT_EQ(history(), (QStringList{"b", "a", "Item"}));
    EXPECT_TRUE(window->m_bMatchCase);
    EXPECT_TRUE(window->m_bMatchAllWord);
    // "item" typed key by key and taken with Enter is not completed from the history to "Item".
    expectDialog([](frmFind& find) {
        find.cmboFind->lineEdit()->clear();
        QTest::keyClicks(find.cmboFind->lineEdit(), QStringLiteral("item"));
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/item"));
    ui.expectMessage(QStringLiteral("Please enter text to find."), MsgButtons::OKOnly,
                     MsgIcon::Information, QStringLiteral("Enter Text"));
    expectDialog([](frmFind& find) {
        find.cmboFind->setEditText(QString());
        find.cmdOK->click();
        EXPECT_TRUE(find.isVisible());
        EXPECT_FALSE(find.bOK);
        find.cmboFind->setEditText(QStringLiteral("  "));
        find.ChkMatchCase->setChecked(false);
        find.chkMachAll->setChecked(false);
        QTest::keyClick(find.cmboFind->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(find.isVisible());
        EXPECT_TRUE(find.bOK);
    });
    trigger("mnuFind");
    EXPECT_EQ(selectedPath(), QStringLiteral("r/d/one  two"));
    EXPECT_EQ(history(), (QStringList{"b", "a", "Item", "item", "  "}));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

// Find Next repeats the newest text and options from the selection; F3, Ctrl+F and the toolbar.
TEST_F(FindTest, FindNextRepeatsTheLastSearchFromTheSelectionAndComingRoundIsSaid) {
    load("<r><v/><V/><w><v/></w></r>");
    select("r");
    QTest::keyClick(window->m_wndTree, Qt::Key_F3);
    EXPECT_EQ(selectedPath(), QStringLiteral("r"));
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
    for (const char* path : {"r/v", "r/V"}) {
        trigger("mnuFindNext");
        EXPECT_EQ(selectedPath(), QString::fromLatin1(path));
    }
    // Coming round says so and keeps the selection, never tested even as the only match.
    for (const char* text : {"zzz", "V"}) {
        expectInfo(QStringLiteral("The specified region has been searched."));
        search(text, true, true);
        EXPECT_EQ(selectedPath(), QStringLiteral("r/V"));
    }
}

// An item never built is built with its path (and the siblings on it), opened and shown.
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
    // The records, and below the one found its attribute, inner, leaf and text.
    EXPECT_EQ(nodes().BuiltCount(), builtBefore + 2000 + 4);
    int pending = 0;
    for (Id record = nodes().Child(nodes().FirstTopLevel()); record; record = nodes().Next(record))
        pending += nodes().ChildrenPending(record) ? 1 : 0;
    EXPECT_EQ(pending, 1999);
}

TEST_F(FindTest, ASearchOfAnEmptyTreeIsReportedNotFatal) {
    ui.expectMessagePrefix(QString(), MsgButtons::OKOnly, MsgIcon::Information);
    window->SetTextToXML(QStringLiteral("<r>"));
    ASSERT_TRUE(nodes().IsEmpty());
    expectCritical(QStringLiteral("There is no item to search from."));
    search("x");
    EXPECT_EQ(history(), QStringList{"x"});
    expectCritical(QStringLiteral("There is no item to search from."));
    trigger("mnuFindNext");
}

} // namespace
