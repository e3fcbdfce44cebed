// Completion's grammar from a RELAX NG schema: what is offered at a place is what libxml2's RELAX
// NG validation accepts there.

#include "platform/xml/xmlgrammar.h"
#include "platform/xml/xmlvalidation.h"
#include "support/grammaroracle.h"
#include "support/xmltesting.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;
using namespace grammaroracle;

namespace {

QString grammar(const char* body, const char* attributes = "") {
    return q(R"(<grammar xmlns="http://relaxng.org/ns/structure/1.0" )"
             R"(datatypeLibrary="http://www.w3.org/2001/XMLSchema-datatypes" )") +
           q(attributes) + u'>' + q(body) + QStringLiteral("</grammar>");
}

struct Place {
    QList<int> parent;
    int before;
    QStringList expected;
};

// The first file is the schema; the others are what it includes or refers to.
struct Case {
    const char* name;
    QList<SchemaFile> files;
    const char* document;
    QList<Place> places;
};

const char* const kItemSchema = R"(
<start><element name="item">
  <attribute name="id"/>
  <optional><attribute name="status" a:defaultValue="draft">
    <choice><value>draft</value><value> final </value></choice>
  </attribute></optional>
  <attribute name="version"><value>2</value></attribute>
  <choice>
    <attribute name="href"/>
    <group><attribute name="ref"/><attribute name="kind"><ref name="kinds"/></attribute></group>
  </choice>
  <ref name="common"/>
  <attribute name="x:note"/>
  <zeroOrMore><element name="part"><attribute name="n"/></element></zeroOrMore>
  <text/>
</element></start>
<define name="kinds"><choice><value>a</value><value>b</value></choice></define>
<define name="common"><optional><attribute name="lang"/></optional></define>)";

class RelaxNgGrammar : public SchemaFilesTest {
protected:
    // The item schema, with the namespaces its attributes use: its path.
    QString itemSchema() {
        return write(
            {{"main.rng",
              grammar(kItemSchema,
                      R"(ns="urn:el" xmlns:x="urn:x" )"
                      R"(xmlns:a="http://relaxng.org/ns/compatibility/annotations/1.0")")}});
    }
};

QStringList sorted(QStringList names) {
    names.sort();
    return names;
}

QString attributeLabel(const AttributeDecl& a) {
    return label(a.name);
}

QStringList attributeLabels(const QList<AttributeDecl>& attributes) {
    QStringList out;
    for (const AttributeDecl& a : attributes)
        out << attributeLabel(a);
    return out;
}

QString placeName(const Place& place) {
    QStringList steps;
    for (int step : place.parent)
        steps << QString::number(step);
    return QStringLiteral("under /%1 before %2").arg(steps.join(u'/')).arg(place.before);
}

const QString kBook = grammar(R"(
<start><element name="book">
  <element name="title"><text/></element>
  <oneOrMore><element name="author"><text/></element></oneOrMore>
  <zeroOrMore><element name="chapter">
    <optional><element name="title"><mixed>
      <optional><element name="sub"><text/></element></optional>
    </mixed></element></optional>
    <zeroOrMore><choice>
      <element name="para"><text/></element>
      <element name="note"><text/></element>
    </choice></zeroOrMore>
    <optional><choice>
      <element name="summary"><empty/></element>
      <element name="index"><empty/></element>
    </choice></optional>
  </element></zeroOrMore>
  <optional><element name="appendix"><empty/></element></optional>
  <zeroOrMore><element name="row"><zeroOrMore>
    <element name="k"><text/></element><optional><element name="v"><text/></element></optional>
  </zeroOrMore></element></zeroOrMore>
</element></start>)");

const QString kValues = grammar(R"(
<start><element name="doc"><zeroOrMore><choice>
  <element name="size"><data type="string"/></element>
  <element name="unit"><choice><value>cm</value><value>in</value><empty/></choice></element>
  <element name="coords"><list><zeroOrMore><data type="token"/></zeroOrMore></list></element>
  <element name="never"><notAllowed/></element>
</choice></zeroOrMore></element></start>)");

const QString kCard = grammar(R"(
<start><element name="card"><interleave>
  <element name="name"><text/></element>
  <optional><element name="email"><text/></element></optional>
  <zeroOrMore><element name="phone"><text/></element></zeroOrMore>
  <optional><element name="note"><mixed><zeroOrMore><choice>
    <element name="em"><text/></element><element name="code"><text/></element>
  </choice></zeroOrMore></mixed></element></optional>
</interleave></element></start>)");

const QString kCombined = grammar(R"(
<start><ref name="doc"/></start>
<define name="doc"><element name="doc"><zeroOrMore><ref name="block"/></zeroOrMore></element></define>
<define name="block"><element name="p"><text/></element></define>
<define name="block" combine="choice">
  <element name="list"><zeroOrMore><ref name="item"/></zeroOrMore></element>
</define>
<div><define name="item"><element name="item"><ref name="item.content"/></element></define></div>
<define name="item.content"><optional><element name="label"><text/></element></optional></define>
<define name="item.content" combine="interleave">
  <zeroOrMore><element name="body"><text/></element></zeroOrMore>
</define>)");

const QString kRecursive = grammar(R"(
<start><ref name="section"/></start>
<define name="section"><element name="section">
  <optional><element name="title"><text/></element></optional>
  <zeroOrMore><ref name="content"/></zeroOrMore>
</element></define>
<define name="content"><choice><ref name="section"/><element name="para"><text/></element></choice></define>
<define name="content" combine="choice"><ref name="extension"/></define>
<define name="extension"><notAllowed/></define>)");

const QString kNamespaces = grammar(R"(
<start><element name="root"><zeroOrMore><choice>
  <element name="a"><empty/></element>
  <element name="x:b"><empty/></element>
  <element ns=""><name>c</name><empty/></element>
  <element><name ns="urn:d">d</name><empty/></element>
  <a:doc xmlns:a="urn:annotation">annotations are skipped</a:doc>
  <element name="e" ns="urn:e"><a:doc xmlns:a="urn:annotation"/><empty/></element>
</choice></zeroOrMore></element></start>)",
                                    R"(xmlns:x="urn:x" ns="urn:a")");

const QString kNested = grammar(R"(
<start><element name="doc"><grammar>
  <start><element name="inner"><zeroOrMore><parentRef name="leaf"/></zeroOrMore></element></start>
  <define name="leaf"><element name="wrong"><empty/></element></define>
</grammar></element></start>
<define name="leaf"><element name="leaf"><empty/></element></define>)");

const QString kIncluding = grammar(R"(
<include href="sub/base.rng">
  <define name="inline"><element name="code"><text/></element></define>
</include>
<define name="inline" combine="choice"><element name="kbd"><text/></element></define>)");

const QString kBase = grammar(R"(
<start><ref name="doc"/></start>
<define name="doc"><element name="doc">
  <zeroOrMore><ref name="inline"/></zeroOrMore><optional><ref name="end"/></optional>
</element></define>
<include href="common.rng"/>)");

const QString kCommon = grammar(R"(
<define name="inline"><choice><element name="b"><text/></element><element name="i"><text/></element></choice></define>
<define name="end"><element name="end"><empty/></element></define>)");

const QString kStartOverride = grammar(R"(
<include href="sub/base.rng"><start><ref name="alt"/></start></include>
<define name="alt"><element name="alt"><zeroOrMore><ref name="inline"/></zeroOrMore></element></define>)");

const QString kExternal = q(R"(<element xmlns="http://relaxng.org/ns/structure/1.0" name="doc"
    ns="urn:doc"><zeroOrMore><externalRef href="para.rng"/></zeroOrMore></element>)");

const QString kExternalPara =
    q(R"(<element xmlns="http://relaxng.org/ns/structure/1.0" name="para"><text/></element>)");

const QList<Case>& cases() {
    static const QList<Case> all = {
        {"sequence, repetitions and choices",
         {{"main.rng", kBook}},
         R"(<book><title>T</title><author>A</author>
            <chapter><title>x</title><para>p</para></chapter><chapter/>
            <row><k/><v/><k/></row></book>)",
         {
             {{}, -1, {"row"}},
             {{}, 4, {"chapter", "appendix", "row"}},
             {{}, 1, {"author"}},
             {{}, 2, {"author", "chapter"}},
             {{}, 0, {}},
             {{2}, -1, {"para", "note", "summary", "index"}},
             {{3}, -1, {"title", "para", "note", "summary", "index"}},
             {{2, 0}, -1, {"sub"}},
             {{0}, -1, {}},
             {{4}, -1, {"v", "k"}},
             {{4}, 1, {"k"}},
             {{4}, 2, {"k"}},
         }},
        {"text, data, lists and values hold no elements",
         {{"main.rng", kValues}},
         "<doc><size>1</size><unit>cm</unit><coords>1 2</coords></doc>",
         {
             {{}, -1, {"size", "unit", "coords"}},
             {{0}, -1, {}},
             {{1}, -1, {}},
             {{2}, -1, {}},
         }},
        {"interleave and mixed",
         {{"main.rng", kCard}},
         "<card><phone/><name>n</name><note>x<em>y</em></note></card>",
         {
             {{}, -1, {"email", "phone"}},
             {{}, 0, {"email", "phone"}},
             {{2}, -1, {"em", "code"}},
         }},
        {"defines combined by choice and by interleave",
         {{"main.rng", kCombined}},
         "<doc><p>x</p><list><item><body/></item></list></doc>",
         {
             {{}, -1, {"p", "list"}},
             {{1}, -1, {"item"}},
             {{1, 0}, -1, {"label", "body"}},
             {{1, 0}, 0, {"label", "body"}},
         }},
        {"recursion through elements and an extension left notAllowed",
         {{"main.rng", kRecursive}},
         "<section><title>t</title><section><para>p</para></section></section>",
         {
             {{}, -1, {"section", "para"}},
             {{}, 0, {}},
             {{1}, 0, {"title", "section", "para"}},
         }},
        {"namespaces inherited, prefixed and given by a name child",
         {{"main.rng", kNamespaces}},
         R"(<root xmlns="urn:a"><a/></root>)",
         {
             {{}, -1, {"{urn:a}a", "{urn:x}b", "c", "{urn:d}d", "{urn:e}e"}},
         }},
        {"a nested grammar's parentRef",
         {{"main.rng", kNested}},
         "<doc><inner><leaf/></inner></doc>",
         {
             {{0}, -1, {"leaf"}},
             {{}, -1, {}},
         }},
        {"an include's defines overridden by those inside it",
         {{"main.rng", kIncluding}, {"sub/base.rng", kBase}, {"sub/common.rng", kCommon}},
         "<doc><code>c</code></doc>",
         {
             {{}, -1, {"code", "kbd", "end"}},
         }},
        {"an include's start overridden by the one inside it",
         {{"main.rng", kStartOverride}, {"sub/base.rng", kBase}, {"sub/common.rng", kCommon}},
         "<alt><b>x</b></alt>",
         {
             {{}, -1, {"b", "i"}},
         }},
        {"an externalRef in the namespace of its place",
         {{"main.rng", kExternal}, {"para.rng", kExternalPara}},
         R"(<doc xmlns="urn:doc"><para/></doc>)",
         {
             {{}, -1, {"{urn:doc}para"}},
         }},
    };
    return all;
}

} // namespace

// Each place's names come in the model's order, and are exactly those validation accepts there.
TEST_F(RelaxNgGrammar, OffersWhatValidationAcceptsAtEachPlace) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const QString schema = write(c.files);
        const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->language, Grammar::Language::RelaxNg);
        const XmlDocument document = parsed(q(c.document));
        for (const Place& place : c.places) {
            SCOPED_TRACE(str(placeName(place)));
            expectOffers(*read, document, place.parent, place.before, place.expected, schema);
        }
    }
}

