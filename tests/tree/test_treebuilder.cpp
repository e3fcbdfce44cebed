// How XML nodes become tree items, and that building them lazily cannot be told apart from
// building them at once.

#include "platform/xml/xmldocument.h"
#include "support/builttree.h"
#include "tree/treebuilder.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;
constexpr int kMax = 256;

// "label [Icon]" per item, indented by depth, walking Child/Next; each item's Tag must be the
// node it shows.
QString Dump(TreeModel& tree, Id parent = None, int depth = 0) {
    QString out;
    for (Id i = tree.Child(parent); i; i = tree.Next(i)) {
        EXPECT_TRUE(ModGeneral::ItemLabel(tree.Tag(i), kMax, tree.Text(i)) == tree.Text(i));
        out += QString(depth * 2, ' ') + tree.Text(i) + " [" + tree.Image(i) + "]\n" +
               Dump(tree, i, depth + 1);
    }
    return out;
}

// ...and as the view reads it.
QString ViewDump(const TreeModel& tree, const QModelIndex& parent = {}, int depth = 0) {
    QString out;
    for (int row = 0; row < tree.rowCount(parent); ++row) {
        const QModelIndex i = tree.index(row, 0, parent);
        out += QString(depth * 2, ' ') + i.data().toString() + " [" +
               i.data(TreeModel::IconKeyRole).toString() + "]\n" + ViewDump(tree, i, depth + 1);
    }
    return out;
}

// Labels under an item, nested as "b(c)".
QString Labels(TreeModel& tree, Id parent) {
    QStringList parts;
    for (Id i = tree.Child(parent); i; i = tree.Next(i))
        parts << (tree.Child(i) ? tree.Text(i) + '(' + Labels(tree, i) + ')' : tree.Text(i));
    return parts.join(',');
}

using Built = BuiltTree;

// Trees of one document forced completely in different ways must all show the eager outline.
// The stores grow while loaders run, which the address sanitizer watches.
TEST(TreeBuilder, AttributesComeFirstAndEveryWalkShowsTheSameOutline) {
    const QString xml =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ELEMENT r ANY>]><r xmlns:p=\"urn:p\" b='say "
        "\"hi\" &lt;&amp;'><x k=\"1\">&lt;t&gt;<y><z/></y></x><!--c--><![CDATA[d]]><?pi da "
        "ta?></r><!--after-->";
    const std::string expected =
        "xml version=\"1.0\" [PInstructions]\nDummy []\nr [Element]\n"
        "  xmlns:p = \"urn:p\" [Attribute]\n  b = \"say \"hi\" <&\" [Attribute]\n  x [Element]\n"
        "    k = \"1\" [Attribute]\n    <t> [Text]\n    y [Element]\n      z [Element]\n"
        "  c [Comment]\n  d [CData]\n  pi da ta [PInstructions]\nafter [Comment]\n";
    Built counted(xml), walked(xml), viewed(xml);
    const int total = counted.tree.Count(); // forces every pending item
    EXPECT_EQ(counted.tree.BuiltCount(), total);
    EXPECT_EQ(Dump(counted.tree).toStdString(), expected);
    EXPECT_EQ(Dump(walked.tree).toStdString(), expected);
    EXPECT_EQ(ViewDump(viewed.tree).toStdString(), expected);
}

TEST(TreeBuilder, OnlyTextLikeLabelsLongerThanTheLimitAreCut) {
    const QString at(kMax, 'a'), over(kMax + 1, 'o');
    Built b(QString("<r k=\"%2\"><a>%1</a>%2<!--%2--><![CDATA[%2]]><?t %2?></r>").arg(at, over));
    const QString cut = over.left(kMax) + "...";
    EXPECT_EQ(Labels(b.tree, b.tree.FirstTopLevel()).toStdString(),
              QString("k = \"%1\",a(%2),%3,%3,%3,t %1").arg(over, at, cut).toStdString());
    // Handed an attribute itself, an item shows it uncut as well.
    const Id k = b.tree.Add("k");
    ModGeneral::AddXmlNodeToTree(k, b.doc.selectSingleNode("/r/@k"), b.tree, kMax);
    EXPECT_EQ(b.tree.Text(k).toStdString(), ("k = \"" + over + "\"").toStdString());
}

