// The text view in the window: the Document's text as of the last refresh, Apply, typing and its
// undo, and the commands on the whole text (Indent, the clipboard transfer, Print).

#include "document/documentrules.h"
#include "document/preparedtext.h"
#include "platform/work/asidework.h"
#include "platform/work/memoryroom.h"
#include "platform/xml/xmlhistory.h"
#include "support/editingfixture.h"
#include "support/workergate.h"

#include <QMenuBar>

#include <thread>

namespace {

// Every node kind, CR in attribute values and in text, text beyond ASCII, an internal subset.
const struct {
    const char* name;
    const char* xml;
} kDocuments[] = {
    {"EveryNodeKind", "<?xml version=\"1.0\"?>\n<!--c--><?pi data?><r a=\"1\"><e>t</e>"
                      "<![CDATA[x < y]]><!--in--><?p q?><m>mixed <b>bold</b> tail</m></r>"},
    {"CarriageReturnsInValuesAndText", "<r a=\"x&#13;y&#13;&#10;z\">1&#13;2&#13;&#10;3\r\n4</r>"},
    {"NonAsciiText",
     "<r t=\"\xc3\xa9\xe2\x82\xac\"><\xc3\xa4>\xf0\x9f\x98\x80 \xe6\x97\xa5</\xc3\xa4></r>"},
    {"InternalSubset", "<!DOCTYPE r [\n<!ENTITY e \"val\">\n<!ELEMENT r ANY>\n]>\n<r>&e;<s/></r>"},
    {"SingleByteEncoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>caf\xe9</r>"},
};

// The view holds the text exactly as Save writes it.
QByteArray viewTextOf(const XmlDocument& document) {
    return document.xml().toUtf8();
}

XmlDocument parsed(const QString& text) {
    XmlDocument document = XmlDocument::create();
    EXPECT_TRUE(document.loadXML(text));
    return document;
}

// Holds the worker that prepares the view's text at one stage until released.
struct HeldStage {
    explicit HeldStage(PreparedText::Stage stage) {
        PreparedText::SetStageHook([this, stage](PreparedText::Stage reached) {
            if (reached == stage)
                gate.pass();
        });
    }
    ~HeldStage() {
        release();
        AsideWork::WaitForAll();
        PreparedText::SetStageHook(nullptr);
    }
    void release() { gate.release(); }
    // Lets the worker go from another thread a little later: whatever waits for it here must not
    // hold the events up meanwhile.
    std::thread releaseSoon() {
        return std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            release();
        });
    }
    WorkerGate gate;
};

} // namespace

class TextWindowTest : public EditingTest {
protected:
    void open(const QByteArray& xml) {
        window->DropFiles({writeFile(QStringLiteral("doc.xml"), xml)});
        ASSERT_FALSE(window->m_objDocument.isNull());
    }
    QByteArray viewBytes() { return window->m_txtXML->Utf8Content().toByteArray(); }
    QString viewText() { return window->m_txtXML->Text(); }
    void typeAtEnd(const QString& text) {
        window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        QTest::keyClicks(window->m_txtXML, text);
    }
    QString caption(const char* command) {
        return window->Command(QString::fromLatin1(command))->text();
    }
    void expectParseReportFor(const QString& text) {
        XmlDocument document = XmlDocument::create();
        EXPECT_FALSE(document.loadXML(text));
        ui.expectMessage(DocumentRules::ParseErrorReport(document.parseError()), MsgButtons::OKOnly,
                         MsgIcon::Information);
    }
};

