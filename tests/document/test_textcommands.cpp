// The commands that work on the document's text as a whole: Indent in the text view, the
// clipboard transfer of the whole document and printing.

#include "document/documentrules.h"
#include "document/indenter.h"
#include "support/editingfixture.h"

namespace {
const QByteArray kDoc = "<?xml version=\"1.0\"?>\n<r><a k=\"1\">t</a><b><c/></b><e></e></r>\n";
const QString kCannotCopy = QStringLiteral("Cannot copy the text. XML is not valid.");
} // namespace

class TextCommandsTest : public EditingTest {
protected:
    void showTextView() { click(window->ToolbarView, "TextView"); }
    QString viewText() { return window->m_txtXML->Text(); }
    // Leaves the window without a Document, as after applying text that does not parse.
    void applyBrokenText(const QString& text) {
        showTextView();
        window->m_txtXML->SetTypedText(text);
        ui.expectMessage(parseErrorReportFor(text), MsgButtons::OKOnly, MsgIcon::Information);
        ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                         MsgIcon::Critical);
        click(window->ToolbarApply, "Apply");
        ASSERT_TRUE(window->m_objDocument.isNull());
    }
    static QString parseErrorReportFor(const QString& text) {
        XmlDocument document = XmlDocument::create();
        EXPECT_FALSE(document.loadXML(text));
        return DocumentRules::ParseErrorReport(document.parseError());
    }
};

// Indent lays out the view's text as one step of its own undo; it neither changes the Document
// nor counts as unsaved work.
TEST_F(TextCommandsTest, IndentIsALayoutStepOfTheTextView) {
    load(kDoc);
    const QString before = xml();
    showTextView();
    const QString shown = viewText();
    trigger("mnuIndent");
    const QString indented = viewText();
    EXPECT_EQ(indented,
              QStringLiteral("<?xml version=\"1.0\"?>\r\n\t<r>\r\n\t\t<a k=\"1\">t</a>\r\n"
                             "\t\t<b>\r\n\t\t\t<c/>\r\n\t\t</b>\r\n\t\t<e/>\r\n\t</r>\r\n"));
    EXPECT_EQ(xml(), before) << "the Document waits for Apply";
    EXPECT_FALSE(window->HasUnsavedChanges()) << "only the layout changed";
    EXPECT_EQ(window->Command(QStringLiteral("mnuUndo"))->text(), QStringLiteral("&Undo Indent"));

    trigger("mnuUndo");
    EXPECT_EQ(viewText(), shown) << "taken back as one step";
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_EQ(window->Command(QStringLiteral("mnuRedo"))->text(), QStringLiteral("&Redo Indent"));
    trigger("mnuRedo");
    EXPECT_EQ(viewText(), indented);
    EXPECT_FALSE(window->HasUnsavedChanges());
    trigger("mnuIndent");
    EXPECT_EQ(viewText(), indented) << "indenting again changes nothing";

    trigger("mnuExit");
    EXPECT_FALSE(window->isVisible()) << "closing asks nothing";
}

// Indent in the tree view lays out the hidden text view; a tree edit made after it is what a save
// writes, never the older text.
TEST_F(TextCommandsTest, AnEditAfterIndentIsWhatASaveWrites) {
    for (const char* leave : {"mnuExit", "mnuNewDoc"}) {
        SCOPED_TRACE(leave);
        start();
        load(kDoc);
        const QString path = window->m_strFileName;
        trigger("mnuIndent");
        select("r");
        QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
        typeLabel(QStringLiteral("added"));
        expectSaveQuestion(path, MsgResult::Yes);
        trigger(leave);
        ui.verify();
        XmlDocument saved = XmlDocument::create();
        ASSERT_TRUE(saved.load(path));
        EXPECT_TRUE(saved.selectSingleNode(QStringLiteral("/r/added"))) << readFile(path).data();
    }
}

// The command does not ask which view is shown: hidden, the text view is laid out all the same
// and shows it when it appears.
TEST_F(TextCommandsTest, IndentWorksOnTheHiddenTextViewAndPastAnyLineCount) {
    QByteArray big = "<r>";
    for (int i = 0; i < 20000; ++i)
        big += "<i><j/></i>";
    big += "</r>";
    load(big);
    ASSERT_TRUE(window->m_txtXML->isHidden());
    trigger("mnuIndent");
    showTextView();
    const QString text = viewText();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3 + 20000 * 3);
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"<r>", "\t<i>", "\t\t<j/>", "\t</i>"}));
    EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{"\t</i>", "</r>", ""}));
    EXPECT_EQ(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));
}

