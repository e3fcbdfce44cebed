// The tree's item store and how XML nodes become its items, built lazily yet indistinguishable
// from building them at once.

#include "platform/tree/treemodel.h"
#include "support/builttree.h"
#include "support/qtprinting.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>

namespace {

using M = TreeModel;
using Id = M::ItemId;
constexpr Id None = M::NoItem;
constexpr int kMax = 256;

// A model tester attached to `m`: a broken model aborts the run with the tester's report.
std::unique_ptr<QAbstractItemModelTester> ModelChecker(M& m) {
    return std::make_unique<QAbstractItemModelTester>(
        &m, QAbstractItemModelTester::FailureReportingMode::Fatal);
}

// "label[icon](children),..." under `parent`, checking that links, the view's rows, labels, icons
// and tagged nodes agree. With `byView` the view's row count is what builds pending children.
QString Outline(M& m, Id parent = None, bool byView = false) {
    const QModelIndex at = m.IndexOf(parent);
    const int count = byView ? m.rowCount(at) : m.ChildCount(parent);
    QStringList parts;
    Id previous = None;
    for (Id i = m.Child(parent); i; previous = i, i = m.Next(i)) {
        const QModelIndex row = m.index(static_cast<int>(parts.size()), 0, at);
        EXPECT_EQ(std::tuple(m.ItemOf(row), m.Parent(i), m.Previous(i)),
                  std::tuple(i, parent, previous));
        EXPECT_TRUE(row.data() == m.Text(i) && row.data(M::IconKeyRole) == m.Image(i));
        const XmlNode tag = m.Tag(i);
        EXPECT_TRUE(!tag || ModGeneral::ItemLabel(tag, kMax, m.Text(i)) == m.Text(i));
        const bool leaf = !m.hasChildren(row);
        const QString children = Outline(m, i, byView);
        EXPECT_EQ(leaf, children.isEmpty());
        parts << m.Text(i) + (m.Image(i).isEmpty() ? "" : '[' + m.Image(i) + ']') +
                     (leaf ? "" : '(' + children + ')');
    }
    EXPECT_EQ(m.LastChild(parent), previous);
    EXPECT_EQ(count, parts.size());
    EXPECT_EQ(m.ChildCount(parent) + m.rowCount(at), 2 * parts.size());
    return parts.join(',');
}

TEST(TreeModelStore, EditsChangeExactlyTheAddressedPlace) {
    // Item addressed, then F(irst), L(ast), N(ext), P(revious), C(hild) of it or - (removed), and
    // the outline after it. With no item addressed, a new one goes last at the top.
    for (const QString row :
         {"a2F a(n,a1,a2,a3),b(b1),c", "a1L a(a1,a2,a3,n),b(b1),c", "a2N a(a1,a2,n,a3),b(b1),c",
          "a1P a(n,a1,a2,a3),b(b1),c", "cC a(a1,a2,a3),b(b1),c(n)", "aC a(a1,a2,a3,n),b(b1),c",
          "F a(a1,a2,a3),b(b1),c,n", "a- b(b1),c", "a2- a(a1,a3),b(b1),c", "a3- a(a1,a2),b(b1),c",
          "b1- a(a1,a2,a3),b,c"}) {
        SCOPED_TRACE(row.toStdString());
        const QString item = row.section(' ', 0, 0).chopped(1), expected = row.section(' ', 1);
        M m; // a(a1,a2,a3),b(b1),c, with the ids by label
        std::map<QString, Id> ids{{"", None}};
        for (const QString label : {"a", "a1", "a2", "a3", "b", "b1", "c"})
            ids[label] = m.Add(ids[label.chopped(1)], M::tvwChild, label);
        const auto checker = ModelChecker(m);
        const int op = QStringLiteral("FLNPC").indexOf(row[item.size()]); // in enum order
        op < 0 ? m.Remove(ids.at(item)) : void(m.Add(ids.at(item), M::Relationship(op), "n"));
        EXPECT_EQ(Outline(m), expected);
        EXPECT_EQ(m.Count(), expected.count(',') + expected.count('(') + 1);
        for (const auto& [label, id] : ids)
            EXPECT_EQ(m.Exists(id), id != None && expected.contains(label)) << qPrintable(label);
        m.Clear();
        EXPECT_TRUE(m.IsEmpty() && m.Count() + m.rowCount() == 0);
        // A stale id must not attach a new item somewhere arbitrary.
        EXPECT_ANY_THROW(m.Add(ids.at("b"), M::tvwNext, "x"));
    }
}

// A pending item "r" tagged with a document's root, whose loader adds k1 and k2 and counts calls;
// a checker there before r sees every later signal without forcing r's children.
struct LazyTree {
    explicit LazyTree(bool checked = false) {
        checker = checked ? ModelChecker(m) : nullptr;
        doc.loadXML("<r/>");
        m.SetTag(p = m.Add("r"), doc.documentElement());
        m.SetChildLoader([this](M& t, Id id) {
            ++calls;
            t.Add(t.Add(id, M::tvwChild, "k1"), M::tvwNext, "k2");
        });
        m.MarkChildrenPending(p);
    }
    XmlDocument doc = XmlDocument::create();
    M m;
    std::unique_ptr<QAbstractItemModelTester> checker;
    Id p = None;
    int calls = 0;
};

TEST(TreeModelLazy, EveryRouteInBuildsPendingChildrenExactlyOnce) {
    const std::pair<const char*, void (*)(M&, Id)> routes[] = {
        {"Child", [](M& m, Id p) { EXPECT_EQ(m.Text(m.Child(p)), "k1"); }},
        {"LastChild", [](M& m, Id p) { EXPECT_EQ(m.Text(m.LastChild(p)), "k2"); }},
        {"ChildCount", [](M& m, Id p) { EXPECT_EQ(m.ChildCount(p), 2); }},
        {"Count", [](M& m, Id) { EXPECT_EQ(m.Count(), 3); }},
        {"AddChild", [](M& m, Id p) { m.Remove(m.Add(p, M::tvwChild, "n")); }},
        {"rowCount", [](M& m, Id p) { EXPECT_EQ(m.rowCount(m.IndexOf(p)), 2); }},
        {"index", [](M& m, Id p) { EXPECT_TRUE(m.index(1, 0, m.IndexOf(p)).isValid()); }},
    };
    for (const auto& [name, touch] : routes) {
        SCOPED_TRACE(name);
        LazyTree t(true);
        // Looking at the pending item itself needs none of its children.
        const QModelIndex index = t.m.IndexOf(t.p);
        t.m.Next(t.p), t.m.Previous(t.p), t.m.Parent(t.p), t.m.parent(index), index.data();
        EXPECT_TRUE(t.m.hasChildren(index));
        EXPECT_EQ(t.calls + t.m.BuiltCount(), 1);
        touch(t.m, t.p);
        EXPECT_EQ(t.calls, 1);
        EXPECT_EQ(Outline(t.m), "r(k1,k2)"); // every later way in, the view's too, reuses them
    }
}

// Removed, cleared, marked twice then removed, or destroyed: later DOM changes must reach no item
// and no dead listener (a use after free under the address sanitizer).
TEST(TreeModelLazy, GonePendingItemsIgnoreLaterDomChanges) {
    LazyTree removed, cleared, twice;
    removed.m.Remove(removed.p);
    cleared.m.Clear();
    twice.m.MarkChildrenPending(twice.p);
    EXPECT_EQ(twice.m.ChildCount(twice.p), 2);
    twice.m.Remove(twice.p);
    XmlDocument doc = std::make_unique<LazyTree>()->doc;
    for (const XmlDocument& d : {removed.doc, cleared.doc, twice.doc, doc})
        EXPECT_NO_THROW(d.documentElement().setAttribute("k", "v"));
    EXPECT_EQ(removed.calls + cleared.calls + twice.calls, 1);
}

// Only the top level is built at first; forced all at once, by navigation or by the view, the
// tree shows the eager outline: attributes first, only text-like labels over the limit cut.
TEST(TreeBuilder, EveryWalkShowsTheOutlineOfTheDocument) {
    const QString at(kMax, 'a'), over(kMax + 1, 'o'), cut = over.left(kMax) + "...";
    const QString xml =
        QString(
            "<?xml version=\"1.0\"?><!DOCTYPE r [<!ELEMENT r ANY>]><r xmlns:p=\"urn:p\" b='say "
            "\"hi\" &lt;&amp;' k=\"%2\"><x>&lt;t&gt;<y><z/><w q=''/></y></x><a>%1</a>%2<!--%2-->"
            "<![CDATA[%2]]><?t %2?></r><!--after-->")
            .arg(at, over);
    const QString expected =
        QString(
            "xml version=\"1.0\"[PInstructions],Dummy,r[Element](xmlns:p = \"urn:p\"[Attribute],"
            "b = \"say \"hi\" <&\"[Attribute],k = \"%1\"[Attribute],x[Element](<t>[Text],"
            "y[Element](z[Element],w[Element](q = \"\"[Attribute]))),a[Element](%2[Text]),"
            "%3[Text],%3[Comment],%3[CData],t %1[PInstructions]),after[Comment]")
            .arg(over, at, cut);
    BuiltTree counted(xml), walked(xml), viewed(xml);
    EXPECT_EQ(counted.tree.BuiltCount(), 4);
    EXPECT_EQ(counted.tree.Count(), 19);
    EXPECT_EQ(counted.tree.BuiltCount(), 19);
    EXPECT_EQ(Outline(counted.tree), expected);
    EXPECT_EQ(Outline(walked.tree), expected);
    EXPECT_EQ(Outline(viewed.tree, None, true), expected);
    // Handed an attribute itself, an item shows it uncut as well.
    M& tree = counted.tree;
    const Id k = tree.Add("k"), x = tree.Add("x"), y = tree.Add("y");
    ModGeneral::AddXmlNodeToTree(k, counted.doc.selectSingleNode("/r/@k"), tree, kMax);
    EXPECT_EQ(tree.Text(k), "k = \"" + over + "\"");
    // Items the view has seen, with rows (x) or as a leaf (y), announce new rows at once.
    tree.Add(x, M::tvwChild, "old");
    ASSERT_EQ(tree.rowCount(tree.IndexOf(y)), 0);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    for (const Id item : {x, y})
        ModGeneral::AddXmlNodeToTree(item, counted.doc.selectSingleNode("/r/x"), tree, kMax);
    EXPECT_EQ(inserted.count(), 4);
    EXPECT_EQ(tree.rowCount(tree.IndexOf(y)), 2);
    EXPECT_EQ(Outline(tree, x),
              "old,<t>[Text],y[Element](z[Element],w[Element](q = \"\"[Attribute]))");
}

// The editor changes the DOM, then mirrors it in the tree; with the item still pending the two
// must give what an eager tree gives, no duplicates. An item marked pending during a bulk build
// (Expand All) is only listed until the build ends; a change meanwhile must still find it.
TEST(TreeBuilder, DomChangeUnderAPendingItemGivesWhatAnEagerTreeGives) {
    const QString eager[] = {"b[Element],c[Element]", "k = \"v\"[Attribute],b[Element]", "",
                             "b[Element](c[Element])"};
    for (int run = 0; run < 12; ++run) {
        const int filing = run / 4, change = run % 4; // at once, during a bulk build, after one
        SCOPED_TRACE(testing::Message() << "change " << change << " filing " << filing);
        BuiltTree b("<r><a><b/></a></r>");
        M& t = b.tree;
        std::optional<M::BulkBuild> bulk;
        if (filing > 0)
            bulk.emplace(t);
        const Id a = t.Child(t.FirstTopLevel());
        ASSERT_TRUE(t.ChildrenPending(a));
        if (filing == 2)
            bulk.reset();
        XmlNode an = b.doc.selectSingleNode("/r/a");
        if (change == 1) {
            an.setAttribute("k", "v");
            t.Add(t.Child(a), M::tvwPrevious, "k = \"v\"", ModGeneral::kAttribute);
        } else if (change == 2) {
            const XmlNode removed = an.removeChild(an.firstChild());
            EXPECT_TRUE(t.Tag(t.Child(a)) == removed);
            t.Remove(t.Child(a));
        } else { // a child for a, or for b whose item is found after the DOM changed
            (change ? an.firstChild() : an).appendChild(b.doc.createElement("c"));
            t.Add(change ? t.Child(a) : a, M::tvwChild, "c", ModGeneral::kElement);
        }
        EXPECT_EQ(Outline(t, a), eager[change]);
    }
}

} // namespace
