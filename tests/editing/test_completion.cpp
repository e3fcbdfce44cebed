// Completion in the window: the tree's label edits and the attribute editor offer what the
// document's DTD allows at the place, the text view offers it as the user types, and what the
// user takes validates (libxml2 reading the saved file is the judge).

#include "platform/views/richtextbox.h"
#include "platform/xml/xmllibrary.h"
#include "support/editingfixture.h"

#include <libxml/parser.h>

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QSettings>

namespace {

const char* const kDtd = R"(<!ELEMENT book (title, chapter+, appendix?)>
<!ATTLIST book status (draft|final) #REQUIRED>
<!ELEMENT title (#PCDATA)>
<!ELEMENT chapter (title?, (para|note)*)>
<!ATTLIST chapter kind (intro|body) "body" id ID #IMPLIED>
<!ELEMENT para (#PCDATA|em)*>
<!ATTLIST para role (tip|warning) #REQUIRED xml:lang CDATA #IMPLIED>
<!ELEMENT em (#PCDATA)>
<!ELEMENT note (#PCDATA)>
<!ELEMENT appendix (#PCDATA)>)";

const char* const kBook = "<!DOCTYPE book SYSTEM \"book.dtd\">\n"
                          "<book status=\"draft\"><title>T</title><chapter><title>C</title>"
                          "</chapter></book>\n";

QStringList rows(const QAbstractItemModel* model, int role = Qt::DisplayRole) {
    QStringList out;
    for (int row = 0; model && row < model->rowCount(); ++row)
        out << model->index(row, 0).data(role).toString();
    return out;
}

// The saved file, read and validated by libxml2 alone against the DTD it names.
bool validAgainstItsDtd(const QString& path) {
    xmlimpl::LocalFileReads reads;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    xmlDocPtr doc = xmlCtxtReadFile(ctxt, QFile::encodeName(path).constData(), nullptr,
                                    XML_PARSE_DTDVALID | XML_PARSE_NONET | XML_PARSE_NOERROR |
                                        XML_PARSE_NOWARNING);
    const bool valid = doc && ctxt->valid;
    xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    return valid;
}

class CompletionTest : public EditingTest {
protected:
    void openBook() {
        writeFile(QStringLiteral("book.dtd"), kDtd);
        m_path = openFile(QStringLiteral("book.xml"), kBook);
        ASSERT_TRUE(validAgainstItsDtd(m_path));
    }
    QStringList offeredByLabel() {
        QLineEdit* line = labelEditor();
        return line && line->completer() ? rows(line->completer()->model()) : QStringList();
    }
    RichTextBox& view() { return *window->m_txtXML; }
    QByteArray viewText() { return view().Utf8Text(); }
    void caretAfter(const QByteArray& text) {
        const qsizetype at = viewText().indexOf(text);
        ASSERT_GE(at, 0) << text.constData();
        view().SendScintilla(QsciScintilla::SCI_GOTOPOS,
                             static_cast<unsigned long>(at + text.size()));
    }
    QString listCurrent() {
        char current[256] = {};
        view().SendScintilla(QsciScintilla::SCI_AUTOCGETCURRENTTEXT, current);
        return QString::fromUtf8(current);
    }
    QString m_path;
};

} // namespace

// Insert Element opens the label on the first name allowed as the new last child, with the others
// to choose from; a rename offers what fits between the siblings. What is taken validates.
TEST_F(CompletionTest, TheTreesLabelsOfferTheNamesAllowedThere) {
    openBook();
    click(find("book/chapter"));
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    ASSERT_NE(labelEditor(), nullptr);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("para"));
    EXPECT_EQ(offeredByLabel(), (QStringList{"para", "note"}));
    // The keys go to the list while it is open; the name moved to stands in the label at once.
    QAbstractItemView* list = labelEditor()->completer()->popup();
    QCoreApplication::processEvents();
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("note"));
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("para"));
    QTest::keyClick(list, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(labelsUnder("book/chapter"), (QStringList{"title", "para"}));
    check();

    click(find("book"));
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(offeredByLabel(), (QStringList{"chapter", "appendix"}));
    typeLabel(QStringLiteral("appendix"));
    click(find("book/title"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("title")) << "a rename starts from the name";
    EXPECT_EQ(offeredByLabel(), (QStringList{"title"}));
    QTest::keyClick(labelEditor(), Qt::Key_Escape);

    // The new para still lacks its required attribute: the attribute editor offers it first,
    // marked, and its values in the drop-down.
    click(find("book/chapter/para"));
    ui.expectModal([](QDialog& dialog) {
        auto& editor = dynamic_cast<frmAttributeEditor&>(dialog);
        ASSERT_NE(editor.txtName->completer(), nullptr);
        const QAbstractItemModel* names = editor.txtName->completer()->model();
        EXPECT_EQ(rows(names), (QStringList{"role  (required)", "xml:lang"}));
        EXPECT_EQ(rows(names, editor.txtName->completer()->completionRole()),
                  (QStringList{"role", "xml:lang"}));
        EXPECT_TRUE(editor.cboValues->isHidden());
        QTest::keyClicks(editor.txtName, QStringLiteral("role"));
        EXPECT_FALSE(editor.cboValues->isHidden());
        EXPECT_EQ(rows(editor.cboValues->model()), (QStringList{"tip", "warning"}));
        editor.cboValues->setFocus();
        QTest::keyClick(editor.cboValues, Qt::Key_Down);
        QTest::keyClick(editor.cboValues, Qt::Key_Down);
        EXPECT_EQ(editor.txtText->toPlainText(), QStringLiteral("warning"));
        editor.cmdOK->click();
    });
    trigger("mnuNewAttribute");
    check();

    // Updating the value (a double-click): the same drop-down, free text still possible.
    const Id role = find("book/chapter/para/role = \"warning\"");
    click(role);
    ui.expectModal([](QDialog& dialog) {
        auto& editor = dynamic_cast<frmAttributeEditor&>(dialog);
        EXPECT_EQ(rows(editor.cboValues->model()), (QStringList{"tip", "warning"}));
        EXPECT_EQ(editor.cboValues->currentText(), QStringLiteral("warning"));
        editor.cboValues->setFocus();
        QTest::keyClick(editor.cboValues, Qt::Key_Up);
        editor.cmdOK->click();
    });
    QTest::mouseDClick(window->m_wndTree->viewport(), Qt::LeftButton, {},
                       window->m_wndTree->visualRect(nodes().IndexOf(role)).center());
    check();
    trigger("mnuSave");
    EXPECT_TRUE(validAgainstItsDtd(m_path)) << readFile(m_path).constData();
    EXPECT_TRUE(readFile(m_path).contains("<para role=\"tip\"/></chapter><appendix/>"))
        << readFile(m_path).constData();
}

// Without a schema the document's own usage is offered.
TEST_F(CompletionTest, WithoutASchemaTheDocumentsOwnNamesAreOffered) {
    load("<list><item><name/><price/></item><item/></list>");
    click(find("list/item"));
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("name"));
    EXPECT_EQ(offeredByLabel(), (QStringList{"name", "price"}));
    typeLabel(QStringLiteral("price"));
    check();
}

// In the text view: "<" lists the elements allowed at the caret, a blank in a start tag the
// attributes, the chosen attribute its values; ">" adds the end tag, "</" completes it.
TEST_F(CompletionTest, TheTextViewCompletesAsTheUserTypes) {
    openBook();
    trigger("mnutextView");
    view().setFocus();
    caretAfter("<title>C</title>");
    QTest::keyClicks(&view(), QStringLiteral("<"));
    ASSERT_TRUE(view().isListActive());
    EXPECT_EQ(listCurrent(), QStringLiteral("para"));
    QTest::keyClick(&view(), Qt::Key_Down);
    QTest::keyClick(&view(), Qt::Key_Return);
    EXPECT_TRUE(viewText().contains("<title>C</title><note</chapter>")) << viewText().constData();
    QTest::keyClicks(&view(), QStringLiteral(">"));
    EXPECT_TRUE(viewText().contains("<note></note></chapter>"));
    QTest::keyClicks(&view(), QStringLiteral("n</"));
    EXPECT_TRUE(viewText().contains("<note>n</note></note></chapter>"))
        << "the innermost open element's end tag comes at once";
    view().undo();
    view().undo();
    EXPECT_TRUE(viewText().contains("<note></note></chapter>")) << viewText().constData();

    caretAfter("<chapter");
    QTest::keyClicks(&view(), QStringLiteral(" "));
    ASSERT_TRUE(view().isListActive());
    EXPECT_EQ(listCurrent(), QStringLiteral("kind"));
    QTest::keyClick(&view(), Qt::Key_Tab);
    EXPECT_TRUE(viewText().contains("<chapter kind=\"\">"));
    QCoreApplication::processEvents();
    ASSERT_TRUE(view().isListActive()) << "the values follow";
    EXPECT_EQ(listCurrent(), QStringLiteral("intro"));
    QTest::keyClick(&view(), Qt::Key_Return);
    EXPECT_TRUE(viewText().contains("<chapter kind=\"intro\">")) << viewText().constData();

    // Ctrl+Space asks anywhere; nothing is offered inside a comment.
    caretAfter("<book status=\"");
    QTest::keyClick(&view(), Qt::Key_Space, Qt::ControlModifier);
    ASSERT_TRUE(view().isListActive());
    QTest::keyClick(&view(), Qt::Key_Escape);
    trigger("mnuTreeView");
    EXPECT_EQ(labelsUnder("book/chapter"), (QStringList{"kind = \"intro\"", "title", "note"}));
    trigger("mnuSave");
    EXPECT_TRUE(validAgainstItsDtd(m_path)) << readFile(m_path).constData();
}

// Enter keeps the indentation, one level more after a start tag left open; Ctrl+/ comments the
// lines out and back in; "Close Tags Automatically" is a remembered setting.
TEST_F(CompletionTest, TypingAidsFollowTheTextsLayoutAndTheSetting) {
    load("<r>\r\n    <a>x</a>\r\n</r>\r\n");
    trigger("mnutextView");
    view().setFocus();
    caretAfter("<a>x</a>");
    QTest::keyClick(&view(), Qt::Key_Return);
    QTest::keyClicks(&view(), QStringLiteral("<b>"));
    EXPECT_TRUE(viewText().contains("<a>x</a>\r\n    <b></b>\r\n</r>")) << viewText().constData();
    QTest::keyClick(&view(), Qt::Key_Return);
    EXPECT_TRUE(viewText().contains("\r\n    <b>\r\n        \r\n    </b>\r\n</r>"))
        << "the end tag goes to a line of its own: " << viewText().constData();

    caretAfter("<a>x</a>");
    QTest::keyClick(&view(), Qt::Key_Slash, Qt::ControlModifier);
    EXPECT_TRUE(viewText().contains("\r\n    <!-- <a>x</a> -->\r\n")) << viewText().constData();
    trigger("mnuToggleComment");
    EXPECT_TRUE(viewText().contains("\r\n    <a>x</a>\r\n")) << viewText().constData();

    QAction* closeTags = window->Command(QStringLiteral("mnuCloseTags"));
    ASSERT_TRUE(closeTags->isChecked()) << "on by default";
    trigger("mnuCloseTags");
    EXPECT_FALSE(QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"))
                     .value(QStringLiteral("textView/closeTagsAutomatically"))
                     .toBool());
    caretAfter("<a>x");
    QTest::keyClicks(&view(), QStringLiteral("<i>"));
    EXPECT_TRUE(viewText().contains("<a>x<i></a>"));
    trigger("mnuCloseTags");
    EXPECT_TRUE(closeTags->isChecked());
    view().undo();
    window->markSaved();
}
