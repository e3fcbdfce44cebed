// The tree control as the window uses it: selection, expanded state, Expand All, in-place label
// editing with its hooks, hit testing, the busy pointer and dropped files.

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

using Id = TreeModel::ItemId;

class TreeControlTest : public testing::Test {
protected:
    void SetUp() override {
        tree.resize(300, 200);
        tree.show();
    }
    TreeModel& nodes() { return tree.Nodes(); }
    // Adds a child under `item` and tells whether the view shows it, `item` expanded.
    bool shownOnceAdded(Id item) {
        const Id added = nodes().Add(item, TreeModel::tvwChild, QStringLiteral("new"));
        QCoreApplication::processEvents();
        const bool shown = tree.isExpanded(nodes().IndexOf(item));
        EXPECT_EQ(tree.indexBelow(nodes().IndexOf(item)) == nodes().IndexOf(added), shown);
        return shown;
    }
    // Edits the selected item's label in place, ending with `finish`.
    void editLabel(const QString& text, Qt::Key finish) {
        tree.StartLabelEdit();
        ASSERT_TRUE(tree.IsEditingLabel());
        QLineEdit* line = nullptr; // closed editors may linger until deleted
        for (QLineEdit* each : tree.findChildren<QLineEdit*>())
            line = each->isVisible() ? each : line;
        ASSERT_NE(line, nullptr);
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, finish);
        QCoreApplication::processEvents();
    }

    TreeControl tree;
    const Id root = nodes().Add(QStringLiteral("root"));
    const Id child = nodes().Add(root, TreeModel::tvwChild, QStringLiteral("child"));
    const Id grandchild = nodes().Add(child, TreeModel::tvwChild, QStringLiteral("grandchild"));
};

// A selected item is shown through its collapsed ancestors, found under its place, and kept when
// the press lands where no item is.
TEST_F(TreeControlTest, SelectionShowsTheItemAndOnlyItemsTakeIt) {
    EXPECT_EQ(tree.SelectedItem(), TreeModel::NoItem);
    tree.SetSelectedItem(grandchild);
    EXPECT_EQ(tree.SelectedItem(), grandchild);
    EXPECT_TRUE(tree.Expanded(root) && tree.Expanded(child));
    QCoreApplication::processEvents();
    EXPECT_EQ(tree.HitTest(tree.visualRect(nodes().IndexOf(child)).center()), child);
    const QPoint nowhere(5, tree.viewport()->height() - 2);
    EXPECT_EQ(tree.HitTest(nowhere), TreeModel::NoItem);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, nowhere);
    EXPECT_EQ(tree.SelectedItem(), grandchild);
    tree.SetSelectedItem(TreeModel::NoItem);
    EXPECT_EQ(tree.SelectedItem(), TreeModel::NoItem);
    tree.SetMousePointer(TreeControl::PointerWait);
    EXPECT_EQ(tree.cursor().shape(), Qt::WaitCursor);
    tree.SetMousePointer(TreeControl::PointerDefault);
    EXPECT_EQ(tree.cursor().shape(), Qt::ArrowCursor);
}

// The view keeps nothing for an expanded item without children; the control does, so the item
// reads expanded and shows its first child as soon as it has one, as the view would have done,
// whether it was expanded childless or lost its last child while expanded. A collapsed one stays
// collapsed.
TEST_F(TreeControlTest, AChildlessItemKeepsItsExpandedState) {
    for (const Id item : {root, child, grandchild})
        tree.SetExpanded(item, true);
    EXPECT_TRUE(tree.Expanded(grandchild));
    EXPECT_TRUE(shownOnceAdded(grandchild));
    const Id added = nodes().Child(grandchild);
    tree.SetExpanded(added, true);
    tree.SetExpanded(added, false);
    EXPECT_FALSE(tree.Expanded(added));
    EXPECT_FALSE(shownOnceAdded(added));
    for (const bool expanded : {true, false}) {
        SCOPED_TRACE(expanded);
        tree.SetExpanded(child, expanded);
        nodes().Remove(nodes().Child(child));
        QCoreApplication::processEvents();
        EXPECT_EQ(tree.Expanded(child), expanded);
        EXPECT_EQ(shownOnceAdded(child), expanded);
    }
}

