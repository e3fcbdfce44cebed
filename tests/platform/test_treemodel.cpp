// The tree item store: placement, removal, view consistency and lazily built children.

#include "platform/tree/treemodel.h"
#include "platform/xml/xmldocument.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;

// Attaches QAbstractItemModelTester in warning mode and collects what it reports, so a broken
// model fails the test at hand instead of aborting the whole run.
class ModelChecker {
public:
    explicit ModelChecker(TreeModel& model) {
        s_failures.clear();
        s_previous = qInstallMessageHandler(&collect);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            &model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~ModelChecker() {
        m_tester.reset();
        qInstallMessageHandler(s_previous);
    }
    QString failures() const { return s_failures.join(QLatin1Char('\n')); }

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type != QtDebugMsg && qstrcmp(context.category, "qt.modeltest") == 0)
            s_failures << message;
    }
    static inline QStringList s_failures;
    static inline QtMessageHandler s_previous = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

// Adds the items of an outline such as "a(a1,a2),b" and returns their ids by label.
std::map<QString, Id> Build(TreeModel& m, const QString& outline) {
    std::map<QString, Id> ids;
    std::vector<Id> parents{None};
    Id last = None;
    QString name;
    auto flush = [&] {
        if (name.isEmpty())
            return;
        last = parents.back() ? m.Add(parents.back(), TreeModel::tvwChild, name) : m.Add(name);
        ids[name] = last;
        name.clear();
    };
    for (QChar ch : outline) {
        if (ch == QLatin1Char('(')) {
            flush();
            parents.push_back(last);
        } else if (ch == QLatin1Char(')')) {
            flush();
            parents.pop_back();
        } else if (ch == QLatin1Char(',')) {
            flush();
        } else {
            name += ch;
        }
    }
    flush();
    return ids;
}

// The outline as navigation sees it.
QString Outline(TreeModel& m, Id parent = None) {
    QStringList parts;
    for (Id i = m.Child(parent); i; i = m.Next(i)) {
        const QString children = Outline(m, i);
        parts << (children.isEmpty() ? m.Text(i) : m.Text(i) + '(' + children + ')');
    }
    return parts.join(',');
}

// The outline as a view sees it.
QString ViewOutline(const QAbstractItemModel& m, const QModelIndex& parent = {}) {
    QStringList parts;
    for (int row = 0; row < m.rowCount(parent); ++row) {
        const QModelIndex index = m.index(row, 0, parent);
        const QString children = ViewOutline(m, index);
        const QString text = m.data(index, Qt::DisplayRole).toString();
        parts << (children.isEmpty() ? text : text + '(' + children + ')');
    }
    return parts.join(',');
}

// Navigation and the view side describe the same tree, row by row.
void ExpectConsistent(TreeModel& m, Id parent = None) {
    const QModelIndex parentIndex = m.IndexOf(parent);
    int row = 0;
    Id previous = None;
    for (Id i = m.Child(parent); i; previous = i, i = m.Next(i), ++row) {
        EXPECT_EQ(m.Parent(i), parent);
        EXPECT_EQ(m.Previous(i), previous);
        const QModelIndex index = m.index(row, 0, parentIndex);
        EXPECT_EQ(m.ItemOf(index), i) << "row " << row << " of item " << parent;
        EXPECT_EQ(m.IndexOf(i), index);
        EXPECT_EQ(m.parent(index), parentIndex);
        ExpectConsistent(m, i);
    }
    EXPECT_EQ(m.rowCount(parentIndex), row);
    EXPECT_EQ(m.ChildCount(parent), row);
    EXPECT_EQ(m.LastChild(parent), previous);
    EXPECT_EQ(m.hasChildren(parentIndex), row > 0);
}

const QString kStart = QStringLiteral("a(a1,a2,a3),b(b1),c");

// ---- placement -------------------------------------------------------------------------------

struct Placement {
    const char* name;
    const char* relative; // nullptr: no relative
    TreeModel::Relationship relationship;
    const char* expected;
};

class Placing : public ::testing::TestWithParam<Placement> {};

