// Which item commands are available for a tree item, and away from the tree.

#include "app/frmmain.h"

#include "app/commandtable.h"
#include "tree/itemcommands.h"

#include <QAction>

void frmMain::UpdateCommandState(TreeModel::ItemId item) {
    // Away from the tree the selection is looked at again when the tree comes back.
    if (item == TreeModel::NoItem || m_wndTree->isHidden() || m_wndTree->Nodes().Tag(item).isNull())
        return;
    for (const auto& [command, enabled] :
         ItemCommandStates(m_wndTree->Nodes(), item, !m_objCopiedNode.isNull()))
        Command(QString::fromLatin1(command))->setEnabled(enabled);
}

void frmMain::ItemCommandsFollowView() {
    const bool away = m_wndTree->isHidden();
    if (away == !m_itemCommandsAway.isEmpty())
        return;
    if (!away) {
        for (auto it = m_itemCommandsAway.constBegin(); it != m_itemCommandsAway.constEnd(); ++it)
            it.key()->setEnabled(it.value());
        m_itemCommandsAway.clear();
        UpdateCommandState(m_wndTree->SelectedItem());
        return;
    }
    for (const MenuEntry& entry : MenuTable()) {
        QAction* action = entry.item ? Command(QString::fromLatin1(entry.name)) : nullptr;
        if (action && !m_itemCommandsAway.contains(action)) {
            m_itemCommandsAway.insert(action, action->isEnabled());
            action->setEnabled(false);
        }
    }
}
