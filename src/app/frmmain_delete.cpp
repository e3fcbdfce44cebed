// Deleting items.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"

void frmMain::mnuDeleteItem_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (item == TreeModel::NoItem)
        return;
    if (MsgBox(QStringLiteral("Are you sure you want to delete the selected item?"),
               MsgButtons::YesNo, MsgIcon::Question, DocumentRules::kAppTitle) == MsgResult::Yes)
        DeleteSelectedItem(item);
}

void frmMain::DeleteSelectedItem(TreeModel::ItemId item) {
    guarded([&] {
        if (item == TreeModel::NoItem)
            return;
        TreeModel& nodes = m_wndTree->Nodes();
        XmlNode node = nodes.Tag(item);
        if (node.isNull())
            return;
        if (node.nodeType() != NODE_ATTRIBUTE)
            node.parentNode().removeChild(node);
        else
            nodes.Tag(nodes.Parent(item)).attributes().removeNamedItem(node.nodeName());
        nodes.Remove(item);
    });
}
