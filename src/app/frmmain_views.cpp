// The views: shown anew from the Document, switched, Apply; the commands each view offers.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "platform/xml/xmlpath.h"

#include "app/commandtable.h"
#include "app/statuspanels.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "platform/ui/longoperation.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "tree/itemcommands.h"
#include "tree/treebuilder.h"

#include <QAction>

using namespace DocumentRules;

// The session tells what happened to the document; the window shows it.
void frmMain::connectSession() {
    m_session.SetWaiter(WaiterFor(StatusBar1));
    m_session.SetTextView(sessionView());
    connect(&m_session, &DocumentSession::fileNameChanged, this, &frmMain::UpdateFormCaption);
    // Open, a drop, the command line and Save As give the document its file: it is recent.
    connect(&m_session, &DocumentSession::fileNameChanged, this, [this] {
        if (!m_strFileName.isEmpty()) {
            m_recentFiles.Add(m_strFileName);
            showRecentFiles();
        }
    });
    connect(&m_session, &DocumentSession::historyChanged, this, [this] {
        if (m_validation)
            m_validation->UpdateStale();
        if (m_findResultsPanel)
            m_findResultsPanel->UpdateStale(m_objDocument);
        // A rename or a move changes the selected item's path.
        showSelectedPath();
        updateUndoCaptions();
    });
    connect(&m_session, &DocumentSession::documentAboutToBeReplaced, this,
            [this] { m_wndTree->Nodes().Clear(); });
    // Matches can lead nowhere once the Document is packed; the copied item is kept in a
    // document of its own, to be pasted into the next. The hidden text view's copy of the text,
    // with its styles twice its size, is written again when next wanted.
    connect(&m_session, &DocumentSession::documentMakingRoom, this, [this] {
        m_textGuard->letGo([this] { return m_objDocument; });
        if (m_findResultsPanel)
            m_findResultsPanel->Clear();
        if (!m_objCopiedNode.isNull())
            m_objCopiedNode = XmlDocument::create().importNode(m_objCopiedNode, true);
    });
    connect(&m_session, &DocumentSession::documentReplaced, this, &frmMain::showWholeTree);
    connect(&m_session, &DocumentSession::parseFailed, this, [this](const XmlParseError& error) {
        if (!m_parseReportsQuiet)
            tell(ParseErrorReport(error), MsgIcon::Information);
    });
}

// The busy pointer is over the tree while it is built.
void frmMain::showWholeTree() {
    m_wndTree->Nodes().Clear();
    if (m_objDocument.isNull())
        return;
    m_wndTree->SetMousePointer(TreeControl::PointerWait);
    const auto done =
        qScopeGuard([this] { m_wndTree->SetMousePointer(TreeControl::PointerDefault); });
    ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, m_objDocument.asNode(), m_wndTree->Nodes(),
                                 m_lTreeTextMaxLength);
}

void frmMain::HandleError() {
    const ErrorReport report = ReportFor(std::current_exception(), m_objDocument);
    if (report.show)
        tell(report.text, report.parseError ? MsgIcon::Information : MsgIcon::Critical);
}

// The text view gets the Document's text as of now; it is written out only when needed.
void frmMain::setTextViewFromDocument() {
    if (m_objDocument.isNull())
        m_textGuard->showText(m_strXMLText);
    else
        m_textGuard->showDocument(m_objDocument);
    m_txtXML->Refresh();
}

// With `bRebuildTree` the Document is refreshed first (read again from its own text when it
// changed since it was parsed, the text then also the web view's file) and the tree built anew.
void frmMain::RefreshViews(bool bRebuildTree, const QByteArray& readFrom) {
    if (bRebuildTree)
        m_labelOfInsert = TreeModel::NoItem;
    try {
        QByteArray reread;
        if (bRebuildTree && !m_session.Refresh(&reread))
            showWholeTree();
        setTextViewFromDocument();
        m_session.WriteWebFile(reread.isEmpty() ? readFrom : reread);
        m_WebBrowser->Navigate(WebFilePath());
    } catch (...) {
        tell(QStringLiteral("Action cannot be completed"), MsgIcon::Critical);
    }
    UpdateFormCaption();
    UpdateUndoCommands();
}

void frmMain::webFileAfterTextReplaced() {
    if (!m_session.WebFileFromView())
        return;
    m_session.WriteWebFile();
    m_WebBrowser->Navigate(WebFilePath());
}

void frmMain::ToolbarApply_ButtonClick(const QString& key) {
    if (key != QLatin1String("Apply"))
        return;
    if (!m_wndTree->isHidden()) {
        setTextViewFromDocument();
        RefreshViews(false);
    } else if (!m_txtXML->isHidden()) {
        applyTextView();
        RefreshViews(true);
    } else if (!m_WebBrowser->isHidden()) {
        RefreshViews(true);
    } else {
        tell(QStringLiteral("Cannot apply last changes."), MsgIcon::Critical);
    }
}

void frmMain::ToolbarView_ButtonClick(int index) {
    // Typing goes into the Document when the text view is left, so that no change is made through
    // the tree, nor the web view shown, while typing waits in a view that does not show it. Text
    // that does not parse keeps the text view, after the report.
    if (index >= 1 && index <= 3 && index != 2 && !m_txtXML->isHidden() && m_txtXML->HasTyping()) {
        ToolbarApply_ButtonClick(QStringLiteral("Apply"));
        if (m_objDocument.isNull())
            index = 2;
    }
    const QList<QAction*> items = {Command(QStringLiteral("mnuTreeView")),
                                   Command(QStringLiteral("mnutextView")),
                                   Command(QStringLiteral("mnuWebView"))};
    for (QAction* a : items)
        a->setChecked(false);
    if (index < 1 || index > 3)
        return;
    if (index == 3)
        m_session.FinishWebFileCopy();
    showView(index);
    Button(ToolbarApply, QStringLiteral("Apply"))->setEnabled(index != 3);
    items[index - 1]->setChecked(true);
    ItemCommandsFollowView();
    updateUndoCaptions();
}

void frmMain::showSelectedPath() {
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    const XmlNode node = item == TreeModel::NoItem ? XmlNode() : m_wndTree->Nodes().Tag(item);
    StatusBar1->ShowPath(node.isNull() || !node.isAttachedToDocument() ? QString() : XPathOf(node));
}

void frmMain::UpdateCommandState(TreeModel::ItemId item) {
    // Away from the tree the selection is looked at again when the tree comes back. An empty tree
    // (text that does not parse stands instead of a Document) has nothing to act on.
    if (m_wndTree->Nodes().IsEmpty())
        item = TreeModel::NoItem;
    else if (item == TreeModel::NoItem || m_wndTree->Nodes().Tag(item).isNull())
        return;
    StatusBar1->ShowPath(item == TreeModel::NoItem ? QString()
                                                   : XPathOf(m_wndTree->Nodes().Tag(item)));
    if (m_wndTree->isHidden())
        return;
    for (const auto& [command, enabled] :
         ItemCommandStates(m_wndTree->Nodes(), item, !m_objCopiedNode.isNull()))
        Command(QString::fromLatin1(command))->setEnabled(enabled);
}

void frmMain::ItemCommandsFollowView() {
    if (HoldItemCommands(*this, m_wndTree->isHidden(), m_itemCommandsAway))
        UpdateCommandState(m_wndTree->SelectedItem());
}
