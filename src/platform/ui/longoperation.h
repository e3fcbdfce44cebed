#pragma once

#include "platform/work/asidework.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

// Where a long operation shows how far it got, and work is said to be done: the main window's
// status bar.
// The hourglass over every window of the program while it lives.
struct WaitPointer {
    WaitPointer();
    ~WaitPointer();
};

class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    // `percent` from 0 to 100, or -1 while the amount of work is not known.
    virtual void ShowProgress(const QString& caption, int percent) = 0;
    virtual void HideProgress() = 0;
    // Ends any progress shown and says `text` until something else is said.
    virtual void ShowStatus(const QString& text) { Q_UNUSED(text); }
    // What it says now.
    virtual QString Status() const { return {}; }
};

// Keeps the windows alive through a command that runs long on the user-interface thread, or that
// waits there for a worker. The command calls Step() often; every few tens of milliseconds Step
// lets the windows repaint, and once the command has run for 300 ms the progress shows. Input to
// the windows is held back while it runs, so that no other command can start in the middle of
// this one, except Esc, which asks the command to stop (Step then answers false). Keys typed
// meanwhile (text, and the shortcuts of commands) are handled once it is over, in the order they
// came; a click is dropped, as it aimed at a window that may look different by then, and the
// busy pointer shows that the window does not take it.
class LongOperation : public QObject {
public:
    // Without `escStops`, Esc is held back like any other key: the command cannot be stopped.
    LongOperation(ProgressDisplay* display, QString caption, bool escStops = true);
    ~LongOperation() override;
    LongOperation(const LongOperation&) = delete;
    LongOperation& operator=(const LongOperation&) = delete;

    // `done` of `total` in any unit (total 0 when unknown). False once the user asked to stop.
    bool Step(qint64 done = 0, qint64 total = 0);
    bool Cancelled() const { return m_cancelled; }
    // Steps until `ready` answers true, sleeping a little between looks; false when the user
    // stopped first. `progress` (optional) tells how far the worker got, as {done, total}.
    bool WaitFor(const std::function<bool()>& ready,
                 const std::function<std::pair<qint64, qint64>()>& progress = {});

    // Whether a long operation is running: timers and window activation must not start
    // anything of their own in the middle of it.
    static bool Running() { return s_running > 0; }
    // Tests make every step a pass over the events (0, 0); the program keeps the defaults.
    static void SetIntervals(int eventsMs, int showMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void passEvents(qint64 done, qint64 total);
    // Delivers the keys held back, to whoever they were for that is still there.
    void handOnKeys();

    ProgressDisplay* m_display;
    QString m_caption;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceEvents;
    bool m_escStops = true;
    bool m_cancelled = false;
    bool m_shown = false;
    bool m_busyPointer = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_heldKeys;
    static int s_running;
    static int s_eventsMs;
    static int s_showMs;
};

// Waits for `job` while the windows stay alive as in a LongOperation, its progress shown against
// `total` (0: unknown). With `stoppable`, Esc asks the job to stop and the wait ends at once
// (false): the job must own what it works on.
bool WaitAside(ProgressDisplay* display, const QString& caption, qint64 total, bool stoppable,
               AsideWork& job);
// Runs `work` on a worker thread while the windows stay alive as in a LongOperation, the progress
// it counts shown against `total` (0: unknown). With `stoppable`, Esc asks the work to stop: it
// sees `stop` set, and the answer is false once it has ended. What the work throws is thrown here.
bool RunAside(ProgressDisplay* display, const QString& caption, qint64 total, bool stoppable,
              const std::function<void(WorkProgress&)>& work);
// WaitAside on `display`, for work that knows nothing of windows.
AsideWaiter WaiterFor(ProgressDisplay* display);
