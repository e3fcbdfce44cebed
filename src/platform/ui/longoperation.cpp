#include "platform/ui/longoperation.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QThread>

int LongOperation::s_running = 0;
int LongOperation::s_eventsMs = 40;
int LongOperation::s_showMs = 300;

LongOperation::LongOperation(ProgressDisplay* display, QString caption, bool escStops)
    : m_display(display), m_caption(std::move(caption)), m_escStops(escStops) {
    m_started.start();
    m_sinceEvents.start();
    ++s_running;
    QCoreApplication::instance()->installEventFilter(this);
}

LongOperation::~LongOperation() {
    QCoreApplication::instance()->removeEventFilter(this);
    --s_running;
    if (m_shown && m_display)
        m_display->HideProgress();
    if (m_busyPointer)
        QApplication::restoreOverrideCursor();
    handOnKeys();
}

// Posted, they come after what the command itself left queued, and in an operation that encloses
// this one they are held back again until that one is over too.
void LongOperation::handOnKeys() {
    for (auto& [receiver, event] : m_heldKeys) {
        if (receiver)
            QCoreApplication::postEvent(receiver, event.release());
    }
    m_heldKeys.clear();
}

void LongOperation::SetIntervals(int eventsMs, int showMs) {
    s_eventsMs = eventsMs;
    s_showMs = showMs;
}

bool LongOperation::Step(qint64 done, qint64 total) {
    if (m_sinceEvents.elapsed() >= s_eventsMs)
        passEvents(done, total);
    return !m_cancelled;
}

void LongOperation::passEvents(qint64 done, qint64 total) {
    if (m_display && m_started.elapsed() >= s_showMs) {
        const int percent =
            total > 0 ? static_cast<int>(qBound(qint64(0), done * 100 / total, qint64(100))) : -1;
        m_display->ShowProgress(m_caption, percent);
        m_shown = true;
    }
    if (!m_busyPointer) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busyPointer = true;
    }
    QCoreApplication::processEvents();
    m_sinceEvents.restart();
}

bool LongOperation::WaitFor(const std::function<bool()>& ready,
                            const std::function<std::pair<qint64, qint64>()>& progress) {
    while (!ready()) {
        if (m_cancelled)
            return false;
        const auto [done, total] = progress ? progress() : std::pair<qint64, qint64>{0, 0};
        passEvents(done, total);
        if (!ready())
            QThread::msleep(static_cast<unsigned long>(qBound(1, s_eventsMs / 4, 10)));
    }
    return true;
}

// Keys wait until the command is over, every other input is dropped; Esc asks the command to stop
// (and is not handed on: it was meant for this command).
bool LongOperation::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (m_escStops && event->type() == QEvent::KeyPress)
                m_cancelled = true;
            return true;
        }
        [[fallthrough]];
    case QEvent::Shortcut:
        m_heldKeys.emplace_back(watched, event->clone());
        return true;
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::InputMethod:
        return true;
    case QEvent::Close:
        // Closing the window waits too; the user can stop the command with Esc first.
        event->ignore();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

bool WaitAside(ProgressDisplay* display, const QString& caption, qint64 total, bool stoppable,
               AsideWork& job) {
    LongOperation wait(display, caption, stoppable);
    if (wait.WaitFor([&job] { return job.Finished(); },
                     [&] {
                         return std::pair<qint64, qint64>{job.Done(), total};
                     }))
        return true;
    job.RequestStop();
    return false;
}

bool RunAside(ProgressDisplay* display, const QString& caption, qint64 total, bool stoppable,
              const std::function<void(WorkProgress&)>& work) {
    return RunAside(WaiterFor(display), caption, total, stoppable, work);
}

AsideWaiter WaiterFor(ProgressDisplay* display) {
    return [display](const QString& caption, qint64 total, bool stoppable, AsideWork& job) {
        return WaitAside(display, caption, total, stoppable, job);
    };
}

WaitPointer::WaitPointer() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitPointer::~WaitPointer() {
    QApplication::restoreOverrideCursor();
}
