// The views shown anew from the Document, Apply and the error reports.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "tree/treebuilder.h"
#include "validation/validationrun.h"

using namespace DocumentRules;

// The session tells what happened to the document; the window shows it.
void frmMain::connectSession() {
    m_session.SetWaiter(WaiterFor(StatusBar1));
    m_session.SetTextView({
        [this] { return m_txtXML->HasTyping(); },
        [this] { return m_txtXML->Utf8Text(); },
        // While the view's text is still being compared with the Document's (after Apply), the
        // file is written by the comparing worker once the text turned out to be the Document's,
        // else when the other text is put in. Nothing shows the file before: showing the web view
        // hides the text view, which waits for the answer.
        [this](const std::function<bool(QByteArrayView)>& read) {
            return m_txtXML->isVisible() && !m_txtXML->HasTextSource() &&
                   !m_txtXML->HasTyping() && m_txtXML->ReadHeldText(read);
        },
        [this] { return m_WebBrowser->isVisible(); },
    });
    connect(&m_session, &DocumentSession::fileNameChanged, this, &frmMain::UpdateFormCaption);
    connect(&m_session, &DocumentSession::historyChanged, this, [this] {
        if (m_validation)
            m_validation->UpdateStale();
        updateUndoCaptions();
    });
    connect(&m_session, &DocumentSession::documentAboutToBeReplaced, this,
            [this] { m_wndTree->Nodes().Clear(); });
    connect(&m_session, &DocumentSession::documentReplaced, this, &frmMain::showWholeTree);
    connect(&m_session, &DocumentSession::parseFailed, this, &frmMain::showParseError);
}

namespace {
// The busy pointer over the tree while it is built, put back also when building fails.
struct TreeWaitPointer {
    explicit TreeWaitPointer(TreeControl& tree) : m_tree(tree) {
        m_tree.SetMousePointer(TreeControl::PointerWait);
    }
    ~TreeWaitPointer() { m_tree.SetMousePointer(TreeControl::PointerDefault); }
    TreeControl& m_tree;
};
} // namespace

void frmMain::showWholeTree() {
    m_wndTree->Nodes().Clear();
    if (m_objDocument.isNull())
        return;
    TreeWaitPointer wait(*m_wndTree);
    ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, m_objDocument.asNode(), m_wndTree->Nodes(),
                                 m_lTreeTextMaxLength);
}

void frmMain::showParseError(const XmlParseError& error) {
    MsgBox(ParseErrorReport(error), MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
}

void frmMain::HandleError() {
    const ErrorReport report = ReportFor(std::current_exception(), m_objDocument);
    if (!report.show)
        return;
    MsgBox(report.text, MsgButtons::OKOnly,
           report.parseError ? MsgIcon::Information : MsgIcon::Critical, kAppTitle);
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
void frmMain::RefreshViews(bool bRebuildTree, QByteArrayView readFrom) {
    if (bRebuildTree)
        m_labelOfInsert = TreeModel::NoItem;
    try {
        QByteArray reread;
        if (bRebuildTree && !m_session.Refresh(&reread))
            showWholeTree();
        setTextViewFromDocument();
        m_session.WriteWebFile(reread.isEmpty() ? readFrom : QByteArrayView(reread));
        m_WebBrowser->Navigate(WebFilePath());
    } catch (...) {
        MsgBox(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly, MsgIcon::Critical,
               kAppTitle);
    }
    UpdateFormCaption();
    UpdateUndoCommands();
}

void frmMain::mnuRefresh_Click() {
    RefreshViews(true);
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
        m_session.ApplyText(m_txtXML->Utf8Content(), QStringLiteral("Apply Text"));
        RefreshViews(true);
    } else if (!m_WebBrowser->isHidden()) {
        RefreshViews(true);
    } else {
        MsgBox(QStringLiteral("Cannot apply last changes."), MsgButtons::OKOnly, MsgIcon::Critical,
               kAppTitle);
    }
}
