// The tree's item store and how XML nodes become its items: placement, removal, view consistency,
// and children built lazily in a way that cannot be told apart from building them at once.

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

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;
constexpr int kMax = 256;

// The model tester's reports, collected so that a broken model fails the test at hand instead of
// aborting the whole run.
QStringList modelFailures;
const QtMessageHandler otherMessages = qInstallMessageHandler(
    [](QtMsgType type, const QMessageLogContext& where, const QString& text) {
        if (type != QtDebugMsg && qstrcmp(where.category, "qt.modeltest") == 0)
            modelFailures << text;
        else
            otherMessages(type, where, text);
    });
struct ModelChecker : QAbstractItemModelTester {
    explicit ModelChecker(TreeModel& m)
        : QAbstractItemModelTester(&m, FailureReportingMode::Warning) {}
    ~ModelChecker() override { EXPECT_EQ(std::exchange(modelFailures, {}).join('\n'), ""); }
};

// "label[icon](children),..." under `parent`, checking on the way that every link, the view's
// rows, labels and icons agree, and that an item shows the node it is tagged with. With `byView`
// the view's row count is asked first, so that the view is what builds pending children.
QString Outline(TreeModel& m, Id parent = None, bool byView = false) {
    const QModelIndex at = m.IndexOf(parent);
    const int count = byView ? m.rowCount(at) : m.ChildCount(parent);
    QStringList parts;
    Id previous = None;
    for (Id i = m.Child(parent); i; previous = i, i = m.Next(i)) {
        const QModelIndex row = m.index(static_cast<int>(parts.size()), 0, at);
        EXPECT_EQ(std::tuple(m.ItemOf(row), m.Parent(i), m.Previous(i)),
                  std::tuple(i, parent, previous));
        EXPECT_TRUE(row.data() == m.Text(i) && row.data(TreeModel::IconKeyRole) == m.Image(i));
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
    // The item addressed ("": none), a Relationship or -1 to remove it, and the outline after.
    const std::tuple<const char*, int, QString> rows[] = {
        {"a2", TreeModel::tvwFirst, "a(n,a1,a2,a3),b(b1),c"},
        {"a1", TreeModel::tvwLast, "a(a1,a2,a3,n),b(b1),c"},
        {"a2", TreeModel::tvwNext, "a(a1,a2,n,a3),b(b1),c"},
        {"a1", TreeModel::tvwPrevious, "a(n,a1,a2,a3),b(b1),c"},
        {"c", TreeModel::tvwChild, "a(a1,a2,a3),b(b1),c(n)"},
        {"a", TreeModel::tvwChild, "a(a1,a2,a3,n),b(b1),c"},
        {"", TreeModel::tvwFirst, "a(a1,a2,a3),b(b1),c,n"},
        {"a", -1, "b(b1),c"}, // descendants go along
        {"a2", -1, "a(a1,a3),b(b1),c"},
        {"a3", -1, "a(a1,a2),b(b1),c"},
        {"b1", -1, "a(a1,a2,a3),b,c"},
    };
    for (const auto& [item, op, expected] : rows) {
        SCOPED_TRACE(testing::Message() << item << ' ' << op);
        TreeModel m; // a(a1,a2,a3),b(b1),c, with the ids by label
        std::map<QString, Id> ids{{"", None}};
        for (const QString label : {"a", "a1", "a2", "a3", "b", "b1", "c"})
            ids[label] = m.Add(ids[label.chopped(1)], TreeModel::tvwChild, label);
        ModelChecker checker(m);
        op < 0 ? m.Remove(ids.at(item))
               : void(m.Add(ids.at(item), static_cast<TreeModel::Relationship>(op), "n"));
        EXPECT_EQ(Outline(m), expected);
        EXPECT_EQ(m.Count(), expected.count(',') + expected.count('(') + 1);
        for (const auto& [label, id] : ids)
            EXPECT_EQ(m.Exists(id), id != None && expected.contains(label)) << qPrintable(label);
        m.Clear();
        EXPECT_TRUE(m.IsEmpty() && m.Count() + m.rowCount() == 0);
        // A stale id must not attach a new item somewhere arbitrary.
        EXPECT_ANY_THROW(m.Add(ids.at("b"), TreeModel::tvwNext, "x"));
    }
}

// A pending item "r", tagged with a document's root, whose loader adds k1 and k2 and counts calls.
// A checker attached before r exists sees every later signal without forcing r's children.
struct LazyTree {
    explicit LazyTree(bool checked = false) {
        checker.reset(checked ? new ModelChecker(m) : nullptr);
        doc.loadXML("<r/>");
        p = m.Add("r");
        m.SetTag(p, doc.documentElement());
        m.SetChildLoader([this](TreeModel& t, Id id) {
            ++calls;
            t.Add(t.Add(id, TreeModel::tvwChild, "k1"), TreeModel::tvwNext, "k2");
        });
        m.MarkChildrenPending(p);
    }
    XmlDocument doc = XmlDocument::create();
    TreeModel m;
    std::unique_ptr<ModelChecker> checker;
    Id p = None;
    int calls = 0;
};

TEST(TreeModelLazy, EveryRouteInBuildsPendingChildrenExactlyOnce) {
    const std::pair<const char*, void (*)(TreeModel&, Id)> routes[] = {
        {"Child", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.Child(p)), "k1"); }},
        {"LastChild", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.LastChild(p)), "k2"); }},
        {"ChildCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.ChildCount(p), 2); }},
        {"Count", [](TreeModel& m, Id) { EXPECT_EQ(m.Count(), 3); }},
        {"AddChild", [](TreeModel& m, Id p) { m.Remove(m.Add(p, TreeModel::tvwChild, "n")); }},
        {"rowCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.rowCount(m.IndexOf(p)), 2); }},
        {"index", [](TreeModel& m, Id p) { EXPECT_TRUE(m.index(1, 0, m.IndexOf(p)).isValid()); }},
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
        // Every way in afterwards, the view's included, reuses the built children.
        EXPECT_EQ(Outline(t.m), "r(k1,k2)");
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

// Only the top level is built until an item is opened; trees of one document forced completely in
// different ways (all at once, by navigation, by the view) must all show the eager outline:
// attributes first, and only text-like labels longer than the limit cut. The stores grow while
// loaders run, which the address sanitizer watches.
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
    const Id k = counted.tree.Add("k");
    ModGeneral::AddXmlNodeToTree(k, counted.doc.selectSingleNode("/r/@k"), counted.tree, kMax);
    EXPECT_EQ(counted.tree.Text(k), "k = \"" + over + "\"");
}

// The view already shows x's rows, or that the leaf y has none: new rows must come at once and
// announced.
TEST(TreeBuilder, ExistingItemsSeenByTheViewAnnounceTheirNewChildren) {
    BuiltTree b("<e k=\"v\"><f/>t</e>");
    TreeModel& tree = b.tree;
    const Id x = tree.Add("x"), y = tree.Add("y");
    tree.Add(x, TreeModel::tvwChild, "old");
    ASSERT_EQ(tree.rowCount(tree.IndexOf(y)), 0);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    ModGeneral::AddXmlNodeToTree(x, b.doc.documentElement(), tree, kMax);
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(Outline(tree, x), "old,k = \"v\"[Attribute],f[Element],t[Text]");
    ModGeneral::AddXmlNodeToTree(y, b.doc.documentElement(), tree, kMax);
    EXPECT_EQ(tree.rowCount(tree.IndexOf(y)), 3);
    EXPECT_EQ(inserted.count(), 6);
}

// The editor changes the DOM, then mirrors the change in the tree. With the affected item still
// pending, the two together must give what they give on an eagerly built tree: no duplicates.
// An item marked pending during a bulk build (Expand All's walk) is listed, not filed by its node,
// until the build ends; a change meanwhile must still find it.
TEST(TreeBuilder, DomChangeUnderAPendingItemGivesWhatAnEagerTreeGives) {
    const QString eager[] = {"b[Element],c[Element]", "k = \"v\"[Attribute],b[Element]", "",
                             "b[Element](c[Element])"};
    for (const int filing : {0, 1, 2}) { // at once, during a bulk build, after one
        for (int change = 0; change < 4; ++change) {
            SCOPED_TRACE(testing::Message() << "change " << change << " filing " << filing);
            BuiltTree b("<r><a><b/></a></r>");
            TreeModel& t = b.tree;
            std::optional<TreeModel::BulkBuild> bulk;
            if (filing > 0)
                bulk.emplace(t);
            const Id a = t.Child(t.FirstTopLevel());
            ASSERT_TRUE(t.ChildrenPending(a));
            if (filing == 2)
                bulk.reset();
            XmlNode an = b.doc.selectSingleNode("/r/a");
            if (change == 0) {
                an.appendChild(b.doc.createElement("c"));
                t.Add(a, TreeModel::tvwChild, "c", ModGeneral::kElement);
            } else if (change == 1) {
                an.setAttribute("k", "v");
                t.Add(t.Child(a), TreeModel::tvwPrevious, "k = \"v\"", ModGeneral::kAttribute);
            } else if (change == 2) {
                const XmlNode removed = an.removeChild(an.firstChild());
                EXPECT_TRUE(t.Tag(t.Child(a)) == removed);
                t.Remove(t.Child(a));
            } else { // b's item found after the DOM changed, as a find-then-edit would
                an.firstChild().appendChild(b.doc.createElement("c"));
                t.Add(t.Child(a), TreeModel::tvwChild, "c", ModGeneral::kElement);
            }
            EXPECT_EQ(Outline(t, a), eager[change]);
        }
    }
}

} // namespace
