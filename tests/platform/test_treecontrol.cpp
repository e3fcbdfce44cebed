// The tree control as the window uses it, and the long operations that keep the window alive
// meanwhile: progress shown, input held back, a stop on Esc.

#include "platform/tree/treecontrol.h"
#include "platform/ui/longoperation.h"
#include "support/qtprinting.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

using Id = TreeModel::ItemId;
constexpr Id None = TreeModel::NoItem;

class TreeControlTest : public testing::Test {
protected:
    void SetUp() override {
        tree.resize(300, 200);
        tree.show();
    }
    TreeModel& nodes() { return tree.Nodes(); }
    // Adds a child under `item` and tells whether the view shows it, `item` expanded.
    bool shownOnceAdded(Id item) {
        const Id added = nodes().Add(item, TreeModel::tvwChild, "new");
        QCoreApplication::processEvents();
        const bool shown = tree.isExpanded(nodes().IndexOf(item));
        EXPECT_EQ(tree.indexBelow(nodes().IndexOf(item)) == nodes().IndexOf(added), shown);
        return shown;
    }

    TreeControl tree;
    const Id root = nodes().Add("root");
    const Id child = nodes().Add(root, TreeModel::tvwChild, "child");
    const Id grandchild = nodes().Add(child, TreeModel::tvwChild, "grandchild");
};

// A selected item is shown through its collapsed ancestors, found under its place, and kept when
// the press lands where no item is.
TEST_F(TreeControlTest, SelectionShowsTheItemAndOnlyItemsTakeIt) {
    EXPECT_EQ(tree.SelectedItem(), None);
    tree.SetSelectedItem(grandchild);
    EXPECT_TRUE(tree.SelectedItem() == grandchild && tree.Expanded(root) && tree.Expanded(child));
    QCoreApplication::processEvents();
    EXPECT_EQ(tree.HitTest(tree.visualRect(nodes().IndexOf(child)).center()), child);
    const QPoint nowhere(5, tree.viewport()->height() - 2);
    EXPECT_EQ(tree.HitTest(nowhere), None);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, nowhere);
    EXPECT_EQ(tree.SelectedItem(), grandchild);
    tree.SetSelectedItem(None);
    EXPECT_EQ(tree.SelectedItem(), None);
}

// The view forgets that a childless item is expanded; the control keeps it, so the item shows its
// first child as soon as it has one, whether expanded childless or having lost its last child.
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

// Expand All passes over the events while the view lays out thousands of rows; a layout asked for
// then waits, and a stop comes too late to spare anything: all ends expanded, nothing beside it.
TEST_F(TreeControlTest, ExpandSubtreeLaysOutThousandsOfRowsPassingOverTheEvents) {
    for (const bool expandableBeside : {false, true}) {
        SCOPED_TRACE(expandableBeside);
        nodes().Clear();
        const Id top = nodes().Add("top");
        for (int i = 0; i < 3000; ++i)
            nodes().Add(nodes().Add(top, TreeModel::tvwChild, "item"), TreeModel::tvwChild, "leaf");
        const Id beside = expandableBeside ? nodes().Add("beside") : None;
        if (beside)
            nodes().Add(beside, TreeModel::tvwChild, "hidden");
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
        EXPECT_EQ(shown, 1 + 3000 * 2 + (beside ? 1 : 0));
        EXPECT_TRUE(tree.Expanded(nodes().LastChild(nodes().LastChild(top))));
        EXPECT_FALSE(beside && tree.Expanded(beside));
    }
}

TEST_F(TreeControlTest, DroppedFilesAreHandedOnAndOtherDropsIgnored) {
    QSignalSpy dropped(&tree, &TreeControl::FilesDropped);
    QMimeData files, text;
    files.setUrls({QUrl::fromLocalFile("/tmp/one.xml"), QUrl::fromLocalFile("/tmp/two.xml")});
    text.setText("<dragged/>");
    for (QMimeData* data : {&files, &text}) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(tree.viewport(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(tree.viewport(), &drop);
        EXPECT_EQ(enter.isAccepted() && drop.isAccepted(), data == &files);
    }
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(), QStringList({"/tmp/one.xml", "/tmp/two.xml"}));
}

