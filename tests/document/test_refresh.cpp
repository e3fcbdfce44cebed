// Loading text, Apply, Refresh and the error reports, through the real window.

#include "support/mainwindowfixture.h"

#include <QTest>

using FD = FileDialogKind;

namespace {
const QString kCannotComplete = QStringLiteral("Action cannot be completed");
const QString kUnexpected =
    QStringLiteral("Unexpected error, it is recommended to refresh the application.");
const QString kBadText = QStringLiteral("<a>\n<b></a>");
const QString kBadReport = QStringLiteral("Opening and ending tag mismatch: b line 2 and "
                                          "a\r\nSource Text:<b></a>\r\nLine: 2 Position: 8");
} // namespace

class RefreshTest : public MainWindowTest {
protected:
    void typeInTextView(const QString& text) {
        trigger("mnutextView");
        window->m_txtXML->setText(text);
    }
    void applyBadText() {
        typeInTextView(kBadText);
        ui.expectMessage(kBadReport, MsgButtons::OKOnly, MsgIcon::Information);
        ui.expectMessage(kCannotComplete, MsgButtons::OKOnly, MsgIcon::Critical);
        click(window->ToolbarApply, "Apply");
    }
};

TEST_F(RefreshTest, ApplyingTextThatDoesNotParseKeepsItForCorrection) {
    applyBadText();
    EXPECT_TRUE(window->m_objDocument.isNull());
    EXPECT_TRUE(window->m_wndTree->Nodes().IsEmpty());
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<a>\n<b></a>"));

    window->m_txtXML->setText(QStringLiteral("<a><b/></a>"));
    click(window->ToolbarApply, "Apply");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(window->HasUnsavedChanges()) << "applied typing is a change to save";
}

TEST_F(RefreshTest, SavingTextThatDoesNotParseWritesNothing) {
    const QString path = openFile(QStringLiteral("x.xml"), "<x/>");
    window->MarkChanged();
    typeInTextView(kBadText);
    ui.expectMessage(kBadReport, MsgButtons::OKOnly, MsgIcon::Information);
    ui.expectMessage(kCannotComplete, MsgButtons::OKOnly, MsgIcon::Critical);
    ui.expectMessage(kUnexpected, MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), QByteArray("<x/>"));
    EXPECT_TRUE(window->HasUnsavedChanges());
}

TEST_F(RefreshTest, OpenWithoutADocumentReportsAndNewRecovers) {
    applyBadText();
    const QString path = writeFile(QStringLiteral("y.xml"), "<y/>");
    // The typing that did not parse is unsaved work: each command asks before it goes on.
    const auto discardTyping = [&] {
        expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::No);
    };
    discardTyping();
    ui.expectFileDialog(FD::Open, path);
    ui.expectMessage(kUnexpected, MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuOpen");
    EXPECT_TRUE(window->m_objDocument.isNull());

    discardTyping();
    trigger("mnuNewDoc");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    // The file that was chosen but never loaded must not be overwritten by a later Save.
    ui.expectFileDialog(FD::Save, QString());
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), QByteArray("<y/>"));
}

