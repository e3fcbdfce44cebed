// The commands on the whole text (Indent, the clipboard transfer, Print), Find and the Query
// Analyzer.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/documentrules.h"
#include "document/indenter.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/printservice.h"
#include "platform/views/richtextbox.h"
#include "search/findwalk.h"
#include "search/frmfind.h"
#include "search/frmquery.h"

#include <QTreeView>
#include <new>

using namespace DocumentRules;

// The layout is made aside from the view's own buffer (input waits meanwhile, so it cannot
// change), with the progress shown and Esc to stop it. The view gets the finished text as one
// step of its undo, only when the layout changed; it counts as typing only where there was typing
// before. The Document gets the new layout only when the user applies the text view.
void frmMain::IndentXML() {
    if (m_txtXML->isReadOnly())
        return; // the text stands for bytes that must not change
    const QByteArrayView shown = m_txtXML->Utf8Content();
    std::optional<QByteArray> indented;
    if (!RunAside(
            StatusBar1, QStringLiteral("Indenting"), 2 * shown.size(), true,
            [&](WorkProgress& progress) { indented = Indenter::IndentXML(shown, &progress); }) ||
        !indented || *indented == shown)
        return;
    if (!m_txtXML->ReplaceLayout(*indented))
        throw std::bad_alloc();
}

// The Document's own text is copied; typing not yet applied in the text view is not.
void frmMain::CopyClipboardText() {
    try {
        Ui().setClipboardText(Document().xml());
    } catch (...) {
        tell(QStringLiteral("Cannot copy the text. XML is not valid."), MsgIcon::Critical);
    }
}

// The text becomes the Document in an undo step, when it parses; it is not in any file yet.
void frmMain::PasteClipboardText() {
    QString text = Ui().clipboardText();
    if (text.isEmpty())
        return tell(QStringLiteral("The clipboard holds no text."), MsgIcon::Information);
    QByteArray utf8;
    if (m_session.PasteXml(std::move(text), &utf8))
        RefreshViews(true, utf8);
}

// What is printed is the document as it stands, like a save would write it (or the text that did
// not parse, while there is no Document); typing not yet applied in the text view is not.
void frmMain::PrintXML() {
    const QString name = m_strFileName.isEmpty() ? kAppTitle : LastPathPart(m_strFileName);
    if (Printing().printXml(GetTextFromXML(), name) == PrintResult::Failed)
        tell(QStringLiteral("The XML could not be printed."), MsgIcon::Critical);
}

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
    if (dialog.bFindAll)
        FindAllText(dialog.strTextToFind, m_bMatchCase, m_bMatchAllWord);
    else
        FindText(dialog.strTextToFind, m_bMatchCase, m_bMatchAllWord);
}

void frmMain::mnuFindNext_Click() {
    if (m_lstTextToFind->isEmpty())
        return;
    SelectFirstItemIfNone();
    FindText(m_lstTextToFind->constLast(), m_bMatchCase, m_bMatchAllWord);
}

// Searches the labels after the selected item. Only the selection changes: the found item's
// ancestors open so that it can be seen.
void frmMain::FindText(const QString& strFind, bool bMatchCase, bool bMatchAllWord) {
    TreeModel& nodes = m_wndTree->Nodes();
    const TreeModel::ItemId found = ::FindText(nodes, strFind, m_wndTree->SelectedItem(),
                                               bMatchCase, bMatchAllWord, m_lTreeTextMaxLength);
    if (found == TreeModel::NoItem)
        return tell(QStringLiteral("The specified region has been searched."),
                    MsgIcon::Information);
    for (TreeModel::ItemId up = nodes.Parent(found); up != TreeModel::NoItem; up = nodes.Parent(up))
        m_wndTree->SetExpanded(up, true);
    m_wndTree->SetSelectedItem(found);
}

void frmMain::buildFindResultsPanel() {
    m_findResultsPanel = new FindResultsPanel(this);
    m_findResultsPanel->Attach(*this, *Command(QStringLiteral("mnuFindResultsPanel")));
    connect(m_findResultsPanel, &FindResultsPanel::rowActivated, this,
            [this] { guarded([this] { RunCommand(&frmMain::mnuGoToFindResult_Click); }); });
}

// The walk tests the labels on the user-interface thread, where the tree is, passing over the
// window's events every few thousand items: the progress shows, and Esc stops it with the matches
// found so far. The rows are filled as they are scrolled to.
void frmMain::FindAllText(const QString& strFind, bool bMatchCase, bool bMatchAllWord) {
    LongOperation operation(StatusBar1, QStringLiteral("Finding"));
    FoundNodes found = ::FindAll(m_wndTree->Nodes(), strFind, bMatchCase, bMatchAllWord,
                                 m_lTreeTextMaxLength,
                                 [&operation](qint64) { return operation.Step(); });
    m_findResultsPanel->ShowResults(std::move(found), strFind, operation.Cancelled(),
                                    m_objDocument, m_lTreeTextMaxLength);
    m_findResultsPanel->ShowInWindow();
    m_findResultsPanel->Rows()->setFocus();
}

// A row's item selected in the tree view, with only the items on the way to it built.
void frmMain::mnuGoToFindResult_Click() {
    bool gone = false;
    const XmlNode node = m_findResultsPanel->CurrentNode(m_objDocument, gone);
    if (gone)
        return tell(QStringLiteral("The item is no longer in the document: find again."),
                    MsgIcon::Information);
    if (!node.isNull())
        showInTree(node);
}

// A result's node in the main window; the query's snapshot must still be the Document.
void frmMain::showQueryResult(const XmlNodePlace& place, const XmlDocumentStamp& taken) {
    if (!taken.isCurrentFor(m_objDocument))
        return tell(QStringLiteral("The document has changed since this query: run it again."),
                    MsgIcon::Information);
    const XmlNode node = NodeAtPlace(m_objDocument, place);
    if (node.isNull())
        return;
    raise();
    activateWindow();
    showInTree(node);
}

// One window at a time; a second opening takes a new snapshot and brings it to the front.
void frmMain::mnuQuery_Click() {
    if (!m_frmQuery) {
        m_frmQuery = new frmQuery(this, m_lTreeTextMaxLength);
        m_frmQuery->NodeChosen = [this](const XmlNodePlace& place, const XmlDocumentStamp& taken) {
            guarded([&] { showQueryResult(place, taken); });
        };
    }
    m_frmQuery->SetDomObject(m_objDocument);
    m_frmQuery->show();
    m_frmQuery->raise();
    m_frmQuery->activateWindow();
}