// The view shows the Document's text with CR LF as of the last refresh, also after an edit made
// while that text was being prepared. Apply gives the Document what the text parses to, shown
// untyped with no undo history of the view's own; the web view's file is what a save writes.
TEST_F(TextWindowTest, TheViewShowsTheLastRefreshAndApplyGivesTheDocumentTheText) {
    using Stage = PreparedText::Stage;
    struct Row {
        const char* name;
        const char* xml;
        const char* typed;
        int line; // typed at the start of this line, or at the end
    };
    std::vector<Row> rows;
    for (const auto& document : kDocuments)
        rows.push_back({document.name, document.xml, "<!--typed \xc3\xa9-->", -1});
    const char* const laidOut = "<r>\n  <a>t</a>\n  <b>u</b>\n</r>";
    rows.push_back({"TextTypedAsTheWriterLaysItOut", laidOut, "x", 2});
    rows.push_back({"MarkupTheWriterLaysOutAgain", laidOut, "<n/>", 1});
    RichTextBox& view = *window->m_txtXML;
    for (const Row& row : rows) {
        for (const Stage held : {Stage::Copying, Stage::Writing}) {
            SCOPED_TRACE(testing::Message() << row.name << ", held at stage " << int(held));
            trigger("mnuTreeView");
            XmlDocument asRead = XmlDocument::create();
            ASSERT_TRUE(asRead.load(writeFile(QStringLiteral("as-read.xml"), row.xml)));
            {
                HeldStage hold(held);
                std::thread releaser; // a change waits for the worker while it reads the Document
                if (held == Stage::Copying)
                    releaser = hold.releaseSoon();
                open(row.xml);
                changeDocument();
                if (releaser.joinable())
                    releaser.join();
            }
            trigger("mnutextView");
            EXPECT_EQ(viewBytes(), viewTextOf(asRead));
            EXPECT_FALSE(view.HasTyping());
            const qsizetype lf = QByteArray(row.xml).indexOf('\n');
            EXPECT_EQ(view.eolMode(), lf > 0 && row.xml[lf - 1] == '\r' ? QsciScintilla::EolWindows
                                                                        : QsciScintilla::EolUnix)
                << "a line typed ends as the text's first line does";
            trigger("mnuTreeView");
            click(window->ToolbarApply, "Apply");
            trigger("mnutextView");
            EXPECT_TRUE(viewText().contains(QStringLiteral("<!--edit-->")));
            window->markSaved();

            if (row.line < 0) {
                view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
            } else {
                view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE,
                                   static_cast<unsigned long>(row.line));
                view.SendScintilla(QsciScintillaBase::SCI_VCHOME);
            }
            // QTest has no key for a lower-case accented letter: the bytes are typed as Latin-1.
            QTest::keyClicks(&view, QString::fromLatin1(row.typed));
            const XmlDocument expected = parsed(view.Text());
            const QString typed = view.Text();
            click(window->ToolbarApply, "Apply");
            ASSERT_FALSE(window->m_objDocument.isNull());
            EXPECT_EQ(xml(), typed) << "the text as typed";
            EXPECT_EQ(window->m_objDocument.snapshot().xml(), expected.xml());
            EXPECT_EQ(viewBytes(), typed.toUtf8());
            EXPECT_FALSE(view.HasTyping());
            EXPECT_FALSE(view.isUndoAvailable());
            EXPECT_TRUE(window->HasUnsavedChanges());
            const QString saved = dir.filePath(QStringLiteral("saved.xml"));
            window->m_objDocument.save(saved);
            EXPECT_EQ(readFile(window->WebFilePath()).toStdString(), readFile(saved).toStdString());
            window->markSaved();
        }
    }
    // A refresh puts the Document's text back over the typing.
    view.setText(QStringLiteral("<typed/>"));
    trigger("mnuRefresh");
    EXPECT_EQ(viewBytes(), viewTextOf(window->m_objDocument));
    EXPECT_FALSE(window->HasUnsavedChanges());

    // Del in the view edits the text, never the selected item.
    window->m_wndTree->SetSelectedItem(nodes().FirstTopLevel());
    view.setText(QStringLiteral("<ab/>"));
    view.setFocus();
    view.setCursorPosition(0, 1);
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(viewText(), QStringLiteral("<b/>"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("r")});

    // A refresh in the web view writes the web view's file anew.
    view.setModified(false);
    trigger("mnuWebView");
    changeDocument();
    QFile::remove(window->WebFilePath());
    trigger("mnuRefresh");
    EXPECT_TRUE(readFile(window->WebFilePath()).contains("<!--edit-->"));
}

