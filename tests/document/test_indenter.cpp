// The text view's indenter: every layout rule on small texts, and the texts it must never break.

#include "document/indenter.h"

#include <QList>
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

} // namespace

TEST(Indenter, LaysOutTagsOneALineByDepth) {
    expectRows(
        Indenter::IndentXML,
        {
            {"child of an element one level in", "<a><b/></a>", "<a>\r\n\t<b/>\r\n</a>"},
            {"empty element folded onto one line", "<a><b></b></a>", "<a>\r\n\t<b></b>\r\n</a>"},
            {"text stays between its tags", "<a><b>hi</b></a>", "<a>\r\n\t<b>hi</b>\r\n</a>"},
            {"blanks around text go", "<a> x </a>", "<a>x</a>"},
            {"empty element with attributes not folded", "<r><a x=\"1\"></a></r>",
             "<r>\r\n\t<a x=\"1\">\r\n\t</a>\r\n</r>"},
            {"a first-line declaration opens a level", "<?xml version=\"1.0\"?>\r\n<a><b/></a>\r\n",
             "<?xml version=\"1.0\"?>\r\n\t<a>\r\n\t\t<b/>\r\n\t</a>\r\n"},
            {"comments, instructions and CDATA open no level",
             "<a><!--c--><?p d?><![CDATA[x]]><b/></a>\r\n",
             "<a>\r\n\t<!--c-->\r\n\t<?p d?>\r\n\t<![CDATA[x]]>\r\n\t<b/>\r\n</a>\r\n"},
            {"empty text stays empty", "", ""},
            {"final line break kept", "<a><b/></a>\r\n", "<a>\r\n\t<b/>\r\n</a>\r\n"},
            {"old layout replaced", "<a>\r\n      <b>\r\n\t\t\t<c/>\r\n  </b>\r\n</a>\r\n",
             "<a>\r\n\t<b>\r\n\t\t<c/>\r\n\t</b>\r\n</a>\r\n"},
            {"tabs in text and attribute values lost", "<a v=\"1\t2\">x\ty</a>",
             "<a v=\"12\">xy</a>"},
            {"closing tag on the first line lowers the level, unindented", "</x><a><b/></a>\r\n",
             "</x>\r\n<a>\r\n<b/>\r\n</a>\r\n"},
            {"more closing than opening tags get no tabs", "<a/></b></c>\r\n",
             "<a/>\r\n</b>\r\n</c>\r\n"},
            {"adjacent tags inside a comment split too", "<a><!--x><y--></a>",
             "<a>\r\n\t<!--x>\r\n\t<y-->\r\n</a>"},
            {"blank text line between tags disappears", "<a>\r\n   \r\n<b/></a>",
             "<a>\r\n\t<b/>\r\n</a>"},
            {"text keeps its inner line breaks", "<a>\r\nx\r\ny\r\n</a>\r\n",
             "<a>\r\n\tx\r\n\ty\r\n</a>\r\n"},
            {"lone LF is ordinary text", "<a>\n<b/></a>", "<a>\n<b/>\r\n</a>"},
            {"tag broken across lines left as it is", "<a\r\nb=\"1\">x</a>", "<a\r\nb=\"1\">x</a>"},
            {"nested empty elements fold once", "<a><a></a></a>\r\n",
             "<a>\r\n\t<a></a>\r\n</a>\r\n"},
            {"the marker word in content is kept", "<a>\r\nEMPTY_LINE</a>",
             "<a>\r\nEMPTY_LINE</a>"},
            {"blanks before the first tag go", "  \r\n<a/>", "<a/>"},
            {"a leading line break is dropped once", "\r\n\r\nabc", "\r\nabc"},
            {"multi-byte characters pass through", "<a>\xc3\xa9\xe2\x82\xac</a>",
             "<a>\xc3\xa9\xe2\x82\xac</a>"},
        });
}

TEST(Indenter, UnindentStripsLayoutBetweenTagsOnly) {
    expectRows(
        Indenter::UnindentXML,
        {
            {"breaks between tags joined", "<a>\r\n<b/>\r\n</a>", "<a><b/></a>"},
            {"what follows the last tag kept", "<a>  \r\n", "<a>  \r\n"},
            {"break after a tag joined before tabs are removed", "<a>b>\r\n<c/>", "<a>b><c/>"},
            {"a tab before the break keeps the text", "<a>b>\t\r\n<c/>", "<a>b>\r\n<c/>"},
            {"text without tags kept", "  just text  ", "  just text  "},
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
    EXPECT_EQ(Indenter::Indent(0), QByteArray());
    EXPECT_EQ(Indenter::Indent(3), QByteArray("\t\t\t"));
}

// Indenting what was just indented changes nothing, so the command can be used freely.
TEST(Indenter, IndentingAgainChangesNothing) {
    const QByteArray documents[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--head-->\r\n<r xmlns:p=\"urn:p\">"
        "<p:a k=\"v\">text<b>bold</b> tail</p:a><e></e><f g=\"1\"></f><![CDATA[x<y>z]]>"
        "<?pi data?><deep><deeper><deepest/></deeper></deep></r>\r\n",
        "<a><b>\r\n  two\r\n  lines\r\n</b></a>",
        "<a/>",
    };
    for (const QByteArray& document : documents) {
        const QByteArray once = Indenter::IndentXML(document);
        EXPECT_EQ(Indenter::IndentXML(once), once) << testing::PrintToString(once);
    }
}

// More lines and lower levels than a 16-bit counter holds: the level must not wrap around.
TEST(Indenter, LongTextsAreIndentedWhole) {
    constexpr int kCount = 40000;
    QByteArray many = "<r>";
    for (int i = 0; i < kCount; ++i)
        many += "<i><j/></i>";
    many += "</r>\r\n";
    const QByteArray indented = Indenter::IndentXML(many);
    const QList<QByteArray> lines = indented.split('\n');
    ASSERT_EQ(lines.size(), 3 * kCount + 3);
    EXPECT_EQ(lines[3 * kCount - 2], "\t<i>\r");
    EXPECT_EQ(lines[3 * kCount - 1], "\t\t<j/>\r");
    EXPECT_EQ(lines[3 * kCount + 1], "</r>\r");
    EXPECT_EQ(Indenter::IndentXML(indented), indented);

    QByteArray unbalanced;
    for (int i = 0; i < kCount; ++i)
        unbalanced += "</x>";
    unbalanced += "<a><b/></a>\r\n";
    EXPECT_FALSE(Indenter::IndentXML(unbalanced).contains('\t'));
}
