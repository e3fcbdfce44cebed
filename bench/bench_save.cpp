// Saving a large document: the editor's Save (written on a worker while the window waits,
// repaints and shows progress) against `xmllint --format` reading and laying out the same file,
// timed in the same run. Also printed: libxml2's parse alone, and the longest time the window
// went without a pass over its events during the save.
//
// Usage: bench_save [MEGABYTES=100] [FILE]

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
    double longestGap = 0;
    long long bytes = 0;
    bool saved = false;
};

Result saveInEditor(const QString& original, const QString& copy, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!QFile::copy(original, copy))
        return {};
    frmMain window;
    window.show();
    window.DropFiles({copy});
    QCoreApplication::processEvents();
    window.m_bNeedToSave = true;
    QElapsedTimer timer;
    timer.start();
    EventGapMeter gaps;
    Result r;
    r.saved = window.SaveFile();
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.longestGap = gaps.longestSeconds();
    r.bytes = QFile(copy).size();
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    ParseBaseline(path);
    const double xmllint = XmllintFormatSeconds(path);
    if (xmllint < 0) {
        std::printf("xmllint --format failed; is xmllint installed?\n");
        return 1;
    }
    std::printf("xmllint --format    : %7.3f s\n", xmllint);
    const QString copy = dir.filePath(QStringLiteral("saved.xml"));
    const Result editor = InChild<Result>([&] { return saveInEditor(path, copy, argc, argv); });
    if (!editor.saved) {
        std::printf("the editor's save failed\n");
        return 1;
    }
    std::printf("editor Save         : %7.3f s  (%.1f MB written)\n", editor.seconds,
                editor.bytes / 1048576.0);
    std::printf("longest time without a pass over the events: %.3f s\n", editor.longestGap);
    std::printf("ratio time : %.2fx (target at most 1x)\n", editor.seconds / xmllint);
    return 0;
}