TEST_F(RefreshTest, RefreshWithoutADocumentFailsButStillSetsTheCaption) {
    applyBadText();
    window->setWindowTitle(QStringLiteral("stale"));
    ui.expectMessage(kCannotComplete, MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuRefresh");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
}

TEST_F(RefreshTest, TreeEditsReachTheTextViewOnlyThroughApply) {
    const QString before = window->m_objDocument.xml();
    changeDocument();
    trigger("mnutextView");
    EXPECT_EQ(window->m_txtXML->Text(), RichTextBox::WithCrLf(before));

    trigger("mnuTreeView");
    click(window->ToolbarApply, "Apply");
    trigger("mnutextView");
    EXPECT_TRUE(window->m_txtXML->Text().contains(QStringLiteral("<!--edit-->")));
    EXPECT_TRUE(window->HasUnsavedChanges()) << "Apply is no save";
    XmlDocument web = XmlDocument::create();
    ASSERT_TRUE(web.load(window->WebFilePath()));
    EXPECT_EQ(web.xml(), window->m_objDocument.xml());
}

TEST_F(RefreshTest, TheTextViewShowsTheLastRefreshEvenWhenShownLater) {
    // Opening does not write the text out for a hidden text view; it must still show the
    // document as it was at the refresh, not as it is when first shown.
    const QString path = openFile(QStringLiteral("late.xml"), "<late><a/></late>");
    window->m_objDocument.documentElement().appendChild(
        window->m_objDocument.createElement(QStringLiteral("added")));
    trigger("mnutextView");
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<late>\r\n  <a/>\r\n</late>\r\n"));
}

TEST_F(RefreshTest, ARefreshPutsTheDocumentsTextBackOverTheTyping) {
    typeInTextView(QStringLiteral("<typed/>"));
    trigger("mnuRefresh");
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<Root/>\r\n"));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

TEST_F(RefreshTest, WebViewDisablesApplyButRefreshStillRewritesTheWebFile) {
    trigger("mnuWebView");
    EXPECT_FALSE(window->Button(window->ToolbarApply, QStringLiteral("Apply"))->isEnabled());
    changeDocument();
    QFile::remove(window->WebFilePath());
    trigger("mnuRefresh");
    EXPECT_TRUE(readFile(window->WebFilePath()).contains("<!--edit-->"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(window->m_wndTree->Nodes().Text(window->m_wndTree->Nodes().FirstTopLevel()),
              QStringLiteral("Root"));
}

TEST_F(RefreshTest, TheTextViewUsesCrLfLineBreaks) {
    window->SetTextToXML(QStringLiteral("<a>\n<b/>\r<c/></a>"));
    window->RefreshViews(false);
    trigger("mnutextView");
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<a>\r\n  <b/>\r\n  <c/>\r\n</a>\r\n"));
    EXPECT_EQ(window->m_txtXML->eolMode(), QsciScintilla::EolWindows);
}

TEST_F(RefreshTest, EditingKeysInTheTextViewEditTheText) {
    // Del is also the Delete command for the selected item; typing in the text view must not
    // reach it.
    window->m_wndTree->SetSelectedItem(window->m_wndTree->Nodes().FirstTopLevel());
    typeInTextView(QStringLiteral("<ab/>"));
    window->m_txtXML->setFocus();
    window->m_txtXML->setCursorPosition(0, 1);
    QTest::keyClick(window->m_txtXML, Qt::Key_Delete);
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<b/>"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
}

// A refresh after edits reads the Document again from its own text (a large one aside, with the
// window kept alive), and the web view's file is that text.
TEST_F(RefreshTest, RefreshReadsAnEditedDocumentAgainFromItsText) {
    const struct Row {
        const char* name;
        const char* declaration;
        int records; // over 8 MB of them is read aside
    } rows[] = {
        {"small", "", 1},
        {"large", "", 450000},
        {"large, declared Latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 450000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QByteArray text = QByteArray(row.declaration) + "<big>";
        for (int i = 0; i < row.records; ++i)
            text += "<record>text</record>";
        text += "</big>";
        openFile(QStringLiteral("big.xml"), text);
        XmlDocument loaded = window->m_objDocument;
        XmlNode root = loaded.documentElement();
        root.appendChild(loaded.createTextNode(QStringLiteral("\u00e9a")));
        root.appendChild(loaded.createTextNode(QStringLiteral("b")));
        window->MarkChanged();

        trigger("mnuRefresh");
        const XmlDocument& reread = window->m_objDocument;
        ASSERT_FALSE(reread == loaded);
        // Two texts side by side are one once read from the text.
        const XmlNode last = reread.documentElement().lastChild();
        EXPECT_EQ(last.text(), QStringLiteral("\u00e9ab"));
        EXPECT_EQ(last.previousSibling().nodeName(), QStringLiteral("record"));
        const QStringList tree =
            *row.declaration
                ? QStringList{QStringLiteral("xml version=\"1.0\" encoding=\"ISO-8859-1\""),
                              QStringLiteral("big")}
                : QStringList{QStringLiteral("big")};
        EXPECT_EQ(labels(), tree);
        XmlDocument web = XmlDocument::create();
        ASSERT_TRUE(web.load(window->WebFilePath()));
        EXPECT_EQ(web.xml(), reread.xml());
        EXPECT_TRUE(window->HasUnsavedChanges());
        window->markSaved();
    }
}

// A long typed text is parsed aside from the view's own buffer, as a short one is in place.
TEST_F(RefreshTest, ApplyOfALongTextGivesTheSameDocument) {
    QByteArray text = "<big>";
    for (int i = 0; i < 450000; ++i)
        text += "<record>text</record>";
    text += "<!--\u00e9--></big>";
    typeInTextView(QString::fromUtf8(text));
    click(window->ToolbarApply, "Apply");
    ASSERT_FALSE(window->m_objDocument.isNull());
    XmlDocument expected = XmlDocument::create();
    ASSERT_TRUE(expected.loadUtf8(text));
    EXPECT_EQ(window->m_objDocument.xml(), expected.xml());
    EXPECT_EQ(labels(), QStringList{QStringLiteral("big")});
    EXPECT_EQ(window->Command(QStringLiteral("mnuUndo"))->text(),
              QStringLiteral("&Undo Apply Text"));
}

// With the document element deleted, no parser takes the Document's text: a refresh keeps the
// Document as it is, and the way back with it.
TEST_F(RefreshTest, ARefreshKeepsADocumentWithNoElementAndItsHistory) {
    openFile(QStringLiteral("doc.xml"),
             "<?xml version=\"1.0\"?>\n<root><a>important data</a></root>");
    window->m_wndTree->SetSelectedItem(
        window->m_wndTree->Nodes().Next(window->m_wndTree->Nodes().FirstTopLevel()));
    ui.expectMessage(QStringLiteral("Are you sure you want to delete the selected item?"),
                     MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Orvel XML Editor"),
                     MsgResult::Yes);
    trigger("mnuDeleteItem");
    ASSERT_TRUE(window->m_objDocument.documentElement().isNull());
    trigger("mnuRefresh");
    EXPECT_FALSE(window->m_objDocument.isNull());
    EXPECT_EQ(labels(), QStringList{QStringLiteral("xml version=\"1.0\"")});
    EXPECT_EQ(window->Command(QStringLiteral("mnuUndo"))->text(), QStringLiteral("&Undo Delete"));
    trigger("mnuUndo");
    EXPECT_EQ(window->m_objDocument.documentElement().text(), QStringLiteral("important data"));
    EXPECT_FALSE(window->HasUnsavedChanges());
}
