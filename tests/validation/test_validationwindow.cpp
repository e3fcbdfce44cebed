// Validation in the window: the commands and their keys, the panel's rows that lead to the node
// or line, the chosen schema, cancelling, stale results, and a Document left as it was.

#include "app/statuspanels.h"
#include "platform/work/asidework.h"
#include "support/editingfixture.h"
#include "support/networkwatch.h"
#include "support/workergate.h"
#include "validation/validationjob.h"
#include "validation/validationpanel.h"

#include <QDockWidget>
#include <QLabel>
#include <QSettings>
#include <QTreeWidget>

namespace {

const QByteArray kDtd = "<!ELEMENT shelf (book+)>\n"
                        "<!ELEMENT book (title, year)>\n"
                        "<!ATTLIST book format (paper|ebook) \"paper\">\n"
                        "<!ELEMENT title (#PCDATA)>\n"
                        "<!ELEMENT year (#PCDATA)>\n";

// Books 1 to 3, the second missing its year and with an undeclared element in its title; the
// third holds an entity reference.
const QByteArray kShelf = "<?xml version=\"1.0\"?>\n"
                          "<!DOCTYPE shelf SYSTEM \"shelf.dtd\" [<!ENTITY t \"Three\">]>\n"
                          "<shelf>\n"
                          "  <book><title>One</title><year>1</year></book>\n"
                          "  <book format=\"ebook\">\n"
                          "    <title>Two <em>2</em></title>\n"
                          "  </book>\n"
                          "  <book><title>&t;</title><year>3</year></book>\n"
                          "</shelf>\n";

class ValidationWindowTest : public EditingTest {
protected:
    void SetUp() override {
        EditingTest::SetUp();
        writeFile(QStringLiteral("shelf.dtd"), kDtd);
    }
    void TearDown() override {
        ValidationJob::SetStageHook(nullptr);
        EditingTest::TearDown();
        AsideWork::WaitForAll();
    }
    ValidationPanel* panel() { return window->m_validationPanel; }
    QTreeWidget* rows() { return panel()->Rows(); }
    QStringList rowTexts() {
        QStringList out;
        for (int i = 0; i < rows()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = rows()->topLevelItem(i);
            out << (row->text(0) + QLatin1Char(' ') + row->text(1)).trimmed();
        }
        return out;
    }
    QString status() { return window->StatusBar1->Panel(1)->text(); }
    bool running() { return window->Command(QStringLiteral("mnuCancelValidation"))->isEnabled(); }
    void waitForValidation() {
        for (int i = 0; i < 6000 && running(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qSleep(1);
        }
        ASSERT_FALSE(running());
    }
    void pressF7() {
        QTest::keyClick(window->m_wndTree, Qt::Key_F7);
        waitForValidation();
    }
    // Enter on the row whose message contains `part`.
    void activateRow(const QString& part) {
        for (int i = 0; i < rows()->topLevelItemCount(); ++i) {
            if (rows()->topLevelItem(i)->text(1).contains(part)) {
                rows()->setCurrentItem(rows()->topLevelItem(i));
                rows()->setFocus();
                QTest::keyClick(rows(), Qt::Key_Return);
                return;
            }
        }
        ADD_FAILURE() << "no row " << part.toStdString();
    }
    void deleteItem(const QString& path) {
        select(path);
        expectDeleteQuestion(MsgResult::Yes);
        trigger("mnuDeleteItem");
    }
    // Holds validation workers as they begin to validate, until released.
    class HeldWorker {
    public:
        HeldWorker() {
            ValidationJob::SetStageHook([this](ValidationJob::Stage stage) {
                if (stage == ValidationJob::Stage::Validating)
                    m_gate.pass();
            });
        }
        ~HeldWorker() {
            release();
            ValidationJob::SetStageHook(nullptr);
        }
        void waitUntilHeld() { m_gate.waitUntilHeld(); }
        void release() { m_gate.release(); }

    private:
        WorkerGate m_gate;
    };
    QString selectedLabel() {
        const Id item = window->m_wndTree->SelectedItem();
        return item ? nodes().Text(item) : QString();
    }
    QString selectedParentLabel() {
        const Id item = window->m_wndTree->SelectedItem();
        return item && nodes().Parent(item) ? nodes().Text(nodes().Parent(item)) : QString();
    }
};

} // namespace

TEST_F(ValidationWindowTest, CommandsComeFromTheTableWithTheirKeys) {
    const struct {
        const char* name;
        const char* caption;
        const char* shortcut;
    } rows[] = {
        {"mnuValidate", "&Validate", "F7"},
        {"mnuValidateAgainst", "Validate &Against Schema...", ""},
        {"mnuCancelValidation", "&Cancel Validation", "Esc"},
        {"mnuValidationPanel", "&Validation Panel", ""},
        {"mnuGoToValidationItem", "&Go to Item", ""},
    };
    for (const auto& row : rows) {
        QAction* action = window->Command(QString::fromLatin1(row.name));
        ASSERT_NE(action, nullptr) << row.name;
        EXPECT_EQ(action->text(), QString::fromLatin1(row.caption));
        EXPECT_EQ(action->shortcut().toString(), QString::fromLatin1(row.shortcut));
    }
    EXPECT_TRUE(window->Menu(QStringLiteral("mnuTools"))
                    ->actions()
                    .contains(window->Command("mnuValidate")));
    EXPECT_FALSE(window->Command(QStringLiteral("mnuCancelValidation"))->isEnabled());
    EXPECT_EQ(panel()->windowTitle(), QStringLiteral("Validation"));
    EXPECT_EQ(window->dockWidgetArea(panel()), Qt::BottomDockWidgetArea);
}

TEST_F(ValidationWindowTest, FaultsListAndLeadToTheirItemsBuildingOnlyThePath) {
    load(kShelf);
    EXPECT_FALSE(panel()->isVisible());
    const QString before = window->m_objDocument.xml();
    pressF7();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    ASSERT_EQ(rows()->topLevelItemCount(), 3) << rowTexts().join('\n').toStdString();
    EXPECT_TRUE(rowTexts().first().startsWith(QStringLiteral("5 Element book content does not "
                                                             "follow the DTD")))
        << rowTexts().first().toStdString();
    EXPECT_EQ(rowTexts().last(), QStringLiteral("6 No declaration for element em"));
    EXPECT_EQ(status(), QStringLiteral("3 validation errors"));
    // The DTD's default attribute and the entity stay out of the Document; nothing to save.
    EXPECT_EQ(window->m_objDocument.xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_FALSE(window->Command(QStringLiteral("mnuUndo"))->isEnabled());

    // The title's items were never built: the way to the element in it is built, nothing more.
    const int built = nodes().BuiltCount();
    activateRow(QStringLiteral("element em"));
    EXPECT_EQ(selectedLabel(), QStringLiteral("em"));
    EXPECT_EQ(selectedParentLabel(), QStringLiteral("title"));
    EXPECT_LE(nodes().BuiltCount() - built, 2 + 2);
    EXPECT_TRUE(window->m_wndTree->hasFocus());
    EXPECT_EQ(TreeDocumentProblem(*window), QString());
    activateRow(QStringLiteral("book"));
    EXPECT_EQ(selectedLabel(), QStringLiteral("book"));
    EXPECT_EQ(labels(window->m_wndTree->SelectedItem()),
              (QStringList{QStringLiteral("format = \"ebook\""), QStringLiteral("title")}));

    // From the web view it goes to the tree view; in the text view to the element's start tag
    // in the text as the view lays it out, which is not the file's line.
    trigger("mnuWebView");
    activateRow(QStringLiteral("book"));
    EXPECT_TRUE(window->m_wndTree->isVisible());
    trigger("mnutextView");
    for (const auto& [row, tag] :
         {std::pair{"element em", "<em>2</em>"}, std::pair{"book", "<book format=\"ebook\">"}}) {
        activateRow(QString::fromLatin1(row));
        const long caret = window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
        EXPECT_TRUE(window->m_txtXML->Utf8Content().sliced(caret).startsWith(tag)) << row;
    }
    EXPECT_TRUE(window->m_txtXML->isVisible());

    // Rows go through the table's pop-up command as well.
    trigger("mnuTreeView");
    window->m_wndTree->SetSelectedItem(find("shelf"));
    trigger("mnuGoToValidationItem");
    EXPECT_EQ(selectedLabel(), QStringLiteral("book"));
}

TEST_F(ValidationWindowTest, AnAttributeFaultLeadsToTheAttributeItem) {
    // libxml2 ties these to the element and names the attribute in its message.
    const QString xsd = writeFile(
        QStringLiteral("r.xsd"),
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\">"
        "<xs:complexType><xs:sequence><xs:element name=\"a\" maxOccurs=\"9\"><xs:complexType>"
        "<xs:attribute name=\"m\"/><xs:attribute name=\"n\" type=\"xs:int\"/></xs:complexType>"
        "</xs:element></xs:sequence></xs:complexType></xs:element></xs:schema>");
    const char* const instance = " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                 "xsi:noNamespaceSchemaLocation=\"r.xsd\"";
    const struct {
        QByteArray text;
        const char* selected;
        const char* parent;
    } rows[] = {
        {QByteArray("<r") + instance + "><a/><a m=\"1\" n=\"z\"/></r>", "n = \"z\"", "a"},
        {"<!DOCTYPE r [<!ELEMENT r (a*)><!ELEMENT a EMPTY><!ATTLIST a m CDATA #IMPLIED "
         "n (x|y) #IMPLIED>]><r><a/><a m=\"1\" n=\"z\"/></r>",
         "n = \"z\"", "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        load(row.text);
        pressF7();
        ASSERT_EQ(status(), QStringLiteral("1 validation error"));
        activateRow(QStringLiteral("z"));
        EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.selected));
        EXPECT_EQ(selectedParentLabel(), QString::fromLatin1(row.parent));
        EXPECT_EQ(TreeDocumentProblem(*window), QString());
    }
    (void)xsd;
}

TEST_F(ValidationWindowTest, TheChosenSchemaIsUsedUntilNewOrOpen) {
    const QString xsd = writeFile(
        QStringLiteral("shelf.xsd"),
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"shelf\">"
        "<xs:complexType><xs:sequence><xs:element name=\"book\" maxOccurs=\"unbounded\"/>"
        "</xs:sequence></xs:complexType></xs:element></xs:schema>");
    load("<shelf><book/><magazine/></shelf>");
    pressF7();
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral(
                              "No schema or document type declaration to validate against.")});
    EXPECT_EQ(status(),
              QStringLiteral("No schema or document type declaration to validate against."));

    ui.expectFileDialog(FileDialogKind::Open, xsd);
    trigger("mnuValidateAgainst");
    waitForValidation();
    ASSERT_EQ(ui.fileDialogs().size(), 1u);
    EXPECT_EQ(ui.fileDialogs().back().title, QStringLiteral("Validate Against Schema"));
    EXPECT_TRUE(ui.fileDialogs().back().filter.startsWith(QStringLiteral("Schemas (")));
    EXPECT_EQ(status(), QStringLiteral("1 validation error"));
    ASSERT_EQ(rows()->topLevelItemCount(), 1);
    EXPECT_TRUE(rowTexts().first().contains(QStringLiteral("magazine")));

    // Remembered: F7 validates against it again; a dismissed dialog changes nothing.
    pressF7();
    EXPECT_EQ(status(), QStringLiteral("1 validation error"));
    ui.expectFileDialog(FileDialogKind::Open, QString());
    trigger("mnuValidateAgainst");
    EXPECT_FALSE(running());
    pressF7();
    EXPECT_EQ(status(), QStringLiteral("1 validation error"));

    // A schema that does not load says so, with its own faults.
    const QString broken = writeFile(QStringLiteral("broken.xsd"), "<xs:schema");
    ui.expectFileDialog(FileDialogKind::Open, broken);
    trigger("mnuValidateAgainst");
    waitForValidation();
    EXPECT_EQ(status(), QStringLiteral("The schema could not be loaded."));
    ASSERT_GE(rows()->topLevelItemCount(), 2);
    EXPECT_EQ(rows()->topLevelItem(0)->text(1),
              QStringLiteral("The schema \"%1\" could not be loaded.").arg(broken));

    trigger("mnuNewDoc");
    EXPECT_EQ(rows()->topLevelItemCount(), 0);
    pressF7();
    EXPECT_EQ(status(),
              QStringLiteral("No schema or document type declaration to validate against."));
}