TEST_F(TextCommandsTest, CopyThenPasteGivesTheSameDocumentRebuiltAndUnsaved) {
    load(kDoc);
    const QString path = window->m_strFileName;
    const QString original = xml();
    showTextView();
    window->m_txtXML->SetTypedText(QStringLiteral("<typed/>"));
    trigger("mnuCopyClip");
    EXPECT_EQ(ui.clipboard, original) << "the Document is copied, not the unapplied typing";
    trigger("mnuRefresh");

    click(window->ToolbarView, "TreeView");
    select("r/b");
    expectDeleteQuestion(MsgResult::Yes);
    trigger("mnuDeleteItem");
    ASSERT_NE(xml(), original);

    trigger("mnuPasteClip"); // no question: the pasted text simply replaces the document
    EXPECT_EQ(xml(), original);
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "b", "e"}));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), TreeModel::NoItem);
    EXPECT_EQ(window->m_strFileName, path);
    EXPECT_TRUE(window->HasUnsavedChanges()) << "the pasted document is in no file yet";
    showTextView();
    EXPECT_EQ(viewText(), RichTextBox::WithCrLf(original));
    check();

    // Closing asks before the pasted document is lost.
    expectSaveQuestion(path, MsgResult::Cancel);
    trigger("mnuExit");
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TextCommandsTest, PasteOfTextThatDoesNotParseChangesNothing) {
    load(kDoc);
    window->MarkChanged();
    const QString before = xml();
    const QStringList labelsBefore = labelsUnder("r");
    const struct {
        const char* behaviour;
        QString text;
    } rows[] = {
        {"mismatched tags", QStringLiteral("<a><b></a>")},
        {"loose text", QStringLiteral("not xml")},
        {"two document elements", QStringLiteral("<a/><b/>")},
        {"undeclared prefix", QStringLiteral("<p:a/>")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        ui.clipboard = row.text;
        const QString report = parseErrorReportFor(row.text);
        EXPECT_TRUE(report.contains(QStringLiteral("Source Text:")) &&
                    report.contains(QStringLiteral("Line: ")) &&
                    report.contains(QStringLiteral(" Position: ")))
            << report.toStdString();
        ui.expectMessage(report, MsgButtons::OKOnly, MsgIcon::Information);
        trigger("mnuPasteClip");
        ui.verify();
        EXPECT_EQ(xml(), before);
        EXPECT_EQ(labelsUnder("r"), labelsBefore);
        EXPECT_TRUE(window->HasUnsavedChanges());
    }
    // An empty clipboard is no XML and no error either: it is said so.
    ui.clipboard.clear();
    ui.expectMessage(QStringLiteral("The clipboard holds no text."), MsgButtons::OKOnly,
                     MsgIcon::Information);
    trigger("mnuPasteClip");
    EXPECT_EQ(xml(), before);
}

// A long text is parsed aside (the window stays alive) into the same document as a direct parse;
// undo brings back the document it replaced.
TEST_F(TextCommandsTest, PasteOfALongTextIsAStepLikeAnyOther) {
    load(kDoc);
    const QString before = xml();
    QString text = QStringLiteral("<r>");
    while (text.size() < (9 << 20))
        text += QStringLiteral("<e a=\"1\">pasted text of a record</e>");
    text += QStringLiteral("</r>");
    ui.clipboard = text;
    trigger("mnuPasteClip");
    XmlDocument direct = XmlDocument::create();
    ASSERT_TRUE(direct.loadXML(text));
    EXPECT_EQ(xml(), direct.xml());
    EXPECT_TRUE(window->m_strXMLText.isEmpty()) << "no copy of the text is kept";
    EXPECT_TRUE(readFile(window->WebFilePath()) == text.toUtf8());
    trigger("mnuUndo");
    EXPECT_EQ(xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(TextCommandsTest, WithoutADocumentCopyRefusesAndPasteRestoresOne) {
    load(kDoc);
    applyBrokenText(QStringLiteral("<broken>"));
    ui.clipboard = QStringLiteral("kept");
    ui.expectMessage(kCannotCopy, MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuCopyClip");
    EXPECT_EQ(ui.clipboard, QStringLiteral("kept")) << "the clipboard is left as it was";

    ui.clipboard = QStringLiteral("<back><again/></back>");
    trigger("mnuPasteClip");
    ASSERT_FALSE(window->m_objDocument.isNull());
    EXPECT_EQ(labels(), (QStringList{"back"}));
    trigger("mnuCopyClip");
    EXPECT_EQ(ui.clipboard, xml());
    check();
}

TEST_F(TextCommandsTest, PrintSendsTheDocumentsTextThroughThePrintDialog) {
    load(kDoc);
    showTextView();
    window->m_txtXML->SetTypedText(QStringLiteral("<typed/>"));
    const QString name = DocumentRules::LastPathPart(window->m_strFileName);
    ui.expectPrint(PrintResult::Printed);
    click(window->Toolbar1, "Print");
    ui.expectPrint(PrintResult::Cancelled); // dismissed: nothing to say
    click(window->Toolbar1, "Print");
    ui.expectPrint(PrintResult::Failed);
    ui.expectMessage(QStringLiteral("The XML could not be printed."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    click(window->Toolbar1, "Print");
    ASSERT_EQ(ui.printJobs().size(), 3u);
    for (const auto& job : ui.printJobs()) {
        EXPECT_EQ(job.xml, xml());
        EXPECT_EQ(job.documentName, name);
    }

    // Without a Document the text that did not parse is what there is to print.
    applyBrokenText(QStringLiteral("<half"));
    ui.expectPrint(PrintResult::Printed);
    click(window->Toolbar1, "Print");
    EXPECT_EQ(ui.printJobs().back().xml, QStringLiteral("<half"));
    EXPECT_EQ(ui.printJobs().back().documentName, name);
}
