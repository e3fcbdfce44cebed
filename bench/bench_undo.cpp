// Undo and redo on a large document: how long the window takes to answer Ctrl+Z and Ctrl+Y after
// each item command (target at most 100 ms at 100 MB), what one small step holds, and what a
// history of 10,000 small steps adds to the program's memory (target at most 10%).
//
// Usage: bench_undo [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "benchui.h"
#include "documentgenerator.h"
#include "platform/ui/uiservices.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treesync.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>

#include <cstdio>

namespace {

// Answers Yes to every question.
class Person : public BenchUi {
public:
    MsgResult messageBox(const QString&, MsgButtons, MsgIcon, const QString&) override {
        return MsgResult::Yes;
    }
};

double slowest = 0;

double timed(frmMain& window, const std::function<void()>& command) {
    QElapsedTimer timer;
    timer.start();
    command();
    QCoreApplication::processEvents();
    window.grab();
    return timer.nsecsElapsed() / 1e6;
}

void run(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Person person;
    SetUiServices(&person);
    frmMain window;
    window.resize(1000, 700);
    window.show();
    QCoreApplication::processEvents();
    window.DropFiles({path});
    TreeControl& tree = *window.m_wndTree;
    TreeModel& nodes = tree.Nodes();
    const TreeModel::ItemId root = nodes.Next(nodes.FirstTopLevel());
    tree.SetExpanded(root, true);
    TreeModel::ItemId record = nodes.Child(root);
    for (int i = 0, middle = nodes.ChildCount(root) / 2; i < middle; ++i)
        record = nodes.Next(record);
    tree.SetSelectedItem(record);
    tree.SetExpanded(record, true);
    QCoreApplication::processEvents();
    auto trigger = [&](const char* name) { window.Command(QString::fromLatin1(name))->trigger(); };
    auto endLabelEdit = [&] {
        if (tree.IsEditingLabel())
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    };
    trigger("mnuCopy");
    struct Command {
        const char* caption;
        std::function<void()> run;
    };
    const Command commands[] = {
        {"insert element",
         [&] {
             trigger("mnuNewElement");
             endLabelEdit();
         }},
        {"insert comment",
         [&] {
             trigger("mnuNewComment");
             endLabelEdit();
         }},
        {"move up", [&] { trigger("mnuMoveUp"); }},
        {"move down", [&] { trigger("mnuMoveDown"); }},
        {"delete", [&] { trigger("mnuDeleteItem"); }},
        {"paste",
         [&] {
             tree.SetSelectedItem(record);
             trigger("mnuPaste");
         }},
        {"cut",
         [&] {
             tree.SetSelectedItem(record);
             trigger("mnuCut");
         }},
    };
    XmlHistory& history = window.m_objDocument.history();
    // Undo builds items anew: the record is found again by its node.
    const XmlNode recordNode = nodes.Tag(record);
    auto selectRecord = [&] {
        record = ModGeneral::ItemShowing(nodes, recordNode, true);
        tree.SetSelectedItem(record);
    };
    std::printf("  %-20s %10s %10s %12s\n", "command", "undo", "redo", "step holds");
    for (const Command& c : commands) {
        selectRecord();
        c.run();
        QCoreApplication::processEvents();
        const size_t bytes = history.undoStepMemory();
        const double undo = timed(window, [&] { trigger("mnuUndo"); });
        const double redo = timed(window, [&] { trigger("mnuRedo"); });
        slowest = std::max({slowest, undo, redo});
        std::printf("  %-20s %7.1f ms %7.1f ms %9.1f kB\n", c.caption, undo, redo, bytes / 1024.0);
        std::fflush(stdout);
    }
    std::printf("slowest undo or redo: %.1f ms (target at most 100 ms at 100 MB)\n", slowest);

    // A long history of small steps: an attribute value set again and again.
    malloc_trim(0);
    const long before = StatusKb("VmRSS:");
    XmlNode element = recordNode;
    for (int i = 0; i < 10000; ++i) {
        XmlChangeStep step(window.m_objDocument, QStringLiteral("Update"));
        element.setAttribute(QStringLiteral("bench"), QString::number(i));
        step.commit();
    }
    malloc_trim(0);
    const long after = StatusKb("VmRSS:");
    std::printf("10,000 small steps: history %.1f kB, resident memory +%ld kB = %.2f%% of %ld kB "
                "(target at most 10%%)\n",
                history.memoryUse() / 1024.0, after - before,
                100.0 * double(after - before) / double(before), before);
    window.m_bNeedToSave = false;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    ParseBaseline(path);
    run(path, argc, argv);
    return 0;
}