TEST_F(ValidationWindowTest, EscCancelsAndTheWindowGoesOnMeanwhile) {
    load(kShelf);
    HeldWorker held;
    QTest::keyClick(window->m_wndTree, Qt::Key_F7);
    EXPECT_TRUE(running());
    EXPECT_EQ(status(), QStringLiteral("Validating..."));
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Validating...")});
    held.waitUntilHeld();
    // The window answers while the worker validates its copy: an edit goes in at once.
    deleteItem("shelf/book");
    EXPECT_EQ(labels(find("shelf")).size(), 2);

    // Esc in a label being edited is the edit's.
    select("shelf");
    window->m_wndTree->StartLabelEdit();
    ASSERT_NE(labelEditor(), nullptr);
    QTest::keyClick(labelEditor(), Qt::Key_Escape);
    EXPECT_FALSE(window->m_wndTree->IsEditingLabel());
    EXPECT_TRUE(running());

    QTest::keyClick(window->m_wndTree, Qt::Key_Escape);
    EXPECT_FALSE(running());
    EXPECT_EQ(status(), QStringLiteral("Validation cancelled."));
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Validation cancelled.")});
    held.release();
    AsideWork::WaitForAll();
    QCoreApplication::processEvents();
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Validation cancelled.")});
    EXPECT_FALSE(window->Command(QStringLiteral("mnuCancelValidation"))->isEnabled());
}

