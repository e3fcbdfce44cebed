// The Query Analyzer through its window: keys, buttons, pop-up menu, snapshot, messages, stops.

#include "app/statuspanels.h"
#include "platform/work/asidework.h"
#include "platform/xml/xmlquery.h"
#include "search/frmquery.h"
#include "support/mainwindowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QWindow>

namespace {

using Id = TreeModel::ItemId;

const QByteArray kCatalogue = R"(<?xml version="1.0"?>
<list><item id="1">one<b>bold</b></item><item id="2">two</item><!--note--><item id="3"/><?pi data?></list>)";

// Quadratic merges: this query ends in a test's time only when it is stopped.
const QString kSlowQuery = QStringLiteral("//*//*//*//*//*");
QByteArray slowDocument() {
    return "<r>" + QByteArray("<a><b><c/><c/></b></a>").repeated(40000) + "</r>";
}

class QueryTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        AsideWork::WaitForAll();
    }
    void load(const QByteArray& xml) {
        window->markSaved();
        window->DropFiles({writeFile(QStringLiteral("doc%1.xml").arg(++m_files), xml)});
    }
    frmQuery* open() {
        // A window closed before is gone by now, as after any turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        trigger("mnuQuery");
        EXPECT_TRUE(window->m_frmQuery && waitUntilActive(window->m_frmQuery));
        return window->m_frmQuery;
    }
    // Types the query, chooses the option and presses `key` in `at` (the query box); waits.
    void run(frmQuery* q, const QString& query, bool single = false, Qt::Key key = Qt::Key_Return,
             QWidget* at = nullptr) {
        (single ? q->optSingle : q->optList)->setChecked(true);
        q->txtQuery->setText(query);
        QSignalSpy finished(q, &frmQuery::QueryFinished);
        QTest::keyClick(at ? at : q->txtQuery, key);
        ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    }
    static QAction* go(frmQuery* q) { return q->findChild<QAction*>("Toolbar1.Play"); }
    static TreeModel& results(frmQuery* q) { return q->m_wndTree->Nodes(); }
    static int resultCount(frmQuery* q) {
        return results(q).ChildCount(results(q).FirstTopLevel());
    }
    // "QueryResults" and the labels of its children, the children of the first one after "|".
    static QString shown(frmQuery* q) {
        TreeModel& t = results(q);
        const Id top = t.FirstTopLevel();
        if (!top)
            return {};
        EXPECT_EQ(t.Next(top), TreeModel::NoItem) << "one top-level item";
        EXPECT_EQ(t.Image(top), frmQuery::kResultsImage);
        QStringList out{t.Text(top)};
        for (Id c = t.Child(top); c; c = t.Next(c))
            out << t.Text(c);
        if (const Id first = t.Child(top)) {
            out << QStringLiteral("|");
            for (Id c = t.Child(first); c; c = t.Next(c))
                out << t.Text(c);
        }
        return out.join(QLatin1Char(','));
    }
    int m_files = 0;
};

