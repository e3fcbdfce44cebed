// The tree control as the window uses it: selection, in-place label editing with its hooks,
// hit testing, the busy pointer and dropped files.

#include "platform/tree/treecontrol.h"

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class TreeControlTest : public testing::Test {
protected:
    void SetUp() override {
        tree.resize(300, 200);
        tree.show();
        root = nodes().Add(QStringLiteral("root"));
        child = nodes().Add(root, TreeModel::tvwChild, QStringLiteral("child"));
        grandchild = nodes().Add(child, TreeModel::tvwChild, QStringLiteral("grandchild"));
    }
    TreeModel& nodes() { return tree.Nodes(); }
    // The open editor; closed ones may linger until deleted.
    QLineEdit* editor() {
        for (QLineEdit* line : tree.findChildren<QLineEdit*>()) {
            if (line->isVisible())
                return line;
        }
        return nullptr;
    }
    void type(const QString& text, Qt::Key finish) {
        QLineEdit* line = editor();
        ASSERT_NE(line, nullptr);
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, finish);
        QCoreApplication::processEvents();
    }

    TreeControl tree;
    TreeModel::ItemId root = 0, child = 0, grandchild = 0;
};

TEST_F(TreeControlTest, SelectingAnItemShowsItThroughItsCollapsedAncestors) {
    EXPECT_EQ(tree.SelectedItem(), TreeModel::NoItem);
    tree.SetSelectedItem(grandchild);
    EXPECT_EQ(tree.SelectedItem(), grandchild);
    EXPECT_TRUE(tree.Expanded(root));
    EXPECT_TRUE(tree.Expanded(child));
    tree.SetSelectedItem(TreeModel::NoItem);
    EXPECT_EQ(tree.SelectedItem(), TreeModel::NoItem);
}

// The view keeps nothing for an expanded item without children; the control does, so the item
// reads expanded and shows its first child as soon as it has one, as the view would have done.
TEST_F(TreeControlTest, AChildlessItemStaysExpandedUntilCollapsed) {
    for (const auto item : {root, child, grandchild})
        tree.SetExpanded(item, true);
    EXPECT_TRUE(tree.Expanded(grandchild));
    const auto added = nodes().Add(grandchild, TreeModel::tvwChild, QStringLiteral("new"));
    EXPECT_TRUE(tree.isExpanded(nodes().IndexOf(grandchild)));
    EXPECT_EQ(tree.indexBelow(nodes().IndexOf(grandchild)), nodes().IndexOf(added));
    tree.SetExpanded(added, true);
    tree.SetExpanded(added, false);
    EXPECT_FALSE(tree.Expanded(added));
    nodes().Add(added, TreeModel::tvwChild, QStringLiteral("later"));
    EXPECT_FALSE(tree.isExpanded(nodes().IndexOf(added)));
}

// The view takes a childless item for a leaf and keeps nothing for it; an expanded item that
// loses its last child is kept expanded by the control, a collapsed one stays collapsed.
TEST_F(TreeControlTest, AnItemThatLosesItsLastChildKeepsItsState) {
    for (const bool expanded : {true, false}) {
        SCOPED_TRACE(expanded);
        tree.SetExpanded(root, true);
        tree.SetExpanded(child, expanded);
        nodes().Remove(nodes().Child(child));
        QCoreApplication::processEvents();
        EXPECT_EQ(tree.Expanded(child), expanded);
        const auto added = nodes().Add(child, TreeModel::tvwChild, QStringLiteral("again"));
        QCoreApplication::processEvents();
        EXPECT_EQ(tree.isExpanded(nodes().IndexOf(child)), expanded);
        EXPECT_EQ(tree.indexBelow(nodes().IndexOf(child)) == nodes().IndexOf(added), expanded);
    }
}

