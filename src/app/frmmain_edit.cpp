// The item commands: insert, update, delete, move, cut, copy and paste. The work is ItemEdits';
// here are the dialogs, the messages and the selection.

#include "app/frmmain.h"

#include "editing/editordialogs.h"
#include "platform/errors.h"
#include "platform/xml/xmlpath.h"

void frmMain::selectItem(TreeModel::ItemId item) {
    m_wndTree->SetSelectedItem(item);
    UpdateCommandState(item);
}

void frmMain::mnuNewElement_Click() {
    guarded([&] {
        const TreeModel::ItemId item = ItemEdits::InsertElement(
            m_wndTree->Nodes(), Document(), m_wndTree->SelectedItem(), m_iElementCounter);
        if (item == TreeModel::NoItem)
            return;
        selectItem(item);
        m_labelOfInsert = item;
        m_wndTree->StartLabelEdit();
        MarkChanged();
    });
}

// Text, comment and CDATA section: inserted empty, with the label open for typing.
void frmMain::insertEditableLeaf(XmlNode (XmlDocument::*create)(const QString&),
                                 const QString& image) {
    guarded([&] {
        const TreeModel::ItemId selected = m_wndTree->SelectedItem();
        if (selected == TreeModel::NoItem)
            return;
        selectItem(ItemEdits::InsertLeaf(m_wndTree->Nodes(), selected,
                                         (Document().*create)(QString()), image));
        MarkChanged();
        m_labelOfInsert = m_wndTree->SelectedItem();
        m_wndTree->StartLabelEdit();
    });
}

// An attribute or processing instruction, named and valued in the attribute editor first.
void frmMain::insertNamed(bool attribute) {
    guarded([&] {
        const TreeModel::ItemId selected = m_wndTree->SelectedItem();
        if (selected == TreeModel::NoItem)
            return;
        frmAttributeEditor editor;
        editor.setCaption(attribute ? QStringLiteral("Attribute Editor")
                                    : QStringLiteral("Processing Instruction Editor"));
        if (attribute)
            offerAttributeChoices(editor, ItemEdits::ElementOf(m_wndTree->Nodes(), selected), true);
        ShowModal(editor);
        if (editor.bOK) {
            QString refusal;
            const TreeModel::ItemId item =
                attribute ? ItemEdits::InsertAttribute(m_wndTree->Nodes(), selected, editor.strName,
                                                       editor.strText, refusal)
                          : ItemEdits::InsertLeaf(m_wndTree->Nodes(), selected,
                                                  Document().createProcessingInstruction(
                                                      editor.strName, editor.strText),
                                                  ModGeneral::kPInstructions);
            if (item == TreeModel::NoItem)
                return tell(refusal, MsgIcon::Information);
            selectItem(item);
        }
        MarkChanged();
    });
}

void frmMain::mnuUpdate_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (m_objDocument.isNull() || item == TreeModel::NoItem)
        return;
    const int type = m_wndTree->Nodes().Tag(item).nodeType();
    if (type != NODE_PROCESSING_INSTRUCTION && type != NODE_ATTRIBUTE)
        m_wndTree->StartLabelEdit();
    else
        guarded([&] { editFlow(false); });
    MarkChanged();
}

void frmMain::mnuSpecialUpdate_Click() {
    if (m_objDocument.isNull() || m_wndTree->SelectedItem() == TreeModel::NoItem)
        return;
    guarded([&] { editFlow(false); });
    MarkChanged();
}

void frmMain::m_wndTree_DblClick() {
    guarded([&] { m_session.InUndoStep(QStringLiteral("Update"), [this] { editFlow(true); }); });
    guarded([&] { UpdateUndoCommands(); });
}

// The item's editor; an attribute or processing instruction given back as it was is no change.
void frmMain::editFlow(bool fromDoubleClick) {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (m_objDocument.isNull() || item == TreeModel::NoItem)
        return;
    TreeModel& nodes = m_wndTree->Nodes();
    const XmlNode node = nodes.Tag(item);
    const std::unique_ptr<EditorDialog> editor = EditorFor(node);
    if (!editor)
        return;
    if (auto* attribute = qobject_cast<frmAttributeEditor*>(editor.get());
        attribute && node.nodeType() == NODE_ATTRIBUTE)
        offerAttributeChoices(*attribute, node.ownerElement(), false);
    ShowModal(*editor);
    const auto* named = qobject_cast<frmAttributeEditor*>(editor.get());
    if (!editor->bOK ||
        (named && named->strName == node.nodeName() && editor->strText == node.text()))
        return;
    QString refusal;
    bool written = true;
    if (!named)
        ItemEdits::SetText(nodes, item, editor->strText, m_lTreeTextMaxLength);
    else if (node.nodeType() == NODE_PROCESSING_INSTRUCTION)
        ItemEdits::ReplaceInstruction(nodes, Document(), item, named->strName, editor->strText);
    else
        written = ItemEdits::EditAttribute(nodes, item, named->strName, editor->strText, refusal);
    if (!refusal.isEmpty())
        tell(refusal, MsgIcon::Information);
    if (written && fromDoubleClick)
        MarkChanged();
}

void frmMain::mnuDeleteItem_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (item != TreeModel::NoItem &&
        askYes(QStringLiteral("Are you sure you want to delete the selected item?"),
               MsgIcon::Question))
        DeleteSelectedItem(item);
}

void frmMain::DeleteSelectedItem(TreeModel::ItemId item) {
    if (item != TreeModel::NoItem)
        guarded([&] { ItemEdits::Delete(m_wndTree->Nodes(), item); });
}

void frmMain::moveItem(ItemEdits::Move move) {
    const TreeModel::ItemId selected = m_wndTree->SelectedItem();
    if (selected == TreeModel::NoItem)
        return;
    const TreeModel::ItemId moved =
        ItemEdits::MoveItem(m_wndTree->Nodes(), Document(), selected, move, m_lTreeTextMaxLength);
    if (moved == TreeModel::NoItem)
        return tell(QStringLiteral("Item cannot be moved to the selected direction."),
                    MsgIcon::Critical);
    guarded([&] { selectItem(moved); });
}

// A refused copy leaves the copy buffer as it was.
void frmMain::mnuCopy_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    const XmlNode copy =
        item == TreeModel::NoItem ? XmlNode() : ItemEdits::Copy(m_wndTree->Nodes(), item);
    if (!copy.isNull())
        m_objCopiedNode = copy;
}

void frmMain::mnuCut_Click() {
    mnuCopy_Click();
    DeleteSelectedItem(m_wndTree->SelectedItem());
}

void frmMain::mnuPaste_Click() {
    guarded([&] {
        if (m_objCopiedNode.isNull())
            return;
        const TreeModel::ItemId selected = m_wndTree->SelectedItem();
        if (selected == TreeModel::NoItem)
            throw MissingObjectError();
        QString refusal;
        if (!ItemEdits::Paste(m_wndTree->Nodes(), Document(), selected, m_objCopiedNode,
                              m_lTreeTextMaxLength, refusal))
            return tell(refusal, MsgIcon::Information);
        m_wndTree->SetExpanded(selected, true);
    });
}

// The selected item's path, for the Query Analyzer or another program.
void frmMain::mnuCopyXPath_Click() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (m_objDocument.isNull() || item == TreeModel::NoItem)
        return;
    const QString path = XPathOf(m_wndTree->Nodes().Tag(item));
    if (!path.isEmpty())
        Ui().setClipboardText(path);
}
