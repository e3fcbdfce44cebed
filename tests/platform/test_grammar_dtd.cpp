// Completion's grammar from a DTD and from the document itself: what is offered at a place is
// what validation accepts there.

#include "platform/xml/xmlgrammar.h"
#include "platform/xml/xmlvalidation.h"
#include "support/grammaroracle.h"
#include "support/xmltesting.h"

#include <libxml/catalog.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;
using namespace grammaroracle;

namespace {

const char* const kBookDtd = R"(<!ELEMENT book (title, author+, chapter*, appendix?)>
<!ATTLIST book id ID #IMPLIED
               status (draft|review|final) #REQUIRED
               lang CDATA #FIXED "en"
               kind (novel|manual) "manual"
               xml:space (default|preserve) #IMPLIED>
<!ELEMENT title (#PCDATA)>
<!ELEMENT author (#PCDATA)>
<!ELEMENT chapter (title?, (para|note)*, (summary|index)?)>
<!ELEMENT para (#PCDATA|em|code)*>
<!ELEMENT em (#PCDATA)>
<!ELEMENT code (#PCDATA)>
<!ELEMENT note (#PCDATA)>
<!ELEMENT summary (#PCDATA)>
<!ELEMENT index EMPTY>
<!ELEMENT appendix ANY>
)";

const char* const kBook = R"(<book status="draft"><title>T</title><author>A</author>
<chapter><title>One</title><para>x <em>y</em></para><note>n</note></chapter>
<chapter/><appendix><em>e</em></appendix></book>)";

struct Place {
    const char* name;
    QList<int> parent;
    int before;
    QStringList expected;
};

class DtdGrammar : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_dtd = m_dir.filePath(QStringLiteral("book.dtd"));
        writeBytes(m_dtd, kBookDtd);
    }
    QTemporaryDir m_dir;
    QString m_dtd;
};

} // namespace

// Each place's names come in the model's order, and are exactly those validation accepts there.
TEST_F(DtdGrammar, OffersWhatValidationAcceptsAtEachPlace) {
    const XmlDocument document = parsed(q(kBook));
    const GrammarPtr grammar = LoadGrammar(document, {m_dtd, {}});
    ASSERT_EQ(grammar->language, Grammar::Language::Dtd);
    const Place places[] = {
        {"after the authors", {}, 2, {"author", "chapter"}},
        {"after the appendix: nothing", {}, -1, {}},
        {"between title and author", {}, 1, {"author"}},
        {"before the title: nothing", {}, 0, {}},
        {"between chapters", {}, 3, {"chapter"}},
        {"a chapter's end", {2}, -1, {"para", "note", "summary", "index"}},
        {"an empty chapter", {3}, -1, {"title", "para", "note", "summary", "index"}},
        {"before a chapter's title: nothing", {2}, 0, {}},
        {"mixed content", {2, 1}, -1, {"em", "code"}},
        {"text only", {0}, -1, {}},
        {"ANY: every element",
         {4},
         -1,
         {"book", "title", "author", "chapter", "para", "em", "code", "note", "summary", "index",
          "appendix"}},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        // An empty book is not valid by itself (it lacks its title and status), wherever it is.
        expectOffers(*grammar, document, place.parent, place.before, place.expected, m_dtd,
                     {QStringLiteral("book")});
    }
}

TEST_F(DtdGrammar, AttributesComeRequiredFirstWithTheirValues) {
    const XmlDocument document = parsed(q(kBook));
    const GrammarPtr grammar = LoadGrammar(document, {m_dtd, {}});
    const XmlNode book = document.documentElement();
    // "status" is there already.
    QStringList names;
    for (const AttributeDecl& a : AttributesAllowedOn(*grammar, book))
        names << a.name.local;
    EXPECT_EQ(names, (QStringList{"id", "lang", "kind", "xml:space"}));
    const XmlDocument bare = parsed(QStringLiteral("<book/>"));
    const QList<AttributeDecl> all = AttributesAllowedOn(*grammar, bare.documentElement());
    ASSERT_EQ(all.size(), 5);
    EXPECT_EQ(all[0].name.local, QStringLiteral("status"));
    EXPECT_TRUE(all[0].required);
    EXPECT_EQ(all[0].values, (QStringList{"draft", "review", "final"}));
    EXPECT_EQ(all[2].fixed, QStringLiteral("en"));
    EXPECT_EQ(all[3].defaultValue, QStringLiteral("manual"));
    EXPECT_EQ(all[3].values, (QStringList{"novel", "manual"}));
}

// A rename offers the names that fit between the element's siblings.
TEST_F(DtdGrammar, ARenameOffersWhatFitsBetweenTheSiblings) {
    const XmlDocument document = parsed(q(kBook));
    const GrammarPtr grammar = LoadGrammar(document, {m_dtd, {}});
    EXPECT_EQ(labels(ElementsAllowedFor(*grammar, elementAt(document, {2, 1}))),
              (QStringList{"para", "note"}));
    EXPECT_EQ(labels(ElementsAllowedFor(*grammar, elementAt(document, {1}))),
              (QStringList{"author"}));
    EXPECT_EQ(labels(ElementsAllowedFor(*grammar, document.documentElement())),
              (QStringList{"book", "title", "author", "chapter", "para", "em", "code", "note",
                           "summary", "index", "appendix"}));
}

// The document type declaration's internal subset and the external DTD it names, as validation
// reads them.
TEST_F(DtdGrammar, TheDocumentTypeGivesTheGrammar) {
    const QString file = m_dir.filePath(QStringLiteral("doc.xml"));
    const QString text = QStringLiteral("<!DOCTYPE book SYSTEM \"book.dtd\" [\n"
                                        "<!ELEMENT extra (#PCDATA)>\n"
                                        "<!ATTLIST book local CDATA #IMPLIED>]>\n") +
                         q(kBook);
    writeBytes(file, text.toUtf8());
    const XmlDocument document = parsed(text);
    const GrammarPtr grammar = LoadGrammar(document, {{}, file});
    ASSERT_EQ(grammar->language, Grammar::Language::Dtd);
    EXPECT_EQ(offered(*grammar, document, {}, 2), (QStringList{"author", "chapter"}));
    EXPECT_EQ(labels(grammar->childrenAllowed(-1, {})), (QStringList{"book"}));
    QStringList names;
    for (const AttributeDecl& a : AttributesAllowedOn(*grammar, document.documentElement()))
        names << a.name.local;
    EXPECT_EQ(names, (QStringList{"local", "id", "lang", "kind", "xml:space"}));
    EXPECT_TRUE(grammar->stillCurrent());
}

// Without any schema the document's own usage is the grammar: under an element, what elements of
// its name hold anywhere; an attribute's values while there are few of them.
TEST(LearnedGrammar, OffersWhatTheDocumentUsesUnderTheSameName) {
    QString text = QStringLiteral("<r xmlns:x=\"urn:x\"><item kind=\"a\"><name/><x:price/></item>"
                                  "<group><item kind=\"b\"><note/></item></group>");
    for (int i = 0; i < 30; ++i)
        text += QStringLiteral("<row n=\"%1\"/>").arg(i);
    text += QStringLiteral("</r>");
    const XmlDocument document = parsed(text);
    const GrammarPtr grammar = LoadGrammar(document, {});
    ASSERT_EQ(grammar->language, Grammar::Language::Learned);
    EXPECT_EQ(offered(*grammar, document, {1, 0}, -1),
              (QStringList{"name", "{urn:x}price", "note"}));
    EXPECT_EQ(offered(*grammar, document, {}, 0), (QStringList{"item", "group", "row"}));
    const QList<AttributeDecl> item =
        AttributesAllowedOn(*grammar, parsed("<item/>").documentElement());
    ASSERT_EQ(item.size(), 1);
    EXPECT_EQ(item[0].values, (QStringList{"a", "b"}));
    const QList<AttributeDecl> row = AttributesAllowedOn(*grammar, elementAt(document, {2}));
    EXPECT_TRUE(row.isEmpty()) << "an element's own attributes are not offered again";
    const QList<AttributeDecl> bareRow =
        AttributesAllowedOn(*grammar, parsed("<row/>").documentElement());
    ASSERT_EQ(bareRow.size(), 1);
    EXPECT_TRUE(bareRow[0].values.isEmpty()) << "30 different values are data, not a choice";
}

// DocBook by its public identifier, from the copy Debian's docbook-xml installs: through the
// system's catalog, with no network.
TEST(CatalogGrammar, DocBookCompletesFromTheSystemsCatalog) {
    xmlInitializeCatalog();
    xmlChar* resolved = xmlCatalogResolvePublic(BAD_CAST "-//OASIS//DTD DocBook XML V4.5//EN");
    const bool installed = resolved != nullptr;
    xmlFree(resolved);
    if (!installed)
        GTEST_SKIP()
            << "docbook-xml is not installed: the system catalog does not know DocBook 4.5";
    const XmlDocument document =
        parsed(QStringLiteral("<!DOCTYPE book PUBLIC \"-//OASIS//DTD DocBook XML V4.5//EN\" "
                              "\"http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd\">"
                              "<book><chapter><title>T</title><para/></chapter></book>"));
    const GrammarPtr grammar = LoadGrammar(document, {});
    ASSERT_EQ(grammar->language, Grammar::Language::Dtd);
    EXPECT_GT(grammar->elements.size(), 300u);
    const QStringList inChapter = offered(*grammar, document, {0}, -1);
    EXPECT_TRUE(inChapter.contains(QStringLiteral("para"))) << str(inChapter.join(u' '));
    EXPECT_TRUE(inChapter.contains(QStringLiteral("section")));
    EXPECT_FALSE(inChapter.contains(QStringLiteral("chapter")));
    QStringList attributes;
    for (const AttributeDecl& a : AttributesAllowedOn(*grammar, elementAt(document, {0})))
        attributes << a.name.local;
    EXPECT_TRUE(attributes.contains(QStringLiteral("label")));
}

// A device named as the DTD is never read: it would never end.
TEST(CatalogGrammar, ADeviceNamedAsTheDtdIsNotRead) {
    const XmlDocument document =
        parsed(QStringLiteral("<!DOCTYPE r SYSTEM \"/dev/zero\"><r><a/></r>"));
    const GrammarPtr grammar = LoadGrammar(document, {});
    EXPECT_EQ(grammar->language, Grammar::Language::Learned);
    EXPECT_EQ(offered(*grammar, document, {}, -1), (QStringList{"a"}));
    XmlDocument copy = document.snapshot();
    const XmlValidationResult result = Validate(copy, {});
    ASSERT_FALSE(result.issues.isEmpty());
    EXPECT_EQ(result.issues.last().message,
              QStringLiteral("Refused to read \"/dev/zero\": schemas and DTDs are read only from "
                             "local files."));
}
