#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QAbstractScrollArea>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

// What the benchmarks share: measuring the process's own memory, running each side in a child
// process so that memory peaks do not mix, and the baseline of libxml2 parsing a file alone.

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:").
long StatusKb(const char* field);
// Starts the peak resident size afresh from the current size.
void ResetPeakKb();

// Runs `body` in a child process and returns what it measured; `Result` is plain data.
template <typename Result, typename Body> Result InChild(Body body) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFd[0]);
        const Result r = body();
        (void)!write(pipeFd[1], &r, sizeof r);
        _exit(0);
    }
    close(pipeFd[1]);
    Result r{};
    (void)!read(pipeFd[0], &r, sizeof r);
    close(pipeFd[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

struct ParseTiming {
    double seconds = 0;
    long peakKb = 0; // peak resident size above the size before parsing
};
// libxml2 reading the file alone, in the calling process.
ParseTiming ParseAlone(const QString& path);
// The baseline every benchmark compares with: libxml2 parsing `path` alone in a child process,
// printed as the first line of the results.
ParseTiming ParseBaseline(const QString& path);

// `xmllint --format FILE > /dev/null` in a child process: seconds, or -1 when it failed.
double XmllintFormatSeconds(const QString& path);

// A key as the user presses it on `view`, until the view has painted what it changed: milliseconds.
double PressKey(QAbstractScrollArea& view, int key, Qt::KeyboardModifiers modifiers,
                const QString& text);
// Lets the event loop finish what is queued, for `ms` milliseconds.
void Settle(int ms = 1000);

// The longest time the user-interface thread went without a pass over its events while the
// meter lived: a timer of interval 0 fires once on every pass.
class EventGapMeter {
public:
    EventGapMeter();
    double longestSeconds() const { return m_longestNs / 1e9; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_longestNs = 0;
};