// Each row is queried in the open window after a new document: the snapshot and tip follow it.
TEST_F(QueryTest, ResultsShowTheMatchingNodesWithTheirSubtrees) {
    const struct {
        const char* xml; // null for the catalogue
        const char* query;
        bool single;
        const char* shown;
        const char* prefix; // named in the tip for the default namespace
    } rows[] = {
        {nullptr, "//item", true, "QueryResults,item,|,id = \"1\",one,b", ""},
        {nullptr, "//item", false, "QueryResults,item,item,item,|,id = \"1\",one,b", ""},
        {nullptr, "//item[2]/text() | //comment() | //processing-instruction()", false,
         "QueryResults,two,note,pi data,|", ""},
        {nullptr, "list/item[@id='3']", false, "QueryResults,item,|,id = \"3\"", ""},
        {R"(<r xmlns="urn:x"><item a="1"/></r>)", "//d:item", false,
         "QueryResults,item,|,a = \"1\"", "d"},
        {R"(<r xmlns="urn:x" xmlns:d="urn:d" xmlns:d1="urn:d1"><item/><d:item k="v"/></r>)",
         "//d2:item | //d:item", false, "QueryResults,item,d:item,|", "d2"},
        {R"(<r xmlns:p="urn:p"><p:a>x</p:a></r>)", "//p:a", true, "QueryResults,p:a,|,x", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.query);
        load(row.xml ? QByteArray(row.xml) : kCatalogue);
        frmQuery* q = open();
        EXPECT_EQ(q->txtQuery->toolTip(),
                  *row.prefix ? QStringLiteral("Elements in the document element's default "
                                               "namespace are named with the prefix %1: in "
                                               "queries, as in //%1:name")
                                    .arg(QString::fromLatin1(row.prefix))
                              : QString());
        run(q, QString::fromLatin1(row.query), row.single);
        EXPECT_EQ(shown(q), QString::fromLatin1(row.shown));
    }
    // Without a Document it queries an empty one.
    window->m_frmQuery->cmdCancel->click();
    window->m_objDocument = XmlDocument();
    frmQuery* q = open();
    EXPECT_EQ(q->txtQuery->toolTip(), QString());
    ui.expectMessage(QStringLiteral("Cannot execute the specific query."), MsgButtons::OKOnly,
                     MsgIcon::Information);
    run(q, QStringLiteral("//*"), true);
    EXPECT_TRUE(results(q).IsEmpty());
}

TEST_F(QueryTest, QueriesThatShowNothingSayWhyAndKeepTheOldResults) {
    const struct {
        const char* query;
        bool single;
        bool error; // a Query Error, else information from the program
        const char* text;
    } rows[] = {
        {"//missing", true, false, "Cannot execute the specific query."},
        {"//missing", false, false, "No matching results were found."},
        {"//item[", false, true, "Invalid expression"},
        {"//@id", false, true, "An attribute cannot be inserted as a child node."},
        {"//item | //@id", false, true, "An attribute cannot be inserted as a child node."},
        {"/", true, true, "This kind of node cannot be copied."},
        // The XML declaration is no node of queries.
        {"/processing-instruction('xml')", true, false, "Cannot execute the specific query."},
        {"//namespace::*", false, true, "A namespace node cannot be inserted as a child node."},
        {"count(//item)", false, true, "Expression does not evaluate to a node-set."},
        {"//q:item", false, true, "Undefined namespace prefix"},
    };
    load(kCatalogue);
    frmQuery* q = open();
    run(q, QStringLiteral("//item[1]"));
    const QString before = shown(q);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.query);
        ui.expectMessage(QString::fromLatin1(row.text), MsgButtons::OKOnly,
                         row.error ? MsgIcon::Critical : MsgIcon::Information,
                         row.error ? QStringLiteral("Query Error")
                                   : QStringLiteral("Orvel XML Editor"));
        run(q, QString::fromLatin1(row.query), row.single);
        ui.verify();
        EXPECT_EQ(shown(q), before);
    }
}

