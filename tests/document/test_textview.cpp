// The text view's text: written as CR LF bytes in one pass, prepared in the background after a
// refresh, parsed straight from the view on Apply, and typing tracked without reading the text.

#include "document/crlfsink.h"
#include "document/preparedtext.h"
#include "platform/xml/xmlbackgroundwriter.h"
#include "platform/work/asidework.h"
#include "support/mainwindowfixture.h"
#include "support/workergate.h"

#include <QMenuBar>
#include <QTest>

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

QByteArray referenceViewText(const XmlDocument& document) {
    return RichTextBox::WithCrLf(document.xml()).toUtf8();
}

// Holds the preparing worker at one stage until released.
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
    WorkerGate gate;
};

} // namespace

TEST(CrLfSink, EveryLineBreakBecomesCrLfAlsoAcrossPieces) {
    const struct {
        const char* name;
        std::vector<QByteArray> pieces;
        QByteArray expected;
    } rows[] = {
        {"lone LF", {"a\nb\n"}, "a\r\nb\r\n"},
        {"lone CR", {"a\rb\r"}, "a\r\nb\r\n"},
        {"CR LF kept as one break", {"a\r\nb"}, "a\r\nb"},
        {"CR LF split between pieces", {"a\r", "\nb"}, "a\r\nb"},
        {"CR then LF LF", {"a\r", "\n\nb"}, "a\r\n\r\nb"},
        {"LF CR is two breaks", {"a\n\rb"}, "a\r\n\r\nb"},
        {"no breaks", {"abc", "", "def"}, "abcdef"},
    };
    for (const auto& row : rows) {
        QByteArray out;
        CrLfSink sink([&out](const char* data, int len) {
            out.append(data, len);
            return true;
        });
        for (const QByteArray& piece : row.pieces)
            sink.write(piece.constData(), static_cast<int>(piece.size()));
        sink.finish();
        EXPECT_EQ(out, row.expected) << row.name;
    }
}

// The text being prepared and a recovery copy being written read the Document at the same time;
// a change stops the copy (or lets it finish) and waits for the text's copy of the Document,
// and neither sees the change.
TEST(PreparedTextTest, TwoReadersAtOnceNeitherSeesAChange) {
    QString text = QStringLiteral("<big>");
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("<item n=\"%1\">text</item>").arg(i);
    text += QStringLiteral("</big>");
    XmlDocument document = XmlDocument::create();
    ASSERT_TRUE(document.loadXML(text));
    const QByteArray before = referenceViewText(document);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("copy.xml"));
    std::atomic<int> written{-1};
    XmlBackgroundWriter writer;
    std::shared_ptr<PreparedText> prepared;
    {
        HeldStage held(PreparedText::Stage::Copying);
        writer.start(document, path, true, [&](bool ok) { written = ok; });
        prepared = PreparedText::Start(document);
        std::thread releaser([&held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            held.release();
        });
        document.documentElement().appendChild(document.createComment(QStringLiteral("after")));
        releaser.join();
    }
    writer.wait();
    QByteArray preparedText;
    for (const QByteArray& piece : prepared->Take())
        preparedText += piece;
    EXPECT_EQ(preparedText, before);
    if (written == 1) {
        XmlDocument copy = XmlDocument::create();
        ASSERT_TRUE(copy.load(path));
        EXPECT_FALSE(copy.xml().contains(QStringLiteral("after")));
    } else {
        EXPECT_FALSE(QFile::exists(path));
    }
}

class TextViewTest : public MainWindowTest {
protected:
    void open(const char* xml) {
        const QString path = writeFile(QStringLiteral("doc.xml"), QByteArray(xml));
        window->DropFiles({path});
        ASSERT_FALSE(window->m_objDocument.isNull());
    }
    QByteArray viewBytes() { return window->m_txtXML->Utf8Content().toByteArray(); }
    void typeAtEnd(const QString& text) {
        window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        QTest::keyClicks(window->m_txtXML, text);
    }
    QString undoCaption() { return window->Command(QStringLiteral("mnuUndo"))->text(); }
    QString redoCaption() { return window->Command(QStringLiteral("mnuRedo"))->text(); }
};

