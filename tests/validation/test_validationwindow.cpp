// Validation in the window: F7 and Esc, rows that lead to the node or line, the chosen schema,
// cancelling, stale results, and a Document left as it was.

#include "app/statuspanels.h"
#include "platform/work/asidework.h"
#include "support/editingfixture.h"
#include "support/workergate.h"
#include "validation/validationjob.h"
#include "validation/validationpanel.h"

#include <QLabel>
#include <QSettings>
#include <QTreeWidget>

namespace {

const QByteArray kDtd = "<!ELEMENT shelf (book+)><!ELEMENT book (title, year)>\n"
                        "<!ATTLIST book format (paper|ebook) \"paper\">\n"
                        "<!ELEMENT title (#PCDATA)><!ELEMENT year (#PCDATA)>\n";

// The second book misses its year, with an unknown format and an undeclared element in its title.
const QByteArray kShelf = "<?xml version=\"1.0\"?>\n"
                          "<!DOCTYPE shelf SYSTEM \"shelf.dtd\" [<!ENTITY t \"Three\">]>\n"
                          "<shelf>\n"
                          "  <book><title>One</title><year>1</year></book>\n"
                          "  <book format=\"vinyl\">\n"
                          "    <title>Two <em>2</em></title>\n"
                          "  </book>\n"
                          "  <book><title>&t;</title><year>3</year></book>\n"
                          "</shelf>\n";

const QString kStale =
    QStringLiteral("The document has changed since these results: validate again (F7).");
const QString kNothing =
    QStringLiteral("No schema or document type declaration to validate against.");

// Holds validation workers as they begin to validate, until released.
struct HeldWorker {
    HeldWorker() {
        ValidationJob::SetStageHook([this](ValidationJob::Stage stage) {
            if (stage == ValidationJob::Stage::Validating)
                gate.pass();
        });
    }
    ~HeldWorker() {
        gate.release();
        ValidationJob::SetStageHook(nullptr);
    }
    WorkerGate gate;
};

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
        for (int i = 0; i < rows()->topLevelItemCount(); ++i)
            out << (rows()->topLevelItem(i)->text(0) + QLatin1Char(' ') +
                    rows()->topLevelItem(i)->text(1))
                       .trimmed();
        return out;
    }
    QString status() { return window->StatusBar1->Panel(1)->text(); }
    bool running() { return enabled("mnuCancelValidation"); }
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
    // Enter on (or else the pop-up command for) the first row whose message contains `words`.
    void activateRow(const QString& words, bool byEnter = true) {
        const auto found = rows()->findItems(words, Qt::MatchContains, 1);
        ASSERT_FALSE(found.isEmpty()) << "no row " << words.toStdString();
        rows()->setCurrentItem(found.first());
        rows()->setFocus();
        if (byEnter)
            QTest::keyClick(rows(), Qt::Key_Return);
        else
            trigger("mnuGoToValidationItem");
    }
    void deleteItem(const QString& path) {
        select(path);
        expectDeleteQuestion(MsgResult::Yes);
        trigger("mnuDeleteItem");
    }
    // The labels of the selected item's parent and of the item.
    QString selected() {
        const Id item = window->m_wndTree->SelectedItem();
        return item ? nodes().Text(nodes().Parent(item)) + '/' + nodes().Text(item) : QString();
    }
};

} // namespace

