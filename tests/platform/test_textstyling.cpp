// The text view's highlighting: QScintilla's XML colours for what the editor writes, the same
// styles far into a large text as when everything before it is styled, and typing there unchanged
// by the gap that follows the caret.

#include "platform/views/richtextbox.h"
#include "platform/views/xmllexer.h"
#include "platform/views/xmlstyling.h"

#include <gtest/gtest.h>

#include <Qsci/qscilexerxml.h>

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray stylesOf(QsciScintillaBase& view, long from, long to) {
    QByteArray styles;
    for (long i = from; i < to; ++i)
        styles += char(view.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, i));
    return styles;
}

QByteArray foldLevelsOf(QsciScintillaBase& view) {
    QByteArray levels;
    const long lines = view.SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT);
    for (long line = 0; line < lines; ++line)
        levels += QByteArray::number(
                      int(view.SendScintilla(QsciScintillaBase::SCI_GETFOLDLEVEL, line)), 16) +
                  ' ';
    return levels;
}

void putText(QsciScintillaBase& view, const QByteArray& text) {
    view.SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    view.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(text.size()),
                       text.constData());
    view.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0L, -1L);
}

// What the editor writes, in the forms the serialiser and typing give it.
const struct {
    const char* name;
    const char* text;
} kConstructs[] = {
    {"XmlDeclaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r/>\r\n"},
    {"TagsAttributesAndQuotes",
     "<r a=\"1\" b='x &amp; y'>\r\n\t<c:d xmlns:c=\"u\">t</c:d>\r\n\t<e/>\r\n</r>\r\n"},
    {"EntitiesInText", "<r>text &e; &#65; &lt;more</r>\r\n"},
    {"CommentsWithMarkupInside", "<r>\r\n\t<!-- com <a> -- x -->\r\n\t<!--a\r\n<b>\r\n-->\r\n</r>"},
    {"CDataWithMarkupInside",
     "<r>\r\n\t<![CDATA[ <x> ]] ]]>\r\n\t<![CDATA[a\r\n</r>\r\n]]>\r\n</r>"},
    {"ProcessingInstructions", "<r>\r\n\t<?pi data?>\r\n\t<?target some more data?>\r\n</r>"},
    {"TagOverSeveralLines", "<r>\r\n\t<g\r\n\t  x = \"v\"\r\n\t  y='w\r\nz'\r\n\t/>\r\n</r>\r\n"},
    {"NestedElementsForFolding", "<a>\r\n\t<b>\r\n\t\t<c>t</c>\r\n\t</b><b>\r\n\t</b>\r\n</a>\r\n"},
    {"TextBeyondAscii", "<\xc3\xa4 \xc3\xa9=\"\xe2\x82\xac\">\xf0\x9f\x98\x80</\xc3\xa4>"},
};

TEST(TextStyling, ColoursAreThoseOfQScintillasXmlLexer) {
    RichTextBox ours;
    QsciScintilla reference;
    reference.setUtf8(true);
    reference.setLexer(new QsciLexerXML(&reference));
    for (const auto& row : kConstructs) {
        SCOPED_TRACE(row.name);
        putText(ours, row.text);
        putText(reference, row.text);
        const long length = reference.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
        EXPECT_EQ(stylesOf(ours, 0, length).toHex(' '), stylesOf(reference, 0, length).toHex(' '));
        EXPECT_EQ(foldLevelsOf(ours), foldLevelsOf(reference));
        for (int style = 0; style < 32; ++style) {
            EXPECT_EQ(ours.lexer()->color(style), reference.lexer()->color(style)) << style;
            EXPECT_EQ(ours.lexer()->paper(style), reference.lexer()->paper(style)) << style;
        }
    }
}

