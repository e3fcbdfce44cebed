// Find of a text that matches nothing in a large document: from OK in the Find dialog to the
// end-of-search message, against libxml2 parsing the same file alone. The tree is built lazily,
// so the search reads most labels from the DOM; it must not build the tree on its way, which the
// resident memory before and after shows. Each side runs in a child process of its own.
// Then Find All: matching nothing, from the button to the filled panel; matching about a million
// items, the longest time the window went without passing its events, and the End key in the
// list (its last row's path is counted among every record).
//
// Usage: bench_find [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "benchui.h"
#include "documentgenerator.h"
#include "platform/ui/uiservices.h"
#include "search/frmfind.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTreeView>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Result {
    double seconds = 0;
    long peakKb = 0;   // peak resident size above the size before
    long beforeKb = 0; // resident size before
    long builtItems = 0;
    bool searched = false;
    double findAllNoneSeconds = 0;
    double findAllManySeconds = 0;
    qint64 findAllMany = 0;
    double findAllGapMs = 0;
    double endKeyMs = 0;
};

// The person at the screen: types the text into the Find dialog, presses OK and takes the time
// when the end-of-search message comes.
class TimedFind : public BenchUi {
public:
    explicit TimedFind(QString text) : m_text(std::move(text)) {}
    // The next dialog is answered with Find All for `text`.
    void findAll(QString text) { m_text = std::move(text), m_all = true; }
    MsgResult messageBox(const QString& text, MsgButtons, MsgIcon, const QString&) override {
        if (m_timer.isValid() && !result.searched) {
            result.seconds = m_timer.nsecsElapsed() / 1e9;
            result.peakKb = StatusKb("VmHWM:") - result.beforeKb;
            result.searched = text == QLatin1String("The specified region has been searched.");
        }
        return MsgResult::OK;
    }
    void showModal(QDialog& dialog) override {
        auto* find = qobject_cast<frmFind*>(&dialog);
        if (!find)
            return;
        find->cmboFind->setEditText(m_text);
        if (m_all)
            return find->cmdFindAll->click();
        result.beforeKb = StatusKb("VmRSS:");
        ResetPeakKb();
        m_timer.start();
        find->cmdOK->click();
    }
    Result result;

private:
    QString m_text;
    bool m_all = false;
    QElapsedTimer m_timer;
};

Result findInEditor(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TimedFind ui(QStringLiteral("no label holds this text"));
    SetUiServices(&ui);
    Result r;
    {
        frmMain window;
        window.show();
        window.DropFiles({path});
        window.m_wndTree->viewport()->grab();
        QCoreApplication::processEvents();
        window.Command(QStringLiteral("mnuFind"))->trigger();
        r = ui.result;
        r.builtItems = window.m_wndTree->Nodes().BuiltCount();
        QElapsedTimer timer;
        ui.findAll(QStringLiteral("no label holds this text"));
        timer.start();
        window.Command(QStringLiteral("mnuFind"))->trigger();
        r.findAllNoneSeconds = timer.nsecsElapsed() / 1e9;
        ui.findAll(QStringLiteral("record"));
        {
            EventGapMeter gaps;
            timer.start();
            window.Command(QStringLiteral("mnuFind"))->trigger();
            window.m_findResultsPanel->Rows()->viewport()->repaint();
            r.findAllManySeconds = timer.nsecsElapsed() / 1e9;
            QCoreApplication::processEvents();
            r.findAllGapMs = gaps.longestSeconds() * 1000;
        }
        r.findAllMany = window.m_findResultsPanel->Count();
        Settle(300);
        r.endKeyMs = PressKey(*window.m_findResultsPanel->Rows(), Qt::Key_End, Qt::NoModifier, {});
        window.m_bNeedToSave = false;
    }
    SetUiServices(nullptr);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming base = ParseBaseline(path);
    const Result find = InChild<Result>([&] { return findInEditor(path, argc, argv); });
    if (!find.searched) {
        std::printf("the search did not end with its end-of-search message\n");
        return 1;
    }
    std::printf("find, no match        : %7.3f s  peak +%7.1f MB over %.1f MB  (%ld items "
                "built)\n",
                find.seconds, find.peakKb / 1024.0, find.beforeKb / 1024.0, find.builtItems);
    std::printf("ratio time   : %.2fx (target at most 0.5x)\n", find.seconds / base.seconds);
    std::printf("memory growth: %.1f%% (target at most 10%%)\n",
                100.0 * double(find.peakKb) / double(find.beforeKb));
    std::printf("find all, no match    : %7.3f s  ratio %.2fx (target at most 0.5x)\n",
                find.findAllNoneSeconds, find.findAllNoneSeconds / base.seconds);
    std::printf("find all, %lld matches: %7.3f s  ratio %.2fx; longest stand-still %.0f ms "
                "(target at most 100 ms)\n",
                static_cast<long long>(find.findAllMany), find.findAllManySeconds,
                find.findAllManySeconds / base.seconds, find.findAllGapMs);
    std::printf("End key in the list   : %7.1f ms (target at most 100 ms)\n", find.endKeyMs);
    return 0;
}
