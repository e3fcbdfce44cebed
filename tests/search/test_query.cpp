// The Query Analyzer driven through its real window: its keys, buttons and pop-up menu, the
// snapshot it queries, the messages it shows and the queries it abandons.

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

// A query whose evaluation takes far longer than any test may run (its merges are quadratic):
// it only ends in time when it is stopped.
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
    // Opens the analyzer from the Tools menu.
    frmQuery* open() {
        // A window closed before is gone by now, as after any turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        trigger("mnuQuery");
        if (window->m_frmQuery) {
            EXPECT_TRUE(waitUntilActive(window->m_frmQuery));
        }
        return window->m_frmQuery;
    }
    // Types the query, chooses the option and presses `key` in the query box; waits for the end.
    void run(frmQuery* q, const QString& query, bool single = false, Qt::Key key = Qt::Key_Return) {
        (single ? q->optSingle : q->optList)->setChecked(true);
        q->txtQuery->setText(query);
        QSignalSpy finished(q, &frmQuery::QueryFinished);
        QTest::keyClick(q->txtQuery, key);
        ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    }
    static QAction* go(frmQuery* q) {
        return q->findChild<QAction*>(QStringLiteral("Toolbar1.Play"));
    }
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
    // Closes the window with Esc; it is gone at once.
    static void escape(frmQuery* q) {
        QPointer<frmQuery> closing(q);
        QTest::keyClick(q->txtQuery, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(closing.isNull());
    }

    int m_files = 0;
};

TEST_F(QueryTest, ResultsShowTheMatchingNodesWithTheirSubtrees) {
    const struct {
        const char* name;
        QByteArray xml;
        const char* query;
        bool single;
        const char* shown;
    } rows[] = {
        {"single query shows only the first match", kCatalogue, "//item", true,
         "QueryResults,item,|,id = \"1\",one,b"},
        {"list query shows every match in document order", kCatalogue, "//item", false,
         "QueryResults,item,item,item,|,id = \"1\",one,b"},
        {"text, comment and instruction results", kCatalogue,
         "//item[2]/text() | //comment() | //processing-instruction()", false,
         "QueryResults,two,note,pi data,|"},
        {"a query is relative to the document", kCatalogue, "list/item[@id='3']", false,
         "QueryResults,item,|,id = \"3\""},
        {"default namespace under d", R"(<r xmlns="urn:x"><item a="1"/></r>)", "//d:item", false,
         "QueryResults,item,|,a = \"1\""},
        {"d declared, so the default namespace under d1",
         R"(<r xmlns="urn:x" xmlns:d="urn:d"><item/><d:item k="v"/></r>)", "//d1:item | //d:item",
         false, "QueryResults,item,d:item,|"},
        {"prefixes of the document element", R"(<r xmlns:p="urn:p"><p:a>x</p:a></r>)", "//p:a",
         true, "QueryResults,p:a,|,x"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        load(row.xml);
        frmQuery* q = open();
        run(q, QString::fromLatin1(row.query), row.single);
        EXPECT_EQ(shown(q), QString::fromLatin1(row.shown));
        q->cmdCancel->click();
    }
}

TEST_F(QueryTest, QueriesThatShowNothingSayWhyAndKeepTheOldResults) {
    const QString app = QStringLiteral("Orvel XML Editor"), error = QStringLiteral("Query Error");
    const struct {
        const char* query;
        bool single;
        const char* text;
        MsgIcon icon;
        QString title;
    } rows[] = {
        {"//missing", true, "Cannot execute the specific query.", MsgIcon::Information, app},
        {"//missing", false, "No matching results were found.", MsgIcon::Information, app},
        {"//item[", false, "Invalid expression", MsgIcon::Critical, error},
        {"//@id", false, "An attribute cannot be inserted as a child node.", MsgIcon::Critical,
         error},
        {"//item | //@id", false, "An attribute cannot be inserted as a child node.",
         MsgIcon::Critical, error},
        {"/", true, "This kind of node cannot be copied.", MsgIcon::Critical, error},
        // The XML declaration is no node of queries.
        {"/processing-instruction('xml')", true, "Cannot execute the specific query.",
         MsgIcon::Information, app},
        {"//namespace::*", false, "A namespace node cannot be inserted as a child node.",
         MsgIcon::Critical, error},
        {"count(//item)", false, "Expression does not evaluate to a node-set.", MsgIcon::Critical,
         error},
        {"//q:item", false, "Undefined namespace prefix", MsgIcon::Critical, error},
    };
    load(kCatalogue);
    frmQuery* q = open();
    run(q, QStringLiteral("//item[1]"));
    const QString before = shown(q);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.query);
        ui.expectMessage(QString::fromLatin1(row.text), MsgButtons::OKOnly, row.icon, row.title);
        run(q, QString::fromLatin1(row.query), row.single);
        ui.verify();
        EXPECT_EQ(shown(q), before);
    }
}

