// Find and Find Next: the walk over the tree and its labels, then the dialog and the commands.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlpath.h"
#include "search/findresultspanel.h"
#include "search/findwalk.h"
#include "search/frmfind.h"
#include "support/builttree.h"
#include "support/editingfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

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

// A label and a path for each item, to compare items of two trees of the same text.
QStringList describe(const TreeModel& tree, const std::vector<XmlNode>& nodes) {
    QStringList out;
    for (const XmlNode& node : nodes)
        out << ModGeneral::ItemLabel(node, kMax, QString()) + u'@' + XPathOf(node);
    (void)tree;
    return out;
}

// Find All lists, in order, exactly the items that Find Next comes to one after another from
// the last item round to the first again, and builds no item on its way; stopped, it has the
// matches found until then.
TEST(FindWalk, FindAllListsWhatFindNextComesToInTreeOrderAndBuildsNothing) {
    QString xml = QStringLiteral("<?xml version=\"1.0\"?><!--item--><list xmlns:p=\"urn:item\">");
    for (int i = 0; i < 3000; ++i)
        xml += QStringLiteral("<item n=\"%1\" p:kind=\"Item\">item %1<!--x--></item>").arg(i);
    xml += QStringLiteral("<?item data?></list>");
    const struct {
        const char* text;
        bool matchCase, wholeWord;
    } rows[] = {{"item", false, false}, {"Item", true, false}, {"item 29", false, false},
                {"item", true, true},   {"nothing", false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const QString text = QString::fromUtf8(row.text);
        BuiltTree eager(xml);
        const std::vector<Id> order = PreOrder(eager.tree);
        std::vector<XmlNode> visited;
        Id first = FindText(eager.tree, text, order.back(), row.matchCase, row.wholeWord, kMax);
        for (Id at = first; at != None;) {
            visited.push_back(eager.tree.Tag(at));
            at = FindText(eager.tree, text, at, row.matchCase, row.wholeWord, kMax);
            if (at == first)
                break;
        }
        BuiltTree lazy(xml);
        const int built = lazy.tree.BuiltCount();
        qint64 steps = 0;
        const FoundNodes found = FindAll(lazy.tree, text, row.matchCase, row.wholeWord, kMax,
                                         [&](qint64) { return ++steps > 0; });
        std::vector<XmlNode> listed;
        for (const XmlNode::Key& key : found.keys)
            listed.push_back(XmlNode::fromKey(key, found.owner));
        EXPECT_EQ(describe(lazy.tree, listed), describe(eager.tree, visited));
        EXPECT_EQ(lazy.tree.BuiltCount(), built);
        EXPECT_GT(steps, 2) << "the window's events are passed while it searches";
        const FoundNodes stopped = FindAll(lazy.tree, text, row.matchCase, row.wholeWord, kMax,
                                           [](qint64) { return false; });
        ASSERT_LE(stopped.keys.size(), found.keys.size());
        EXPECT_TRUE(std::equal(stopped.keys.begin(), stopped.keys.end(), found.keys.begin()));
        if (found.keys.size() > 100) {
            EXPECT_LT(stopped.keys.size(), found.keys.size());
        }
    }
}

class FindTest : public EditingTest {
protected:
    // The next Find dialog goes through `handle`.
    void expectDialog(std::function<void(frmFind&)> handle) { expectDialogOf(std::move(handle)); }
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

// Find All fills the panel with every match, label, icon and path; Enter or a double-click leads
// to the item, the history and options are kept as by OK, and the selection is not moved by the
// search itself. After an edit the rows say they are stale, and a row whose item was deleted
// says so when chosen.
TEST_F(FindTest, FindAllListsEveryMatchAndEachRowLeadsToItsItem) {
    load("<r><item id=\"a\">x</item><item id=\"b\"/><other>item text</other><Item/></r>");
    select("r/other");
    expectDialog([](frmFind& find) {
        find.cmboFind->setEditText(QStringLiteral("item"));
        find.ChkMatchCase->setChecked(true);
        EXPECT_EQ(find.cmdFindAll->text(), QStringLiteral("Find &All"));
        find.cmdFindAll->click();
        EXPECT_TRUE(find.bOK);
        EXPECT_TRUE(find.bFindAll);
    });
    QTest::keyClick(window->m_wndTree, Qt::Key_F, Qt::ControlModifier);
    FindResultsPanel* panel = window->m_findResultsPanel;
    ASSERT_TRUE(panel->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuFindResultsPanel"))->isChecked());
    EXPECT_EQ(panel->Summary(), QStringLiteral("3 items match \"item\"."));
    EXPECT_EQ(selectedPath(), QStringLiteral("r/other"));
    EXPECT_EQ(history(), QStringList{"item"});
    EXPECT_TRUE(window->m_bMatchCase);
    QTreeView* rows = panel->Rows();
    QAbstractItemModel* model = rows->model();
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << model->index(row, 0).data().toString() + u'|' + model->index(row, 1).data().toString();
    EXPECT_EQ(shown, (QStringList{"item|/r/item[1]", "item|/r/item[2]", "item text|/r/other/text()"}));
    EXPECT_FALSE(model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(QApplication::focusWidget(), rows);
    QTest::keyClick(rows, Qt::Key_Down);
    QTest::keyClick(rows, Qt::Key_Return);
    EXPECT_EQ(selectedPath(), QStringLiteral("r/item"));
    EXPECT_TRUE(window->m_wndTree->Nodes().Tag(window->m_wndTree->SelectedItem()) ==
                window->m_objDocument.selectNodes(QStringLiteral("/r/item[2]")).item(0));
    EXPECT_FALSE(window->HasUnsavedChanges());

    QLabel* stale = panel->findChild<QLabel*>(QStringLiteral("FindResultsStaleNote"));
    EXPECT_FALSE(stale->isVisibleTo(panel));
    expectDeleteQuestion(MsgResult::Yes);
    trigger("mnuDeleteItem");
    EXPECT_TRUE(panel->IsStale());
    EXPECT_TRUE(stale->isVisibleTo(panel));
    expectInfo(QStringLiteral("The item is no longer in the document: find again."));
    QTest::keyClick(rows, Qt::Key_Return);
    // A row whose item is still there leads to it, stale or not.
    QTest::keyClick(rows, Qt::Key_Down);
    QTest::keyClick(rows, Qt::Key_Return);
    EXPECT_EQ(selectedPath(), QStringLiteral("r/other/item text"));

    // Nothing found is said in the panel, not in a message; New empties it.
    expectDialog([](frmFind& find) {
        find.cmboFind->setEditText(QStringLiteral("zzz"));
        find.cmdFindAll->click();
    });
    trigger("mnuFind");
    EXPECT_EQ(panel->Summary(), QStringLiteral("No item matches \"zzz\"."));
    EXPECT_EQ(model->rowCount(), 0);
    trigger("mnuFindResultsPanel");
    EXPECT_FALSE(panel->isVisible());
}

// A Document packed to make room for another is held by nothing the window keeps: Find All's rows
// go, and the copied item moves to a document of its own, still to be pasted.
TEST_F(FindTest, ADocumentMakingRoomIsLetGoOf) {
    load("<r><item>x</item><other/></r>");
    expectDialog([](frmFind& find) {
        find.cmboFind->setEditText(QStringLiteral("item"));
        find.cmdFindAll->click();
    });
    trigger("mnuFind");
    ASSERT_EQ(window->m_findResultsPanel->Count(), 1);
    select("r/item");
    trigger("mnuCopy");
    ASSERT_FALSE(window->m_objCopiedNode.isNull());

    emit window->m_session.documentMakingRoom();
    EXPECT_EQ(window->m_findResultsPanel->Count(), 0);
    EXPECT_NE(window->m_objCopiedNode.storage(), window->m_objDocument.asNode().storage());
    select("r/other");
    trigger("mnuPaste");
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("/r/other/item")).text(),
              QStringLiteral("x"));
}

// The paths of rows far down a long list of siblings are counted right, however the list is
// walked (End, then upwards).
TEST_F(FindTest, FindAllPathsAreRightFarDownALongList) {
    QByteArray xml = "<list>";
    for (int i = 0; i < 5000; ++i)
        xml += "<record>r" + QByteArray::number(i) + "</record>";
    window->DropFiles({writeFile(QStringLiteral("long.xml"), xml + "</list>")});
    QCoreApplication::processEvents();
    expectDialog([](frmFind& find) {
        find.cmboFind->setEditText(QStringLiteral("r"));
        find.cmdFindAll->click();
    });
    trigger("mnuFind");
    FindResultsPanel* panel = window->m_findResultsPanel;
    QAbstractItemModel* model = panel->Rows()->model();
    ASSERT_EQ(model->rowCount(), 10000); // every record and every text
    QTest::keyClick(panel->Rows(), Qt::Key_End);
    for (const int row : {9999, 9998, 9001, 5000, 2, 9000}) {
        const int record = row / 2 + 1;
        EXPECT_EQ(model->index(row, 1).data().toString(),
                  row % 2 ? QStringLiteral("/list/record[%1]/text()").arg(record)
                          : QStringLiteral("/list/record[%1]").arg(record));
    }
}

} // namespace