TEST_F(ValidationWindowTest, ResultsOfAnOlderDocumentAreMarkedStale) {
    load(kShelf);
    QLabel* note = panel()->findChild<QLabel*>(QStringLiteral("ValidationStaleNote"));
    ASSERT_NE(note, nullptr);
    pressF7();
    EXPECT_FALSE(panel()->IsStale());
    EXPECT_FALSE(note->isVisible());
    EXPECT_EQ(status(), QStringLiteral("3 validation errors"));
    deleteItem("shelf/book");
    EXPECT_TRUE(panel()->IsStale());
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(status(), QStringLiteral("Ready"));
    // A stale row follows its node, not its place: the first book went, the faulty one is still
    // there and found; a row whose node went says so.
    activateRow(QStringLiteral("book"));
    EXPECT_EQ(labels(window->m_wndTree->SelectedItem()),
              (QStringList{QStringLiteral("format = \"ebook\""), QStringLiteral("title")}));
    deleteItem("shelf/book");
    ui.expectMessage(QStringLiteral("The document has changed since these results: validate again "
                                    "(F7)."),
                     MsgButtons::OKOnly, MsgIcon::Information);
    activateRow(QStringLiteral("book"));
    pressF7();
    EXPECT_FALSE(panel()->IsStale());

    // An edit made while it runs: the result comes in stale, and no row can say where its node is
    // (by its place it would lead to the next book).
    load(kShelf);
    {
        HeldWorker held;
        QTest::keyClick(window->m_wndTree, Qt::Key_F7);
        held.waitUntilHeld();
        deleteItem("shelf/book");
        held.release();
        waitForValidation();
    }
    EXPECT_TRUE(panel()->IsStale());
    ui.expectMessage(QStringLiteral("The document has changed since these results: validate again "
                                    "(F7)."),
                     MsgButtons::OKOnly, MsgIcon::Information);
    activateRow(QStringLiteral("book"));

    // Apply brings a new Document: results are of the old one.
    pressF7();
    EXPECT_FALSE(panel()->IsStale());
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<shelf/>"));
    click(window->ToolbarApply, "Apply");
    EXPECT_TRUE(panel()->IsStale());
}