// Undo takes back the view's typing while it has some, wherever the keyboard is, else the
// Document's last step; leaving the view applies the typing, or stays when it does not parse. A
// large text is replaced whole, and the new one keeps UTF-8, CR LF and the highlighting.
TEST_F(TextWindowTest, TypingItsUndoAndLeavingTheView) {
    QByteArray large = "<r>";
    while (large.size() <= RichTextBox::kFreshDocumentSize)
        large += "<item>caf\xc3\xa9</item>";
    open(large + "</r>");
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    typeAtEnd(QStringLiteral("<!--c-->"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    QCoreApplication::processEvents();
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Typing"));
    QTest::keyClick(window->m_txtXML, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(window->m_txtXML->HasTyping());
    EXPECT_FALSE(window->HasUnsavedChanges());

    typeAtEnd(QStringLiteral("<!--c-->"));
    click(window->ToolbarApply, "Apply");
    EXPECT_EQ(viewBytes(), viewTextOf(window->m_objDocument));
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Apply Text"));
    trigger("mnuUndo");
    EXPECT_FALSE(viewBytes().contains("<!--c-->")) << "the view shows what was taken back";
    EXPECT_FALSE(window->HasUnsavedChanges());
    typeAtEnd(QStringLiteral("<!--d-->"));
    window->menuBar()->setFocus();
    const QString document = xml();
    QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_FALSE(viewBytes().contains("<!--d-->"));
    EXPECT_EQ(xml(), document);
    EXPECT_EQ(caption("mnuRedo"), QStringLiteral("&Redo Typing"));

    for (const char* other : {"mnuTreeView", "mnuWebView"}) {
        SCOPED_TRACE(other);
        trigger("mnutextView");
        typeAtEnd(QStringLiteral("<!--x-->"));
        trigger(other);
        EXPECT_EQ(window->m_objDocument.documentElement().nextSibling().text(),
                  QStringLiteral("x"));
        EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Apply Text"));
        trigger("mnuUndo");
    }
    trigger("mnutextView");
    typeAtEnd(QStringLiteral("<x"));
    ui.expectMessagePrefix(QStringLiteral("Extra content at the end of the document"),
                           MsgButtons::OKOnly, MsgIcon::Information);
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    trigger("mnuTreeView");
    EXPECT_TRUE(window->m_txtXML->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnutextView"))->isChecked());
    EXPECT_FALSE(window->Command(QStringLiteral("mnuTreeView"))->isChecked());
    RichTextBox& view = *window->m_txtXML;
    EXPECT_NE(view.lexer(), nullptr);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::sendKeyEvent(QTest::Click, &view, Qt::Key_Adiaeresis, QString::fromUtf8("\xc3\xa4"),
                        Qt::NoModifier);
    EXPECT_TRUE(viewBytes().endsWith("<x\n\xc3\xa4")) << "a text with no line yet: LF";
    view.setModified(false);
}

// A Document too large to be held twice makes room before the other is read (Apply, an undo of it,
// a refresh): a hidden view then lets go of its copy of the text at once, and shows the Document's
// text once shown again. The view shown keeps its text, which is what Apply reads.
TEST_F(TextWindowTest, AHiddenViewLetsGoOfItsTextWhileTheDocumentMakesRoom) {
    QByteArray big = "<big>";
    while (big.size() <= DocumentRules::kReadAside)
        big += "<record>text</record>\n";
    open(big + "</big>");
    MemoryRoom::SetForTests(qint64(1) << 30, qint64(12) << 30);
    const auto restore = qScopeGuard([] { MemoryRoom::SetForTests(-1, -1); });
    RichTextBox& view = *window->m_txtXML;
    trigger("mnutextView");
    typeAtEnd(QStringLiteral("<!--typed-->"));
    click(window->ToolbarApply, "Apply");
    EXPECT_TRUE(viewBytes().endsWith("<!--typed-->"));
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Apply Text"));

    trigger("mnuTreeView");
    trigger("mnuUndo");
    EXPECT_FALSE(xml().contains(QStringLiteral("typed")));
    EXPECT_EQ(view.length(), 0) << "let go of while the Document made room";
    trigger("mnutextView");
    EXPECT_EQ(viewBytes(), viewTextOf(window->m_objDocument));

    trigger("mnuTreeView");
    changeDocument();
    trigger("mnuRefresh");
    EXPECT_EQ(view.length(), 0);
    trigger("mnutextView");
    EXPECT_TRUE(viewBytes().contains("<!--edit-->"));
    EXPECT_EQ(viewBytes(), viewTextOf(window->m_objDocument));
    EXPECT_FALSE(window->m_objDocument.history().canUndo()) << "the steps went with the nodes";
}

// After Apply the view keeps the applied text while a worker compares it with the Document's:
// whatever comes before the answer finds the Document's text and web file, and undo still works.
TEST_F(TextWindowTest, TextKeptAtApplyIsTheDocumentsWhateverComesFirst) {
    const QString laidOut =
        parsed(QString::fromUtf8("<r a=\"1\">\n<b t=\"\xc3\xa9\">\xc3\xa4</b></r>")).xml();
    const QString texts[] = {laidOut,
                             QStringLiteral("<r><a>t</a>\n      <b/></r>"),
                             QStringLiteral("<r a='1' b=\"'\"/>"),
                             QStringLiteral("<r>&#65;&gt;&apos;\"</r>"),
                             QStringLiteral("<r a=\"x&#13;y\">1&#13;2</r>"),
                             QString::fromUtf8("<r t=\"&#xE9;\">\xc3\xa4&#x20AC;\xe6\x97\xa5</r>")};
    enum class Then { Nothing, Key, Save, Switch };
    for (const QString& text : texts) {
        for (Then then : {Then::Nothing, Then::Key, Then::Save, Then::Switch}) {
            SCOPED_TRACE(text.toStdString() + ", then " + std::to_string(int(then)));
            trigger("mnuTreeView");
            open("<o><p/></o>");
            const QString before = xml();
            trigger("mnutextView");
            RichTextBox& view = *window->m_txtXML;
            view.SetTypedText(text);
            // Applied, the text is the Document's and is saved as it was typed.
            const QByteArray typed = text.toUtf8();
            const QString saved = dir.filePath(QStringLiteral("saved.xml"));
            writeFile(QStringLiteral("saved.xml"), typed);
            {
                HeldStage held(PreparedText::Stage::Copying);
                click(window->ToolbarApply, "Apply");
                EXPECT_FALSE(view.HasTyping());
                std::thread releaser = held.releaseSoon();
                if (then == Then::Nothing)
                    held.release();
                else if (then == Then::Key)
                    QTest::keyClicks(&view, QStringLiteral("x"));
                else
                    trigger(then == Then::Save ? "mnuSave" : "mnuTreeView");
                releaser.join();
                // What waited for the answer left the web view's file right, before any event.
                if (then != Then::Nothing) {
                    EXPECT_EQ(readFile(window->WebFilePath()), readFile(saved));
                }
            }
            QCoreApplication::processEvents();
            EXPECT_EQ(xml(), text);
            EXPECT_EQ(readFile(window->WebFilePath()), readFile(saved));
            // Read as held when the answer came by itself, not through a read that would wait.
            const QByteArray shown =
                then == Then::Nothing ? view.Utf8Held().toByteArray() : viewBytes();
            EXPECT_EQ(shown, then == Then::Key ? "x" + typed : typed);
            if (then == Then::Save) {
                EXPECT_EQ(readFile(dir.filePath(QStringLiteral("doc.xml"))), readFile(saved));
            }
            if (then == Then::Key) {
                QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
                EXPECT_EQ(viewBytes(), typed);
            }
            trigger("mnuTreeView");
            EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Apply Text"));
            trigger("mnuUndo");
            EXPECT_EQ(xml(), before);
            window->markSaved();
        }
    }
}

// Indent is a step of the view's own undo, also hidden and past any line count; the Document gets
// the layout only through Apply, and a tree edit made after it is what a save writes.
TEST_F(TextWindowTest, IndentIsALayoutStepOfTheTextView) {
    const QByteArray doc = "<?xml version=\"1.0\"?>\n<r><a k=\"1\">t</a><b><c/></b><e></e></r>\n";
    load(doc);
    const QString before = xml();
    trigger("mnutextView");
    const QString shown = viewText();
    trigger("mnuIndent");
    const QString indented = viewText();
    EXPECT_EQ(indented, QStringLiteral("<?xml version=\"1.0\"?>\n\t<r>\n\t\t<a k=\"1\">t</a>\n"
                                       "\t\t<b>\n\t\t\t<c/>\n\t\t</b>\n\t\t<e></e>\n\t</r>\n"))
        << "lines end as the text's do";
    EXPECT_EQ(xml(), before);
    EXPECT_FALSE(window->HasUnsavedChanges()) << "only the layout changed";
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Indent"));
    trigger("mnuUndo");
    EXPECT_EQ(viewText(), shown);
    EXPECT_EQ(caption("mnuRedo"), QStringLiteral("&Redo Indent"));
    trigger("mnuRedo");
    trigger("mnuIndent");
    EXPECT_EQ(viewText(), indented) << "indenting again changes nothing";

    QByteArray big = "<r>";
    for (int i = 0; i < 20000; ++i)
        big += "<i><j/></i>";
    load(big + "</r>");
    trigger("mnuTreeView");
    trigger("mnuIndent");
    select("r");
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    typeLabel(QStringLiteral("added"));
    trigger("mnutextView");
    const QStringList lines = viewText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2 + 20000 * 3) << "the file had no line break at its end";
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"<r>", "\t<i>", "\t\t<j/>", "\t</i>"}));
    trigger("mnuTreeView");
    trigger("mnuSave");
    EXPECT_TRUE(readFile(window->m_strFileName).contains("<added/>"));
}

