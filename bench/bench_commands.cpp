// Every command a user gives after a large document is open: how long the window takes to answer
// each one (the command, then the events it causes and a repaint of what is shown). The first
// edit after the load and the first switch to each view are reported on their own lines; every
// other command should answer within 100 ms.
//
// Usage: bench_commands [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "benchui.h"
#include "documentgenerator.h"
#include "platform/ui/uiservices.h"
#include "search/frmfind.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// Answers Yes to every question and fills the Find dialog.
class Person : public BenchUi {
public:
    MsgResult messageBox(const QString& text, MsgButtons, MsgIcon, const QString&) override {
        std::printf("    (message: %s)\n", qPrintable(text.left(70)));
        return MsgResult::Yes;
    }
    void showModal(QDialog& dialog) override {
        if (auto* find = qobject_cast<frmFind*>(&dialog)) {
            find->cmboFind->setEditText(findText);
            find->cmdOK->click();
        }
    }
    QString findText;
};

double slowest = 0;

double timed(frmMain& window, const char* what, const std::function<void()>& command,
             bool counted = true) {
    QElapsedTimer timer;
    timer.start();
    command();
    QCoreApplication::processEvents();
    window.grab();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (counted)
        slowest = std::max(slowest, ms);
    std::printf("  %-44s %9.1f ms%s\n", what, ms, counted && ms > 100 ? "   > 100 ms" : "");
    std::fflush(stdout);
    return ms;
}

void endLabelEdit(frmMain& window) {
    if (window.m_wndTree->IsEditingLabel())
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

// F5 with the tree collapsed, against parsing the file alone.
void refresh(frmMain& window, const char* what, double parseSeconds) {
    const double ms = timed(
        window, what, [&] { window.Command(QStringLiteral("mnuRefresh"))->trigger(); }, false);
    std::printf("    = %.2fx parse (target at most 0.5x)\n", ms / 1000.0 / parseSeconds);
}

void run(const QString& path, double parseSeconds, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Person person;
    SetUiServices(&person);
    frmMain window;
    window.resize(1000, 700);
    window.show();
    QCoreApplication::processEvents();
    timed(
        window, "open", [&] { window.DropFiles({path}); }, false);
    TreeControl& tree = *window.m_wndTree;
    TreeModel& nodes = tree.Nodes();
    refresh(window, "refresh (F5), unchanged since the load", parseSeconds);
    const TreeModel::ItemId root = nodes.Next(nodes.FirstTopLevel());
    timed(
        window, "expand the document element", [&] { tree.SetExpanded(root, true); }, false);
    // A record in the middle, and an element inside it.
    TreeModel::ItemId record = nodes.Child(root);
    for (int i = 0, middle = nodes.ChildCount(root) / 2; i < middle; ++i)
        record = nodes.Next(record);
    timed(window, "select a record in the middle", [&] { tree.SetSelectedItem(record); });
    timed(window, "expand it", [&] { tree.SetExpanded(record, true); });
    auto trigger = [&](const char* name) { window.Command(QString::fromLatin1(name))->trigger(); };
    timed(
        window, "first edit: insert element (Ctrl+E)",
        [&] {
            trigger("mnuNewElement");
            endLabelEdit(window);
        },
        false);
    timed(window, "select the record again", [&] { tree.SetSelectedItem(record); });
    timed(window, "insert element", [&] {
        trigger("mnuNewElement");
        endLabelEdit(window);
    });
    for (int i = 0; i < 3; ++i)
        timed(window, "key Down", [&] { QTest::keyClick(&tree, Qt::Key_Down); });
    timed(window, "key Up", [&] { QTest::keyClick(&tree, Qt::Key_Up); });
    timed(window, "insert comment", [&] {
        trigger("mnuNewComment");
        endLabelEdit(window);
    });
    timed(window, "move up", [&] { trigger("mnuMoveUp"); });
    timed(window, "move down", [&] { trigger("mnuMoveDown"); });
    timed(window, "delete", [&] { trigger("mnuDeleteItem"); });
    timed(window, "select the record", [&] { tree.SetSelectedItem(record); });
    timed(window, "copy", [&] { trigger("mnuCopy"); });
    timed(window, "paste", [&] { trigger("mnuPaste"); });
    timed(window, "cut", [&] { trigger("mnuCut"); });
    timed(window, "select the document element", [&] { tree.SetSelectedItem(root); });
    timed(window, "move right", [&] { trigger("mnuMoveRight"); });
    person.findText = QStringLiteral("Record number 12");
    timed(window, "find (dialog, first match)", [&] { trigger("mnuFind"); });
    for (int i = 0; i < 3; ++i)
        timed(window, "find next (F3)", [&] { trigger("mnuFindNext"); });
    timed(
        window, "first switch to the text view", [&] { trigger("mnutextView"); }, false);
    timed(window, "back to the tree view", [&] { trigger("mnuTreeView"); });
    timed(
        window, "first switch to the web view", [&] { trigger("mnuWebView"); }, false);
    timed(window, "tree view", [&] { trigger("mnuTreeView"); });
    timed(window, "text view", [&] { trigger("mnutextView"); });
    timed(window, "web view", [&] { trigger("mnuWebView"); });
    timed(window, "tree view", [&] { trigger("mnuTreeView"); });
    std::printf("slowest command: %.1f ms (target at most 100 ms at 100 MB, 50 ms at 1 MB)\n",
                slowest);
    tree.SetExpanded(nodes.Next(nodes.FirstTopLevel()), false);
    refresh(window, "refresh (F5) after the edits", parseSeconds);
    window.m_bNeedToSave = false;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming base = ParseBaseline(path);
    run(path, base.seconds, argc, argv);
    return 0;
}
