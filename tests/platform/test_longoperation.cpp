// A long command keeps the window alive: it shows progress, holds input back and stops on Esc.

#include "platform/ui/longoperation.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <stdexcept>

namespace {

struct RecordingDisplay : ProgressDisplay {
    void ShowProgress(const QString& caption, int percent) override {
        shown << QStringLiteral("%1 %2").arg(caption).arg(percent);
    }
    void HideProgress() override { ++hidden; }
    QStringList shown;
    int hidden = 0;
};

class LongOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        LongOperation::SetIntervals(0, 0);
        edit.show();
        edit.setFocus();
    }
    void TearDown() override { LongOperation::SetIntervals(40, 300); }
    QLineEdit edit;
    RecordingDisplay display;
};

TEST_F(LongOperationTest, ShowsProgressHoldsTypingBackAndStopsOnEscape) {
    {
        LongOperation operation(&display, QStringLiteral("Expanding"));
        EXPECT_TRUE(LongOperation::Running());
        QTimer::singleShot(0, [&] { QTest::keyClicks(&edit, QStringLiteral("abc")); });
        EXPECT_TRUE(operation.Step(1, 4));
        EXPECT_TRUE(operation.Step(2, 4));
        QTimer::singleShot(0, [&] { QTest::keyClick(&edit, Qt::Key_Escape); });
        EXPECT_FALSE(operation.Step(3, 4));
        EXPECT_TRUE(operation.Cancelled());
        EXPECT_EQ(display.shown.first(), QStringLiteral("Expanding 25"));
        EXPECT_EQ(display.shown.last(), QStringLiteral("Expanding 75"));
    }
    EXPECT_FALSE(LongOperation::Running());
    EXPECT_EQ(display.hidden, 1);
    EXPECT_EQ(edit.text(), QString()) << "keys typed while the command ran reached the window";
    QTest::keyClicks(&edit, QStringLiteral("ok"));
    EXPECT_EQ(edit.text(), QStringLiteral("ok"));
}

TEST_F(LongOperationTest, WaitingForAWorkerEndsWhenItIsReadyOrOnEscape) {
    LongOperation operation(&display, QStringLiteral("Opening"));
    int looks = 0;
    EXPECT_TRUE(operation.WaitFor([&] { return ++looks > 3; },
                                  [] {
                                      return std::pair<qint64, qint64>{1, 2};
                                  }));
    EXPECT_EQ(display.shown.last(), QStringLiteral("Opening 50"));
    QTimer::singleShot(0, [&] { QTest::keyClick(&edit, Qt::Key_Escape); });
    EXPECT_FALSE(operation.WaitFor([] { return false; }));
}

// Work run aside is stopped by Esc when it can stop, and waited for whatever the keys say when it
// cannot; what it throws comes back.
TEST_F(LongOperationTest, WorkAsideStopsOnEscapeOnlyWhenItCan) {
    for (const bool stoppable : {true, false}) {
        SCOPED_TRACE(stoppable);
        std::atomic<bool> escaped{false};
        bool finished = false;
        QTimer::singleShot(0, [&] {
            QTest::keyClick(&edit, Qt::Key_Escape);
            escaped = true;
        });
        const bool done = RunAside(&display, QStringLiteral("Indenting"), 10, stoppable,
                                   [&](WorkProgress& progress) {
                                       while (!escaped || (stoppable && !progress.stop))
                                           QThread::msleep(1);
                                       finished = !progress.stop;
                                   });
        EXPECT_EQ(done, !stoppable);
        EXPECT_EQ(finished, !stoppable);
    }
    EXPECT_THROW(RunAside(&display, QString(), 0, false,
                          [](WorkProgress&) { throw std::runtime_error("failed"); }),
                 std::runtime_error);
}

} // namespace
