// Which item commands are available for a tree item.

#include "app/frmmain.h"

#include "app/commandtable.h"

#include <QAction>
#include <QToolBar>

void frmMain::UpdateCommandState(TreeModel::ItemId item) {
    // Away from the tree the selection is looked at again when the tree comes back.
    if (item == TreeModel::NoItem || m_wndTree->isHidden())
        return;
    TreeModel& nodes = m_wndTree->Nodes();
    const XmlNode node = nodes.Tag(item);
    if (node.isNull())
        return;
    const int type = node.nodeType();
    const TreeModel::ItemId parent = nodes.Parent(item);
    const bool hasPrevious = nodes.Previous(item) != TreeModel::NoItem;

    // A button, its menu item and the menu item's context twin always agree.
    auto set = [this](QToolBar* bar, const char* key, const char* menu, const char* popup,
                      bool enabled) {
        if (bar)
            Button(bar, QString::fromLatin1(key))->setEnabled(enabled);
        Command(QString::fromLatin1(menu))->setEnabled(enabled);
        if (popup)
            Command(QString::fromLatin1(popup))->setEnabled(enabled);
    };
    set(Toolbar1, "Cut", "mnuCut", "mnuCutPopup", parent != TreeModel::NoItem);
    set(Toolbar1, "Copy", "mnuCopy", "mnuCopyPopup", parent != TreeModel::NoItem);
    set(Toolbar1, "Paste", "mnuPaste", "mnuPastePopup", !m_objCopiedNode.isNull());
    set(Toolbar1, "Up", "mnuMoveUp", nullptr, hasPrevious);
    set(Toolbar1, "Down", "mnuMoveDown", nullptr, nodes.Next(item) != TreeModel::NoItem);
    set(Toolbar1, "Right", "mnuMoveRight", nullptr, hasPrevious);
    set(Toolbar1, "Left", "mnuMoveLeft", nullptr,
        parent != TreeModel::NoItem && nodes.Parent(parent) != TreeModel::NoItem);
    set(Toolbox, "Element", "mnuNewElement", "mnuElementPopup", type == NODE_ELEMENT);
    const bool notAttribute = type != NODE_ATTRIBUTE;
    set(Toolbox, "Text", "mnuNewText", "mnuTextPopup", notAttribute);
    set(Toolbox, "Comment", "mnuNewComment", "mnuCommentPopup", notAttribute);
    set(Toolbox, "CData", "mnuNewCDATA", "mnuCDataPopup", notAttribute);
    set(Toolbox, "PInstructions", "mnuNewPI", "mnuPinstPopup", notAttribute);
    set(nullptr, nullptr, "mnuUpdate", "mnuUpdatePopup",
        notAttribute && type != NODE_PROCESSING_INSTRUCTION);
    set(nullptr, nullptr, "mnuSpecialUpdate", "mnuSpecialUpdatePopup", type != NODE_ELEMENT);
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
    const auto keep = [this](QAction* action) {
        if (action && !m_itemCommandsAway.contains(action)) {
            m_itemCommandsAway.insert(action, action->isEnabled());
            action->setEnabled(false);
        }
    };
    for (const MenuEntry& entry : MenuTable()) {
        if (entry.handler && IsItemCommand(entry.handler))
            keep(Command(QString::fromLatin1(entry.name)));
    }
    for (const auto& [bar, keys] :
         {std::pair{Toolbar1, Toolbar1Keys()}, {Toolbox, ToolboxKeys()}}) {
        for (const KeyDispatch& key : keys) {
            if (key.handler && IsItemCommand(key.handler))
                keep(Button(bar, QString::fromLatin1(key.key)));
        }
    }
}