TEST_F(QueryTest, QueriesSeeTheSnapshotUntilOpenedAgainAndResultsOpenByThePopUpMenu) {
    load(kCatalogue);
    frmQuery* q = open();
    EXPECT_EQ(q->windowHandle()->transientParent(), window->windowHandle()) << "kept in front";
    run(q, QStringLiteral("//item"), false, Qt::Key_F5);
    EXPECT_EQ(resultCount(q), 3);
    changeDocument();
    window->m_objDocument.documentElement().appendChild(
        window->m_objDocument.createElement(QStringLiteral("item")));
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(resultCount(q), 3) << "the edit is not seen";
    // The open window is shown again with its query and results, and a new snapshot.
    click(window->Toolbar1, "Query");
    EXPECT_EQ(window->m_frmQuery, q);
    EXPECT_TRUE(q->isVisible());
    EXPECT_EQ(q->txtQuery->text(), QStringLiteral("//item"));
    EXPECT_EQ(resultCount(q), 3);
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(resultCount(q), 4);
    EXPECT_EQ(window->m_objDocument.documentElement().childNodes().length(), 7)
        << "queries never change the Document";
    // F5 where no control takes it runs the query too.
    q->m_wndTree->setFocus();
    run(q, QStringLiteral("//comment()"), false, Qt::Key_F5, q->m_wndTree);
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,note,edit,|"));

    // A right click selects a result; Expand All opens everything below it.
    run(q, QStringLiteral("/list"));
    TreeModel& t = results(q);
    q->m_wndTree->SetExpanded(t.FirstTopLevel(), true);
    const Id list = t.Child(t.FirstTopLevel());
    QCoreApplication::processEvents();
    QTest::mouseClick(q->m_wndTree->viewport(), Qt::RightButton, {},
                      q->m_wndTree->visualRect(t.IndexOf(list)).center());
    EXPECT_EQ(q->m_wndTree->SelectedItem(), list);
    EXPECT_TRUE(q->mnuPopup->isVisible());
    q->mnuPopup->findChild<QAction*>(QStringLiteral("mnuExpandAll"))->trigger();
    q->mnuPopup->hide();
    int expanded = 0, withChildren = 0;
    for (std::vector<Id> stack{list}; !stack.empty();) {
        const Id item = stack.back();
        stack.pop_back();
        if (t.ChildCount(item) == 0)
            continue;
        ++withChildren;
        expanded += q->m_wndTree->Expanded(item) ? 1 : 0;
        for (Id c = t.Child(item); c; c = t.Next(c))
            stack.push_back(c);
    }
    EXPECT_EQ(withChildren, 5); // list, its first three items (attributes count), b
    EXPECT_EQ(expanded, withChildren);
}

// Stop, Esc and closing abandon a running query at once; the snapshot it held is freed off the
// window's thread, and the window opened again starts afresh.
TEST_F(QueryTest, StopAndClosingAbandonARunningQuery) {
    load(slowDocument());
    frmQuery* q = open();
    run(q, QStringLiteral("/r/a"));
    EXPECT_EQ(results(q).BuiltCount(), 1) << "a huge result list waits to be opened";
    q->m_wndTree->SetExpanded(results(q).FirstTopLevel(), true);
    EXPECT_EQ(resultCount(q), 40000);
    EXPECT_EQ(results(q).BuiltCount(), 40001) << "the results' own children wait too";
    const QString before = shown(q);
    q->txtQuery->setText(kSlowQuery);
    go(q)->trigger();
    EXPECT_TRUE(q->IsRunning());
    EXPECT_FALSE(q->lblRunning->isHidden());
    EXPECT_EQ(go(q)->text(), QStringLiteral("Stop   "));
    go(q)->trigger();
    EXPECT_FALSE(q->IsRunning());
    EXPECT_TRUE(q->lblRunning->isHidden());
    EXPECT_EQ(go(q)->text(), QStringLiteral("Go !   "));
    AsideWork::WaitForAll(); // ends only because the evaluation was stopped
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(q), before) << "a stopped query shows nothing and says nothing";
    run(q, QStringLiteral("/r/a[2]/b"));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,b,|,c,c"));

    const std::weak_ptr<XmlStorage> snapshot = q->Source().asNode().storage();
    q->txtQuery->setText(kSlowQuery);
    QTest::keyClick(q->txtQuery, Qt::Key_Return);
    ASSERT_TRUE(q->IsRunning());
    const QPointer<frmQuery> closing(q);
    QTest::keyClick(q->txtQuery, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    AsideWork::WaitForAll();
    EXPECT_TRUE(snapshot.expired());

    q = open();
    EXPECT_EQ(q->txtQuery->text(), QString());
    EXPECT_TRUE(q->optSingle->isChecked());
    EXPECT_TRUE(results(q).IsEmpty());
    run(q, QStringLiteral("/r/a[1]/b/c"));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,c,c,|"));
}

