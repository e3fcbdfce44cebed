// What the text view offers at the caret, read from the text around it (which need not parse),
// and the small aids typing a ">" or "</" brings.

#include "document/textcompletion.h"
#include "platform/xml/xmlvalidation.h"
#include "support/grammaroracle.h"
#include "support/xmltesting.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;

namespace {

const char* const kDtd = R"(<!ELEMENT book (title, chapter+)>
<!ATTLIST book status (draft|final) #REQUIRED lang CDATA #FIXED "en" id ID #IMPLIED>
<!ELEMENT title (#PCDATA)>
<!ELEMENT chapter (title?, (para|note)*)>
<!ATTLIST chapter kind (intro|body) "body">
<!ELEMENT para (#PCDATA|em)*>
<!ELEMENT em (#PCDATA)>
<!ELEMENT note (#PCDATA)>)";

const char* const kXsd = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
    targetNamespace="urn:shop" xmlns="urn:shop" elementFormDefault="qualified">
  <xs:element name="shop"><xs:complexType><xs:sequence>
    <xs:element name="item" maxOccurs="unbounded"><xs:complexType><xs:sequence>
      <xs:element name="name" type="xs:string"/><xs:element name="price" type="xs:string"/>
    </xs:sequence><xs:attribute name="sku" use="required"/></xs:complexType></xs:element>
  </xs:sequence></xs:complexType></xs:element></xs:schema>)";

struct Case {
    const char* name;
    const char* text; // "|" is the caret
    QStringList labels;
    QStringList inserts = {};
};

QStringList labelsOf(const TextCompletion& c) {
    QStringList out;
    for (const TextChoice& choice : c.choices)
        out << choice.label;
    return out;
}

TextCompletion completeAt(const Grammar& grammar, const QByteArray& marked) {
    const qsizetype caret = marked.indexOf('|');
    const QByteArray text = marked.left(caret) + marked.mid(caret + 1);
    return CompleteText(grammar, QByteArrayView(text).first(caret),
                        QByteArrayView(text).sliced(caret), RootNamespaces(text));
}

GrammarPtr dtdGrammar(QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("book.dtd"));
    writeBytes(path, kDtd);
    return LoadGrammar(XmlDocument(), {path, {}});
}

} // namespace

TEST(TextCompletion, OffersWhatTheGrammarAllowsAtTheCaret) {
    QTemporaryDir dir;
    const GrammarPtr grammar = dtdGrammar(dir);
    const Case cases[] = {
        {"after <, inside a chapter",
         "<book><chapter><title/><|</chapter></book>",
         {"para", "note"}},
        {"a name begun", "<book><chapter><p|</chapter></book>", {"para"}},
        {"in text that does not parse", "<book><title>x<chapter><para>a <|", {"em"}},
        {"between siblings", "<book><title/><|<chapter/></book>", {"chapter"}},
        {"before the title: nothing", "<book><|<title/><chapter/></book>", {}},
        {"the document element: any, for a DTD of its own",
         "<?xml version=\"1.0\"?>\n<|",
         {"book", "title", "chapter", "para", "em", "note"}},
        {"comments and CDATA hold no place", "<book><!-- <chapter> --><|", {"title"}},
        {"not inside a comment", "<book><!-- <|", {}},
        {"an attribute's name",
         "<book status=\"draft\" |>",
         {"lang", "id"},
         {"lang=\"\"", "id=\"\""}},
        {"required first", "<book |", {"status", "lang", "id"}},
        {"written after the caret too", "<book | id=\"x\">", {"status", "lang"}},
        {"a value", "<book status=\"|\">", {"draft", "final"}},
        {"a value begun", "<book><chapter kind='i|'", {"intro"}},
        {"a fixed value", "<book lang=\"|", {"en"}},
        {"the end tag", "<book><chapter><para>x</|", {"para"}, {"para>"}},
        {"the end tag after a closed one", "<book><chapter><para>x</para></|", {"chapter"}},
        {"no place after a value's closing quote", "<book status=\"draft\"|", {}},
        {"a stray quote where a name goes", "<book status=\"dr\"aft\" |", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TextCompletion completion = completeAt(*grammar, c.text);
        EXPECT_EQ(labelsOf(completion), c.labels);
        if (!c.inserts.isEmpty()) {
            QStringList inserts;
            for (const TextChoice& choice : completion.choices)
                inserts << choice.insert;
            EXPECT_EQ(inserts, c.inserts);
        }
    }
}

// Names come with the prefix declared for their namespace where they go; a namespace declared
// nowhere there comes with its declaration.
TEST(TextCompletion, NamesComeWithThePrefixesInScope) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shop.xsd"));
    writeBytes(path, kXsd);
    const GrammarPtr grammar = LoadGrammar(XmlDocument(), {path, {}});
    if (grammar->language != Grammar::Language::XmlSchema || grammar->elements.empty())
        GTEST_SKIP() << "XML Schema grammars are not read yet";
    EXPECT_EQ(labelsOf(completeAt(*grammar, "<s:shop xmlns:s=\"urn:shop\"><s:item><|")),
              (QStringList{"s:name"}));
    EXPECT_EQ(labelsOf(completeAt(*grammar, "<shop xmlns=\"urn:shop\"><item><name/><|")),
              (QStringList{"price"}));
    EXPECT_EQ(labelsOf(completeAt(*grammar, "<|")), (QStringList{"shop xmlns=\"urn:shop\""}));
    EXPECT_EQ(labelsOf(completeAt(*grammar, "<s:shop xmlns:s=\"urn:shop\"><s:item |")),
              (QStringList{"sku"}));
}

TEST(TextCompletion, ATypedGreaterThanSignClosesOnlyAStartTag) {
    const struct {
        const char* before;
        const char* closes;
    } cases[] = {
        {"<a>", "a"},         {"<p:a x=\"1\" y='>'>", "p:a"},
        {"<a/>", ""},         {"</a>", ""},
        {"<!-- <a> -->", ""}, {"<!-- <a>", ""},
        {"<?pi <a>", ""},     {"<a>text>", ""},
        {"<a x=\"1>", ""},    {"x > y", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StartTagJustClosed(c.before), QByteArray(c.closes)) << c.before;
}

// "</" closes the innermost open element at once; other characters offer only what they begin.
TEST(TextCompletion, EachTypedCharacterOffersOnlyWhatItBegins) {
    const Grammar learned = *GrammarLearned(nullptr);
    const TextCompletion end = CompleteText(learned, "<a><b>x</b><c/></", "", {}, '/');
    ASSERT_EQ(end.choices.size(), 1);
    EXPECT_TRUE(end.atOnce);
    EXPECT_EQ(end.choices[0].insert, QStringLiteral("a>"));
    EXPECT_TRUE(CompleteText(learned, "<a></a></", "", {}, '/').choices.isEmpty());
    QTemporaryDir dir;
    const GrammarPtr grammar = dtdGrammar(dir);
    EXPECT_TRUE(CompleteText(*grammar, "<book><title>a b ", "", {}, ' ').choices.isEmpty());
    EXPECT_TRUE(CompleteText(*grammar, "<book status=\"draft\" ", "", {}, '<').choices.isEmpty());
    EXPECT_EQ(CompleteText(*grammar, "<book status=\"draft\" ", "", {}, ' ').choices.size(), 2);
    EXPECT_EQ(CompleteText(*grammar, "<book><title>x</title><", "", {}, 0).choices.size(), 1);
}

// A place deep in a long text is read from the markup near it: the walk back stops at the
// first element whose name tells its declaration.
TEST(TextCompletion, TheWalkBackStopsAtAnElementThatTellsAll) {
    QByteArray text = "<book><title/>";
    for (int i = 0; i < 20000; ++i)
        text += "<chapter><para>p</para><note>n</note></chapter>\n";
    text += "<chapter><para>x</para>";
    int asked = 0;
    const MarkupPlace place =
        ReadMarkupPlace(text, "</chapter></book>", [&](const QList<MarkupPlace::Open>& open) {
            ++asked;
            return open.last().name == "chapter";
        });
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(place.reachedRoot);
    EXPECT_EQ(place.before, (QList<QByteArray>{"para"}));
    EXPECT_TRUE(place.after.isEmpty());
}