// Expand All on thousands of rows passes over the events while the view lays them out too. What
// happens in those passes cannot disturb the layout: a layout asked for waits until it is over,
// and a stop comes too late to spare anything, so everything ends up expanded and shown.
TEST_F(TreeControlTest, ExpandSubtreeLaysOutThousandsOfRowsPassingOverTheEvents) {
    const struct {
        const char* name;
        bool expandableBeside;
    } rows[] = {
        {"nothing else to expand", false},
        {"beside a collapsed item with children", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        nodes().Clear();
        const auto top = nodes().Add(QStringLiteral("top"));
        for (int i = 0; i < 3000; ++i) {
            const auto item = nodes().Add(top, TreeModel::tvwChild, QStringLiteral("item"));
            nodes().Add(item, TreeModel::tvwChild, QStringLiteral("leaf"));
        }
        TreeModel::ItemId beside = TreeModel::NoItem;
        if (row.expandableBeside) {
            beside = nodes().Add(QStringLiteral("beside"));
            nodes().Add(beside, TreeModel::tvwChild, QStringLiteral("hidden"));
        }
        std::vector<qint64> progress;
        bool laidOutDuringLayout = false;
        const bool finished = tree.ExpandSubtree(top, [&](qint64 done, qint64 total) {
            EXPECT_EQ(total, 1000);
            const bool layingOut = done > 600;
            progress.push_back(done);
            if (layingOut && !laidOutDuringLayout) {
                laidOutDuringLayout = true;
                tree.doItemsLayout();
            }
            QCoreApplication::processEvents();
            return !layingOut;
        });
        EXPECT_TRUE(finished);
        EXPECT_TRUE(laidOutDuringLayout) << "the layout did not pass over the events";
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        QCoreApplication::processEvents();
        int shown = 0;
        for (QModelIndex i = nodes().index(0, 0); i.isValid(); i = tree.indexBelow(i))
            ++shown;
        EXPECT_EQ(shown, 1 + 3000 * 2 + (row.expandableBeside ? 1 : 0));
        const auto last = nodes().LastChild(nodes().LastChild(top));
        EXPECT_TRUE(tree.Expanded(last));
        if (beside) {
            EXPECT_FALSE(tree.Expanded(beside));
        }
    }
}

TEST_F(TreeControlTest, HitTestFindsTheItemUnderAPoint) {
    tree.SetExpanded(root, true);
    QCoreApplication::processEvents();
    const QRect rect = tree.visualRect(nodes().IndexOf(child));
    EXPECT_EQ(tree.HitTest(rect.center()), child);
    EXPECT_EQ(tree.HitTest(QPoint(5, tree.viewport()->height() - 2)), TreeModel::NoItem);
}

TEST_F(TreeControlTest, LabelEditKeepsWhatTheAfterHookDecides) {
    tree.AfterLabelEdit = [](TreeModel::ItemId, QString& text) {
        text = text.trimmed();
        return false;
    };
    tree.SetSelectedItem(child);
    tree.StartLabelEdit();
    ASSERT_TRUE(tree.IsEditingLabel());
    type(QStringLiteral("  renamed  "), Qt::Key_Return);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("renamed"));
}

TEST_F(TreeControlTest, CancelledOrAbandonedEditsLeaveTheLabel) {
    int afterCalls = 0;
    tree.AfterLabelEdit = [&](TreeModel::ItemId, QString&) {
        ++afterCalls;
        return true; // cancel: the old label stays
    };
    tree.SetSelectedItem(child);
    tree.StartLabelEdit();
    type(QStringLiteral("refused"), Qt::Key_Return);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("child"));
    EXPECT_EQ(afterCalls, 1);

    tree.StartLabelEdit();
    type(QStringLiteral("abandoned"), Qt::Key_Escape);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("child"));
    EXPECT_EQ(afterCalls, 1); // Escape never reaches the hook

    tree.BeforeLabelEdit = [](TreeModel::ItemId item) { return item != TreeModel::NoItem; };
    tree.StartLabelEdit();
    EXPECT_FALSE(tree.IsEditingLabel());
}

TEST_F(TreeControlTest, MousePointerShowsTheBusyCursor) {
    tree.SetMousePointer(TreeControl::PointerWait);
    EXPECT_EQ(tree.MousePointer(), 11);
    EXPECT_EQ(tree.cursor().shape(), Qt::WaitCursor);
    tree.SetMousePointer(TreeControl::PointerDefault);
    EXPECT_EQ(tree.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(TreeControlTest, DroppedFilesAreHandedOnAndOtherDropsIgnored) {
    QSignalSpy dropped(&tree, &TreeControl::FilesDropped);
    auto drop = [&](QMimeData* data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &event);
        return enter.isAccepted() && event.isAccepted();
    };
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/one.xml")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/two.xml"))});
    EXPECT_TRUE(drop(&files));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(),
              (QStringList{QStringLiteral("/tmp/one.xml"), QStringLiteral("/tmp/two.xml")}));

    QMimeData text;
    text.setText(QStringLiteral("<dragged/>"));
    EXPECT_FALSE(drop(&text));
    EXPECT_EQ(dropped.count(), 1);
}

} // namespace