class LongOperationTest : public testing::Test, protected ProgressDisplay {
protected:
    void SetUp() override {
        LongOperation::SetIntervals(0, 0);
        edit.show();
        edit.setFocus();
    }
    void TearDown() override { LongOperation::SetIntervals(40, 300); }
    void ShowProgress(const QString& caption, int percent) override {
        shown << caption + ' ' + QString::number(percent);
    }
    void HideProgress() override { ++hidden; }
    // Esc once the events are next looked at, as the user presses it during the command.
    void escapeSoon(std::atomic<bool>* escaped = nullptr) {
        QTimer::singleShot(0, [this, escaped] {
            QTest::keyClick(&edit, Qt::Key_Escape);
            if (escaped)
                *escaped = true;
        });
    }

    QLineEdit edit;
    QStringList shown;
    int hidden = 0;
};

// Stepping or waiting for a worker, the command shows how far it got (-1 when it cannot tell).
// Keys typed meanwhile, text and shortcuts alike, are handled once it is over and in their order;
// a click is dropped; Esc stops it and goes no further. Work run aside is stopped by Esc when it
// can stop, and waited for whatever the keys say when it cannot; what it throws comes back.
TEST_F(LongOperationTest, ShowsProgressHoldsKeysBackForAfterAndStopsOnEscape) {
    QAction shortcut(QStringLiteral("Mark"), &edit);
    shortcut.setShortcut(QKeySequence(QStringLiteral("Ctrl+K")));
    edit.addAction(&shortcut);
    QObject::connect(&shortcut, &QAction::triggered, [&] { edit.insert(QStringLiteral("[K]")); });
    QPushButton button(QStringLiteral("Click"));
    button.show();
    QApplication::setActiveWindow(&edit);
    QTest::keyClick(&edit, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(edit.text(), "[K]") << "the shortcut does not work at all";
    edit.clear();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    {
        LongOperation operation(this, "Expanding");
        EXPECT_TRUE(LongOperation::Running());
        QTimer::singleShot(0, [&] {
            QTest::keyClicks(&edit, "ab");
            QTest::keyClick(&edit, Qt::Key_K, Qt::ControlModifier);
            QTest::mouseClick(&button, Qt::LeftButton);
            QTest::keyClicks(&edit, "c");
        });
        EXPECT_TRUE(operation.Step(1, 4));
        EXPECT_EQ(edit.text(), "") << "keys typed while the command ran reached the window";
        EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                 : Qt::ArrowCursor,
                  Qt::BusyCursor);
        int looks = 0;
        EXPECT_TRUE(operation.WaitFor([&] { return ++looks > 3; }, [] { return std::pair(2, 4); }));
        EXPECT_EQ(shown.last(), "Expanding 50");
        escapeSoon();
        EXPECT_FALSE(operation.WaitFor([] { return false; }));
        EXPECT_FALSE(operation.Step(3, 4));
        EXPECT_TRUE(operation.Cancelled());
        EXPECT_EQ(shown.first(), "Expanding 25");
        EXPECT_EQ(shown.mid(shown.size() - 2), QStringList({"Expanding -1", "Expanding 75"}));
        EXPECT_EQ(edit.text(), "");
    }
    EXPECT_FALSE(LongOperation::Running());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(hidden, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(edit.text(), "ab[K]c") << "the keys, in their order, once the command was over";
    EXPECT_EQ(clicks, 0) << "a click during the command";
    QTest::keyClicks(&edit, "ok");
    EXPECT_EQ(edit.text(), "ab[K]cok");
    // Keys held by an operation inside another wait for the outer one to end too.
    edit.clear();
    {
        LongOperation outer(this, "Outer");
        {
            LongOperation inner(this, "Inner");
            QTimer::singleShot(0, [&] { QTest::keyClicks(&edit, "x"); });
            inner.Step();
        }
        outer.Step();
        EXPECT_EQ(edit.text(), "");
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(edit.text(), "x");
    for (const bool stoppable : {true, false}) {
        SCOPED_TRACE(stoppable);
        std::atomic<bool> escaped{false};
        bool finished = false;
        escapeSoon(&escaped);
        EXPECT_EQ(RunAside(this, "Indenting", 10, stoppable,
                           [&](WorkProgress& progress) {
                               while (!escaped || (stoppable && !progress.stop))
                                   QThread::msleep(1);
                               finished = !progress.stop;
                           }),
                  !stoppable);
        EXPECT_EQ(finished, !stoppable);
    }
    EXPECT_THROW(RunAside(this, {}, 0, false, [](WorkProgress&) { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

} // namespace
