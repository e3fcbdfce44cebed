// The text view's indenter: the layout it makes, the content it must never touch (checked against
// libxml2's own reading of the text, over the W3C suite too), its speed on any input, and a stop.

#include "document/indenter.h"
#include "support/xmlmeaning.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
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
    const std::pair<const char*, const char*> rows[] = {
        {"<a><b/></a>", "<a>\r\n\t<b/>\r\n</a>"},      // no final break added
        {"<?xml version=\"1.0\"?>\r\n<a><b/></a>\r\n", // a first-line declaration opens a level
         "<?xml version=\"1.0\"?>\r\n\t<a>\r\n\t\t<b/>\r\n\t</a>\r\n"},
        {"<a><!--c--><?p d?><b/></a>\r\n", "<a>\r\n\t<!--c-->\r\n\t<?p d?>\r\n\t<b/>\r\n</a>\r\n"},
        {"<!--c-->  <!DOCTYPE a>\r\n<a/>\r\n", "<!--c-->\r\n<!DOCTYPE a>\r\n<a/>\r\n"},
        {"", ""},
        {"<a>\r\n      <b>\r\n\t\t\t<c/>\r\n  </b>\r\n</a>\r\n",
         "<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n</a>\r\n"},
        {"</x><a><b/></a>\r\n", "</x>\r\n<a>\r\n<b/>\r\n</a>\r\n"}, // a closing tag lowers
        {"<a/></b></c>\r\n", "<a/>\r\n</b>\r\n</c>\r\n"},
        {"  \r\n<a/>", "<a/>"},
        {"\xEF\xBB\xBF<a><b/></a>", "\xEF\xBB\xBF<a>\r\n\t<b/>\r\n</a>"},
        {"<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]><r><s> <k/>  <k/> "
         "</s></r>",
         "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) \"preserve\">]>\r\n<r>\r\n\t"
         "<s> <k/>  <k/> </s>\r\n</r>"},
        {"<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]><r><d> <k/> </d></r>",
         "<!DOCTYPE r [<!ELEMENT d (#PCDATA|k)*>]>\r\n<r>\r\n\t<d> <k/> </d>\r\n</r>"},
        {"<r> <a/> <b><!-- open", nullptr}, // an element that never ends
        {"<a> x </a>", nullptr},
        {"<s xml:space=\"preserve\"> <d xml:space=\"default\"> <k/> </d> </s>", nullptr},
    };
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in);
        EXPECT_EQ(indented(in), out ? out : in);
        expectOnlyLayoutChanged(in);
    }
    // Markup brought in by an entity, xml:space declared with another type.
    expectOnlyLayoutChanged("<!DOCTYPE r [<!ENTITY e \"<i>x</i>\"><!ATTLIST t xml:space CDATA "
                            "'preserve'>]>\r\n<r>\r\n  <t> <u/> </t>\r\n  <v>&e;</v>\r\n  <w>\r\n"
                            "    &e;\r\n  </w>\r\n</r>\r\n");
    // Each stands on one line of element-only content exactly as written.
    for (const QByteArray node :
         {"<b></b>", "<a x=\"1\t2\" c='x><y>'></a>", "<b>hi</b>", "<p>Hello <b>world</b> again</p>",
          "<a>one\r\n  two\r\n</a>", "<a>\r\n  </a>",
          "<s xml:space='preserve'> <k>\t</k>  <k/> </s>", // and all inside it
          "<c> <![CDATA[ a ><b> \r\n ]]> <k/></c>", "<?pi  a ><b\r\n ?>", "<!-- x ><y\r\n  z -->",
          "<a>\r\n &e; <k/></a>",              // a reference may be text
          "<a>\n<b/>\r<c/>\r\t\n<d/>\n\r</a>", // a lone CR or LF is text
          "<a>\xc3\xa9\xe2\x82\xac</a>", "<a\r\n   b=\"1\"/>"}) {
        SCOPED_TRACE(node.toStdString());
        // Lines end as the text's first one does.
        const QByteArray br = node.startsWith("<a>\n") ? "\n" : "\r\n";
        EXPECT_EQ(indented("<r>" + node + "<z/></r>"),
                  ("<r>" + br + "\t" + node + br + "\t<z/>" + br + "</r>").toStdString());
        expectOnlyLayoutChanged("<r>" + node + "<z/></r>");
    }
}

// Unindenting strips breaks between element-only nodes only; a final line break stays.
TEST(Indenter, UnindentStripsTheLayoutOnly) {
    EXPECT_EQ(Indenter::UnindentXML("<a>\r\n\t<b/>\r\n</a>\r\n"), "<a><b/></a>\r\n");
    for (const char* kept : {"<a> x <b/> y </a>", "  just text  "})
        EXPECT_EQ(Indenter::UnindentXML(kept), kept);
}

// Every well-formed document of the W3C suite, as the text view holds it (CR LF), means the same
// once indented.
TEST(Indenter, EveryDocumentOfTheConformanceSuiteKeepsItsMeaning) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR "/xmlconf");
    if (!QDir(suite).exists())
        GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString();
    // The view holds UTF-8: what it gets when the declaration names no other.
    static const QRegularExpression otherEncoding(
        R"(^\S*<\?xml[^>]*encoding\s*=\s*["'](?!(?i:utf-8)["']))");
    int checked = 0;
    QDirIterator files(suite, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray bytes = file.readAll();
        if (!bytes.isValidUtf8() || bytes.contains('\0') ||
            otherEncoding.match(QString::fromLatin1(bytes.left(200))).hasMatch() ||
            xmltesting::IndependentMeaning(bytes, file.fileName()).isEmpty())
            continue;
        SCOPED_TRACE(file.fileName().toStdString());
        expectOnlyLayoutChanged(
            bytes.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n"), file.fileName());
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
    EXPECT_EQ(lines.mid(5 * kCount - 4),
              QList<QByteArray>({"\t<i>\r", "\t\t<j/>\r", "\t</i>\r", "\t<t>spans\r", "lines</t>\r",
                                 "</r>\r", ""}));
    EXPECT_LT(once.size(), many.size() * 2);
    EXPECT_EQ(indented(once), once.toStdString());
    EXPECT_EQ(indented(QByteArray("</x>").repeated(kCount) + "<a><b/></a>\r\n").find('\t'),
              std::string::npos);
    progress.stop = true;
    EXPECT_FALSE(Indenter::IndentXML(many, &progress));
    EXPECT_FALSE(Indenter::UnindentXML(many, &progress));
}
