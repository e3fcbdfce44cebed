// The Query Analyzer driven through its real window: its keys, buttons and pop-up menu, the
// snapshot it queries, the messages it shows and the queries it abandons.

#include "platform/xml/xmlquery.h"
#include "platform/work/asidework.h"
#include "search/frmquery.h"
#include "support/mainwindowfixture.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

namespace {

const QString kQueryError = QStringLiteral("Query Error");

class QueryTest : public MainWindowTest {
protected:
    using Id = TreeModel::ItemId;

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
    // Types the query, chooses the option and presses Enter in the query box; waits for the end.
    void run(frmQuery* q, const QString& query, bool single = false) {
        (single ? q->optSingle : q->optList)->setChecked(true);
        q->txtQuery->setText(query);
        pressInQueryBox(q, Qt::Key_Return);
    }
    void pressInQueryBox(frmQuery* q, Qt::Key key) {
        QSignalSpy finished(q, &frmQuery::QueryFinished);
        QTest::keyClick(q->txtQuery, key);
        ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    }
    TreeModel& results(frmQuery* q) { return q->m_wndTree->Nodes(); }
    // "QueryResults" and the labels of its children, the children of the first one after "|".
    QString shown(frmQuery* q) {
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

const QByteArray kCatalogue = R"(<?xml version="1.0"?>
<list><item id="1">one<b>bold</b></item><item id="2">two</item><!--note--><item id="3"/><?pi data?></list>)";

TEST_F(QueryTest, ResultsShowTheMatchingNodesWithTheirSubtrees) {
    struct Row {
        const char* name;
        QByteArray xml;
        const char* query;
        bool single;
        const char* shown;
    };
    const Row rows[] = {
        {"single_query_shows_only_the_first_match", kCatalogue, "//item", true,
         "QueryResults,item,|,id = \"1\",one,b"},
        {"list_query_shows_every_match_in_document_order", kCatalogue, "//item", false,
         "QueryResults,item,item,item,|,id = \"1\",one,b"},
        {"text_comment_and_instruction_results", kCatalogue,
         "//item[2]/text() | //comment() | //processing-instruction()", false,
         "QueryResults,two,note,pi data,|"},
        {"a_query_is_relative_to_the_document", kCatalogue, "list/item[@id='3']", false,
         "QueryResults,item,|,id = \"3\""},
        {"default_namespace_under_d", R"(<r xmlns="urn:x"><item a="1"/></r>)", "//d:item", false,
         "QueryResults,item,|,a = \"1\""},
        {"d_declared_so_default_namespace_under_d1",
         R"(<r xmlns="urn:x" xmlns:d="urn:d"><item/><d:item k="v"/></r>)", "//d1:item | //d:item",
         false, "QueryResults,item,d:item,|"},
        {"prefixes_of_the_document_element", R"(<r xmlns:p="urn:p"><p:a>x</p:a></r>)", "//p:a",
         true, "QueryResults,p:a,|,x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        load(row.xml);
        frmQuery* q = open();
        run(q, QString::fromLatin1(row.query), row.single);
        EXPECT_EQ(shown(q), QString::fromLatin1(row.shown));
        q->cmdCancel->click();
    }
}

TEST_F(QueryTest, QueriesThatShowNothingSayWhyAndKeepTheOldResults) {
    struct Row {
        const char* name;
        const char* query;
        bool single;
        const char* text;
        MsgIcon icon;
        QString title;
    };
    const QString app = QStringLiteral("Orvel XML Editor");
    const Row rows[] = {
        {"single_without_match", "//missing", true, "Cannot execute the specific query.",
         MsgIcon::Information, app},
        {"list_without_match", "//missing", false, "No matching results were found.",
         MsgIcon::Information, app},
        {"invalid_query", "//item[", false, "Invalid expression", MsgIcon::Critical, kQueryError},
        {"attribute_cannot_stand_under_an_element", "//@id", false,
         "An attribute cannot be inserted as a child node.", MsgIcon::Critical, kQueryError},
        {"attribute_after_elements_fails_too", "//item | //@id", false,
         "An attribute cannot be inserted as a child node.", MsgIcon::Critical, kQueryError},
        {"the_document_itself", "/", true, "This kind of node cannot be copied.", MsgIcon::Critical,
         kQueryError},
        {"the_xml_declaration_is_no_node_of_queries", "/processing-instruction('xml')", true,
         "Cannot execute the specific query.", MsgIcon::Information, app},
        {"namespace_nodes_cannot_stand_under_an_element", "//namespace::*", false,
         "A namespace node cannot be inserted as a child node.", MsgIcon::Critical, kQueryError},
        {"no_node_set", "count(//item)", false, "Expression does not evaluate to a node-set.",
         MsgIcon::Critical, kQueryError},
        {"unknown_prefix", "//q:item", false, "Undefined namespace prefix", MsgIcon::Critical,
         kQueryError},
    };
    load(kCatalogue);
    frmQuery* q = open();
    run(q, QStringLiteral("//item[1]"));
    const QString before = shown(q);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.expectMessage(QString::fromLatin1(row.text), MsgButtons::OKOnly, row.icon, row.title);
        run(q, QString::fromLatin1(row.query), row.single);
        ui.verify();
        EXPECT_EQ(shown(q), before);
    }
}

TEST_F(QueryTest, QueriesSeeTheSnapshotUntilTheAnalyzerIsOpenedAgain) {
    load(kCatalogue);
    frmQuery* q = open();
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,item,item,item,|,id = \"1\",one,b"));
    changeDocument();
    window->m_objDocument.documentElement().appendChild(
        window->m_objDocument.createElement(QStringLiteral("item")));
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(results(q).ChildCount(results(q).FirstTopLevel()), 3) << "the edit is not seen";

