// Moving items up, down, left and right.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/ui/uiservices.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treebuilder.h"

void frmMain::mnuMoveUp_Click() {
    moveItem(Move::Up);
}
void frmMain::mnuMoveDown_Click() {
    moveItem(Move::Down);
}
void frmMain::mnuMoveLeft_Click() {
    moveItem(Move::Left);
}
void frmMain::mnuMoveRight_Click() {
    moveItem(Move::Right);
}

// The node moves first in the Document, then its item is built anew at the new place. A move
// the Document refuses after the node was taken out is taken back whole, so the refusal
// message always finds the Document and the tree as they were.
void frmMain::moveItem(Move move) {
    TreeModel& nodes = m_wndTree->Nodes();
    const TreeModel::ItemId selected = m_wndTree->SelectedItem();
    if (selected == TreeModel::NoItem)
        return;
    try {
        const XmlNode node = nodes.Tag(selected);
        TreeModel::ItemId reference = TreeModel::NoItem;
        switch (move) {
        case Move::Up:
        case Move::Right:
            reference = nodes.Previous(selected);
            break;
        case Move::Down:
            reference = nodes.Next(selected);
            break;
        case Move::Left:
            reference = nodes.Parent(selected);
            break;
        }
        if (reference == TreeModel::NoItem)
            throw MissingObjectError();
        XmlNode referenceNode = nodes.Tag(reference);
        XmlNode oldParent = node.parentNode();
        if (node.isNull() || referenceNode.isNull() || oldParent.isNull() ||
            (move != Move::Left && referenceNode.parentNode().isNull()))
            throw MissingObjectError();
        // Taken out and put in as one change: a refusal takes back the taking out, and leaves
        // nothing to undo.
        XmlChangeStep change(Document(), QStringLiteral("Move"));
        XmlNode detachFrom = move == Move::Left ? referenceNode : referenceNode.parentNode();
        detachFrom.removeChild(node);
        try {
            switch (move) {
            case Move::Up:
                referenceNode.parentNode().insertBefore(node, referenceNode);
                break;
            case Move::Down:
            case Move::Left: {
                XmlNode parent = referenceNode.parentNode();
                if (parent.isNull())
                    throw MissingObjectError();
                const XmlNode after = referenceNode.nextSibling();
                if (after.isNull())
                    parent.appendChild(node);
                else
                    parent.insertBefore(node, after);
                break;
            }
            case Move::Right:
                referenceNode.appendChild(node);
                break;
            }
        } catch (...) {
            change.rollBack();
            throw;
        }
        change.commit();

        nodes.Remove(selected);
        const bool sideways = move == Move::Left || move == Move::Right;
        const QString placeholder = sideways ? QStringLiteral("New") : QStringLiteral("DUMMY");
        const TreeModel::Relationship relationship = move == Move::Up      ? TreeModel::tvwPrevious
                                                     : move == Move::Right ? TreeModel::tvwChild
                                                                           : TreeModel::tvwNext;
        const TreeModel::ItemId item = nodes.Add(reference, relationship, placeholder);
        ModGeneral::AddXmlNodeToTree(item, node, nodes, m_lTreeTextMaxLength);
        m_wndTree->SetSelectedItem(item);
        UpdateCommandState(item);
    } catch (...) {
        MsgBox(QStringLiteral("Item cannot be moved to the selected direction."),
               MsgButtons::OKOnly, MsgIcon::Critical, DocumentRules::kAppTitle);
    }
}