TEST_P(Placing, PutsTheNewItemWhereTheRelationshipSays) {
    const Placement& p = GetParam();
    TreeModel m;
    auto ids = Build(m, kStart);
    ModelChecker checker(m);
    const Id relative = p.relative ? ids.at(QString::fromLatin1(p.relative)) : None;
    const Id added = m.Add(relative, p.relationship, QStringLiteral("n"));

    EXPECT_EQ(Outline(m), QString::fromLatin1(p.expected));
    EXPECT_EQ(ViewOutline(m), QString::fromLatin1(p.expected));
    EXPECT_EQ(m.Count(), 8);
    EXPECT_TRUE(m.Exists(added));
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), QString());
}

INSTANTIATE_TEST_SUITE_P(
    TreeModel, Placing,
    ::testing::Values(
        Placement{"FirstSiblingOfMiddleChild", "a2", TreeModel::tvwFirst, "a(n,a1,a2,a3),b(b1),c"},
        Placement{"FirstSiblingOfTopLevel", "b", TreeModel::tvwFirst, "n,a(a1,a2,a3),b(b1),c"},
        Placement{"LastSiblingOfFirstChild", "a1", TreeModel::tvwLast, "a(a1,a2,a3,n),b(b1),c"},
        Placement{"LastSiblingOfTopLevel", "a", TreeModel::tvwLast, "a(a1,a2,a3),b(b1),c,n"},
        Placement{"NextAfterMiddleChild", "a2", TreeModel::tvwNext, "a(a1,a2,n,a3),b(b1),c"},
        Placement{"NextAfterLastChild", "a3", TreeModel::tvwNext, "a(a1,a2,a3,n),b(b1),c"},
        Placement{"NextAfterLastTopLevel", "c", TreeModel::tvwNext, "a(a1,a2,a3),b(b1),c,n"},
        Placement{"PreviousBeforeFirstChild", "a1", TreeModel::tvwPrevious, "a(n,a1,a2,a3),b(b1),c"},
        Placement{"PreviousBeforeMiddleChild", "a3", TreeModel::tvwPrevious, "a(a1,a2,n,a3),b(b1),c"},
        Placement{"PreviousBeforeFirstTopLevel", "a", TreeModel::tvwPrevious, "n,a(a1,a2,a3),b(b1),c"},
        Placement{"ChildOfLeafBecomesOnlyChild", "c", TreeModel::tvwChild, "a(a1,a2,a3),b(b1),c(n)"},
        Placement{"ChildGoesAfterExistingChildren", "a", TreeModel::tvwChild, "a(a1,a2,a3,n),b(b1),c"},
        Placement{"ChildOfNestedLeaf", "b1", TreeModel::tvwChild, "a(a1,a2,a3),b(b1(n)),c"},
        Placement{"NoRelativeAddsLastTopLevel", nullptr, TreeModel::tvwFirst, "a(a1,a2,a3),b(b1),c,n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- removal ---------------------------------------------------------------------------------

struct Removal {
    const char* name;
    const char* victim;
    const char* expected;
    std::vector<const char*> gone;
};

class Removing : public ::testing::TestWithParam<Removal> {};

TEST_P(Removing, TakesTheItemWithAllItsDescendants) {
    const Removal& r = GetParam();
    TreeModel m;
    auto ids = Build(m, kStart);
    ModelChecker checker(m);
    m.Remove(ids.at(QString::fromLatin1(r.victim)));

    EXPECT_EQ(Outline(m), QString::fromLatin1(r.expected));
    EXPECT_EQ(ViewOutline(m), QString::fromLatin1(r.expected));
    EXPECT_EQ(m.Count(), 7 - static_cast<int>(r.gone.size()));
    for (const char* label : r.gone)
        EXPECT_FALSE(m.Exists(ids.at(QString::fromLatin1(label)))) << label;
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), QString());
}

INSTANTIATE_TEST_SUITE_P(
    TreeModel, Removing,
    ::testing::Values(Removal{"FirstTopLevelWithChildren", "a", "b(b1),c", {"a", "a1", "a2", "a3"}},
                      Removal{"MiddleTopLevel", "b", "a(a1,a2,a3),c", {"b", "b1"}},
                      Removal{"LastTopLevel", "c", "a(a1,a2,a3),b(b1)", {"c"}},
                      Removal{"FirstChild", "a1", "a(a2,a3),b(b1),c", {"a1"}},
                      Removal{"MiddleChild", "a2", "a(a1,a3),b(b1),c", {"a2"}},
                      Removal{"LastChild", "a3", "a(a1,a2),b(b1),c", {"a3"}},
                      Removal{"OnlyChildLeavesParentALeaf", "b1", "a(a1,a2,a3),b,c", {"b1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TreeModelStore, RemovedItemsCannotServeAsRelatives) {
    TreeModel m;
    auto ids = Build(m, kStart);
    m.Remove(ids.at("a"));
    // A stale id must fail loudly rather than attach the new item somewhere arbitrary.
    EXPECT_ANY_THROW(m.Add(ids.at("a2"), TreeModel::tvwNext, "n"));
    EXPECT_ANY_THROW(m.Remove(ids.at("a1")));
    EXPECT_EQ(Outline(m), "b(b1),c");
}

TEST(TreeModelStore, ClearEmptiesAndTheStoreStaysUsable) {
    TreeModel m;
    auto ids = Build(m, kStart);
    ModelChecker checker(m);
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.rowCount(), 0);
    for (const auto& [label, id] : ids)
        EXPECT_FALSE(m.Exists(id)) << qPrintable(label);
    Build(m, "x(y)");
    EXPECT_EQ(ViewOutline(m), "x(y)");
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), QString());
}

// Many edits at varied positions: the row caches must keep up with the links.
TEST(TreeModelStore, LongEditSequenceKeepsViewAndNavigationInStep) {
    TreeModel m;
    ModelChecker checker(m);
    std::vector<Id> live{m.Add("root")};
    unsigned seed = 12345;
    auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int step = 0; step < 250; ++step) {
        const Id pick = live[next(static_cast<unsigned>(live.size()))];
        if (next(5) == 0 && live.size() > 3) {
            m.Remove(pick);
            std::erase_if(live, [&m](Id id) { return !m.Exists(id); });
        } else {
            const auto relationship = static_cast<TreeModel::Relationship>(next(5));
            live.push_back(m.Add(pick, relationship, QString::number(step)));
        }
        ASSERT_EQ(m.Count(), static_cast<int>(live.size())) << "step " << step;
        ASSERT_EQ(Outline(m), ViewOutline(m)) << "step " << step;
    }
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), QString());
}