TEST_F(TextViewTest, FirstSwitchShowsTheSerialisationWithCrLf) {
    for (const auto& row : kDocuments) {
        SCOPED_TRACE(row.name);
        trigger("mnuTreeView");
        open(row.xml);
        const QByteArray expected = referenceViewText(window->m_objDocument);
        trigger("mnutextView");
        EXPECT_EQ(viewBytes(), expected);
        EXPECT_FALSE(window->m_txtXML->HasTyping());
    }
}

// Apply gives the Document the text parses to. The view keeps its text when the new Document
// writes exactly that and puts the written text in otherwise; either way it ends as if the text had
// been put in, and the web view's file is the Document as a save writes it.
TEST_F(TextViewTest, ApplyGivesTheDocumentTheTextParsesToAndShowsItUntyped) {
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        trigger("mnuTreeView");
        open(row.xml);
        trigger("mnutextView");
        RichTextBox& view = *window->m_txtXML;
        if (row.line < 0) {
            view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        } else {
            view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE,
                               static_cast<unsigned long>(row.line));
            view.SendScintilla(QsciScintillaBase::SCI_VCHOME);
        }
        // QTest has no key for a lower-case accented letter: the bytes are typed as Latin-1.
        QTest::keyClicks(&view, QString::fromLatin1(row.typed));
        XmlDocument expected = XmlDocument::create();
        ASSERT_TRUE(expected.loadXML(view.Text()));
        click(window->ToolbarApply, "Apply");
        ASSERT_FALSE(window->m_objDocument.isNull());
        EXPECT_EQ(window->m_objDocument.xml(), expected.xml());
        EXPECT_EQ(viewBytes(), referenceViewText(expected));
        EXPECT_FALSE(view.HasTyping());
        EXPECT_FALSE(view.isUndoAvailable()) << "Apply leaves no undo history in the view";
        EXPECT_EQ(view.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS), 0);
        EXPECT_TRUE(window->HasUnsavedChanges());
        QTemporaryDir saveDir;
        const QString saved = saveDir.filePath(QStringLiteral("saved.xml"));
        window->m_objDocument.save(saved);
        EXPECT_EQ(readFile(window->WebFilePath()), readFile(saved));
        window->markSaved();
    }
}

// An edit that starts while the text is still being prepared must not show up in it: the view
// keeps the text of the last refresh until the next one.
TEST_F(TextViewTest, PreparedTextIsTheRefreshEvenWhenAnEditComesFirst) {
    using Stage = PreparedText::Stage;
    const struct {
        const char* behaviour;
        Stage held;
        const char* xml;
    } rows[] = {
        {"written straight from the Document", Stage::Copying, "<r><a/><b>text</b></r>"},
        {"copied first (a DOCTYPE is written as read)", Stage::Copying,
         "<!DOCTYPE r [<!ELEMENT r ANY>]><r><a/><b>text</b></r>"},
        {"written from the copy", Stage::Writing,
         "<!DOCTYPE r [<!ELEMENT r ANY>]><r><a/><b>text</b></r>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        trigger("mnuTreeView");
        XmlDocument asLoaded = XmlDocument::create();
        ASSERT_TRUE(asLoaded.loadXML(QString::fromUtf8(row.xml)));
        const QByteArray refreshed = referenceViewText(asLoaded);
        {
            HeldStage held(row.held);
            // While the Document is read, anything that changes it waits; the worker is let go
            // from elsewhere.
            std::thread releaser;
            if (row.held == Stage::Copying)
                releaser = std::thread([&held] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    held.release();
                });
            open(row.xml);
            window->m_objDocument.documentElement().appendChild(
                window->m_objDocument.createElement(QStringLiteral("added")));
            if (releaser.joinable())
                releaser.join();
        }
        trigger("mnutextView");
        EXPECT_EQ(viewBytes(), refreshed);
        EXPECT_FALSE(viewBytes().contains("added"));
        window->markSaved();
    }
}