TEST_F(ValidationWindowTest, TextThatDoesNotParseIsNotValidated) {
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<a>\n<b></a>"));
    ui.expectMessage(QStringLiteral("Opening and ending tag mismatch: b line 2 and a\r\nSource "
                                    "Text:<b></a>\r\nLine: 2 Position: 8"),
                     MsgButtons::OKOnly, MsgIcon::Information);
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    click(window->ToolbarApply, "Apply");
    ASSERT_TRUE(window->m_objDocument.isNull());
    QTest::keyClick(window->m_txtXML, Qt::Key_F7);
    EXPECT_FALSE(running());
    EXPECT_EQ(status(), QStringLiteral("The document is not well-formed."));
    EXPECT_EQ(rowTexts(),
              QStringList{QStringLiteral(
                  "The text is not well-formed XML: apply text that parses to validate it.")});
}

TEST_F(ValidationWindowTest, ThePanelRemembersWhetherItIsShown) {
    // As on the first run.
    QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor")).clear();
    window.reset();
    start();
    EXPECT_FALSE(panel()->isVisible());
    trigger("mnuValidationPanel");
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    window.reset();
    start();
    EXPECT_TRUE(panel()->isVisible());
    // Closed with its own button.
    panel()->close();
    EXPECT_FALSE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    window.reset();
    start();
    EXPECT_FALSE(panel()->isVisible());
}

TEST_F(ValidationWindowTest, ARemoteSchemaIsRefusedWithoutTouchingTheNetwork) {
    NetworkWatch network;
    load("<shelf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:noNamespaceSchemaLocation=\"https://example.com/shelf.xsd\"/>");
    pressF7();
    EXPECT_TRUE(rowTexts().contains(QStringLiteral(
        "Refused to read \"https://example.com/shelf.xsd\": schemas and DTDs are read only from "
        "local files.")))
        << rowTexts().join('\n').toStdString();
    EXPECT_EQ(rowTexts().value(0),
              QStringLiteral("The schema \"https://example.com/shelf.xsd\" could not be loaded."))
        << "the refused address is what did not load, not the document";
    EXPECT_EQ(network.attempts(), 0);
}