    click(window->Toolbar1, "Query");
    EXPECT_EQ(window->m_frmQuery, q) << "the open window is reused";
    EXPECT_TRUE(q->isVisible());
    EXPECT_EQ(q->txtQuery->text(), QStringLiteral("//item")) << "the query text stays";
    EXPECT_EQ(results(q).ChildCount(results(q).FirstTopLevel()), 3) << "the results stay";
    run(q, QStringLiteral("//item"));
    EXPECT_EQ(results(q).ChildCount(results(q).FirstTopLevel()), 4);
    EXPECT_EQ(window->m_objDocument.documentElement().childNodes().length(), 7)
        << "queries never change the Document";
}

TEST_F(QueryTest, EnterF5AndTheGoButtonRunTheQueryEscClosesAndReopeningStartsAfresh) {
    load(kCatalogue);
    frmQuery* q = open();
    EXPECT_EQ(q->windowTitle(), QStringLiteral("Query Analyzer"));
    ASSERT_NE(q->windowHandle(), nullptr);
    EXPECT_EQ(q->windowHandle()->transientParent(), window->windowHandle())
        << "the window manager keeps it in front of the main window";
    EXPECT_EQ(q->windowType(), Qt::Dialog) << "else Qt does not tell the window system";
    EXPECT_FALSE(q->isModal());
    q->txtQuery->setText(QStringLiteral("//item"));
    q->optList->setChecked(true);
    pressInQueryBox(q, Qt::Key_F5);
    EXPECT_EQ(results(q).ChildCount(results(q).FirstTopLevel()), 3);

    q->txtQuery->setText(QStringLiteral("//b"));
    QSignalSpy finished(q, &frmQuery::QueryFinished);
    QAction* go = q->findChild<QAction*>(QStringLiteral("Toolbar1.Play"));
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->text(), QStringLiteral("Go !   "));
    EXPECT_EQ(go->toolTip(), QStringLiteral("Execute Query ! (F5)"));
    go->trigger();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,b,|,bold"));

    // F5 where no control takes it reaches the window's own key handler.
    q->txtQuery->setText(QStringLiteral("//comment()"));
    q->m_wndTree->setFocus();
    QTest::keyClick(q->m_wndTree, Qt::Key_F5);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,note,|"));

    QPointer<frmQuery> closed(q);
    QTest::keyClick(q->txtQuery, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "Esc unloads the window";

    q = open();
    EXPECT_EQ(q->txtQuery->text(), QString());
    EXPECT_TRUE(q->optSingle->isChecked());
    EXPECT_TRUE(results(q).IsEmpty());
}

