#include "benchprocess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QFile>
#include <QProcess>

#include <libxml/parser.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

double PressKey(QAbstractScrollArea& view, int key, Qt::KeyboardModifiers modifiers,
                const QString& text) {
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(&view, &release);
    QCoreApplication::processEvents();
    view.viewport()->repaint();
    return timer.nsecsElapsed() / 1e6;
}

void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::sendPostedEvents();
    }
}

long StatusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long value = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0)
            value = std::atol(line + n + 1);
    }
    std::fclose(f);
    return value;
}

void ResetPeakKb() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

ParseTiming ParseAlone(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const long before = StatusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    xmlDocPtr doc = xmlReadFile(name.constData(), nullptr, XML_PARSE_NOBLANKS | XML_PARSE_NONET);
    ParseTiming r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.peakKb = StatusKb("VmHWM:") - before;
    xmlFreeDoc(doc);
    return r;
}

ParseTiming ParseBaseline(const QString& path) {
    const ParseTiming base = InChild<ParseTiming>([&] { return ParseAlone(path); });
    std::printf("libxml2 parse alone : %7.3f s  peak +%7.1f MB\n", base.seconds,
                base.peakKb / 1024.0);
    std::fflush(stdout);
    return base;
}

double XmllintFormatSeconds(const QString& path) {
    QProcess xmllint;
    xmllint.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    xmllint.start(QStringLiteral("xmllint"), {QStringLiteral("--format"), path});
    xmllint.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    return xmllint.exitStatus() == QProcess::NormalExit && xmllint.exitCode() == 0 ? seconds : -1;
}

EventGapMeter::EventGapMeter() {
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        m_longestNs = std::max(m_longestNs, m_sinceLast.nsecsElapsed());
        m_sinceLast.restart();
    });
    m_sinceLast.start();
    m_timer.start();
}