TEST_F(TextViewTest, TypingIsTrackedAndUndoneWithTheWindowsKeys) {
    open("<r><a/></r>");
    trigger("mnutextView");
    EXPECT_FALSE(window->m_txtXML->HasTyping());
    EXPECT_FALSE(window->HasUnsavedChanges());

    typeAtEnd(QStringLiteral("x"));
    EXPECT_TRUE(window->m_txtXML->HasTyping());
    EXPECT_TRUE(window->HasUnsavedChanges()) << "typing not applied is unsaved work";
    QCoreApplication::processEvents();
    EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Typing"));

    QTest::keyClick(window->m_txtXML, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(window->m_txtXML->HasTyping()) << "undoing all typing leaves none";
    EXPECT_FALSE(window->HasUnsavedChanges());
}

// Undo names what it will do and does it, wherever the keyboard is: the typing while the text
// view holds some, else the Document's last step, which the view then shows.
TEST_F(TextViewTest, UndoInTheTextViewTakesBackTheTypingOrElseTheLastStep) {
    open("<r><a/></r>");
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    typeAtEnd(QStringLiteral("<!--c-->"));
    click(window->ToolbarApply, "Apply");
    ASSERT_EQ(window->m_objDocument.documentElement().nextSibling().nodeType(), NODE_COMMENT);
    EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Apply Text"));
    trigger("mnuUndo");
    EXPECT_TRUE(window->m_objDocument.documentElement().nextSibling().isNull());
    EXPECT_FALSE(viewBytes().contains("<!--c-->")) << "the view shows what was taken back";
    EXPECT_FALSE(window->HasUnsavedChanges());

    // The menu bar takes the keyboard and gives it back somewhere else: the typing still goes
    // first.
    typeAtEnd(QStringLiteral("<!--d-->"));
    window->menuBar()->setFocus();
    const QString document = window->m_objDocument.xml();
    QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_FALSE(viewBytes().contains("<!--d-->"));
    EXPECT_EQ(window->m_objDocument.xml(), document);
    EXPECT_EQ(redoCaption(), QStringLiteral("&Redo Typing"));
}

// Leaving the text view takes its typing into the Document, so nothing typed waits behind another
// view; text that does not parse keeps the text view, after the report.
TEST_F(TextViewTest, LeavingTheTextViewAppliesTheTyping) {
    open("<r><a/></r>");
    for (const char* other : {"mnuTreeView", "mnuWebView"}) {
        SCOPED_TRACE(other);
        trigger("mnutextView");
        typeAtEnd(QStringLiteral("<!--x-->"));
        trigger(other);
        EXPECT_FALSE(window->m_txtXML->isVisible());
        EXPECT_EQ(window->m_objDocument.documentElement().nextSibling().text(),
                  QStringLiteral("x"));
        EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Apply Text"));
        trigger("mnuUndo");
    }
    trigger("mnutextView");
    typeAtEnd(QStringLiteral("<x"));
    ui.expectMessagePrefix(QStringLiteral("Extra content at the end of the document"),
                           MsgButtons::OKOnly, MsgIcon::Information);
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    trigger("mnuTreeView");
    ui.verify();
    EXPECT_TRUE(window->m_txtXML->isVisible());
    EXPECT_TRUE(window->Command(QStringLiteral("mnutextView"))->isChecked());
    EXPECT_FALSE(window->Command(QStringLiteral("mnuTreeView"))->isChecked());
    EXPECT_TRUE(viewBytes().endsWith("<x"));
}

// A large text is replaced by dropping its document whole; the new one must behave the same:
// UTF-8, Enter types CR LF, XML highlighting.
TEST_F(TextViewTest, ALargeTextReplacedAtApplyKeepsTheViewsSettings) {
    QByteArray xml = "<r>";
    while (xml.size() <= RichTextBox::kFreshDocumentSize)
        xml += "<item>caf\xc3\xa9</item>";
    xml += "</r>";
    open(xml.constData());
    trigger("mnutextView");
    typeAtEnd(QStringLiteral("<!--\xc3\xa9-->"));
    click(window->ToolbarApply, "Apply");
    RichTextBox& view = *window->m_txtXML;
    EXPECT_EQ(viewBytes(), referenceViewText(window->m_objDocument));
    EXPECT_NE(view.lexer(), nullptr);
    view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::sendKeyEvent(QTest::Click, &view, Qt::Key_Adiaeresis, QString::fromUtf8("\xc3\xa4"),
                        Qt::NoModifier);
    EXPECT_TRUE(viewBytes().endsWith("\r\n\xc3\xa4")) << viewBytes().right(12).toHex().constData();
    window->markSaved();
}

// After Apply the view keeps the applied text while a worker compares it with the new Document's;
// whatever comes before the answer (a key, a save, a switch, or nothing) finds the view holding
// exactly the Document's text, and the web view's file the Document, and undo still brings the
// old Document back.
TEST_F(TextViewTest, TextKeptAtApplyIsTheDocumentsWhateverComesFirst) {
    XmlDocument laidOut = XmlDocument::create();
    ASSERT_TRUE(
        laidOut.loadXML(QString::fromUtf8("<r a=\"1\">\n<b t=\"\xc3\xa9\">\xc3\xa4</b></r>")));
    const struct {
        const char* name;
        QString typed;
    } texts[] = {
        {"WrittenAsTheWriterLaysItOut", laidOut.xml()},
        {"Indentation", QStringLiteral("<r><a>t</a>\n      <b/></r>")},
        {"AttributeQuotes", QStringLiteral("<r a='1' b=\"'\"/>")},
        {"EntityForms", QStringLiteral("<r>&#65;&gt;&apos;\"</r>")},
        {"CarriageReturnInValues", QStringLiteral("<r a=\"x&#13;y\">1&#13;2</r>")},
        {"NonAscii", QString::fromUtf8("<r t=\"&#xE9;\">\xc3\xa4&#x20AC;\xe6\x97\xa5</r>")},
    };
    enum class Then { Nothing, Key, Save, Switch };
    const struct {
        const char* name;
        Then then;
    } nexts[] = {
        {"answer arrives by itself", Then::Nothing},
        {"key pressed", Then::Key},
        {"saved", Then::Save},
        {"switched to the tree", Then::Switch},
    };
    const QByteArray original = "<o><p/></o>";
    for (const auto& text : texts) {
        for (const auto& next : nexts) {
            SCOPED_TRACE(std::string(text.name) + ", " + next.name);
            trigger("mnuTreeView");
            open(original.constData());
            const QString before = window->m_objDocument.xml();
            trigger("mnutextView");
            RichTextBox& view = *window->m_txtXML;
            view.SetTypedText(text.typed);
            XmlDocument expected = XmlDocument::create();
            ASSERT_TRUE(expected.loadXML(text.typed));
            const QByteArray expectedText = referenceViewText(expected);
            QTemporaryDir saveDir;
            const QString saved = saveDir.filePath(QStringLiteral("saved.xml"));
            expected.save(saved);
            {
                HeldStage held(PreparedText::Stage::Copying);
                click(window->ToolbarApply, "Apply");
                EXPECT_FALSE(view.HasTyping());
                // Whatever needs the answer waits for the worker, which is let go from elsewhere.
                std::thread releaser([&held] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    held.release();
                });
                switch (next.then) {
                case Then::Nothing:
                    held.release();
                    break;
                case Then::Key:
                    QTest::keyClicks(&view, QStringLiteral("x"));
                    break;
                case Then::Save:
                    trigger("mnuSave");
                    break;
                case Then::Switch:
                    trigger("mnuTreeView");
                    break;
                }
                releaser.join();
                // What waited for the answer left the web view's file right, before any event.
                if (next.then != Then::Nothing) {
                    EXPECT_EQ(readFile(window->WebFilePath()), readFile(saved));
                }
            }
            QCoreApplication::processEvents();
            ASSERT_FALSE(window->m_objDocument.isNull());
            EXPECT_EQ(window->m_objDocument.xml(), expected.xml());
            EXPECT_EQ(readFile(window->WebFilePath()), readFile(saved));
            // Read as held when the answer came by itself, not through a read that would wait.
            const QByteArray shown =
                next.then == Then::Nothing ? view.Utf8Held().toByteArray() : viewBytes();
            EXPECT_EQ(shown, next.then == Then::Key ? "x" + expectedText : expectedText);
            if (next.then == Then::Save) {
                EXPECT_EQ(readFile(dir.filePath(QStringLiteral("doc.xml"))), readFile(saved));
            }
            if (next.then == Then::Key) {
                EXPECT_TRUE(view.HasTyping());
                QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
                EXPECT_EQ(viewBytes(), expectedText);
            }
            EXPECT_FALSE(view.HasTyping());
            trigger("mnuTreeView");
            EXPECT_EQ(window->Command(QStringLiteral("mnuUndo"))->text(),
                      QStringLiteral("&Undo Apply Text"));
            trigger("mnuUndo");
            // A save from the text view applies its text once more, in a step of its own.
            if (next.then == Then::Save) {
                EXPECT_EQ(window->m_objDocument.xml(), expected.xml());
                trigger("mnuUndo");
            }
            EXPECT_EQ(window->m_objDocument.xml(), before);
            window->markSaved();
        }
    }
}