// Expand All on thousands of rows passes over the events while the view lays them out too. What
// happens in those passes cannot disturb the layout: a layout asked for waits until it is over,
// and a stop comes too late to spare anything, so everything ends up expanded and shown, and
// nothing outside the subtree.
TEST_F(TreeControlTest, ExpandSubtreeLaysOutThousandsOfRowsPassingOverTheEvents) {
    for (const bool expandableBeside : {false, true}) {
        SCOPED_TRACE(expandableBeside);
        nodes().Clear();
        const Id top = nodes().Add(QStringLiteral("top"));
        for (int i = 0; i < 3000; ++i) {
            const Id item = nodes().Add(top, TreeModel::tvwChild, QStringLiteral("item"));
            nodes().Add(item, TreeModel::tvwChild, QStringLiteral("leaf"));
        }
        Id beside = TreeModel::NoItem;
        if (expandableBeside)
            nodes().Add(beside = nodes().Add(QStringLiteral("beside")), TreeModel::tvwChild,
                        QStringLiteral("hidden"));
        std::vector<qint64> progress;
        bool laidOutDuringLayout = false;
        EXPECT_TRUE(tree.ExpandSubtree(top, [&](qint64 done, qint64 total) {
            EXPECT_EQ(total, 1000);
            progress.push_back(done);
            if (done > 600 && !std::exchange(laidOutDuringLayout, true))
                tree.doItemsLayout();
            QCoreApplication::processEvents();
            return done <= 600;
        }));
        EXPECT_TRUE(laidOutDuringLayout) << "the layout did not pass over the events";
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        QCoreApplication::processEvents();
        int shown = 0;
        for (QModelIndex i = nodes().index(0, 0); i.isValid(); i = tree.indexBelow(i))
            ++shown;
        EXPECT_EQ(shown, 1 + 3000 * 2 + (expandableBeside ? 1 : 0));
        EXPECT_TRUE(tree.Expanded(nodes().LastChild(nodes().LastChild(top))));
        EXPECT_FALSE(beside && tree.Expanded(beside));
    }
}

// The after hook may refuse the new text or change it; Escape never reaches it, and the before
// hook may refuse the edit.
TEST_F(TreeControlTest, LabelEditsGoThroughTheHooks) {
    bool refuse = true;
    int afterCalls = 0;
    tree.AfterLabelEdit = [&](Id, QString& text) {
        ++afterCalls;
        text = text.trimmed();
        return refuse;
    };
    tree.SetSelectedItem(child);
    editLabel(QStringLiteral("refused"), Qt::Key_Return);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("child"));
    refuse = false;
    editLabel(QStringLiteral("abandoned"), Qt::Key_Escape);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("child"));
    EXPECT_EQ(afterCalls, 1);
    editLabel(QStringLiteral("  renamed  "), Qt::Key_Return);
    EXPECT_EQ(nodes().Text(child), QStringLiteral("renamed"));
    EXPECT_EQ(afterCalls, 2);
    tree.BeforeLabelEdit = [](Id item) { return item != TreeModel::NoItem; };
    tree.StartLabelEdit();
    EXPECT_FALSE(tree.IsEditingLabel());
}

TEST_F(TreeControlTest, DroppedFilesAreHandedOnAndOtherDropsIgnored) {
    QSignalSpy dropped(&tree, &TreeControl::FilesDropped);
    const auto drop = [&](QMimeData& data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(tree.viewport(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(tree.viewport(), &event);
        return enter.isAccepted() && event.isAccepted();
    };
    QMimeData files, text;
    files.setUrls({QUrl::fromLocalFile("/tmp/one.xml"), QUrl::fromLocalFile("/tmp/two.xml")});
    text.setText(QStringLiteral("<dragged/>"));
    EXPECT_TRUE(drop(files));
    EXPECT_FALSE(drop(text));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(), QStringList({"/tmp/one.xml", "/tmp/two.xml"}));
}

} // namespace