// ---- lazy children ---------------------------------------------------------------------------

// One pending item "p" whose loader adds k1 and k2 and counts its calls.
struct LazyTree {
    LazyTree() {
        doc.loadXML("<r/>");
        p = m.Add("p");
        m.SetTag(p, doc.documentElement());
        m.SetChildLoader([this](TreeModel& t, Id id) {
            ++calls;
            t.Add(id, TreeModel::tvwChild, "k1");
            t.Add(id, TreeModel::tvwChild, "k2");
        });
        m.MarkChildrenPending(p);
    }
    XmlDocument doc = XmlDocument::create();
    TreeModel m;
    Id p = None;
    int calls = 0;
};

struct Access {
    const char* name;
    std::function<void(TreeModel&, Id)> touch;
    const char* expected;
};

class FirstAccess : public ::testing::TestWithParam<Access> {};

TEST_P(FirstAccess, BuildsPendingChildrenExactlyOnce) {
    LazyTree t;
    EXPECT_TRUE(t.m.hasChildren(t.m.IndexOf(t.p)));
    EXPECT_EQ(t.m.BuiltCount(), 1);
    GetParam().touch(t.m, t.p);
    EXPECT_EQ(t.calls, 1);
    EXPECT_FALSE(t.m.ChildrenPending(t.p));
    // Every other way in afterwards must reuse the built children.
    t.m.Child(t.p);
    t.m.LastChild(t.p);
    t.m.ChildCount(t.p);
    t.m.rowCount(t.m.IndexOf(t.p));
    t.m.Count();
    EXPECT_EQ(t.calls, 1);
    EXPECT_EQ(Outline(t.m), QString::fromLatin1(GetParam().expected));
    EXPECT_EQ(ViewOutline(t.m), QString::fromLatin1(GetParam().expected));
    ExpectConsistent(t.m);
}

