// Inserting elements, texts, comments, CDATA sections, attributes and processing instructions.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "editing/editordialogs.h"
#include "platform/errors.h"
#include "platform/ui/uiservices.h"
#include "tree/treebuilder.h"

#include <limits>

void frmMain::mnuNewElement_Click() {
    guarded([&] {
        TreeModel& nodes = m_wndTree->Nodes();
        TreeModel::ItemId item = TreeModel::NoItem;
        XmlNode element;
        if (nodes.IsEmpty()) {
            element = Document().createElement(QStringLiteral("Root"));
            Document().appendChild(element);
            item = nodes.Add(QStringLiteral("Root"), ModGeneral::kElement);
        } else {
            const TreeModel::ItemId selected = m_wndTree->SelectedItem();
            if (selected == TreeModel::NoItem || nodes.Tag(selected).nodeType() != NODE_ELEMENT)
                return;
            // The counter is 16 bits wide: past its largest value every further insert fails.
            if (m_iElementCounter == std::numeric_limits<qint16>::max())
                throw DescribedError(QStringLiteral("Overflow"));
            ++m_iElementCounter;
            const QString name = QStringLiteral("Element") + QString::number(m_iElementCounter);
            element = Document().createElement(name);
            nodes.Tag(selected).appendChild(element);
            item = nodes.Add(selected, TreeModel::tvwChild, name, ModGeneral::kElement);
        }
        nodes.SetTag(item, element);
        m_wndTree->SetSelectedItem(item);
        UpdateCommandState(item);
        m_labelOfInsert = item;
        m_wndTree->StartLabelEdit();
        MarkChanged();
    });
}

// Under a selected element the node becomes its last child; next to any other item it lands
// directly after it (so also after the XML declaration, which nothing may precede).
void frmMain::insertLeaf(XmlNode node, const QString& image) {
    TreeModel& nodes = m_wndTree->Nodes();
    const TreeModel::ItemId selected = m_wndTree->SelectedItem();
    XmlNode anchor = nodes.Tag(selected);
    const bool underElement = anchor.nodeType() == NODE_ELEMENT;
    TreeModel::ItemId item;
    const QString label = image == ModGeneral::kPInstructions
                              ? node.nodeName() + QLatin1Char(' ') + node.text()
                              : QString();
    if (underElement) {
        anchor.appendChild(node);
        item = nodes.Add(selected, TreeModel::tvwChild, label, image);
    } else {
        anchor.parentNode().insertBefore(node, anchor.nextSibling());
        item = nodes.Add(selected, TreeModel::tvwNext, label, image);
    }
    nodes.SetTag(item, node);
    m_wndTree->SetSelectedItem(item);
    UpdateCommandState(item);
}

// Text, comment and CDATA section: inserted empty, with the label open for typing.
void frmMain::insertEditableLeaf(XmlNode (XmlDocument::*create)(const QString&),
                                 const QString& image) {
    guarded([&] {
        if (m_wndTree->SelectedItem() == TreeModel::NoItem)
            return;
        insertLeaf((Document().*create)(QString()), image);
        MarkChanged();
        m_labelOfInsert = m_wndTree->SelectedItem();
        m_wndTree->StartLabelEdit();
    });
}

void frmMain::mnuNewText_Click() {
    insertEditableLeaf(&XmlDocument::createTextNode, ModGeneral::kText);
}

void frmMain::mnuNewComment_Click() {
    insertEditableLeaf(&XmlDocument::createComment, ModGeneral::kComment);
}

void frmMain::mnuNewCDATA_Click() {
    insertEditableLeaf(&XmlDocument::createCDATASection, ModGeneral::kCData);
}

void frmMain::mnuNewPI_Click() {
    guarded([&] {
        if (m_wndTree->SelectedItem() == TreeModel::NoItem)
            return;
        frmAttributeEditor editor;
        editor.strName.clear();
        editor.strText.clear();
        editor.setCaption(QStringLiteral("Processing Instruction Editor"));
        ShowModal(editor);
        if (editor.bOK)
            insertLeaf(Document().createProcessingInstruction(editor.strName, editor.strText),
                       ModGeneral::kPInstructions);
        MarkChanged();
    });
}

void frmMain::mnuNewAttribute_Click() {
    guarded([&] {
        const TreeModel::ItemId selected = m_wndTree->SelectedItem();
        if (selected == TreeModel::NoItem)
            return;
        frmAttributeEditor editor;
        editor.strName.clear();
        editor.strText.clear();
        editor.setCaption(QStringLiteral("Attribute Editor"));
        ShowModal(editor);
        if (editor.bOK) {
            TreeModel& nodes = m_wndTree->Nodes();
            const TreeModel::ItemId ownerItem =
                nodes.Tag(selected).nodeType() == NODE_ELEMENT ? selected : nodes.Parent(selected);
            XmlNode owner = nodes.Tag(ownerItem);
            if (owner.isNull())
                throw MissingObjectError();
            if (!owner.attributes().getNamedItem(editor.strName).isNull()) {
                MsgBox(QStringLiteral("Attribute '") + editor.strName +
                           QStringLiteral("' already exists."),
                       MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
                return;
            }
            owner.setAttribute(editor.strName, editor.strText);
            const XmlNode attribute = owner.attributes().getNamedItem(editor.strName);
            const QString label =
                ModGeneral::AttributeLabel(attribute.nodeName(), attribute.text());
            // Attribute items stay in front of the other child items.
            TreeModel::ItemId item;
            TreeModel::ItemId walk = nodes.Child(ownerItem);
            if (walk == TreeModel::NoItem) {
                item = nodes.Add(ownerItem, TreeModel::tvwChild, label, ModGeneral::kAttribute);
            } else {
                while (nodes.Tag(walk).nodeType() == NODE_ATTRIBUTE &&
                       nodes.Next(walk) != TreeModel::NoItem)
                    walk = nodes.Next(walk);
                item = nodes.Tag(walk).nodeType() == NODE_ATTRIBUTE
                           ? nodes.Add(walk, TreeModel::tvwLast, label, ModGeneral::kAttribute)
                           : nodes.Add(walk, TreeModel::tvwPrevious, label, ModGeneral::kAttribute);
            }
            m_wndTree->SetSelectedItem(item);
            nodes.SetTag(item, attribute);
            UpdateCommandState(item);
        }
        MarkChanged();
    });
}