TEST_F(QueryTest, OnlyEveryHundredAndFirstFailedLayoutComplains) {
    frmQuery* q = open();
    expectLayoutComplaintEvery101([q](int times) {
        for (int i = 0; i < times; ++i) {
            q->resize(8 + i % 2, 8);
            QCoreApplication::processEvents();
        }
    });
    q->resize(400, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(q->cmdCancel->geometry().right(), q->Frame1->geometry().right());
}

// A deep copy that reads back the same, outlives its original and does not see later edits.
TEST(QuerySnapshot, IsADeepCopyAndAStopRequestedBeforeTheQueryEndsIt) {
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML(QStringLiteral(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY e \"ent\"> ]>\n"
        "<r xmlns:p=\"urn:p\"><p:a x=\"1\">&e;<![CDATA[c]]></p:a><!--c--><?t d?></r>")));
    const XmlDocument copy = doc.snapshot();
    EXPECT_EQ(copy.xml(), doc.xml());
    doc.documentElement().appendChild(doc.createElement(QStringLiteral("b")));
    EXPECT_NE(copy.xml(), doc.xml());
    doc = XmlDocument();
    EXPECT_EQ(copy.documentElement().childNodes().length(), 3);
    XmlQueryStop stop;
    EXPECT_EQ(SelectNodes(copy.asNode(), QStringLiteral("//p:a"), &stop).length(), 1);
    stop.request();
    EXPECT_THROW(SelectNodes(copy.asNode(), QStringLiteral("//p:a"), &stop), XmlQueryStopped);
}

} // namespace

// Copy XPath puts the selected item's path on the clipboard, the status bar shows it, and the
// Query Analyzer finds that item's node by it and nothing else.
TEST_F(QueryTest, CopyXPathGivesThePathTheQueryAnalyzerFindsTheItemBy) {
    load(R"(<list xmlns="urn:l"><item id="1">one<b>bold</b></item><item id="2">two</item>
<!--note--><item id="3"/><?pi data?></list>)");
    TreeModel& nodes = window->m_wndTree->Nodes();
    // The second item's text, built on the way down as a user expands to it.
    Id at = nodes.FirstTopLevel();
    while (at && nodes.Text(at) != QLatin1String("list"))
        at = nodes.Next(at);
    ASSERT_NE(at, TreeModel::NoItem);
    window->m_wndTree->SetExpanded(at, true);
    Id item = nodes.Child(at);
    for (int seen = 0; item; item = nodes.Next(item)) {
        if (nodes.Text(item) == QLatin1String("item") && ++seen == 2)
            break;
    }
    ASSERT_NE(item, TreeModel::NoItem);
    window->m_wndTree->SetExpanded(item, true);
    at = nodes.Child(item);
    while (at && nodes.Text(at) != QLatin1String("two"))
        at = nodes.Next(at);
    ASSERT_NE(at, TreeModel::NoItem);
    window->m_wndTree->SetSelectedItem(at);
    EXPECT_EQ(window->StatusBar1->Path(), QStringLiteral("/d:list/d:item[2]/text()"));
    window->m_wndTree->setFocus();
    QTest::keyClick(window->m_wndTree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ui.clipboard, QStringLiteral("/d:list/d:item[2]/text()"));
    frmQuery* q = open();
    run(q, ui.clipboard);
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,two,|"));

    // Enter or a double-click on a result selects its node's item in the main window.
    window->m_wndTree->SetSelectedItem(nodes.FirstTopLevel());
    TreeModel& found = results(q);
    const Id result = found.Child(found.FirstTopLevel());
    q->m_wndTree->SetSelectedItem(result);
    QTest::keyClick(q->m_wndTree, Qt::Key_Return);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), at);
    window->m_wndTree->SetSelectedItem(nodes.FirstTopLevel());
    q->m_wndTree->SetSelectedItem(result);
    const QRect rect = q->m_wndTree->visualRect(found.IndexOf(result));
    QTest::mouseDClick(q->m_wndTree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(window->m_wndTree->SelectedItem(), at);

    // Once the Document changed, the snapshot's places may lead elsewhere.
    changeDocument();
    ui.expectMessage(QStringLiteral("The document has changed since this query: run it again."),
                     MsgButtons::OKOnly, MsgIcon::Information);
    q->m_wndTree->SetSelectedItem(result);
    QTest::keyClick(q->m_wndTree, Qt::Key_Return);
    window->markSaved();
}
