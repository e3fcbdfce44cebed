// The Query Analyzer's queries: the snapshot they run on, the worker that runs them, and the
// result tree.

#include "search/frmquery.h"

#include "document/documentrules.h"
#include "platform/ui/uiservices.h"
#include "platform/work/asidework.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlquery.h"
#include "search/queryjob.h"
#include "tree/treebuilder.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolBar>
#include <memory>

namespace {

const QString kQueryError = QStringLiteral("Query Error");

void notice(const QString& text) {
    MsgBox(text, MsgButtons::OKOnly, MsgIcon::Information, DocumentRules::kAppTitle);
}

// Results are shown as copies under a "QueryResults" element, so a node that cannot stand under
// an element fails the query with the reason the XML layer gives for it (an attribute, the
// document itself, the XML declaration), as does a namespace node. The kinds that always can are
// not tried.
void checkPlaceable(XmlDocument& results, XmlNode& probe, const XmlNode& node) {
    if (node.isNamespaceDeclaration())
        throw XmlError(QStringLiteral("A namespace node cannot be inserted as a child node."));
    switch (node.nodeType()) {
    case NODE_ELEMENT:
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
    case NODE_ENTITY_REFERENCE:
        return;
    case NODE_PROCESSING_INSTRUCTION:
        if (node.nodeName() != QLatin1String("xml"))
            return;
        break;
    default:
        break;
    }
    probe.appendChild(results.importNode(node, false));
}

// The copy is made on a thread of its own while this one waits (nothing can change the document
// meanwhile). Its memory then comes from another allocator arena than the window's, so that
// freeing it later on a background thread does not hold up the window's own allocations.
XmlDocument takeSnapshot(const XmlDocument& document) {
    XmlDocument copy;
    AsideWork::Start([&] { copy = document.snapshot(); })->Wait();
    return copy;
}

} // namespace

void frmQuery::SetDomObject(const XmlDocument& document) {
    XmlDocument fresh = document.isNull() ? XmlDocument::create() : takeSnapshot(document);
    AsideWork::Release(std::exchange(m_objSource, std::move(fresh)));
    m_sourceStamp = document.isNull() ? XmlDocumentStamp() : XmlDocumentStamp(document);
    const QString prefix = DefaultNamespacePrefix(m_objSource.documentElement());
    txtQuery->setToolTip(
        prefix.isEmpty()
            ? QString()
            : QStringLiteral("Elements in the document element's default namespace are named "
                             "with the prefix %1: in queries, as in //%1:name")
                  .arg(prefix));
}

void frmQuery::Toolbar1_ButtonClick(const QString& key) {
    if (key != QLatin1String("Play"))
        return;
    if (IsRunning())
        StopQuery();
    else
        runQuery();
}

void frmQuery::runQuery() {
    if (optSingle->isChecked())
        SelectSingleXMLNode(txtQuery->text());
    else
        SelectListXMLNode(txtQuery->text());
}

void frmQuery::SelectSingleXMLNode(const QString& strQuery) {
    start(strQuery, true);
}

void frmQuery::SelectListXMLNode(const QString& strQuery) {
    start(strQuery, false);
}

void frmQuery::start(const QString& query, bool single) {
    if (m_job)
        m_job->Abandon();
    m_bSingle = single;
    m_queryStamp = m_sourceStamp;
    m_job = QueryJob::Start(m_objSource, query, [this] {
        QMetaObject::invokeMethod(
            this, [this] { jobFinished(); }, Qt::QueuedConnection);
    });
    setRunning(true);
}

void frmQuery::StopQuery() {
    if (!m_job)
        return;
    m_job->Abandon();
    m_job.reset();
    setRunning(false);
    emit QueryFinished();
}

void frmQuery::setRunning(bool running) {
    QAction* play = Toolbar1->actions().constFirst();
    play->setText(running ? QStringLiteral("Stop   ") : QStringLiteral("Go !   "));
    play->setToolTip(running ? QStringLiteral("Stop the query")
                             : QStringLiteral("Execute Query ! (F5)"));
    lblRunning->setVisible(running);
    setCursor(running ? Qt::BusyCursor : Qt::ArrowCursor);
}

void frmQuery::jobFinished() {
    // A message posted by a job that was replaced since finds the new one still running.
    std::optional<QueryJob::Result> result = m_job ? m_job->Take() : std::nullopt;
    if (!result)
        return;
    m_job.reset();
    setRunning(false);
    try {
        if (result->failed)
            throw XmlError(result->error);
        if (m_bSingle && result->nodes.length() == 0) {
            notice(QStringLiteral("Cannot execute the specific query."));
        } else if (result->nodes.length() == 0) {
            notice(QStringLiteral("No matching results were found."));
        } else {
            XmlNodeList nodes =
                m_bSingle ? XmlNodeList({result->nodes.item(0)}) : std::move(result->nodes);
            showResults(result->source, std::move(nodes));
        }
    } catch (const DescribedError& e) {
        MsgBox(e.description(), MsgButtons::OKOnly, MsgIcon::Critical, kQueryError);
    } catch (const std::exception& e) {
        MsgBox(QString::fromLocal8Bit(e.what()), MsgButtons::OKOnly, MsgIcon::Critical,
               kQueryError);
    }
    // Whatever of the result is not shown may be the last hold on an older snapshot.
    AsideWork::Release(std::move(*result));
    emit QueryFinished();
}

void frmQuery::showResults(XmlDocument source, XmlNodeList nodes) {
    XmlDocument results = XmlDocument::create();
    XmlNode container = results.appendChild(results.createElement(QStringLiteral("QueryResults")));
    XmlNode probe = results.createElement(QStringLiteral("QueryResults"));
    for (const XmlNode& node : nodes)
        checkPlaceable(results, probe, node);
    releaseResults();
    TreeModel& tree = m_wndTree->Nodes();
    const TreeModel::ItemId top =
        ModGeneral::AddXmlNodeListToTree(container, std::move(nodes), tree, m_maxTextLength);
    tree.SetImage(top, kResultsImage);
    m_shownSource = std::move(source);
    m_shownStamp = m_queryStamp;
}

void frmQuery::chooseResult() {
    TreeModel& tree = m_wndTree->Nodes();
    const TreeModel::ItemId item = m_wndTree->SelectedItem();
    if (item == TreeModel::NoItem || item == tree.FirstTopLevel() || !NodeChosen)
        return;
    const XmlNodePlace place = PlaceOf(tree.Tag(item));
    if (!place.isNull())
        NodeChosen(place, m_shownStamp);
}
