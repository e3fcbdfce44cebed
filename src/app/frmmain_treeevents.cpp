// The tree's events: clicks, the context menus, F2, in-place label editing and Expand All.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "editing/itemedits.h"
#include "platform/ui/longoperation.h"
#include "platform/xml/xmlhistory.h"

#include <QMenu>

void frmMain::m_wndTree_NodeClick(TreeModel::ItemId item) {
    guarded([&] { UpdateCommandState(item); });
}

// The right button over empty space offers the clipboard commands of the whole document; over an
// item, which it selects, the item commands.
void frmMain::m_wndTree_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers,
                                  const QPoint& point) {
    guarded([&] {
        const TreeModel::ItemId item = m_wndTree->HitTest(point);
        UpdateCommandState(item);
        if (button != Qt::RightButton)
            return;
        const QPoint global = m_wndTree->viewport()->mapToGlobal(point);
        if (item == TreeModel::NoItem)
            return Menu(QStringLiteral("mnuPopupClip"))->popup(global);
        if (m_wndTree->SelectedItem() != item)
            m_wndTree->SetSelectedItem(item);
        Menu(QStringLiteral("mnuContextMenu"))->popup(global);
    });
}

// F2 alone: with Shift it is Special Update's key, which does nothing where it is off.
void frmMain::m_wndTree_KeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key == Qt::Key_F2 && !(shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)))
        guarded([&] { m_wndTree->StartLabelEdit(); });
}

bool frmMain::m_wndTree_BeforeLabelEdit(TreeModel::ItemId item) {
    bool cancel = true;
    guarded(
        [&] { cancel = !ItemEdits::EditsInPlace(m_wndTree->Nodes(), item, m_lTreeTextMaxLength); });
    return cancel;
}

// The name typed for an item an insert just made is part of the insert's undo step.
bool frmMain::m_wndTree_AfterLabelEdit(TreeModel::ItemId item, QString& newText) {
    bool cancel = false;
    try {
        const bool namesInsert = std::exchange(m_labelOfInsert, TreeModel::NoItem) == item;
        const bool element = m_wndTree->Nodes().Tag(item).nodeType() == NODE_ELEMENT;
        XmlChangeStep step(Document(),
                           element ? QStringLiteral("Rename") : QStringLiteral("Edit Text"),
                           namesInsert);
        QString refusal;
        cancel =
            !ItemEdits::SetLabel(m_wndTree->Nodes(), item, newText, m_lTreeTextMaxLength, refusal);
        if (cancel)
            tell(refusal, MsgIcon::Information);
        step.commit();
        MarkChanged();
    } catch (...) {
        HandleError();
        cancel = true;
    }
    guarded([&] { UpdateUndoCommands(); });
    return cancel;
}

// On a large document this builds and expands millions of items: it shows its progress, keeps
// the window painting and stops on Esc, leaving expanded what it got to.
void frmMain::ExpandSubTree(TreeModel::ItemId item) {
    if (item == TreeModel::NoItem)
        return;
    guarded([&] {
        LongOperation operation(StatusBar1, QStringLiteral("Expanding"));
        m_wndTree->ExpandSubtree(
            item, [&](qint64 done, qint64 total) { return operation.Step(done, total); });
    });
    guarded([&] { UpdateCommandState(m_wndTree->SelectedItem()); });
}