// The root names are those the start pattern can begin with.
TEST_F(RelaxNgGrammar, TheStartGivesTheDocumentElements) {
    const QString schema = write({{"main.rng", grammar(R"(
<start combine="choice"><ref name="a"/></start>
<start combine="choice"><choice><ref name="b"/><notAllowed/></choice></start>
<define name="a"><element name="a"><element name="inner"><empty/></element></element></define>
<define name="b"><element name="b"><empty/></element></define>)")}});
    const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
    ASSERT_TRUE(read);
    EXPECT_EQ(labels(read->childrenAllowed(-1, {})), (QStringList{"a", "b"}));

    write({{"sub/base.rng", kBase}, {"sub/common.rng", kCommon}});
    const std::shared_ptr<Grammar> overridden =
        GrammarFromRelaxNg(write({{"alt.rng", kStartOverride}}));
    ASSERT_TRUE(overridden);
    EXPECT_EQ(labels(overridden->childrenAllowed(-1, {})), (QStringList{"alt"}));
}

// Name classes other than one name give no names: the place says nothing rather than too little.
TEST_F(RelaxNgGrammar, WildcardsOfferNothing) {
    const QString schema = write({{"main.rng", grammar(R"(
<start><element name="root">
  <element name="head"><empty/></element>
  <zeroOrMore><choice>
    <element><anyName/><text/></element>
    <element><nsName ns="urn:x"/><text/></element>
    <element><choice><name>p</name><name>q</name></choice><text/></element>
  </choice></zeroOrMore>
</element></start>)")}});
    const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
    ASSERT_TRUE(read);
    const XmlDocument document = parsed(QStringLiteral("<root><head/><any/></root>"));
    EXPECT_EQ(offered(*read, document, {}, -1), QStringList());
    EXPECT_EQ(offered(*read, document, {}, 1), QStringList());
    EXPECT_EQ(offered(*read, document, {}, 0), (QStringList{"head"}));
    for (const ElementDecl& decl : read->elements)
        EXPECT_TRUE(decl.name.local == u"root" || decl.name.local == u"head")
            << str(decl.name.local);
}

// Required attributes come first; an enumeration gives the values, a single value is fixed; an
// attribute under optional, or in only some alternatives of a choice, is not required.
TEST_F(RelaxNgGrammar, AttributesComeRequiredFirstWithTheirValues) {
    const QString schema = itemSchema();
    const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
    ASSERT_TRUE(read);
    const XmlDocument bare = parsed(QStringLiteral(R"(<item xmlns="urn:el"/>)"));
    const QList<AttributeDecl> all = AttributesAllowedOn(*read, bare.documentElement());
    EXPECT_EQ(attributeLabels(all), (QStringList{"id", "version", "{urn:x}note", "status", "href",
                                                 "ref", "kind", "lang"}));
    const QList<bool> required = {true, true, true, false, false, false, false, false};
    for (qsizetype i = 0; i < all.size() && i < required.size(); ++i)
        EXPECT_EQ(all[i].required, required[i]) << str(attributeLabel(all[i]));
    ASSERT_EQ(all.size(), 8);
    EXPECT_EQ(all[1].values, QStringList{"2"});
    EXPECT_EQ(all[1].fixed, QStringLiteral("2"));
    EXPECT_EQ(all[3].values, (QStringList{"draft", "final"}));
    EXPECT_EQ(all[3].defaultValue, QStringLiteral("draft"));
    EXPECT_TRUE(all[3].fixed.isEmpty());
    EXPECT_EQ(all[6].values, (QStringList{"a", "b"}));
    EXPECT_TRUE(all[0].values.isEmpty());

    const XmlDocument some =
        parsed(QStringLiteral(R"(<item xmlns="urn:el" id="1" version="2"><part n="1"/></item>)"));
    EXPECT_EQ(attributeLabels(AttributesAllowedOn(*read, some.documentElement())),
              (QStringList{"{urn:x}note", "status", "href", "ref", "kind", "lang"}));
    EXPECT_EQ(attributeLabels(AttributesAllowedOn(*read, elementAt(some, {0}))), QStringList());
}

// Validation agrees: the required attributes (and one side of the choice) are valid, leaving out
// any required one is not; each value of an enumeration is valid, another value is not.
TEST_F(RelaxNgGrammar, RequiredAttributesAndValuesAreWhatValidationDemands) {
    const QString schema = itemSchema();
    const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
    ASSERT_TRUE(read);
    const XmlDocument bare = parsed(QStringLiteral(R"(<item xmlns="urn:el"/>)"));
    const QList<AttributeDecl> all = AttributesAllowedOn(*read, bare.documentElement());
    using Given = QList<std::pair<QString, QString>>;
    auto valid = [&](const Given& attributes) {
        QString text = QStringLiteral(R"(<item xmlns="urn:el" xmlns:x="urn:x")");
        for (const auto& [name, value] : attributes)
            text += QStringLiteral(" %1=\"%2\"").arg(name, value);
        XmlDocument document = parsed(text + QStringLiteral("/>"));
        return Validate(document, {schema, {}}).valid();
    };
    auto nameOf = [](const AttributeDecl& a) -> QString {
        return a.name.ns.isEmpty() ? a.name.local : QStringLiteral("x:") + a.name.local;
    };
    Given base;
    for (const AttributeDecl& a : all) {
        if (a.required)
            base.append(std::pair(nameOf(a), a.values.isEmpty() ? q("v") : a.values.first()));
    }
    ASSERT_EQ(base.size(), 3);
    EXPECT_TRUE(valid(base + Given{{"href", "h"}}));
    for (qsizetype i = 0; i < base.size(); ++i) {
        SCOPED_TRACE(str(base[i].first));
        Given without = base;
        without.removeAt(i);
        EXPECT_FALSE(valid(without + Given{{"href", "h"}}));
    }
    for (const AttributeDecl& a : all) {
        SCOPED_TRACE(str(attributeLabel(a)));
        Given others = base;
        others.removeIf([&](const auto& given) { return given.first == nameOf(a); });
        others += a.name.local == u"kind" ? Given{{"ref", "r"}} : Given{{"href", "h"}};
        for (const QString& value : a.values)
            EXPECT_TRUE(valid(others + Given{std::pair(nameOf(a), value)})) << str(value);
        if (!a.values.isEmpty()) {
            EXPECT_FALSE(valid(others + Given{std::pair(nameOf(a), q("other"))}));
        }
    }
}

// Every file read is listed, so that a change to any of them is seen.
TEST_F(RelaxNgGrammar, ListsEveryFileRead) {
    const QList<SchemaFile> sets[] = {
        {{"main.rng", kIncluding}, {"sub/base.rng", kBase}, {"sub/common.rng", kCommon}},
        {{"ext.rng", kExternal}, {"para.rng", kExternalPara}},
    };
    for (const QList<SchemaFile>& files : sets) {
        SCOPED_TRACE(files.first().path);
        const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(write(files));
        ASSERT_TRUE(read);
        QStringList paths;
        for (const Grammar::ReadFile& file : read->files) {
            paths << QFileInfo(file.path).canonicalFilePath();
            EXPECT_EQ(file.modified, QFileInfo(file.path).lastModified().toMSecsSinceEpoch());
        }
        QStringList expected;
        for (const SchemaFile& file : files)
            expected << QFileInfo(m_dir.filePath(q(file.path))).canonicalFilePath();
        EXPECT_EQ(sorted(paths), sorted(expected));
        EXPECT_TRUE(read->stillCurrent());
    }
}

// Where an include or a reference cannot be read, the places it would fill offer nothing rather
// than a guess; a schema that cannot be read at all gives no grammar.
TEST_F(RelaxNgGrammar, WhatCannotBeReadGivesNothing) {
    const QString missing = write({{"main.rng", grammar(R"(
<start><element name="doc"><zeroOrMore><choice>
  <ref name="fromMissing"/><externalRef href="absent.rng"/><element name="p"><empty/></element>
</choice></zeroOrMore></element></start>
<include href="absent-too.rng"/>)")}});
    const std::shared_ptr<Grammar> partial = GrammarFromRelaxNg(missing);
    ASSERT_TRUE(partial);
    EXPECT_EQ(offered(*partial, parsed(QStringLiteral("<doc/>")), {}, -1), QStringList());

    const struct {
        const char* name;
        const char* text;
    } unreadable[] = {
        {"not well-formed", "<grammar xmlns=\"http://relaxng.org/ns/structure/1.0\"><start>"},
        {"not RELAX NG", "<grammar><start/></grammar>"},
        {"empty", ""},
    };
    for (const auto& schema : unreadable) {
        SCOPED_TRACE(schema.name);
        EXPECT_FALSE(GrammarFromRelaxNg(write({{"bad.rng", q(schema.text)}})));
    }
    EXPECT_FALSE(GrammarFromRelaxNg(m_dir.filePath(QStringLiteral("nowhere.rng"))));
}

// A large real schema, when the system has it: DocBook 5 as Debian's docbook5-xml installs it.
TEST_F(RelaxNgGrammar, DocBookFiveReadsWhole) {
    const QString schema = QStringLiteral("/usr/share/xml/docbook/schema/rng/5.0/docbook.rng");
    if (!QFileInfo::exists(schema))
        GTEST_SKIP() << "docbook5-xml is not installed";
    const std::shared_ptr<Grammar> read = GrammarFromRelaxNg(schema);
    ASSERT_TRUE(read);
    EXPECT_GT(read->elements.size(), 300u);
    const XmlDocument document = parsed(QStringLiteral(
        R"(<article xmlns="http://docbook.org/ns/docbook" version="5.0"><title>T</title>)"
        R"(<section><title>S</title><para>p</para></section></article>)"));
    const QStringList inSection = offered(*read, document, {1}, -1);
    auto docbook = [](const char* local) {
        return QStringLiteral("{http://docbook.org/ns/docbook}") + q(local);
    };
    EXPECT_TRUE(inSection.contains(docbook("para"))) << str(inSection.join(u' '));
    EXPECT_TRUE(inSection.contains(docbook("section")));
    EXPECT_FALSE(inSection.contains(docbook("chapter")));
    EXPECT_FALSE(inSection.contains(docbook("title"))) << "a section's title comes first";
    EXPECT_TRUE(labels(read->childrenAllowed(-1, {})).contains(docbook("article")));
}