TEST_F(QueryTest, QueriesSeeTheSnapshotUntilTheAnalyzerIsOpenedAgain) {
    load(kCatalogue);
    frmQuery* q = open();
    EXPECT_EQ(q->windowTitle(), QStringLiteral("Query Analyzer"));
    ASSERT_NE(q->windowHandle(), nullptr);
    EXPECT_EQ(q->windowHandle()->transientParent(), window->windowHandle())
        << "the window manager keeps it in front of the main window";
    EXPECT_EQ(q->windowType(), Qt::Dialog) << "else Qt does not tell the window system";
    EXPECT_FALSE(q->isModal());
    run(q, QStringLiteral("//item"), false, Qt::Key_F5);
    EXPECT_EQ(resultCount(q), 3);
    changeDocument();
    window->m_objDocument.documentElement().appendChild(
        window->m_objDocument.createElement(QStringLiteral("item")));
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(resultCount(q), 3) << "the edit is not seen";

    click(window->Toolbar1, "Query");
    EXPECT_EQ(window->m_frmQuery, q) << "the open window is reused";
    EXPECT_TRUE(q->isVisible());
    EXPECT_EQ(q->txtQuery->text(), QStringLiteral("//item")) << "the query text stays";
    EXPECT_EQ(resultCount(q), 3) << "the results stay";
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(resultCount(q), 4);
    EXPECT_EQ(window->m_objDocument.documentElement().childNodes().length(), 7)
        << "queries never change the Document";

    // The Go button, and F5 where no control takes it, run the query too.
    QSignalSpy finished(q, &frmQuery::QueryFinished);
    q->txtQuery->setText(QStringLiteral("//b"));
    go(q)->trigger();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,b,|,bold"));
    q->txtQuery->setText(QStringLiteral("//comment()"));
    q->m_wndTree->setFocus();
    QTest::keyClick(q->m_wndTree, Qt::Key_F5);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,note,edit,|"));
}

TEST_F(QueryTest, RightClickSelectsAResultAndExpandAllOpensEverythingBelowIt) {
    load(kCatalogue);
    frmQuery* q = open();
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
    EXPECT_EQ(withChildren, 5); // list, its three items (attributes count), b
    EXPECT_EQ(expanded, withChildren);
}

TEST_F(QueryTest, AHugeResultListBuildsOnlyTheResultsItem) {
    QByteArray xml = "<r>";
    for (int i = 0; i < 20000; ++i)
        xml += "<e n=\"" + QByteArray::number(i) + "\"><c/></e>";
    load(xml + "</r>");
    frmQuery* q = open();
    run(q, QStringLiteral("//e"));
    EXPECT_EQ(results(q).BuiltCount(), 1);
    q->m_wndTree->SetExpanded(results(q).FirstTopLevel(), true);
    EXPECT_EQ(resultCount(q), 20000);
    EXPECT_EQ(results(q).BuiltCount(), 20001) << "the results' own children wait too";
}

// Stop, Esc and closing abandon a running query at once; the snapshot it held is freed off the
// window's thread, and the window opened again starts afresh.
TEST_F(QueryTest, StopAndClosingAbandonARunningQuery) {
    load(slowDocument());
    frmQuery* q = open();
    run(q, QStringLiteral("/r/a[1]"));
    const QString before = shown(q);
    q->txtQuery->setText(kSlowQuery);
    go(q)->trigger();
    EXPECT_TRUE(q->IsRunning());
    EXPECT_FALSE(q->lblRunning->isHidden()) << "the window shows that a query runs";
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
    escape(q);
    AsideWork::WaitForAll();
    EXPECT_TRUE(snapshot.expired());

    q = open();
    EXPECT_EQ(q->txtQuery->text(), QString());
    EXPECT_TRUE(q->optSingle->isChecked());
    EXPECT_TRUE(results(q).IsEmpty());
    run(q, QStringLiteral("/r/a[1]/b/c"));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,c,c,|"));
}

TEST_F(QueryTest, WithoutADocumentTheAnalyzerQueriesAnEmptyDocument) {
    window->m_objDocument = XmlDocument();
    frmQuery* q = open();
    ASSERT_NE(q, nullptr);
    ui.expectMessage(QStringLiteral("Cannot execute the specific query."), MsgButtons::OKOnly,
                     MsgIcon::Information);
    run(q, QStringLiteral("//*"), true);
    EXPECT_TRUE(results(q).IsEmpty());
}

TEST_F(QueryTest, TheQueryBoxTipNamesTheDefaultNamespacePrefix) {
    load(R"(<r xmlns="urn:x" xmlns:d="urn:d" xmlns:d1="urn:d1"/>)");
    frmQuery* q = open();
    EXPECT_TRUE(q->txtQuery->toolTip().contains(QStringLiteral("prefix d2:")))
        << q->txtQuery->toolTip().toStdString();
    load("<r/>");
    open();
    EXPECT_EQ(q->txtQuery->toolTip(), QString()) << "a new snapshot without one";
}

TEST_F(QueryTest, OnlyEveryHundredAndFirstFailedLayoutComplains) {
    frmQuery* q = open();
    q->resize(400, 400);
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

TEST(QuerySnapshot, IsADeepCopyThatReadsBackTheSameAndIgnoresLaterEdits) {
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML(QStringLiteral(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY e \"ent\"> ]>\n"
        "<r xmlns:p=\"urn:p\"><p:a x=\"1\">&e;<![CDATA[c]]></p:a><!--c--><?t d?></r>")));
    const XmlDocument copy = doc.snapshot();
    EXPECT_EQ(copy.xml(), doc.xml());
    EXPECT_EQ(SelectNodes(copy.asNode(), QStringLiteral("//p:a"), nullptr).length(), 1);
    doc.documentElement().appendChild(doc.createElement(QStringLiteral("b")));
    EXPECT_NE(copy.xml(), doc.xml());
    doc = XmlDocument();
    EXPECT_EQ(copy.documentElement().childNodes().length(), 3) << "it outlives its original";

    // A stop requested before the query ends it before it starts.
    XmlQueryStop stop;
    EXPECT_EQ(SelectNodes(copy.asNode(), QStringLiteral("//p:a"), &stop).length(), 1);
    stop.request();
    EXPECT_THROW(SelectNodes(copy.asNode(), QStringLiteral("//p:a"), &stop), XmlQueryStopped);
}

} // namespace
