// Cut, copy and paste of items through the copy buffer.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/errors.h"
#include "platform/ui/uiservices.h"
#include "tree/treebuilder.h"

#include <algorithm>

void frmMain::mnuCopy_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (item == TreeModel::NoItem)
        return;
    TreeModel& nodes = m_wndTree->Nodes();
    const XmlNode node = nodes.Tag(item);
    if (node.isNull())
        return;
    // The copy lives in a document of its own, so that it neither keeps a released document
    // alive nor depends on one. An attribute is copied with its element, which carries the
    // declarations that give it its namespace. A refused copy leaves the buffer as it was.
    XmlDocument buffer = XmlDocument::create();
    if (node.nodeType() == NODE_ATTRIBUTE) {
        const XmlNode owner = buffer.importNode(nodes.Tag(nodes.Parent(item)), false);
        m_objCopiedNode = owner.attributes().getNamedItem(node.nodeName());
    } else {
        m_objCopiedNode = buffer.importNode(node, true);
    }
}

void frmMain::mnuCut_Click() {
    mnuCopy_Click();
    DeleteSelectedItem(m_wndTree->SelectedItem());
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
        std::vector<XmlNode> pasted;
        if (m_objCopiedNode.nodeType() != NODE_ATTRIBUTE) {
            pasted.push_back(Document().importNode(m_objCopiedNode, true));
            target.appendChild(pasted.front());
        } else {
            const QString name = m_objCopiedNode.nodeName();
            if (!target.attributes().getNamedItem(name).isNull()) {
                MsgBox(QStringLiteral("Attribute '") + name + QStringLiteral("' already exists."),
                       MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
                return;
            }
            // Keeping its namespace may declare a prefix, or give the attribute another one:
            // whatever the element gained gets an item.
            const std::vector<XmlNode> before = target.attributes().toVector();
            target.setAttribute(name, m_objCopiedNode.text(), m_objCopiedNode.namespaceURI());
            for (const XmlNode& attribute : target.attributes().toVector()) {
                if (std::find(before.begin(), before.end(), attribute) == before.end())
                    pasted.push_back(attribute);
            }
        }
        for (const XmlNode& node : pasted) {
            const TreeModel::ItemId item =
                nodes.Add(selected, TreeModel::tvwChild, QStringLiteral("New"));
            ModGeneral::AddXmlNodeToTree(item, node, nodes, m_lTreeTextMaxLength);
        }
        m_wndTree->SetExpanded(selected, true);
    });
}
