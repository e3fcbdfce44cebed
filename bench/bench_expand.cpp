// Expand All on a large document: the whole tree built and laid out, against libxml2 parsing the
// same file alone; then how the window answers in the fully expanded tree, and an element with
// 100,000 attributes. Each case runs in a child process of its own, so memory peaks do not mix.
//
// Usage: bench_expand [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "documentgenerator.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

using Id = TreeModel::ItemId;

struct ExpandResult {
    double seconds = 0;
    long peakKb = 0; // peak resident size above the size before the file was opened
    double longestGapMs = 0;
    long items = 0;
    double slowestCommandMs = 0;
};

// The longest time between two passes over the events, seen by a timer that fires on each.
class GapMeter {
public:
    GapMeter() {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1e6);
            m_since.restart();
        });
        m_since.start();
        m_timer.start();
    }
    double Longest() {
        m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1e6);
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

Id documentElementItem(TreeModel& nodes) {
    for (Id i = nodes.FirstTopLevel(); i; i = nodes.Next(i)) {
        if (nodes.Tag(i).nodeType() == NODE_ELEMENT)
            return i;
    }
    return TreeModel::NoItem;
}

double millisecondsOf(const std::function<void()>& command) {
    QElapsedTimer timer;
    timer.start();
    command();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

ExpandResult expandAll(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    QCoreApplication::processEvents();
    const long before = StatusKb("VmRSS:");
    window.DropFiles({path});
    QCoreApplication::processEvents();
    TreeControl* tree = window.m_wndTree;
    TreeModel& nodes = tree->Nodes();
    const Id root = documentElementItem(nodes);
    tree->SetSelectedItem(root);
    QCoreApplication::processEvents();
    ExpandResult r;
    {
        GapMeter gaps;
        QElapsedTimer timer;
        timer.start();
        window.Command(QStringLiteral("mnuExpandAll"))->trigger();
        tree->viewport()->grab(); // the tree as the user sees it afterwards
        QCoreApplication::processEvents();
        r.seconds = timer.nsecsElapsed() / 1e9;
        r.longestGapMs = gaps.Longest();
    }
    r.peakKb = StatusKb("VmHWM:") - before;
    r.items = nodes.BuiltCount();
    // What the user does next in the expanded tree: select an item deep down, walk with keys.
    Id deep = nodes.Child(root);
    for (int i = nodes.ChildCount(root) / 2; i > 0; --i)
        deep = nodes.Next(deep);
    deep = nodes.LastChild(deep);
    const double commands[] = {
        millisecondsOf([&] { tree->SetSelectedItem(deep); }),
        millisecondsOf([&] { pressKey(tree, Qt::Key_Down); }),
        millisecondsOf([&] { pressKey(tree, Qt::Key_Up); }),
        millisecondsOf([&] { tree->SetSelectedItem(root); }),
        millisecondsOf([&] { pressKey(tree, Qt::Key_Down); }),
        millisecondsOf([&] { pressKey(tree, Qt::Key_End); }),
        millisecondsOf([&] { pressKey(tree, Qt::Key_Up); }),
    };
    r.slowestCommandMs = *std::max_element(std::begin(commands), std::end(commands));
    window.m_bNeedToSave = false;
    return r;
}

struct AttributesResult {
    double openMs = 0;
    double selectExpandMs = 0;
    double expandAllMs = 0;
};

AttributesResult manyAttributes(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    QCoreApplication::processEvents();
    AttributesResult r;
    r.openMs = millisecondsOf([&] { window.DropFiles({path}); });
    TreeControl* tree = window.m_wndTree;
    TreeModel& nodes = tree->Nodes();
    const Id element = nodes.Child(documentElementItem(nodes));
    r.selectExpandMs = millisecondsOf([&] {
        tree->SetSelectedItem(element);
        QCoreApplication::processEvents();
        tree->SetExpanded(element, true);
        tree->viewport()->grab();
    });
    tree->SetExpanded(element, false);
    QCoreApplication::processEvents();
    r.expandAllMs = millisecondsOf([&] {
        window.Command(QStringLiteral("mnuExpandAll"))->trigger();
        tree->viewport()->grab();
    });
    window.m_bNeedToSave = false;
    return r;
}

QString writeManyAttributes(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("attributes.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path;
    file.write("<root><e");
    for (int i = 0; i < 100000; ++i)
        file.write(" a" + QByteArray::number(i) + "=\"value " + QByteArray::number(i) + '"');
    file.write("/></root>\n");
    return path;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming base = ParseBaseline(path);
    const ExpandResult editor = InChild<ExpandResult>([&] { return expandAll(path, argc, argv); });
    std::printf("Expand All on root  : %7.3f s  peak +%7.1f MB  (%ld tree items)\n", editor.seconds,
                editor.peakKb / 1024.0, editor.items);
    std::printf("  (peak: the whole process from before opening the file, document included)\n");
    std::printf("ratio time   : %.2fx (target at most 3x)\n", editor.seconds / base.seconds);
    std::printf("ratio memory : %.2fx (target at most 2x)\n", double(editor.peakKb) / base.peakKb);
    std::printf("longest gap between passes over the events: %.0f ms\n", editor.longestGapMs);
    std::printf("slowest selection / key in the expanded tree: %.1f ms (target 100 ms)\n",
                editor.slowestCommandMs);
    std::fflush(stdout);

    const QString attributes = writeManyAttributes(dir);
    const AttributesResult wide =
        InChild<AttributesResult>([&] { return manyAttributes(attributes, argc, argv); });
    std::printf("100,000 attributes  : open %.0f ms (target 1000 ms), select + expand %.0f ms "
                "(target 1000 ms), Expand All %.0f ms\n",
                wide.openMs, wide.selectExpandMs, wide.expandAllMs);
    return 0;
}
