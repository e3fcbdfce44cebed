// The text view's indenter: the layout it makes, the content it must never touch (checked against
// libxml2's own reading of the text, over the W3C suite too), its speed on any input, and a stop.

#include "document/indenter.h"
#include "support/xmlmeaning.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

// As a std::string, so that failures spell out line breaks and tabs.
std::string indented(QByteArrayView text) {
    return Indenter::IndentXML(text).value_or("(stopped)").toStdString();
}

// The indented text means what the text meant, and indenting it again changes nothing.
void expectOnlyLayoutChanged(const QByteArray& text, const QString& path = {}) {
    const QByteArray laidOut = Indenter::IndentXML(text).value_or("(stopped)");
    const QString meant = xmltesting::IndependentMeaning(text, path);
    const QString now = meant.isEmpty() ? meant : xmltesting::IndependentMeaning(laidOut, path);
    EXPECT_EQ(now.toStdString(), meant.toStdString())
        << "to " << testing::PrintToString(laidOut.toStdString());
    EXPECT_EQ(indented(laidOut), laidOut.toStdString()) << "indenting again";
}

} // namespace

// Only white space in element-only content is layout; everything else is the user's.
TEST(Indenter, LaysOutElementOnlyContentAndKeepsAllElse) {
    const struct {
        const char* behaviour;
        const char* in;
        const char* out = nullptr; // none: as it went in
    } rows[] = {
        {"child of an element one level in, no final break added", "<a><b/></a>",
         "<a>\r\n\t<b/>\r\n</a>"},
        {"a first-line declaration opens a level", "<?xml version=\"1.0\"?>\r\n<a><b/></a>\r\n",
         "<?xml version=\"1.0\"?>\r\n\t<a>\r\n\t\t<b/>\r\n\t</a>\r\n"},
        {"comments and instructions each on a line, opening no level",
         "<a><!--c--><?p d?><b/></a>\r\n", "<a>\r\n\t<!--c-->\r\n\t<?p d?>\r\n\t<b/>\r\n</a>\r\n"},
        {"top-level nodes each on a line", "<!--c-->  <!DOCTYPE a>\r\n<a/>\r\n",
         "<!--c-->\r\n<!DOCTYPE a>\r\n<a/>\r\n"},
        {"empty text stays empty", "", ""},
        {"old layout replaced", "<a>\r\n      <b>\r\n\t\t\t<c/>\r\n  </b>\r\n</a>\r\n",
         "<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n</a>\r\n"},
        {"closing tag first lowers the level, unindented", "</x><a><b/></a>\r\n",
         "</x>\r\n<a>\r\n<b/>\r\n</a>\r\n"},
        {"more closing than opening tags get no tabs", "<a/></b></c>\r\n",
         "<a/>\r\n</b>\r\n</c>\r\n"},
        {"blanks before the first tag go", "  \r\n<a/>", "<a/>"},
        {"a byte order mark stays in front", "\xEF\xBB\xBF<a><b/></a>",
         "\xEF\xBB\xBF<a>\r\n\t<b/>\r\n</a>"},
        {"xml:space given by default in the internal subset",
         "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]><r><s> <k/>  <k/> "
         "</s></r>",
         "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]>\r\n<r>\r\n\t"
         "<s> <k/>  <k/> </s>\r\n</r>"},
        {"an element declared to hold text",
         "<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]><r><d> <k/> </d></r>",
         "<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]>\r\n<r>\r\n\t<d> <k/> </d>\r\n</r>"},
        {"an element that never ends keeps its content", "<r> <a/> <b><!-- open"},
        {"blanks around text", "<a> x </a>"},
        {"xml:space=\"default\" inside preserve still keeps the outer content",
         "<s xml:space=\"preserve\"> <d xml:space=\"default\"> <k/> </d> </s>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        EXPECT_EQ(indented(row.in), row.out ? row.out : row.in);
        expectOnlyLayoutChanged(row.in);
    }
    // Each stands on one line of element-only content exactly as written.
    for (const QByteArray node : {
             "<b></b>",                                       // an empty element
             "<a x=\"1\t2\" c='x><y>'></a>",                  // attribute values
             "<b>hi</b>",                                     // text
             "<p>Hello <b>world</b> again</p>",               // mixed content
             "<a>one\r\n  two\r\n</a>",                       // text over several lines
             "<a>\r\n  </a>",                                 // blank-only content
             "<s xml:space='preserve'> <k>\t</k>  <k/> </s>", // and all inside it
             "<c> <![CDATA[ a ><b> \r\n ]]> <k/></c>",        // CDATA and its neighbours
             "<?pi  a ><b\r\n ?>",                            // instruction data
             "<!-- x ><y\r\n  z -->",                         // comments
             "<a>\r\n &e; <k/></a>",                          // a reference may be text
             "<a>\n<b/>\r<c/>\r\t\n<d/>\n\r</a>",             // a lone CR or LF is text
             "<a>\xc3\xa9\xe2\x82\xac</a>",                   // multi-byte characters
             "<a\r\n   b=\"1\"/>",                            // a tag over several lines
         }) {
        SCOPED_TRACE(node.toStdString());
        EXPECT_EQ(indented("<r>" + node + "<z/></r>"),
                  ("<r>\r\n\t" + node + "\r\n\t<z/>\r\n</r>").toStdString());
        expectOnlyLayoutChanged("<r>" + node + "<z/></r>");
    }
    for (const char* text :
         {"<?xml version=\"1.0\"?>\r\n<!--c-->\r\n<r xmlns:p=\"urn:p\"><p:a k=\"v\">text<b>bold</b>"
          " tail</p:a><e></e><f g=\"1\"></f><x><![CDATA[x<y>z]]></x><?pi data?><deep><deeper>"
          "<deepest/></deeper></deep></r>\r\n",
          "<!DOCTYPE r [<!ENTITY e \"<i>x</i>\"><!ATTLIST t xml:space CDATA 'preserve'>]>\r\n"
          "<r>\r\n  <t> <u/> </t>\r\n  <v>&e;</v>\r\n  <w>\r\n    &e;\r\n  </w>\r\n</r>\r\n"}) {
        SCOPED_TRACE(text);
        expectOnlyLayoutChanged(text);
    }
}

TEST(Indenter, UnindentStripsTheLayoutOnly) {
    const std::pair<const char*, const char*> rows[] = {
        {"<a>\r\n\t<b/>\r\n</a>", "<a><b/></a>"}, // breaks between element-only nodes go
        {"<a/>\r\n", "<a/>\r\n"},                 // a final line break stays
        {"<a> x <b/> y </a>", "<a> x <b/> y </a>"},
        {"  just text  ", "  just text  "},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(Indenter::UnindentXML(in).value_or("?").toStdString(), out);
    for (const char* white : {"", " ", "\r\n\t \r\n"})
        EXPECT_TRUE(Indenter::IsWhiteSpace(white)) << testing::PrintToString(white);
    for (const char* text : {"\r", "\n", "\r\t\n", "\n\r", "x", " \r\n."})
        EXPECT_FALSE(Indenter::IsWhiteSpace(text)) << testing::PrintToString(text);
}

// Every well-formed document of the W3C suite, as the text view holds it (CR LF), means the same
// once indented.
TEST(Indenter, EveryDocumentOfTheConformanceSuiteKeepsItsMeaning) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR "/xmlconf");
    if (!QDir(suite).exists())
        GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString();
    int checked = 0;
    QDirIterator files(suite, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        // The view holds UTF-8: it is what it gets when the declaration names no other.
        static const QRegularExpression declared(R"(^\S*<\?xml[^>]*encoding\s*=\s*["']([^"']+))");
        const QRegularExpressionMatch encoding =
            declared.match(QString::fromLatin1(bytes.left(200)));
        QStringDecoder utf8(QStringDecoder::Utf8);
        (void)utf8.decode(bytes);
        if (utf8.hasError() || bytes.contains('\0') ||
            (encoding.hasMatch() && encoding.captured(1).compare("UTF-8", Qt::CaseInsensitive)) ||
            xmltesting::IndependentMeaning(bytes, file.fileName()).isEmpty())
            continue;
        QByteArray crlf = bytes;
        crlf.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
        SCOPED_TRACE(file.fileName().toStdString());
        expectOnlyLayoutChanged(crlf, file.fileName());
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

