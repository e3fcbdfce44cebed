// Commands run in undo steps, undo and redo. The tree is brought in line with the Document for
// the places a step touched.

#include "app/frmmain.h"

#include "app/commandtable.h"
#include "platform/views/richtextbox.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treesync.h"

#include <QAction>

void frmMain::RunCommand(void (frmMain::*handler)()) {
    m_labelOfInsert = TreeModel::NoItem;
    const MenuEntry* command = CommandOf(handler);
    if (command && command->undo)
        m_session.InUndoStep(QString::fromLatin1(command->undo),
                             [this, handler] { (this->*handler)(); });
    else
        (this->*handler)();
    UpdateUndoCommands();
}

// While the text view is shown and has changes of its own to take back (or make again), those are
// what undo and redo act on, wherever the keyboard is; else the Document's steps.
bool frmMain::textViewUndoes(bool undo) const {
    return !m_txtXML->isHidden() && !(undo ? m_txtXML->UndoKind() : m_txtXML->RedoKind()).isEmpty();
}

// Within the same Document only the places the step touched are built again; another Document
// brought back was shown whole. The view shown instead of the tree shows what was taken back.
void frmMain::undoOrRedo(bool undo) {
    if (textViewUndoes(undo))
        return undo ? m_txtXML->undo() : m_txtXML->redo();
    const std::optional<DocumentSession::Undone> done = m_session.UndoOrRedo(undo);
    if (!done)
        return;
    TreeModel& nodes = m_wndTree->Nodes();
    if (!done->replaced)
        ModGeneral::SyncContainers(nodes, done->touched, m_lTreeTextMaxLength);
    TreeModel::ItemId shown = ModGeneral::ItemShowing(nodes, done->focus, true);
    if (shown == TreeModel::NoItem)
        shown = nodes.FirstTopLevel();
    if (shown != TreeModel::NoItem)
        m_wndTree->SetSelectedItem(shown);
    UpdateCommandState(shown);
    if (m_wndTree->isHidden())
        RefreshViews(false);
    UpdateUndoCommands();
}

// The captions name what the commands will do: "Undo Typing", "Undo Indent" or the Document's
// step.
void frmMain::updateUndoCaptions() {
    const XmlHistory* history = m_objDocument.isNull() ? nullptr : &m_objDocument.history();
    for (const bool undo : {true, false}) {
        QString step;
        if (textViewUndoes(undo))
            step = undo ? m_txtXML->UndoKind() : m_txtXML->RedoKind();
        else if (history && (undo ? history->canUndo() : history->canRedo()))
            step = undo ? history->undoCaption() : history->redoCaption();
        const QString verb = undo ? QStringLiteral("&Undo") : QStringLiteral("&Redo");
        QAction* command = Command(undo ? QStringLiteral("mnuUndo") : QStringLiteral("mnuRedo"));
        command->setText(step.isEmpty() ? verb : verb + QLatin1Char(' ') + step);
        command->setEnabled(!step.isEmpty());
    }
}