// A text far longer than the lexer reads back, every line of the unit in it: multi-line comments
// and CDATA holding what looks like tags, a tag over several lines.
QByteArray largeText() {
    const QByteArray unit = "\t<item id=\"n1\" kind='a &amp; b'>text &lt; more</item>\r\n"
                            "\t<!-- note <not-a-tag attr=\"x\">\r\n"
                            "\t  still a comment -->\r\n"
                            "\t<![CDATA[ raw <b> & \r\n"
                            "\t  ]] still raw ]]>\r\n"
                            "\t<?pi some data?>\r\n"
                            "\t<wide\r\n"
                            "\t  a=\"1\"\r\n"
                            "\t  b='2'/>\r\n";
    QByteArray text = "<?xml version=\"1.0\"?>\r\n<root>\r\n";
    while (text.size() < 4 * (XmlLexer::kReach + XmlLexer::kLookBack) + RichTextBox::kFoldedSize)
        text += unit;
    return text + "</root>\r\n";
}

class FarStylingTest : public ::testing::Test {
protected:
    void SetUp() override {
        text = largeText();
        view.resize(600, 400);
        view.SetText(QString::fromUtf8(text));
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void TearDown() override { view.setModified(false); }

    // The shown lines are styled as if everything before them had been.
    void expectShownLinesStyled(const char* where) {
        SCOPED_TRACE(where);
        view.viewport()->repaint();
        const long first = view.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
        const long last = first + view.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
        const long from = view.SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, first);
        const long to = view.SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, last);
        ASSERT_GT(to, from);
        const QByteArray whole = view.Utf8Text();
        QByteArray all(whole.size(), '\0');
        StyleXml(std::string_view(whole.constData(), std::size_t(whole.size())), {}, all.data());
        EXPECT_EQ(stylesOf(view, from, to).toHex(' '), all.mid(from, to - from).toHex(' '));
    }

    QByteArray text;
    RichTextBox view;
};

TEST_F(FarStylingTest, JumpsAndScrollsShowTheFullyStyledStyles) {
    EXPECT_EQ(view.folding(), QsciScintilla::NoFoldStyle) << "a large text is shown unfolded";
    view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    expectShownLinesStyled("the end");
    const long lines = view.lines();
    view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE, static_cast<unsigned long>(lines / 2));
    expectShownLinesStyled("the middle, passed over by the jump to the end");
    view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE, static_cast<unsigned long>(lines / 2 - 3));
    expectShownLinesStyled("scrolled up a little");
    // Far apart, each first shown line at another line of the unit: inside a comment, a CDATA
    // section, a tag over several lines.
    const long unitLines = 9;
    const long stride = (lines / 12) / unitLines * unitLines;
    for (long k = 0; k < unitLines; ++k) {
        const long first = 2 + stride * (k + 1) + k;
        view.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE,
                           static_cast<unsigned long>(first));
        expectShownLinesStyled(QByteArray::number(qlonglong(first)).constData());
    }
    view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE, static_cast<unsigned long>(lines / 4));
    QTest::keyClicks(&view, QStringLiteral("<!-- typed "));
    expectShownLinesStyled("after typing an unclosed comment");
    view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    expectShownLinesStyled("the end after the typing");
}

// The gap follows the caret by an edit of its own: it must not count as typing, reach the undo
// history or report an edit.
TEST_F(FarStylingTest, TypingFarApartIsUndoneExactlyAndReportedOnce) {
    QSignalSpy edits(&view, &RichTextBox::edited);
    view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE, 3UL);
    QTest::keyClick(&view, Qt::Key_A);
    view.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    QTest::qWait(300);
    QTest::keyClick(&view, Qt::Key_B);
    view.SendScintilla(QsciScintillaBase::SCI_GOTOLINE, 7UL);
    QTest::qWait(300);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(edits.count(), 3);
    EXPECT_TRUE(view.HasTyping());
    for (int undo = 0; undo < 3; ++undo)
        view.undo();
    EXPECT_TRUE(view.Utf8Text() == text);
    EXPECT_FALSE(view.HasTyping()) << "undoing all typing leaves none";
}

} // namespace