TEST_F(QueryTest, RightClickSelectsAResultAndExpandAllOpensEverythingBelowIt) {
    load(kCatalogue);
    frmQuery* q = open();
    run(q, QStringLiteral("/list"));
    TreeModel& t = results(q);
    const Id top = t.FirstTopLevel();
    q->m_wndTree->SetExpanded(top, true);
    const Id list = t.Child(top);
    QCoreApplication::processEvents();
    const QRect where = q->m_wndTree->visualRect(t.IndexOf(list));
    QTest::mouseClick(q->m_wndTree->viewport(), Qt::RightButton, {}, where.center());
    EXPECT_EQ(q->m_wndTree->SelectedItem(), list);
    EXPECT_TRUE(q->mnuPopup->isVisible());
    q->mnuPopup->findChild<QAction*>(QStringLiteral("mnuExpandAll"))->trigger();
    q->mnuPopup->hide();
    int expanded = 0, withChildren = 0;
    std::vector<Id> stack{list};
    while (!stack.empty()) {
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
    EXPECT_EQ(results(q).ChildCount(results(q).FirstTopLevel()), 20000);
    EXPECT_EQ(results(q).BuiltCount(), 20001) << "the results' own children wait too";
}

// A query whose evaluation takes far longer than any test may run (its merges are quadratic):
// it only ends in time when it is stopped.
QByteArray slowDocument() {
    QByteArray xml = "<r>";
    for (int i = 0; i < 40000; ++i)
        xml += "<a><b><c/><c/></b></a>";
    return xml + "</r>";
}
const QString kSlowQuery = QStringLiteral("//*//*//*//*//*");

TEST_F(QueryTest, StopAbandonsARunningQueryAndKeepsTheOldResults) {
    load(slowDocument());
    frmQuery* q = open();
    run(q, QStringLiteral("/r/a[1]"));
    const QString before = shown(q);
    q->txtQuery->setText(kSlowQuery);
    QAction* go = q->findChild<QAction*>(QStringLiteral("Toolbar1.Play"));
    go->trigger();
    EXPECT_TRUE(q->IsRunning());
    EXPECT_FALSE(q->lblRunning->isHidden()) << "the window shows that a query runs";
    EXPECT_EQ(go->text(), QStringLiteral("Stop   "));
    go->trigger();
    EXPECT_FALSE(q->IsRunning());
    EXPECT_TRUE(q->lblRunning->isHidden());
    EXPECT_EQ(go->text(), QStringLiteral("Go !   "));
    AsideWork::WaitForAll(); // ends only because the evaluation was stopped
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(q), before) << "a stopped query shows nothing and says nothing";
    run(q, QStringLiteral("/r/a[2]/b"));
    EXPECT_EQ(shown(q), QStringLiteral("QueryResults,b,|,c,c"));
}

TEST_F(QueryTest, ClosingAbandonsARunningQueryAndFreesItsSnapshotOffTheWindowThread) {
    load(slowDocument());
    frmQuery* q = open();
    const std::weak_ptr<XmlStorage> snapshot = q->Source().asNode().storage();
    q->optList->setChecked(true);
    q->txtQuery->setText(kSlowQuery);
    QTest::keyClick(q->txtQuery, Qt::Key_Return);
    ASSERT_TRUE(q->IsRunning());
    QPointer<frmQuery> closed(q);
    QTest::keyClick(q->txtQuery, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    AsideWork::WaitForAll();
    EXPECT_TRUE(snapshot.expired());
    // The main window goes on as before.
    q = open();
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
    auto squeeze = [q](int times) {
        for (int i = 0; i < times; ++i) {
            q->resize(8 + i % 2, 8);
            QCoreApplication::processEvents();
        }
    };
    q->resize(400, 400);
    expectLayoutComplaintEvery101(squeeze);
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
}

TEST(QuerySnapshot, AStopRequestedBeforeTheQueryEndsItBeforeItStarts) {
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML(QStringLiteral("<r><a/></r>")));
    XmlQueryStop stop;
    EXPECT_EQ(SelectNodes(doc.asNode(), QStringLiteral("//a"), &stop).length(), 1);
    stop.request();
    EXPECT_THROW(SelectNodes(doc.asNode(), QStringLiteral("//a"), &stop), XmlQueryStopped);
}

} // namespace
