// The tree's events: clicks, the context menus, F2, in-place label editing and Expand All.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "editing/itemedits.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treebuilder.h"

#include <QMenu>

void frmMain::m_wndTree_NodeClick(TreeModel::ItemId item) {
    guarded([&] { UpdateCommandState(item); });
}

void frmMain::m_wndTree_MouseDown(Qt::MouseButton button, const QPoint& point) {
    guarded([&] {
        const TreeModel::ItemId item = m_wndTree->HitTest(point);
        UpdateCommandState(item);
        if (button != Qt::RightButton)
            return;
        const QPoint global = m_wndTree->viewport()->mapToGlobal(point);
        if (item == TreeModel::NoItem) {
            Menu(QStringLiteral("mnuPopupClip"))->popup(global);
            return;
        }
        if (m_wndTree->SelectedItem() != item)
            m_wndTree->SetSelectedItem(item);
        Menu(QStringLiteral("mnuContextMenu"))->popup(global);
    });
}

void frmMain::m_wndTree_KeyDown(int key) {
    if (key == Qt::Key_F2)
        guarded([&] { m_wndTree->StartLabelEdit(); });
}

bool frmMain::m_wndTree_BeforeLabelEdit(TreeModel::ItemId item) {
    bool cancel = true;
    guarded([&] { cancel = !ItemEdits::EditsInPlace(m_wndTree->Nodes(), item, m_lTreeTextMaxLength); });
    return cancel;
}

bool frmMain::m_wndTree_AfterLabelEdit(TreeModel::ItemId item, QString& newText) {
    bool cancel = false;
    try {
        const bool namesInsert = std::exchange(m_labelOfInsert, TreeModel::NoItem) == item;
        XmlChangeStep step(Document(),
                           m_wndTree->Nodes().Tag(item).nodeType() == NODE_ELEMENT
                               ? QStringLiteral("Rename")
                               : QStringLiteral("Edit Text"),
                           namesInsert);
        QString refusal;
        cancel = !ItemEdits::SetLabel(m_wndTree->Nodes(), item, newText, m_lTreeTextMaxLength,
                                      refusal);
        if (cancel)
            MsgBox(refusal, MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
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

void frmMain::mnuExpandAll_Click() {
    ExpandSubTree(m_wndTree->SelectedItem());
}
