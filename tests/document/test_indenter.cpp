// The text view's indenter: the layout it makes, the content it must never touch (checked against
// libxml2's own reading of the text, over the W3C suite too), its speed on any input, and a stop.

#include "document/indenter.h"
#include "support/xmlmeaning.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>
#include <gtest/gtest.h>

#include <ostream>

// Failures show the text with its line breaks and tabs spelled out.
inline void PrintTo(const QByteArray& text, std::ostream* os) {
    *os << '"'
        << QByteArray(text)
               .replace("\r", "\\r")
               .replace("\n", "\\n")
               .replace("\t", "\\t")
               .constData()
        << '"';
}

namespace {

QByteArray indented(QByteArrayView text) {
    return Indenter::IndentXML(text).value_or("(stopped)");
}

struct Row {
    const char* behaviour;
    QByteArray in;
    QByteArray out;
};

void expectRows(QByteArray (*routine)(QByteArrayView), std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        EXPECT_EQ(routine(row.in), row.out);
    }
}

// The indented text means what the text meant, and indenting it again changes nothing.
void expectOnlyLayoutChanged(const QByteArray& text, const QString& path = QString()) {
    const QByteArray laidOut = indented(text);
    const QString meant = xmltesting::IndependentMeaning(text, path);
    if (!meant.isEmpty()) {
        EXPECT_EQ(xmltesting::IndependentMeaning(laidOut, path).toStdString(), meant.toStdString())
            << "from " << testing::PrintToString(text) << "\nto "
            << testing::PrintToString(laidOut);
    }
    EXPECT_EQ(indented(laidOut), laidOut) << "indenting again";
}

} // namespace

TEST(Indenter, LaysOutElementOnlyContentOneNodeALine) {
    expectRows(
        indented,
        {
            {"child of an element one level in", "<a><b/></a>", "<a>\r\n\t<b/>\r\n</a>"},
            {"an empty element stays on one line", "<a><b></b></a>", "<a>\r\n\t<b></b>\r\n</a>"},
            {"with its attributes too", "<r><a x=\"1\"></a></r>",
             "<r>\r\n\t<a x=\"1\"></a>\r\n</r>"},
            {"text stays between its tags", "<a><b>hi</b></a>", "<a>\r\n\t<b>hi</b>\r\n</a>"},
            {"a first-line declaration opens a level", "<?xml version=\"1.0\"?>\r\n<a><b/></a>\r\n",
             "<?xml version=\"1.0\"?>\r\n\t<a>\r\n\t\t<b/>\r\n\t</a>\r\n"},
            {"comments and instructions each on a line, opening no level",
             "<a><!--c--><?p d?><b/></a>\r\n",
             "<a>\r\n\t<!--c-->\r\n\t<?p d?>\r\n\t<b/>\r\n</a>\r\n"},
            {"top-level nodes each on a line", "<!--c-->  <!DOCTYPE a>\r\n<a/>\r\n",
             "<!--c-->\r\n<!DOCTYPE a>\r\n<a/>\r\n"},
            {"empty text stays empty", "", ""},
            {"no final line break added", "<a><b/></a>", "<a>\r\n\t<b/>\r\n</a>"},
            {"old layout replaced", "<a>\r\n      <b>\r\n\t\t\t<c/>\r\n  </b>\r\n</a>\r\n",
             "<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n</a>\r\n"},
            {"closing tag first lowers the level, unindented", "</x><a><b/></a>\r\n",
             "</x>\r\n<a>\r\n<b/>\r\n</a>\r\n"},
            {"more closing than opening tags get no tabs", "<a/></b></c>\r\n",
             "<a/>\r\n</b>\r\n</c>\r\n"},
            {"blanks before the first tag go", "  \r\n<a/>", "<a/>"},
            {"a tag over several lines stays as written", "<r><a\r\n   b=\"1\"/><c/></r>",
             "<r>\r\n\t<a\r\n   b=\"1\"/>\r\n\t<c/>\r\n</r>"},
        });
}

