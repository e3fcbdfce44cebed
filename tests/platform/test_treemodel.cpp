// The tree item store: placement, removal, view consistency and lazily built children.

#include "platform/tree/treemodel.h"
#include "platform/xml/xmldocument.h"

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>
#include <memory>

// Readable failure output for labels.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;

// QAbstractItemModelTester in warning mode, its reports collected, so that a broken model fails
// the test at hand instead of aborting the whole run.
class ModelChecker {
public:
    explicit ModelChecker(TreeModel& model) {
        s_failures.clear();
        s_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& where, const QString& text) {
                if (type != QtDebugMsg && qstrcmp(where.category, "qt.modeltest") == 0)
                    s_failures << text;
            });
        m_tester = std::make_unique<QAbstractItemModelTester>(
            &model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~ModelChecker() {
        m_tester.reset();
        qInstallMessageHandler(s_previous);
    }
    QString failures() const { return s_failures.join('\n'); }

private:
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
    for (QChar ch : outline + ',') {
        if (ch != '(' && ch != ')' && ch != ',') {
            name += ch;
            continue;
        }
        if (!name.isEmpty())
            ids[name] = last = m.Add(parents.back(), TreeModel::tvwChild, name);
        name.clear();
        if (ch == '(')
            parents.push_back(last);
        else if (ch == ')')
            parents.pop_back();
    }
    return ids;
}

// The outline as navigation sees it...
QString Outline(TreeModel& m, Id parent = None) {
    QStringList parts;
    for (Id i = m.Child(parent); i; i = m.Next(i)) {
        const QString children = Outline(m, i);
        parts << (children.isEmpty() ? m.Text(i) : m.Text(i) + '(' + children + ')');
    }
    return parts.join(',');
}

// ...and as a view sees it.
QString ViewOutline(const QAbstractItemModel& m, const QModelIndex& parent = {}) {
    QStringList parts;
    for (int row = 0; row < m.rowCount(parent); ++row) {
        const QModelIndex index = m.index(row, 0, parent);
        const QString children = ViewOutline(m, index);
        const QString text = index.data().toString();
        parts << (children.isEmpty() ? text : text + '(' + children + ')');
    }
    return parts.join(',');
}

