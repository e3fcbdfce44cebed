// Replace All on a large document, from the button in the Replace dialog to the message that says
// how many were made, against libxml2 parsing the same file alone: in the text view (the view's
// whole text, about a million matches, one undo step), and in the tree view (every element name
// and text through the XML layer, one undo step), then the undo of that step. Each side runs in a
// child process of its own.
//
// Usage: bench_replace [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "benchui.h"
#include "document/textsearch.h"
#include "documentgenerator.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/work/asidework.h"
#include "search/frmreplace.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Result {
    double textSeconds = 0;
    double treeSeconds = 0;
    double treeUndoSeconds = 0;
    char textSaid[64] = {};
    char treeSaid[64] = {};
};

// The person at the screen: fills the Replace dialog in, presses Replace All and takes the time
// when the message comes.
class TimedReplace : public BenchUi {
public:
    MsgResult messageBox(const QString& text, MsgButtons, MsgIcon, const QString&) override {
        seconds = m_timer.nsecsElapsed() / 1e9;
        said = text;
        return MsgResult::OK;
    }
    void showModal(QDialog& dialog) override {
        auto* replace = qobject_cast<frmReplace*>(&dialog);
        if (!replace)
            return;
        replace->cmboFind->setEditText(QStringLiteral("record"));
        replace->cmboReplace->setEditText(QStringLiteral("entry"));
        m_timer.start();
        replace->cmdReplaceAll->click();
    }
    double seconds = 0;
    QString said;

private:
    QElapsedTimer m_timer;
};

Result replaceInEditor(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TimedReplace ui;
    SetUiServices(&ui);
    Result r;
    {
        frmMain window;
        window.show();
        window.DropFiles({path});
        AsideWork::WaitForAll();
        Settle();
        window.Command(QStringLiteral("mnuReplace"))->trigger();
        r.treeSeconds = ui.seconds;
        qstrncpy(r.treeSaid, ui.said.toUtf8().constData(), sizeof r.treeSaid);
        QElapsedTimer timer;
        timer.start();
        window.Command(QStringLiteral("mnuUndo"))->trigger();
        r.treeUndoSeconds = timer.nsecsElapsed() / 1e9;
        window.mnutextView_Click();
        QCoreApplication::processEvents();
        Settle();
        window.Command(QStringLiteral("mnuReplace"))->trigger();
        window.m_txtXML->viewport()->repaint();
        r.textSeconds = ui.seconds;
        qstrncpy(r.textSaid, ui.said.toUtf8().constData(), sizeof r.textSaid);
        window.m_txtXML->setModified(false);
        window.m_bNeedToSave = false;
        window.markSaved();
    }
    SetUiServices(nullptr);
    return r;
}

} // namespace

// The replacing alone, on the file's bytes: what the text view adds is the rest.
double replaceAlone(const QString& path, bool matchCase) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    const TextSearch search({QStringLiteral("record"), matchCase, false, false});
    QElapsedTimer timer;
    timer.start();
    qint64 count = 0;
    const std::optional<QByteArray> out = search.ReplaceAllUtf8(bytes, QStringLiteral("entry"), count);
    return out ? timer.nsecsElapsed() / 1e9 : 0;
}

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming base = ParseBaseline(path);
    for (const bool matchCase : {false, true}) {
        const double alone = replaceAlone(path, matchCase);
        std::printf("replacing alone%s: %7.3f s  %.2fx parse\n",
                    matchCase ? " (case)" : "       ", alone, alone / base.seconds);
    }
    const Result r = InChild<Result>([&] { return replaceInEditor(path, argc, argv); });
    std::printf("text view, Replace All: %7.3f s  %.2fx parse (target at most 1x)  \"%s\"\n",
                r.textSeconds, r.textSeconds / base.seconds, r.textSaid);
    std::printf("tree view, Replace All: %7.3f s  %.2fx parse  \"%s\"\n", r.treeSeconds,
                r.treeSeconds / base.seconds, r.treeSaid);
    std::printf("its undo              : %7.3f s  %.2fx parse\n", r.treeUndoSeconds,
                r.treeUndoSeconds / base.seconds);
    return 0;
}
