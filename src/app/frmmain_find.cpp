// Find and Find Next: the dialog, the history of search texts and the search of the tree.

#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"
#include "search/findwalk.h"
#include "search/frmfind.h"

void frmMain::mnuFind_Click() {
    frmFind dialog(this);
    dialog.Form_Load(*m_lstTextToFind, m_bMatchCase, m_bMatchAllWord);
    ShowModal(dialog);
    SelectFirstItemIfNone();
    if (!dialog.bOK)
        return;
    AddNewTextToFindCol(dialog.strTextToFind);
    m_bMatchCase = dialog.blnMatchCase;
    m_bMatchAllWord = dialog.blnMatchAll;
    FindText(dialog.strTextToFind, m_bMatchCase, m_bMatchAllWord);
}

void frmMain::mnuFindNext_Click() {
    if (m_lstTextToFind->isEmpty())
        return;
    SelectFirstItemIfNone();
    FindText(m_lstTextToFind->constLast(), m_bMatchCase, m_bMatchAllWord);
}

void frmMain::AddNewTextToFindCol(const QString& strNew) {
    m_lstTextToFind->removeAll(strNew);
    m_lstTextToFind->append(strNew);
}

void frmMain::SelectFirstItemIfNone() {
    if (m_wndTree->SelectedItem() == TreeModel::NoItem)
        m_wndTree->SetSelectedItem(m_wndTree->Nodes().FirstTopLevel());
}

// Only the selection changes: the found item's ancestors open so that it can be seen.
void frmMain::FindText(const QString& strFind, bool bMatchCase, bool bMatchAllWord) {
    TreeModel& nodes = m_wndTree->Nodes();
    const TreeModel::ItemId found = ::FindText(nodes, strFind, m_wndTree->SelectedItem(),
                                               bMatchCase, bMatchAllWord, m_lTreeTextMaxLength);
    if (found == TreeModel::NoItem) {
        MsgBox(QStringLiteral("The specified region has been searched."), MsgButtons::OKOnly,
               MsgIcon::Information, DocumentRules::kAppTitle);
        return;
    }
    for (TreeModel::ItemId up = nodes.Parent(found); up != TreeModel::NoItem; up = nodes.Parent(up))
        m_wndTree->SetExpanded(up, true);
    m_wndTree->SetSelectedItem(found);
}