// Navigation and the view side agree row by row, and the ends of every list are NoItem.
void ExpectConsistent(TreeModel& m, Id parent = None) {
    const QModelIndex parentIndex = m.IndexOf(parent);
    int row = 0;
    Id previous = None;
    for (Id i = m.Child(parent); i; previous = i, i = m.Next(i), ++row) {
        EXPECT_EQ(m.Parent(i), parent);
        EXPECT_EQ(m.Previous(i), previous);
        const QModelIndex index = m.index(row, 0, parentIndex);
        EXPECT_EQ(m.ItemOf(index), i) << "row " << row << " under item " << parent;
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
auto RowName = [](const auto& info) { return std::string(info.param.name); };

// ---- placement and removal -------------------------------------------------------------------

constexpr int kRemove = -1;

struct Edit {
    const char* name;
    const char* item; // the relative, or the item to remove; nullptr: no relative
    int op;           // a Relationship, or kRemove
    const char* expected;
};

class Editing : public ::testing::TestWithParam<Edit> {};

TEST_P(Editing, ChangesExactlyTheAddressedPlace) {
    const Edit& e = GetParam();
    TreeModel m;
    auto ids = Build(m, kStart);
    ModelChecker checker(m);
    const Id item = e.item ? ids.at(e.item) : None;
    if (e.op == kRemove)
        m.Remove(item);
    else
        m.Add(item, static_cast<TreeModel::Relationship>(e.op), "n");
    EXPECT_EQ(Outline(m), e.expected);
    EXPECT_EQ(ViewOutline(m), e.expected);
    // Removal takes every descendant along; nothing else disappears.
    const QStringList shown =
        QString(e.expected).split(QRegularExpression("[(),]"), Qt::SkipEmptyParts);
    EXPECT_EQ(m.Count(), shown.size());
    for (const auto& [label, id] : ids)
        EXPECT_EQ(m.Exists(id), shown.contains(label)) << qPrintable(label);
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    TreeModel, Editing,
    ::testing::Values(
        Edit{"FirstSiblingOfMiddleChild", "a2", TreeModel::tvwFirst, "a(n,a1,a2,a3),b(b1),c"},
        Edit{"FirstSiblingOfTopLevel", "b", TreeModel::tvwFirst, "n,a(a1,a2,a3),b(b1),c"},
        Edit{"LastSiblingOfFirstChild", "a1", TreeModel::tvwLast, "a(a1,a2,a3,n),b(b1),c"},
        Edit{"NextAfterMiddleChild", "a2", TreeModel::tvwNext, "a(a1,a2,n,a3),b(b1),c"},
        Edit{"NextAfterLastChild", "a3", TreeModel::tvwNext, "a(a1,a2,a3,n),b(b1),c"},
        Edit{"NextAfterLastTopLevel", "c", TreeModel::tvwNext, "a(a1,a2,a3),b(b1),c,n"},
        Edit{"PreviousBeforeFirstChild", "a1", TreeModel::tvwPrevious, "a(n,a1,a2,a3),b(b1),c"},
        Edit{"PreviousBeforeLastChild", "a3", TreeModel::tvwPrevious, "a(a1,a2,n,a3),b(b1),c"},
        Edit{"PreviousBeforeFirstTopLevel", "a", TreeModel::tvwPrevious, "n,a(a1,a2,a3),b(b1),c"},
        Edit{"ChildOfLeafBecomesOnlyChild", "c", TreeModel::tvwChild, "a(a1,a2,a3),b(b1),c(n)"},
        Edit{"ChildGoesAfterExistingChildren", "a", TreeModel::tvwChild, "a(a1,a2,a3,n),b(b1),c"},
        Edit{"ChildOfNestedLeaf", "b1", TreeModel::tvwChild, "a(a1,a2,a3),b(b1(n)),c"},
        Edit{"NoRelativeAddsLastTopLevel", nullptr, TreeModel::tvwFirst, "a(a1,a2,a3),b(b1),c,n"},
        Edit{"RemoveFirstTopLevelWithChildren", "a", kRemove, "b(b1),c"},
        Edit{"RemoveMiddleTopLevel", "b", kRemove, "a(a1,a2,a3),c"},
        Edit{"RemoveLastTopLevel", "c", kRemove, "a(a1,a2,a3),b(b1)"},
        Edit{"RemoveFirstChild", "a1", kRemove, "a(a2,a3),b(b1),c"},
        Edit{"RemoveMiddleChild", "a2", kRemove, "a(a1,a3),b(b1),c"},
        Edit{"RemoveLastChild", "a3", kRemove, "a(a1,a2),b(b1),c"},
        Edit{"RemoveOnlyChildLeavesParentALeaf", "b1", kRemove, "a(a1,a2,a3),b,c"}),
    RowName);

TEST(TreeModelStore, StaleIdsFailLoudlyAndClearLeavesAUsableStore) {
    TreeModel m;
    auto ids = Build(m, kStart);
    ModelChecker checker(m);
    m.Remove(ids.at("a"));
    // A stale id must not attach the new item somewhere arbitrary.
    EXPECT_ANY_THROW(m.Add(ids.at("a2"), TreeModel::tvwNext, "n"));
    EXPECT_ANY_THROW(m.Remove(ids.at("a1")));
    EXPECT_EQ(Outline(m), "b(b1),c");
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.rowCount(), 0);
    for (const auto& [label, id] : ids)
        EXPECT_FALSE(m.Exists(id)) << qPrintable(label);
    Build(m, "x(y)");
    EXPECT_EQ(ViewOutline(m), "x(y)");
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), "");
}

// Many edits at varied positions: the cached rows must keep up with the links.
TEST(TreeModelStore, LongEditSequenceKeepsViewAndNavigationInStep) {
    TreeModel m;
    ModelChecker checker(m);
    std::vector<Id> live{m.Add("root")};
    unsigned seed = 12345;
    auto next = [&seed](unsigned range) {
        return ((seed = seed * 1103515245u + 12345u) >> 16) % range;
    };
    for (int step = 0; step < 250; ++step) {
        const Id pick = live[next(static_cast<unsigned>(live.size()))];
        if (next(5) == 0 && live.size() > 3) {
            m.Remove(pick);
            std::erase_if(live, [&m](Id id) { return !m.Exists(id); });
        } else {
            live.push_back(
                m.Add(pick, static_cast<TreeModel::Relationship>(next(5)), QString::number(step)));
        }
        ASSERT_EQ(m.Count(), static_cast<int>(live.size())) << "step " << step;
        ASSERT_EQ(Outline(m), ViewOutline(m)) << "step " << step;
    }
    ExpectConsistent(m);
    EXPECT_EQ(checker.failures(), "");
}