// Copy and Paste XML move the whole Document; without one, Copy refuses and Paste brings one back.
// Print sends the Document's text, or the text that did not parse.
TEST_F(TextWindowTest, ClipboardTransferAndPrint) {
    const QByteArray doc = "<r><a k=\"1\">t</a><b><c/></b></r>";
    load(doc);
    const QString original = xml();
    trigger("mnutextView");
    window->m_txtXML->SetTypedText(QStringLiteral("<typed/>"));
    trigger("mnuCopyClip");
    EXPECT_EQ(ui.clipboard, original) << "the Document is copied, not the unapplied typing";
    const QString name = DocumentRules::LastPathPart(window->m_strFileName);
    ui.expectPrint(PrintResult::Printed);
    click(window->Toolbar1, "Print");
    ui.expectPrint(PrintResult::Cancelled); // dismissed: nothing to say
    click(window->Toolbar1, "Print");
    ui.expectPrint(PrintResult::Failed);
    ui.expectMessage(QStringLiteral("The XML could not be printed."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    click(window->Toolbar1, "Print");
    for (const auto& job : ui.printJobs())
        EXPECT_TRUE(job.xml == original && job.documentName == name);
    trigger("mnuRefresh");
    trigger("mnuTreeView");

    ui.clipboard = QStringLiteral("<a><b></a>"); // what does not parse is the session's
    expectParseReportFor(ui.clipboard);
    trigger("mnuPasteClip");
    EXPECT_EQ(xml(), original);
    ui.clipboard.clear();
    ui.expectMessage(QStringLiteral("The clipboard holds no text."), MsgButtons::OKOnly,
                     MsgIcon::Information);
    trigger("mnuPasteClip");
    ui.clipboard = QStringLiteral("<pasted><x/></pasted>");
    trigger("mnuPasteClip"); // no question: the pasted text simply replaces the document
    EXPECT_EQ(labels(), QStringList{QStringLiteral("pasted")});
    check();

    trigger("mnutextView");
    window->m_txtXML->SetTypedText(QStringLiteral("<broken>"));
    expectParseReportFor(QStringLiteral("<broken>"));
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    click(window->ToolbarApply, "Apply");
    ui.clipboard = QStringLiteral("kept");
    ui.expectMessage(QStringLiteral("Cannot copy the text. XML is not valid."), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    trigger("mnuCopyClip");
    EXPECT_EQ(ui.clipboard, QStringLiteral("kept"));
    ui.expectPrint(PrintResult::Printed);
    click(window->Toolbar1, "Print");
    EXPECT_EQ(ui.printJobs().back().xml, QStringLiteral("<broken>"));
    ui.clipboard = QStringLiteral("<back/>");
    trigger("mnuPasteClip");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("back")});
    window->m_txtXML->setModified(false);
}

// Saving from the text view applies only typing: with none, the Document is saved as it is, with
// no step that changes nothing for the next Undo to take back unseen.
TEST_F(TextWindowTest, SaveFromTheViewAppliesOnlyTyping) {
    open("<?xml version=\"1.0\"?>\n<r>\n  <a/>\n</r>\n");
    trigger("mnutextView");
    typeAtEnd(QStringLiteral("<!--typed-->"));
    trigger("mnuSave");
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo Apply Text"));
    EXPECT_FALSE(window->HasUnsavedChanges());
    trigger("mnuSave");
    trigger("mnuTreeView");
    trigger("mnuUndo");
    EXPECT_FALSE(xml().contains(QStringLiteral("typed")));
    EXPECT_EQ(caption("mnuUndo"), QStringLiteral("&Undo"));
    EXPECT_EQ(caption("mnuRedo"), QStringLiteral("&Redo Apply Text"));
}