// Only white space in element-only content is layout; everything else is the user's.
TEST(Indenter, ContentComesOutAsItWentIn) {
    expectRows(
        indented,
        {
            {"mixed content", "<r><p>Hello <b>world</b> again</p></r>",
             "<r>\r\n\t<p>Hello <b>world</b> again</p>\r\n</r>"},
            {"blanks around text", "<a> x </a>", "<a> x </a>"},
            {"text over several lines", "<r><a>one\r\n  two\r\n</a><b/></r>",
             "<r>\r\n\t<a>one\r\n  two\r\n</a>\r\n\t<b/>\r\n</r>"},
            {"blank-only content", "<r><a>\r\n  </a></r>", "<r>\r\n\t<a>\r\n  </a>\r\n</r>"},
            {"xml:space=\"preserve\" and all inside it",
             "<r><s xml:space='preserve'> <k>\t</k>  <k/> </s></r>",
             "<r>\r\n\t<s xml:space='preserve'> <k>\t</k>  <k/> </s>\r\n</r>"},
            {"xml:space=\"default\" inside preserve still keeps the outer content",
             "<s xml:space=\"preserve\"> <d xml:space=\"default\"> <k/> </d> </s>",
             "<s xml:space=\"preserve\"> <d xml:space=\"default\"> <k/> </d> </s>"},
            {"xml:space given by default in the internal subset",
             "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]><r><s> <k/>"
             "  <k/> </s></r>",
             "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]>\r\n<r>\r\n\t"
             "<s> <k/>  <k/> </s>\r\n</r>"},
            {"an element declared to hold text",
             "<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]><r><d> <k/> </d></r>",
             "<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]>\r\n<r>\r\n\t<d> <k/> </d>\r\n</r>"},
            {"CDATA sections, and their neighbours",
             "<r><c> <![CDATA[ a ><b> \r\n ]]> <k/></c></r>",
             "<r>\r\n\t<c> <![CDATA[ a ><b> \r\n ]]> <k/></c>\r\n</r>"},
            {"instruction data and comments", "<r><?pi  a ><b\r\n ?><!-- x ><y\r\n  z --></r>",
             "<r>\r\n\t<?pi  a ><b\r\n ?>\r\n\t<!-- x ><y\r\n  z -->\r\n</r>"},
            {"attribute values, tabs and \"><\" and all", "<r a=\"1\t2\"><b c='x><y>'/></r>",
             "<r a=\"1\t2\">\r\n\t<b c='x><y>'/>\r\n</r>"},
            {"a reference may be text", "<r><a>\r\n &e; <k/></a></r>",
             "<r>\r\n\t<a>\r\n &e; <k/></a>\r\n</r>"},
            {"a lone line feed is ordinary text", "<a>\n<b/></a>", "<a>\n<b/></a>"},
            {"multi-byte characters", "<a>\xc3\xa9\xe2\x82\xac</a>", "<a>\xc3\xa9\xe2\x82\xac</a>"},
            {"an element that never ends keeps its content", "<r> <a/> <b><!-- open",
             "<r> <a/> <b><!-- open"},
        });
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
    expectRows([](QByteArrayView text) { return Indenter::UnindentXML(text).value_or("?"); },
               {
                   {"breaks between element-only nodes go", "<a>\r\n\t<b/>\r\n</a>", "<a><b/></a>"},
                   {"a final line break stays", "<a/>\r\n", "<a/>\r\n"},
                   {"content stays", "<a> x <b/> y </a>", "<a> x <b/> y </a>"},
                   {"text without tags stays", "  just text  ", "  just text  "},
               });
}

TEST(Indenter, WhiteSpaceIsCrLfTabsAndSpacesOnly) {
    const std::pair<const char*, bool> rows[] = {
        {"", true},        {" ", true},     {"\r\n\t \r\n", true}, {"\r", false},     {"\n", false},
        {"\r\t\n", false}, {"\n\r", false}, {"x", false},          {" \r\n.", false},
    };
    for (const auto& [text, white] : rows)
        EXPECT_EQ(Indenter::IsWhiteSpace(text), white) << testing::PrintToString(QByteArray(text));
    EXPECT_EQ(Indenter::Indent(-1), QByteArray());
    EXPECT_EQ(Indenter::Indent(3), QByteArray("\t\t\t"));
}

// Every well-formed document of the W3C suite, as the text view holds it (CR LF), means the same
// once indented.
TEST(Indenter, EveryDocumentOfTheConformanceSuiteKeepsItsMeaning) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR) + QStringLiteral("/xmlconf");
    if (!QDir(suite).exists())
        GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString();
    int checked = 0;
    QDirIterator files(suite, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        {
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            // The view holds UTF-8: it is what it gets when the declaration names no other.
            static const QRegularExpression declared(
                QStringLiteral(R"(^\S*<\?xml[^>]*encoding\s*=\s*["']([^"']+))"));
            const QRegularExpressionMatch encoding =
                declared.match(QString::fromLatin1(bytes.left(200)));
            QStringDecoder utf8(QStringDecoder::Utf8);
            (void)utf8.decode(bytes);
            if (utf8.hasError() || bytes.contains('\0') ||
                (encoding.hasMatch() &&
                 encoding.captured(1).compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) ||
                xmltesting::IndependentMeaning(bytes, file.fileName()).isEmpty())
                continue;
            QByteArray crlf = bytes;
            crlf.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
            SCOPED_TRACE(file.fileName().toStdString());
            expectOnlyLayoutChanged(crlf, file.fileName());
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

// Linear in the text whatever it holds: levels close where their elements do, however their text
// runs over lines, and no counter wraps past 32767 lines.
TEST(Indenter, LongTextsAreIndentedWholeInLinearTime) {
    constexpr int kCount = 40000;
    QByteArray many = "<r>";
    for (int i = 0; i < kCount; ++i)
        many += "<i><j/></i><t>spans\r\nlines</t>";
    many += "</r>\r\n";
    const QByteArray once = indented(many);
    const QList<QByteArray> lines = once.split('\n');
    ASSERT_EQ(lines.size(), 5 * kCount + 3);
    EXPECT_EQ(lines[5 * kCount - 4], "\t<i>\r");
    EXPECT_EQ(lines[5 * kCount - 3], "\t\t<j/>\r");
    EXPECT_EQ(lines[5 * kCount - 1], "\t<t>spans\r");
    EXPECT_EQ(lines[5 * kCount + 1], "</r>\r");
    EXPECT_LT(once.size(), many.size() * 2);
    EXPECT_EQ(indented(once), once);

    QByteArray unbalanced;
    for (int i = 0; i < kCount; ++i)
        unbalanced += "</x>";
    unbalanced += "<a><b/></a>\r\n";
    EXPECT_FALSE(indented(unbalanced).contains('\t'));
}

// The count covers both passes over the text; a stop ends the work without a result.
TEST(Indenter, CountsItsProgressAndStopsWhenAsked) {
    const QByteArray text = "<r>" + QByteArray("<a> <b/> </a>").repeated(20000) + "</r>";
    WorkProgress progress;
    ASSERT_TRUE(Indenter::IndentXML(text, &progress));
    EXPECT_EQ(progress.done.load(), 2 * text.size());
    progress.stop = true;
    EXPECT_FALSE(Indenter::IndentXML(text, &progress));
    EXPECT_FALSE(Indenter::UnindentXML(text, &progress));
}