// ---- lazy children ---------------------------------------------------------------------------

// One pending item "p" (Tag: the root of a document) whose loader adds k1, k2 and counts calls.
// A checker attached before p exists sees every later signal without forcing p's children.
struct LazyTree {
    explicit LazyTree(bool checked = false) {
        doc.loadXML("<r/>");
        if (checked)
            checker = std::make_unique<ModelChecker>(m);
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
    std::unique_ptr<ModelChecker> checker;
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
    LazyTree t(true);
    // Looking at the pending item itself needs none of its children.
    const QModelIndex index = t.m.IndexOf(t.p);
    t.m.Next(t.p), t.m.Previous(t.p), t.m.Parent(t.p), t.m.parent(index), index.data();
    EXPECT_TRUE(t.m.hasChildren(index));
    EXPECT_EQ(t.calls, 0);
    EXPECT_EQ(t.m.BuiltCount(), 1);

    GetParam().touch(t.m, t.p);
    EXPECT_EQ(t.calls, 1);
    EXPECT_FALSE(t.m.ChildrenPending(t.p));
    // Every way in afterwards, the view's included, reuses the built children.
    t.m.Child(t.p), t.m.LastChild(t.p), t.m.ChildCount(t.p), t.m.Count();
    EXPECT_EQ(Outline(t.m), GetParam().expected);
    EXPECT_EQ(ViewOutline(t.m), GetParam().expected);
    EXPECT_EQ(t.calls, 1);
    ExpectConsistent(t.m);
    EXPECT_EQ(t.checker->failures(), "");
}

INSTANTIATE_TEST_SUITE_P(
    TreeModel, FirstAccess,
    ::testing::Values(
        Access{"Child", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.Child(p)), "k1"); },
               "p(k1,k2)"},
        Access{"LastChild", [](TreeModel& m, Id p) { EXPECT_EQ(m.Text(m.LastChild(p)), "k2"); },
               "p(k1,k2)"},
        Access{"ChildCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.ChildCount(p), 2); }, "p(k1,k2)"},
        Access{"CountIncludesPending", [](TreeModel& m, Id) { EXPECT_EQ(m.Count(), 3); },
               "p(k1,k2)"},
        Access{"AddChildGoesAfterBuiltOnes",
               [](TreeModel& m, Id p) { m.Add(p, TreeModel::tvwChild, "n"); }, "p(k1,k2,n)"},
        Access{"ViewRowCount", [](TreeModel& m, Id p) { EXPECT_EQ(m.rowCount(m.IndexOf(p)), 2); },
               "p(k1,k2)"},
        Access{"ViewIndex",
               [](TreeModel& m, Id p) {
                   EXPECT_EQ(m.index(1, 0, m.IndexOf(p)).data().toString(), "k2");
               },
               "p(k1,k2)"}),
    RowName);

// Removed, cleared or destroyed: later DOM changes must reach no item and no dead listener.
TEST(TreeModelLazy, GonePendingItemsIgnoreLaterDomChanges) {
    LazyTree removed, cleared;
    removed.m.Remove(removed.p);
    cleared.m.Clear();
    EXPECT_NO_THROW(removed.doc.documentElement().setAttribute("k", "v"));
    EXPECT_NO_THROW(cleared.doc.documentElement().setAttribute("k", "v"));
    EXPECT_EQ(removed.calls + cleared.calls, 0);
    EXPECT_EQ(removed.m.Count(), 0);

    XmlDocument doc = XmlDocument::create();
    doc.loadXML("<r/>");
    {
        TreeModel m;
        const Id p = m.Add("p");
        m.SetTag(p, doc.documentElement());
        m.MarkChildrenPending(p);
    }
    EXPECT_NO_THROW(doc.documentElement().setAttribute("k", "v")); // a use after free under ASan
}

TEST(TreeModelLazy, MarkingPendingTwiceStillForgetsTheItemOnRemoval) {
    LazyTree t;
    t.m.MarkChildrenPending(t.p);
    EXPECT_EQ(t.m.ChildCount(t.p), 2);
    EXPECT_EQ(t.calls, 1);
    t.m.Remove(t.p);
    EXPECT_NO_THROW(t.doc.documentElement().setAttribute("k", "v"));
}

} // namespace
