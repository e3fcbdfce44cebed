// Opening a large document: the editor (load, build the shown tree, refresh the views) against
// libxml2 parsing the same file alone. Each side runs in a child process of its own so that
// their memory peaks do not mix; both are measured from the moment before the file is read.
//
// Usage: bench_open [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "childprocess.h"
#include "documentgenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <libxml/parser.h>

#include <cstdio>
#include <cstring>

namespace {

struct Result {
    double seconds = 0;
    long peakKb = 0; // peak resident size above the size before opening
    long builtItems = 0;
};

long statusKb(const char* field) {
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

Result parseAlone(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const long before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    xmlDocPtr doc = xmlReadFile(name.constData(), nullptr, XML_PARSE_NOBLANKS | XML_PARSE_NONET);
    Result r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.peakKb = statusKb("VmHWM:") - before;
    xmlFreeDoc(doc);
    return r;
}

Result openInEditor(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    QCoreApplication::processEvents();
    const long before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    window.DropFiles({path});
    window.m_wndTree->viewport()->grab(); // the tree as the user first sees it
    QCoreApplication::processEvents();
    Result r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.peakKb = statusKb("VmHWM:") - before;
    r.builtItems = window.m_wndTree->Nodes().BuiltCount();
    window.m_bNeedToSave = false;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 100;
    QTemporaryDir dir;
    QString path =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("large.xml"));
    if (argc <= 2) {
        std::printf("generating %d MB document...\n", megabytes);
        std::fflush(stdout);
        const qint64 nodes = GenerateDocument(path, megabytes);
        std::printf("  %lld nodes, %.1f MB\n", static_cast<long long>(nodes),
                    QFile(path).size() / 1048576.0);
    }
    std::fflush(stdout);
    const Result base = InChild([&] { return parseAlone(path); });
    const Result editor = InChild([&] { return openInEditor(path, argc, argv); });
    std::printf("libxml2 parse alone : %7.3f s  peak +%7.1f MB\n", base.seconds,
                base.peakKb / 1024.0);
    std::printf("editor open, shown  : %7.3f s  peak +%7.1f MB  (%ld tree items built)\n",
                editor.seconds, editor.peakKb / 1024.0, editor.builtItems);
    std::printf("ratio time   : %.2fx (target at most 2x)\n", editor.seconds / base.seconds);
    std::printf("ratio memory : %.2fx (target at most 1.5x)\n",
                double(editor.peakKb) / base.peakKb);
    return 0;
}