TEST_F(ValidationWindowTest, FaultsListAndLeadToTheirItemsBuildingOnlyThePath) {
    load(kShelf);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_FALSE(running());
    const QString before = xml();
    pressF7();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    ASSERT_EQ(rowTexts(),
              (QStringList{
                  "5 Element book content does not follow the DTD, expecting (title , year), got "
                  "(title)",
                  "5 Value \"vinyl\" for attribute format of book is not among the enumerated set",
                  "6 Element title was declared #PCDATA but contains non text nodes",
                  "6 No declaration for element em"}));
    EXPECT_EQ(status(), QStringLiteral("4 validation errors"));
    // The DTD's default attribute and the entity stay out of the Document; nothing to save.
    EXPECT_EQ(xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_FALSE(enabled("mnuUndo"));

    // The title's items were never built: the way to the element in it is built, nothing more.
    const int built = nodes().BuiltCount();
    activateRow(QStringLiteral("element em"));
    EXPECT_EQ(selected(), QStringLiteral("title/em"));
    EXPECT_LE(nodes().BuiltCount() - built, 2 + 2);
    EXPECT_TRUE(window->m_wndTree->hasFocus());
    check();
    activateRow(QStringLiteral("content does not follow"));
    EXPECT_EQ(labels(window->m_wndTree->SelectedItem()),
              (QStringList{QStringLiteral("format = \"vinyl\""), QStringLiteral("title")}));
    // libxml2 ties an attribute's fault to its element; the row leads to the attribute's item.
    activateRow(QStringLiteral("vinyl"));
    EXPECT_EQ(selected(), QStringLiteral("book/format = \"vinyl\""));
    check();
    // Through the pop-up command too.
    window->m_wndTree->SetSelectedItem(find("shelf"));
    activateRow(QStringLiteral("content does not follow"), false);
    EXPECT_EQ(selected(), QStringLiteral("shelf/book"));

    // From the web view it goes to the tree view; in the text view to the element's start tag
    // as the view lays the text out, not the file's line.
    trigger("mnuWebView");
    activateRow(QStringLiteral("content does not follow"));
    EXPECT_TRUE(window->m_wndTree->isVisible());
    trigger("mnutextView");
    for (const auto& [row, tag] : {std::pair{"element em", "<em>2</em>"},
                                   {"content does not follow", "<book format=\"vinyl\">"},
                                   {"vinyl", "<book format=\"vinyl\">"}}) {
        window->m_txtXML->GoToPosition(0);
        activateRow(QString::fromLatin1(row));
        const long caret = window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
        EXPECT_TRUE(window->m_txtXML->Utf8Content().sliced(caret).startsWith(tag)) << row;
    }
    EXPECT_TRUE(window->m_txtXML->isVisible());
}

TEST_F(ValidationWindowTest, TheChosenSchemaIsUsedUntilNewAndUnparsedTextIsNot) {
    const QString xsd = writeFile(
        QStringLiteral("shelf.xsd"),
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"shelf\">"
        "<xs:complexType><xs:sequence><xs:element name=\"book\" maxOccurs=\"unbounded\"/>"
        "</xs:sequence></xs:complexType></xs:element></xs:schema>");
    load("<shelf><book/><magazine/></shelf>");
    pressF7();
    EXPECT_EQ(rowTexts(), QStringList{kNothing});
    EXPECT_EQ(status(), kNothing);

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
    EXPECT_EQ(status(), kNothing);

    // Text that does not parse is not validated.
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

// The window answers while a worker validates its copy: an edit goes in at once, and the result
// comes in stale; Esc cancels, unless a label is being edited.
TEST_F(ValidationWindowTest, TheWindowGoesOnWhileItRunsAndEscCancels) {
    load(kShelf);
    {
        HeldWorker held;
        QTest::keyClick(window->m_wndTree, Qt::Key_F7);
        EXPECT_TRUE(running());
        EXPECT_EQ(status(), QStringLiteral("Validating..."));
        EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Validating...")});
        held.gate.waitUntilHeld();
        deleteItem("shelf/book");
        EXPECT_EQ(labels(find("shelf")).size(), 2);
        held.gate.release();
        waitForValidation();
    }
    EXPECT_TRUE(panel()->IsStale());
    // No row can say where its node is: by its place it would lead to the next book.
    ui.expectMessage(kStale, MsgButtons::OKOnly, MsgIcon::Information);
    activateRow(QStringLiteral("content does not follow"));

    HeldWorker held;
    QTest::keyClick(window->m_wndTree, Qt::Key_F7);
    held.gate.waitUntilHeld();
    select("shelf");
    window->m_wndTree->StartLabelEdit();
    ASSERT_NE(labelEditor(), nullptr);
    QTest::keyClick(labelEditor(), Qt::Key_Escape);
    EXPECT_FALSE(window->m_wndTree->IsEditingLabel());
    EXPECT_TRUE(running());
    QTest::keyClick(window->m_wndTree, Qt::Key_Escape);
    EXPECT_FALSE(running());
    EXPECT_EQ(status(), QStringLiteral("Validation cancelled."));
    held.gate.release();
    AsideWork::WaitForAll();
    QCoreApplication::processEvents();
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Validation cancelled.")});
}

TEST_F(ValidationWindowTest, ResultsOfAnOlderDocumentAreMarkedStale) {
    load(kShelf);
    QLabel* note = panel()->findChild<QLabel*>(QStringLiteral("ValidationStaleNote"));
    ASSERT_NE(note, nullptr);
    pressF7();
    EXPECT_FALSE(panel()->IsStale());
    EXPECT_FALSE(note->isVisible());
    deleteItem("shelf/book");
    EXPECT_TRUE(panel()->IsStale());
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), kStale);
    EXPECT_EQ(status(), QStringLiteral("Ready"));
    // A stale row follows its node, not its place: the first book went, the faulty one is still
    // there and found; a row whose node went says so.
    activateRow(QStringLiteral("content does not follow"));
    EXPECT_EQ(labels(window->m_wndTree->SelectedItem()),
              (QStringList{QStringLiteral("format = \"vinyl\""), QStringLiteral("title")}));
    deleteItem("shelf/book");
    ui.expectMessage(kStale, MsgButtons::OKOnly, MsgIcon::Information);
    activateRow(QStringLiteral("content does not follow"));
    pressF7();
    EXPECT_FALSE(panel()->IsStale());
    // Apply brings a new Document: results are of the old one.
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<shelf/>"));
    click(window->ToolbarApply, "Apply");
    EXPECT_TRUE(panel()->IsStale());
}

TEST_F(ValidationWindowTest, ThePanelRemembersWhetherItIsShown) {
    // As on the first run.
    QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor")).clear();
    const auto restart = [this] {
        window.reset();
        start();
    };
    restart();
    EXPECT_FALSE(panel()->isVisible());
    trigger("mnuValidationPanel");
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    restart();
    EXPECT_TRUE(panel()->isVisible());
    // Closed with its own button.
    panel()->close();
    EXPECT_FALSE(window->Command(QStringLiteral("mnuValidationPanel"))->isChecked());
    restart();
    EXPECT_FALSE(panel()->isVisible());
}