// The view already shows x's rows, or that the leaf y has none: new rows must come at once and
// announced.
TEST(TreeBuilder, ExistingItemsSeenByTheViewAnnounceTheirNewChildren) {
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML("<e k=\"v\"><f/>t</e>"));
    TreeModel tree;
    const Id x = tree.Add("x"), y = tree.Add("y");
    tree.Add(x, TreeModel::tvwChild, "old");
    ASSERT_EQ(tree.rowCount(tree.IndexOf(y)), 0);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    ModGeneral::AddXmlNodeToTree(x, doc.documentElement(), tree, kMax);
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(Labels(tree, x).toStdString(), "old,k = \"v\",f,t");
    ModGeneral::AddXmlNodeToTree(y, doc.documentElement(), tree, kMax);
    EXPECT_EQ(tree.rowCount(tree.IndexOf(y)), 3);
    EXPECT_EQ(inserted.count(), 6);
}

TEST(TreeBuilder, LargeDocumentBuildsOnlyTopLevelUntilTheRootIsOpened) {
    QString xml = "<r>";
    for (int i = 0; i < 10000; ++i)
        xml += QString("<e i=\"%1\"/>").arg(i);
    Built b(xml + "</r>");
    const Id root = b.tree.FirstTopLevel();
    EXPECT_EQ(b.tree.BuiltCount(), 1);
    EXPECT_TRUE(b.tree.hasChildren(b.tree.IndexOf(root)));
    EXPECT_EQ(b.tree.ChildCount(root), 10000);
    EXPECT_EQ(b.tree.BuiltCount(), 10001);
    EXPECT_EQ(b.tree.Count(), 20001); // and one attribute item under each element
}

// The editor changes the DOM, then mirrors the change in the tree. With the affected item still
// pending, the two together must give what they give on an eagerly built tree: no duplicates.
TEST(TreeBuilder, DomChangeUnderAPendingItemGivesWhatAnEagerTreeGives) {
    using Change = void (*)(XmlDocument&, TreeModel&, Id a, XmlNode an);
    const std::pair<Change, const char*> rows[] = {
        {[](XmlDocument& d, TreeModel& t, Id a, XmlNode an) {
             an.appendChild(d.createElement("c"));
             t.Add(a, TreeModel::tvwChild, "c", ModGeneral::kElement);
         },
         "b,c"},
        {[](XmlDocument&, TreeModel& t, Id a, XmlNode an) {
             an.setAttribute("k", "v");
             t.Add(t.Child(a), TreeModel::tvwPrevious, "k = \"v\"", ModGeneral::kAttribute);
         },
         "k = \"v\",b"},
        {[](XmlDocument&, TreeModel& t, Id a, XmlNode an) {
             const XmlNode b = an.removeChild(an.firstChild());
             EXPECT_TRUE(t.Tag(t.Child(a)) == b);
             t.Remove(t.Child(a));
         },
         ""},
        // The command finds b's item after changing the DOM, as a find-then-edit would.
        {[](XmlDocument& d, TreeModel& t, Id a, XmlNode an) {
             an.firstChild().appendChild(d.createElement("c"));
             t.Add(t.Child(a), TreeModel::tvwChild, "c", ModGeneral::kElement);
         },
         "b(c)"},
    };
    // An item marked pending during a bulk build (Expand All's walk) is listed, not filed by its
    // node, until the build ends; a change meanwhile must still find it.
    enum Filing { AtOnce, DuringBulkBuild, AfterBulkBuild };
    for (const Filing filing : {AtOnce, DuringBulkBuild, AfterBulkBuild}) {
        for (const auto& [change, expected] : rows) {
            SCOPED_TRACE(testing::Message() << expected << " filing " << filing);
            Built b("<r><a><b/></a></r>");
            std::optional<TreeModel::BulkBuild> bulk;
            if (filing != AtOnce)
                bulk.emplace(b.tree);
            const Id a = b.tree.Child(b.tree.FirstTopLevel());
            ASSERT_TRUE(b.tree.ChildrenPending(a));
            if (filing == AfterBulkBuild)
                bulk.reset();
            change(b.doc, b.tree, a, b.doc.selectSingleNode("/r/a"));
            EXPECT_EQ(Labels(b.tree, a).toStdString(), expected);
        }
    }
}

} // namespace
