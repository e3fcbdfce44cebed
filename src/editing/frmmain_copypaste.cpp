// Cut, copy and paste of items through the copy buffer.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/ui/uiservices.h"
#include "tree/treebuilder.h"

void frmMain::mnuCopy_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (item == TreeModel::NoItem)
        return;
    const XmlNode node = m_wndTree->Nodes().Tag(item);
    if (node.isNull())
        return;
    // The copy lives in a document of its own, so that it neither keeps a released document
    // alive nor depends on one.
    m_objCopiedNode = XmlNode();
    XmlDocument buffer = XmlDocument::create();
    m_objCopiedNode = buffer.importNode(node, true);
}

void frmMain::mnuCut_Click() {
    mnuCopy_Click();
    DeleteSelectedItem(m_wndTree->SelectedItem());
    m_bNeedToSave = true;
}

void frmMain::mnuPaste_Click() {
    guarded([&] {
        if (m_objCopiedNode.isNull())
            return;
        TreeModel& nodes = m_wndTree->Nodes();
        const TreeModel::ItemId selected = m_wndTree->SelectedItem();
        if (selected == TreeModel::NoItem)
            throw MissingObjectError();
        XmlNode target = nodes.Tag(selected);
        XmlNode pasted;
        if (m_objCopiedNode.nodeType() != NODE_ATTRIBUTE) {
            pasted = Document().importNode(m_objCopiedNode, true);
            target.appendChild(pasted);
        } else {
            const QString name = m_objCopiedNode.nodeName();
            if (!target.attributes().getNamedItem(name).isNull()) {
                MsgBox(QStringLiteral("Attribute '") + name + QStringLiteral("' already exists."),
                       MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
                return;
            }
            target.setAttribute(name, m_objCopiedNode.text());
            pasted = target.attributes().getNamedItem(name);
        }
        const TreeModel::ItemId item =
            nodes.Add(selected, TreeModel::tvwChild, QStringLiteral("New"));
        ModGeneral::AddXmlNodeToTree(item, pasted, nodes, m_lTreeTextMaxLength);
        m_wndTree->SetExpanded(selected, true);
        m_bNeedToSave = true;
    });
}
