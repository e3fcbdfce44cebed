// Update, Special Update and the edit flow of the two item editors.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "editing/editordialogs.h"
#include "platform/ui/uiservices.h"
#include "platform/xml/xmlerror.h"
#include "tree/treebuilder.h"

namespace {
void showInformation(const QString& text) {
    MsgBox(text, MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
}
} // namespace

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
    guarded([&] { inUndoStep(QStringLiteral("Update"), [this] { editFlow(true); }); });
    guarded([&] { UpdateUndoCommands(); });
}

void frmMain::editFlow(bool fromDoubleClick) {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (m_objDocument.isNull() || item == TreeModel::NoItem)
        return;
    TreeModel& nodes = m_wndTree->Nodes();
    XmlNode node = nodes.Tag(item);
    const int type = node.nodeType();
    bool written = false;
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION || type == NODE_COMMENT) {
        frmTextEditor editor;
        editor.strText = node.text();
        editor.setCaption(type == NODE_TEXT            ? QStringLiteral("Text Editor")
                          : type == NODE_CDATA_SECTION ? QStringLiteral("CDdata Editor")
                                                       : QStringLiteral("Comment Editor"));
        ShowModal(editor);
        if (editor.bOK) {
            node.setText(editor.strText);
            nodes.SetText(item, ModGeneral::ShortenedText(node.text(), m_lTreeTextMaxLength));
            written = true;
        }
    } else if (type == NODE_ATTRIBUTE || type == NODE_PROCESSING_INSTRUCTION) {
        frmAttributeEditor editor;
        editor.strName = node.nodeName();
        editor.strText = node.text();
        editor.setCaption(type == NODE_ATTRIBUTE ? QStringLiteral("Attribute Editor")
                                                 : QStringLiteral("Processing Instruction Editor"));
        ShowModal(editor);
        if (!editor.bOK || (editor.strName == node.nodeName() && editor.strText == node.text()))
            return;
        written = true;
        if (type == NODE_ATTRIBUTE) {
            XmlNode owner = nodes.Tag(nodes.Parent(item));
            const QString oldName = node.nodeName();
            QString name = editor.strName;
            if (name != oldName) {
                if (!owner.attributes().getNamedItem(name).isNull()) {
                    showInformation(QStringLiteral("Attribute '") + name +
                                    QStringLiteral("' already exists."));
                    return;
                }
            }
            // The new attribute is set before the old one goes, so that a name the XML layer
            // refuses leaves the element exactly as it was; so is an old name it will not let go
            // (a namespace declaration still in use), by taking the new one away again.
            try {
                owner.setAttribute(name, editor.strText);
                if (name != oldName) {
                    try {
                        owner.removeAttribute(oldName);
                    } catch (const XmlError&) {
                        owner.removeAttribute(name);
                        throw;
                    }
                }
            } catch (const XmlError& e) {
                showInformation(e.description());
                name = oldName;
                written = false;
            }
            const XmlNode current = owner.attributes().getNamedItem(name);
            nodes.SetTag(item, current);
            nodes.SetText(item, ModGeneral::AttributeLabel(current.nodeName(), current.text()));
        } else {
            XmlNode replacement =
                Document().createProcessingInstruction(editor.strName, editor.strText);
            node.parentNode().replaceChild(replacement, node);
            nodes.SetText(item, replacement.nodeName() + QLatin1Char(' ') + replacement.text());
            nodes.SetTag(item, replacement);
        }
    }
    if (written && fromDoubleClick)
        MarkChanged();
}
