// A long command keeps the window alive: it shows progress, holds input back and stops on Esc.

#include "platform/ui/longoperation.h"
#include "support/qtprinting.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <stdexcept>

namespace {

class LongOperationTest : public ::testing::Test, protected ProgressDisplay {
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
TEST_F(LongOperationTest, ShowsProgressHoldsInputBackAndStopsOnEscape) {
    {
        LongOperation operation(this, "Expanding");
        EXPECT_TRUE(LongOperation::Running());
        QTimer::singleShot(0, [&] { QTest::keyClicks(&edit, "abc"); });
        EXPECT_TRUE(operation.Step(1, 4));
        int looks = 0;
        EXPECT_TRUE(operation.WaitFor([&] { return ++looks > 3; }, [] { return std::pair(2, 4); }));
        EXPECT_EQ(shown.last(), "Expanding 50");
        escapeSoon();
        EXPECT_FALSE(operation.WaitFor([] { return false; }));
        EXPECT_FALSE(operation.Step(3, 4));
        EXPECT_TRUE(operation.Cancelled());
        EXPECT_EQ(shown.first(), "Expanding 25");
        EXPECT_EQ(shown.mid(shown.size() - 2), QStringList({"Expanding -1", "Expanding 75"}));
    }
    EXPECT_FALSE(LongOperation::Running());
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(edit.text(), "") << "keys typed while the command ran reached the window";
    QTest::keyClicks(&edit, "ok");
    EXPECT_EQ(edit.text(), "ok");
}

// Work run aside is stopped by Esc when it can stop, and waited for whatever the keys say when it
// cannot; what it throws comes back.
TEST_F(LongOperationTest, WorkAsideStopsOnEscapeOnlyWhenItCan) {
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