// Linear in the text whatever it holds: levels close where their elements do, however their text
// runs over lines, and no counter wraps past 32767 lines. The count covers both passes over the
// text; a stop ends the work without a result.
TEST(Indenter, LongTextsAreIndentedWholeCountingProgressAndStopWhenAsked) {
    constexpr int kCount = 40000;
    const QByteArray many =
        "<r>" + QByteArray("<i><j/></i><t>spans\r\nlines</t>").repeated(kCount) + "</r>\r\n";
    WorkProgress progress;
    const QByteArray once = Indenter::IndentXML(many, &progress).value_or("(stopped)");
    EXPECT_EQ(progress.done.load(), 2 * many.size());
    const QList<QByteArray> lines = once.split('\n');
    ASSERT_EQ(lines.size(), 5 * kCount + 3);
    EXPECT_EQ(lines[5 * kCount - 4], "\t<i>\r");
    EXPECT_EQ(lines[5 * kCount - 3], "\t\t<j/>\r");
    EXPECT_EQ(lines[5 * kCount - 1], "\t<t>spans\r");
    EXPECT_EQ(lines[5 * kCount + 1], "</r>\r");
    EXPECT_LT(once.size(), many.size() * 2);
    EXPECT_EQ(indented(once), once.toStdString());
    EXPECT_EQ(indented(QByteArray("</x>").repeated(kCount) + "<a><b/></a>\r\n").find('\t'),
              std::string::npos);
    progress.stop = true;
    EXPECT_FALSE(Indenter::IndentXML(many, &progress));
    EXPECT_FALSE(Indenter::UnindentXML(many, &progress));
}