INSTANTIATE_TEST_SUITE_P(
    TreeModel, FirstAccess,
    ::testing::Values(
        Access{"Child", [](TreeModel& m, Id p) { EXPECT_NE(m.Child(p), None); }, "p(k1,k2)"},
        Access{"LastChild", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.LastChild(p)), "k2"); }, "p(k1,k2)"},
        Access{"ChildCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.ChildCount(p), 2); }, "p(k1,k2)"},
        Access{"CountIncludesPending", [](TreeModel& m, Id) { EXPECT_EQ(m.Count(), 3); }, "p(k1,k2)"},
        Access{"AddChildGoesAfterBuiltOnes", [](TreeModel& m, Id p) { m.Add(p, TreeModel::tvwChild, "n"); },
               "p(k1,k2,n)"},
        Access{"ViewRowCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.rowCount(m.IndexOf(p)), 2); }, "p(k1,k2)"},
        Access{"ViewIndex",
               [](TreeModel& m, Id p) { EXPECT_EQ(m.index(1, 0, m.IndexOf(p)).data().toString(), "k2"); },
               "p(k1,k2)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TreeModelLazy, LookingAtThePendingItemItselfBuildsNothing) {
    LazyTree t;
    const Id q = t.m.Add("q");
    const QModelIndex index = t.m.IndexOf(t.p);
    t.m.Next(t.p);
    t.m.Previous(q);
    t.m.Parent(t.p);
    t.m.data(index, Qt::DisplayRole);
    t.m.parent(index);
    t.m.hasChildren(index);
    t.m.Text(t.p);
    EXPECT_EQ(t.calls, 0);
    EXPECT_TRUE(t.m.ChildrenPending(t.p));
    EXPECT_EQ(t.m.BuiltCount(), 2);
}

TEST(TreeModelLazy, ViewWalkUnderTesterBuildsOnceAndStaysConsistent) {
    LazyTree t;
    ModelChecker checker(t.m);
    EXPECT_EQ(ViewOutline(t.m), "p(k1,k2)");
    t.m.Add(t.m.Child(t.p), TreeModel::tvwNext, "n");
    EXPECT_EQ(ViewOutline(t.m), "p(k1,n,k2)");
    EXPECT_EQ(t.calls, 1);
    EXPECT_EQ(checker.failures(), QString());
}

TEST(TreeModelLazy, ChangeOfTheTagNodeBuildsFromTheStateBeforeIt) {
    LazyTree t;
    int attributesSeen = -1;
    t.m.SetChildLoader([&](TreeModel& m, Id id) { attributesSeen = m.Tag(id).attributes().length(); });
    t.doc.documentElement().setAttribute("k", "v");
    EXPECT_EQ(attributesSeen, 0);
    EXPECT_FALSE(t.m.ChildrenPending(t.p));
}

TEST(TreeModelLazy, RemovedOrClearedPendingItemsIgnoreLaterDomChanges) {
    LazyTree t;
    t.m.Remove(t.p);
    EXPECT_NO_THROW(t.doc.documentElement().setAttribute("k", "v"));
    EXPECT_EQ(t.calls, 0);
    EXPECT_EQ(t.m.Count(), 0);

    LazyTree u;
    u.m.Clear();
    EXPECT_NO_THROW(u.doc.documentElement().setAttribute("k", "v"));
    EXPECT_EQ(u.calls, 0);
}

TEST(TreeModelLazy, DestroyedModelStopsListening) {
    XmlDocument doc = XmlDocument::create();
    doc.loadXML("<r/>");
    {
        TreeModel m;
        const Id p = m.Add("p");
        m.SetTag(p, doc.documentElement());
        m.MarkChildrenPending(p);
    }
    // The document outlives the model; telling a destroyed listener would be a use after free.
    EXPECT_NO_THROW(doc.documentElement().setAttribute("k", "v"));
}

TEST(TreeModelLazy, MarkingPendingTwiceStillForgetsTheItemOnRemoval) {
    LazyTree t;
    t.m.MarkChildrenPending(t.p);
    EXPECT_EQ(t.m.ChildCount(t.p), 2);
    EXPECT_EQ(t.calls, 1);
    t.m.Remove(t.p);
    // A stale record of the removed item must not be acted on when its node changes.
    EXPECT_NO_THROW(t.doc.documentElement().setAttribute("k", "v"));
}

} // namespace
