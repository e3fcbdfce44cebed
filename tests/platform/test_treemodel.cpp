// The tree item store: placement, removal, view consistency and lazily built children.

#include "platform/tree/treemodel.h"
#include "platform/xml/xmldocument.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>
#include <utility>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;

// QAbstractItemModelTester in warning mode, its reports collected, so that a broken model fails
// the test at hand instead of aborting the whole run.
struct ModelChecker {
    static inline QStringList failures;
    QtMessageHandler previous = qInstallMessageHandler( // before the tester's first look
        [](QtMsgType type, const QMessageLogContext& where, const QString& text) {
            if (type != QtDebugMsg && qstrcmp(where.category, "qt.modeltest") == 0)
                failures << text;
        });
    QAbstractItemModelTester tester;
    explicit ModelChecker(TreeModel& m)
        : tester(&m, QAbstractItemModelTester::FailureReportingMode::Warning) {}
    ~ModelChecker() {
        qInstallMessageHandler(previous);
        EXPECT_EQ(std::exchange(failures, {}).join('\n').toStdString(), "");
    }
};

// The outline as navigation sees it, checking on the way that every link and the view agree.
QString Outline(TreeModel& m, Id parent = None) {
    QStringList parts;
    Id previous = None;
    for (Id i = m.Child(parent); i; previous = i, i = m.Next(i)) {
        EXPECT_EQ(m.Parent(i), parent);
        EXPECT_EQ(m.Previous(i), previous);
        EXPECT_EQ(m.ItemOf(m.index(static_cast<int>(parts.size()), 0, m.IndexOf(parent))), i);
        const QString children = Outline(m, i);
        parts << (children.isEmpty() ? m.Text(i) : m.Text(i) + '(' + children + ')');
    }
    EXPECT_EQ(m.LastChild(parent), previous);
    EXPECT_EQ(m.ChildCount(parent), parts.size());
    EXPECT_EQ(m.rowCount(m.IndexOf(parent)), parts.size());
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
        EXPECT_EQ(Outline(m).toStdString(), expected.toStdString());
        EXPECT_EQ(m.Count(), expected.count(',') + expected.count('(') + 1);
        for (const auto& [label, id] : ids)
            EXPECT_EQ(m.Exists(id), id != None && expected.contains(label)) << qPrintable(label);
        m.Clear();
        EXPECT_TRUE(m.IsEmpty() && m.Count() + m.rowCount() == 0);
        // A stale id must not attach a new item somewhere arbitrary.
        EXPECT_ANY_THROW(m.Add(ids.at("b"), TreeModel::tvwNext, "x"));
    }
}

// A pending item "p", tagged with a document's root, whose loader adds k1 and k2 and counts calls.
// A checker attached before p exists sees every later signal without forcing p's children.
struct LazyTree {
    explicit LazyTree(bool checked = false)
        : checker(checked ? std::make_unique<ModelChecker>(m) : nullptr) {
        doc.loadXML("<r/>");
        m.SetTag(p, doc.documentElement());
        m.SetChildLoader([this](TreeModel& t, Id id) {
            ++calls;
            for (const char* label : {"k1", "k2"})
                t.Add(id, TreeModel::tvwChild, label);
        });
        m.MarkChildrenPending(p);
    }
    XmlDocument doc = XmlDocument::create();
    TreeModel m;
    std::unique_ptr<ModelChecker> checker;
    Id p = m.Add("p");
    int calls = 0;
};

TEST(TreeModelLazy, EveryRouteInBuildsPendingChildrenExactlyOnce) {
    const std::pair<const char*, void (*)(TreeModel&, Id)> routes[] = {
        {"Child", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.Child(p)).toStdString(), "k1"); }},
        {"LastChild",
         [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.LastChild(p)).toStdString(), "k2"); }},
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
        EXPECT_EQ(Outline(t.m).toStdString(), "p(k1,k2)");
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

} // namespace
