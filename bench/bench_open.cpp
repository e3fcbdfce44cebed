// Opening a large document: the editor (the parse on its worker while the window waits and
// repaints, then the shown tree and the views) against libxml2 parsing the same file alone. Each
// side runs in a child process of its own so that their memory peaks do not mix; both are
// measured from the moment before the file is read. Also printed: the longest time the window
// went without a pass over its events.
//
// Usage: bench_open [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "documentgenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Result {
    double seconds = 0;
    long peakKb = 0; // peak resident size above the size before opening
    long builtItems = 0;
    double longestGap = 0;
};

Result openInEditor(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    QCoreApplication::processEvents();
    const long before = StatusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    EventGapMeter gaps;
    window.DropFiles({path});
    window.m_wndTree->viewport()->grab(); // the tree as the user first sees it
    QCoreApplication::processEvents();
    Result r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.peakKb = StatusKb("VmHWM:") - before;
    r.builtItems = window.m_wndTree->Nodes().BuiltCount();
    r.longestGap = gaps.longestSeconds();
    window.m_bNeedToSave = false;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming base = ParseBaseline(path);
    const Result editor = InChild<Result>([&] { return openInEditor(path, argc, argv); });
    std::printf("editor open, shown  : %7.3f s  peak +%7.1f MB  (%ld tree items built)\n",
                editor.seconds, editor.peakKb / 1024.0, editor.builtItems);
    std::printf("longest time without a pass over the events: %.3f s\n", editor.longestGap);
    std::printf("ratio time   : %.2fx (target at most 1.1x)\n", editor.seconds / base.seconds);
    std::printf("ratio memory : %.2fx (target at most 1.1x)\n",
                double(editor.peakKb) / base.peakKb);
    return 0;
}
