// The text view's highlighting: QScintilla's XML colours, kept far into a large text.

#include "platform/views/palettecolours.h"
#include "platform/views/richtextbox.h"
#include "platform/views/xmllexer.h"
#include "platform/views/xmlstyling.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <Qsci/qscilexerxml.h>
#include <gtest/gtest.h>

namespace {

using Sci = QsciScintillaBase;

long send(Sci& view, unsigned int message, long argument = 0) {
    return view.SendScintilla(message, static_cast<unsigned long>(argument));
}

// The styles of [from, to) in hex; for the whole text (to < 0), then the fold level of each line.
std::string stylesOf(Sci& view, long from, long to = -1) {
    QByteArray styles, levels;
    for (long i = from; i < (to < 0 ? send(view, Sci::SCI_GETLENGTH) : to); ++i)
        styles += char(send(view, Sci::SCI_GETSTYLEAT, i));
    for (long line = 0; to < 0 && line < send(view, Sci::SCI_GETLINECOUNT); ++line)
        levels += ' ' + QByteArray::number(int(send(view, Sci::SCI_GETFOLDLEVEL, line)), 16);
    return (styles.toHex(' ') + " |" + levels).toStdString();
}

// On a white base, QScintilla's colours where they are readable, else a darker shade of them.
TEST(TextStyling, ColoursAreThoseOfQScintillasXmlLexerWhereReadable) {
    RichTextBox ours;
    QsciScintilla reference;
    reference.setUtf8(true);
    reference.setLexer(new QsciLexerXML(&reference));
    // What the editor writes, in the forms the serialiser and typing give it, nested for folding.
    const QByteArray text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r a=\"1\" b='x &amp; y'>\r\n\t<c:d "
        "xmlns:c=\"u\">t</c:d>\r\n\t<e/>\r\n<r>text &e; &#65; &lt;more</r>\r\n\t<!-- com <a> -- x "
        "-->\r\n\t<!--a\r\n<b>\r\n-->\r\n\t<![CDATA[ <x> ]] ]]>\r\n\t<![CDATA[a\r\n</r>\r\n]]>\r\n"
        "\t<?pi data?>\r\n\t<?target some more data?>\r\n\t<g\r\n\t  x = \"v\"\r\n\t  "
        "y='w\r\nz'\r\n"
        "\t/>\r\n<a>\r\n\t<b>\r\n\t\t<c>t</c>\r\n\t</b><b>\r\n\t</b>\r\n</a>\r\n"
        "<\xc3\xa4 \xc3\xa9=\"\xe2\x82\xac\">\xf0\x9f\x98\x80</\xc3\xa4>\r\n</r>";
    for (Sci* view : {static_cast<Sci*>(&ours), static_cast<Sci*>(&reference)}) {
        view->SendScintilla(Sci::SCI_APPENDTEXT, static_cast<unsigned long>(text.size()),
                            text.constData());
        view->SendScintilla(Sci::SCI_COLOURISE, 0L, -1L);
    }
    EXPECT_EQ(stylesOf(ours, 0), stylesOf(reference, 0));
    ASSERT_EQ(ours.palette().color(QPalette::Base), QColor(Qt::white));
    for (int style = 0; style < 32; ++style) {
        const QColor theirs = reference.lexer()->color(style);
        const QColor paper = reference.lexer()->paper(style);
        EXPECT_EQ(ours.lexer()->paper(style), paper) << style;
        EXPECT_EQ(ours.lexer()->font(style).family(),
                  QFontDatabase::systemFont(QFontDatabase::FixedFont).family())
            << style;
        const QColor colour = ours.lexer()->color(style);
        if (PaletteColours::Contrast(theirs, paper) >= PaletteColours::kReadable) {
            EXPECT_EQ(colour, theirs) << style;
            continue;
        }
        EXPECT_GE(PaletteColours::Contrast(colour, paper), PaletteColours::kReadable) << style;
        EXPECT_LT(colour.lightness(), theirs.lightness()) << style;
        if (theirs.saturation() > 0) {
            EXPECT_NEAR(colour.hue(), theirs.hue(), 3) << style;
        }
    }
}

// Under a dark colour scheme, each style's text as painted stands out from the background it is
// painted on by the contrast the accessibility guidelines ask for normal text (4.5), and that
// background is the scheme's.
TEST(TextStyling, UnderADarkPaletteEveryStyleIsReadableAsPainted) {
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xdc, 0xdc, 0xdc));
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::WindowText, QColor(0xdc, 0xdc, 0xdc));
    dark.setColor(QPalette::Highlight, QColor(0x26, 0x4f, 0x78));
    dark.setColor(QPalette::HighlightedText, QColor(Qt::white));
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    RichTextBox view;
    QApplication::setPalette(dark); // as a desktop changing its scheme while the program runs
    view.resize(900, 500);
    view.SetText(QStringLiteral(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY e \"x\"> ]>\n"
        "<r a=\"1\" b='two' c=3>text &e; &#65; more</r>\n<!-- a comment -->\n"
        "<![CDATA[ raw <x> ]]>\n<?pi some data?>\n<r:s xmlns:r=\"u\"/></bad>\n"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();
    const QImage shot = view.viewport()->grab().toImage();
    // Per style: the background most of its cells have, and the pixel standing out most.
    struct Seen {
        QHash<QRgb, int> backgrounds;
        double best = 1;
        int cells = 0;
    };
    QMap<int, Seen> seen;
    const long length = send(view, Sci::SCI_GETLENGTH);
    for (long i = 0; i + 1 < length; ++i) {
        const char c = char(send(view, Sci::SCI_GETCHARAT, i));
        if (c == ' ' || c == '\n')
            continue;
        const int style = int(send(view, Sci::SCI_GETSTYLEAT, i));
        const int x = int(view.SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, i));
        const int y = int(view.SendScintilla(Sci::SCI_POINTYFROMPOSITION, 0UL, i));
        const int width =
            int(view.SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, i + 1)) - x;
        const int height = int(send(view, Sci::SCI_TEXTHEIGHT, 0));
        const QRect cell = QRect(x, y, width, height).intersected(shot.rect());
        QHash<QRgb, int> counts;
        for (int py = cell.top(); py <= cell.bottom(); ++py)
            for (int px = cell.left(); px <= cell.right(); ++px)
                ++counts[shot.pixel(px, py)];
        if (counts.isEmpty())
            continue;
        const QRgb background = std::max_element(counts.keyValueBegin(), counts.keyValueEnd(),
                                                 [](auto a, auto b) { return a.second < b.second; })
                                    ->first;
        Seen& s = seen[style];
        ++s.backgrounds[background];
        ++s.cells;
        for (auto it = counts.keyBegin(); it != counts.keyEnd(); ++it)
            s.best = std::max(s.best, PaletteColours::Contrast(QColor(*it), QColor(background)));
    }
    ASSERT_GE(seen.size(), 12) << "too few styles in the sample to say much";
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        const QColor background(it->backgrounds.keys().constFirst());
        EXPECT_TRUE(PaletteColours::IsDark(background)) << "style " << it.key();
        EXPECT_GE(it->best, PaletteColours::kReadable)
            << "style " << it.key() << " on " << background.name().toStdString();
        EXPECT_EQ(QColor(background), view.lexer()->paper(it.key())) << "style " << it.key();
    }
    EXPECT_EQ(view.lexer()->paper(0), dark.color(QPalette::Base));
}

