// The search walk: the order it visits items in, that it comes round to its start, what a label
// matches, and that it walks a lazily built tree without building it.

#include "platform/errors.h"
#include "platform/xml/xmldocument.h"
#include "search/findwalk.h"
#include "support/builttree.h"
#include "tree/treebuilder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;
constexpr int kMax = 256;

using Built = BuiltTree;

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

Id TopLevel(TreeModel& tree, const QString& label) {
    for (Id i = tree.FirstTopLevel(); i; i = tree.Next(i)) {
        if (tree.Text(i) == label)
            return i;
    }
    ADD_FAILURE() << "no top-level item " << label.toStdString();
    return None;
}

const QString kOneTopLevel =
    QStringLiteral("<r a=\"1\"><x b=\"2\"><y/>t<!--c--></x><z><![CDATA[d]]></z></r>");
const QString kSeveralTopLevel =
    QStringLiteral("<?xml version=\"1.0\"?><!--before--><!DOCTYPE r [<!ENTITY e \"v\">]>"
                   "<r xmlns:p=\"urn:p\" p:a=\"1\"><x>&e;<y/></x><?pi data?></r><!--after-->");

// From any item of an eagerly built tree, the walk passes every other item once, in pre-order
// from the end of the last top-level item round to the first, and then stands on its start.
TEST(FindWalk, FromEveryItemEveryOtherItemComesOnceAndTheWalkEndsAtItsStart) {
    for (const QString& xml : {kOneTopLevel, kSeveralTopLevel}) {
        SCOPED_TRACE(xml.toStdString());
        Built b(xml);
        const std::vector<Id> order = PreOrder(b.tree);
        for (size_t s = 0; s < order.size(); ++s) {
            FindCursor cursor(b.tree, order[s], kMax);
            for (size_t k = 1; k < order.size(); ++k) {
                cursor.GetNextNode();
                ASSERT_TRUE(cursor.IsItem(order[(s + k) % order.size()]))
                    << "start " << s << " step " << k;
            }
            cursor.GetNextNode();
            EXPECT_TRUE(cursor.IsItem(order[s]));
        }
    }
}

// Below pending items the walk reads the DOM: it must give the labels, in the order, of the
// items the builder would make there, and build none of them.
TEST(FindWalk, WalksAPendingTreeAsIfBuiltAndBuildsNothing) {
    for (const QString& xml : {kOneTopLevel, kSeveralTopLevel}) {
        SCOPED_TRACE(xml.toStdString());
        Built eager(xml);
        const QStringList expected = LabelsOf(eager.tree, PreOrder(eager.tree));
        Built lazy(xml);
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

// Rows: search text, Match Case, Match Whole Word Only, the top-level item the search starts
// at, and the label of the item found ("" for none).
struct MatchRow {
    const char* behaviour;
    const char* text;
    bool matchCase;
    bool wholeWord;
    const char* start;
    const char* found;
};

TEST(FindWalk, LabelsMatchByTheOptions) {
    const QString hidden = QString(kMax, QLatin1Char('w')) + QStringLiteral("hidden");
    const QString xml = QStringLiteral("<?xml version=\"1.0\"?><catalog id=\"Name\"><nameList>"
                                       "<name>Value</name></nameList><item code=\"x1\">Some text"
                                       "</item><long>%1</long><Item/></catalog><!--end-->")
                            .arg(hidden);
    const MatchRow rows[] = {
        {"whole word ignores case but takes the whole label", "Name", false, true,
         "xml version=\"1.0\"", "name"},
        {"without whole word the first label containing it", "Name", false, false,
         "xml version=\"1.0\"", "id = \"Name\""},
        {"match case compares exactly", "name", true, false, "xml version=\"1.0\"", "nameList"},
        {"match case finds nothing of another case", "NAME", true, false, "xml version=\"1.0\"",
         ""},
        {"match case and whole word", "Item", true, true, "xml version=\"1.0\"", "Item"},
        {"an attribute label holds its quotes", "x1", false, true, "xml version=\"1.0\"", ""},
        {"an attribute value is part of its label", "x1", false, false, "xml version=\"1.0\"",
         "code = \"x1\""},
        {"a whole attribute label", "code = \"X1\"", false, true, "xml version=\"1.0\"",
         "code = \"x1\""},
        {"a text beyond the shortened label is not found", "hidden", false, false,
         "xml version=\"1.0\"", ""},
        {"the shortened label ends in full stops", "ww...", true, false, "xml version=\"1.0\"",
         "ww..."},
        {"the start item is never tested", "catalog", false, true, "catalog", ""},
        {"the search wraps to the first top-level item", "version", false, false, "end",
         "xml version=\"1.0\""},
        {"blanks are searched as typed", " text", false, false, "end", "Some text"},
    };
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        for (bool eager : {false, true}) {
            Built b(xml);
            if (eager)
                b.tree.Count();
            const Id found = FindText(b.tree, QString::fromUtf8(row.text),
                                      TopLevel(b.tree, QString::fromUtf8(row.start)), row.matchCase,
                                      row.wholeWord, kMax);
            const QString label = b.tree.Text(found);
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
    xml += QStringLiteral("</list>");
    Built b(xml);
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

// The walk after an edit follows the items, not the DOM: an item the DOM moved keeps its place
// in the tree, and the search order is the tree's.
TEST(FindWalk, FollowsTheTreesOrderNotTheDoms) {
    Built b(QStringLiteral("<r><a/><b/></r>"));
    const Id r = b.tree.FirstTopLevel();
    const Id a = b.tree.Child(r);
    const Id bItem = b.tree.Next(a);
    b.tree.SetText(bItem, QStringLiteral("renamed"));
    EXPECT_EQ(FindText(b.tree, QStringLiteral("renamed"), r, true, true, kMax), bItem);
    EXPECT_EQ(FindText(b.tree, QStringLiteral("b"), r, true, true, kMax), None);
}

TEST(FindWalk, ASearchWithoutAStartItemFailsWithoutSearching) {
    TreeModel empty;
    EXPECT_THROW(FindText(empty, QStringLiteral("x"), None, false, false, kMax), DescribedError);
}

} // namespace