// A text far longer than the lexer reads back, every line of the unit in it: multi-line comments
// and CDATA holding what looks like tags, a tag over several lines. Shown lines anywhere are
// styled as if everything before them had been, and the gap that follows the caret by an edit of
// its own neither counts as typing, reaches the undo history nor reports an edit.
TEST(TextStyling, FarIntoALargeTextStylesAndTypingAreThoseOfASmallOne) {
    const QByteArray unit = "\t<item id=\"n1\" kind='a &amp; b'>text &lt; more</item>\r\n"
                            "\t<!-- note <not-a-tag attr=\"x\">\r\n\t  still a comment -->\r\n"
                            "\t<![CDATA[ raw <b> & \r\n\t  ]] still raw ]]>\r\n"
                            "\t<?pi some data?>\r\n\t<wide\r\n\t  a=\"1\"\r\n\t  b='2'/>\r\n";
    QByteArray text = "<?xml version=\"1.0\"?>\r\n<root>\r\n";
    while (text.size() < 4 * (XmlLexer::kReach + XmlLexer::kLookBack) + RichTextBox::kFoldedSize)
        text += unit;
    text += "</root>\r\n";
    RichTextBox view;
    view.resize(600, 400);
    view.SetText(QString::fromUtf8(text));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.folding(), QsciScintilla::NoFoldStyle) << "a large text is shown unfolded";

    QSignalSpy edits(&view, &RichTextBox::edited);
    send(view, Sci::SCI_GOTOLINE, 3);
    QTest::keyClick(&view, Qt::Key_A);
    send(view, Sci::SCI_DOCUMENTEND);
    QTest::qWait(300);
    QTest::keyClick(&view, Qt::Key_B);
    send(view, Sci::SCI_GOTOLINE, 7);
    QTest::qWait(300);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(edits.count(), 3);
    EXPECT_TRUE(view.HasTyping());
    for (int undo = 0; undo < 3; ++undo)
        view.undo();
    EXPECT_TRUE(view.Utf8Text() == text);
    EXPECT_FALSE(view.HasTyping()) << "undoing all typing leaves none";

    // Moves through the text as `message` does and checks the shown lines against all styled.
    const auto go = [&](unsigned int message, long line, const std::string& where) {
        SCOPED_TRACE(where);
        send(view, message, line);
        view.viewport()->repaint();
        const long first = send(view, Sci::SCI_GETFIRSTVISIBLELINE);
        const long from = send(view, Sci::SCI_POSITIONFROMLINE, first);
        const long to =
            send(view, Sci::SCI_GETLINEENDPOSITION, first + send(view, Sci::SCI_LINESONSCREEN));
        ASSERT_GT(to, from);
        const QByteArray whole = view.Utf8Text();
        QByteArray all(whole.size(), '\0');
        StyleXml(std::string_view(whole.constData(), std::size_t(whole.size())), {}, all.data());
        EXPECT_EQ(stylesOf(view, from, to),
                  (all.mid(from, to - from).toHex(' ') + " |").toStdString());
    };
    const long lines = view.lines(), unitLines = 9, stride = (lines / 12) / unitLines * unitLines;
    go(Sci::SCI_DOCUMENTEND, 0, "the end");
    go(Sci::SCI_GOTOLINE, lines / 2, "the middle, passed over by the jump to the end");
    go(Sci::SCI_GOTOLINE, lines / 2 - 3, "scrolled up a little");
    // Far apart, each first shown line at another line of the unit.
    for (long k = 0; k < unitLines; ++k)
        go(Sci::SCI_SETFIRSTVISIBLELINE, 2 + stride * (k + 1) + k,
           "unit line " + std::to_string(k));
    go(Sci::SCI_GOTOLINE, lines / 4, "a quarter in");
    QTest::keyClicks(&view, "<!-- typed ");
    go(Sci::SCI_SCROLLCARET, 0, "after typing an unclosed comment");
    go(Sci::SCI_DOCUMENTEND, 0, "the end after the typing");
    view.setModified(false);
}

} // namespace
