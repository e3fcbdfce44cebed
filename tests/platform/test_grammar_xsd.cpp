// Completion's grammar from an XML Schema: what is offered at a place is what libxml2's own
// validation accepts there, for each construct the schema reader resolves.

#include "platform/xml/xmlgrammar.h"
#include "platform/xml/xmlvalidation.h"
#include "support/grammaroracle.h"
#include "support/xmltesting.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;
using namespace grammaroracle;

namespace {

QString schemaText(const char* body, const char* attributes = "") {
    return QStringLiteral("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" %1>\n%2\n"
                          "</xs:schema>\n")
        .arg(q(attributes), q(body));
}

struct Place {
    const char* name;
    QList<int> parent;
    int before;
    QStringList expected;
};

// A schema (main.xsd, with the files it reads), a document valid against it, and places in it.
struct Case {
    const char* name;
    QList<SchemaFile> files;
    const char* document;
    QList<Place> places;
};

class XmlSchemaGrammar : public SchemaFilesTest {
protected:
    // Each place offers `expected`, in that order, and exactly what validation accepts there.
    void check(const Case& c) {
        SCOPED_TRACE(c.name);
        const QString schema = write(c.files);
        const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(schema);
        ASSERT_TRUE(grammar);
        EXPECT_EQ(grammar->language, Grammar::Language::XmlSchema);
        const XmlDocument document = parsed(q(c.document));
        for (const Place& place : c.places) {
            SCOPED_TRACE(place.name);
            expectOffers(*grammar, document, place.parent, place.before, place.expected, schema);
        }
    }
};

} // namespace

// Global and local elements, references, named and anonymous types, nested model groups with
// their occurrences.
TEST_F(XmlSchemaGrammar, ModelGroupsOfferWhatValidationAccepts) {
    const Case cases[] = {
        {"sequence, choice and nested sequence",
         {{"main.xsd", schemaText(R"(
  <xs:element name="book">
    <xs:complexType>
      <xs:sequence>
        <xs:element ref="title"/>
        <xs:element name="author" type="xs:string" maxOccurs="unbounded"/>
        <xs:choice minOccurs="0" maxOccurs="unbounded">
          <xs:element name="chapter" type="Chapter"/>
          <xs:element name="part" type="xs:string"/>
        </xs:choice>
        <xs:element name="appendix" type="xs:string" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
  <xs:element name="title" type="xs:string"/>
  <xs:complexType name="Chapter">
    <xs:sequence>
      <xs:element ref="title" minOccurs="0"/>
      <xs:sequence minOccurs="0" maxOccurs="2">
        <xs:element name="para" type="xs:string"/>
        <xs:element name="note" type="xs:string" minOccurs="0"/>
      </xs:sequence>
    </xs:sequence>
  </xs:complexType>)")}},
         "<book><title/><author/><chapter><para/></chapter></book>",
         {{"at the end", {}, -1, {"chapter", "part", "appendix"}},
          {"between title and author", {}, 1, {"author"}},
          {"after the author", {}, 2, {"author", "chapter", "part"}},
          {"before the title: nothing", {}, 0, {}},
          {"in a chapter, after a para", {2}, -1, {"note", "para"}},
          {"in a chapter, before its para", {2}, 0, {"title", "para"}},
          {"in a string", {0}, -1, {}}}},
        {"all",
         {{"main.xsd", schemaText(R"(
  <xs:element name="card">
    <xs:complexType>
      <xs:all>
        <xs:element name="name" type="xs:string"/>
        <xs:element name="email" type="xs:string" minOccurs="0"/>
        <xs:element name="phone" type="xs:string" minOccurs="0"/>
      </xs:all>
    </xs:complexType>
  </xs:element>)")}},
         "<card><email/><name/></card>",
         {{"at the end", {}, -1, {"phone"}},
          {"at the start", {}, 0, {"phone"}},
          {"between", {}, 1, {"phone"}}}},
        {"groups, mixed content",
         {{"main.xsd", schemaText(R"(
  <xs:group name="inline">
    <xs:choice>
      <xs:element name="em" type="xs:string"/>
      <xs:element name="code" type="xs:string"/>
    </xs:choice>
  </xs:group>
  <xs:group name="block">
    <xs:sequence>
      <xs:element name="head" type="xs:string" minOccurs="0"/>
      <xs:group ref="inline" minOccurs="0" maxOccurs="unbounded"/>
    </xs:sequence>
  </xs:group>
  <xs:element name="doc">
    <xs:complexType mixed="true">
      <xs:sequence>
        <xs:group ref="block"/>
        <xs:element name="end" type="xs:string" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)")}},
         "<doc>text <head/> more <em/></doc>",
         {{"at the end", {}, -1, {"em", "code", "end"}},
          {"between head and em", {}, 1, {"em", "code"}},
          {"before head: nothing", {}, 0, {}}}},
        {"local elements of one name and different types",
         {{"main.xsd", schemaText(R"(
  <xs:element name="list">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="item" maxOccurs="unbounded">
          <xs:complexType>
            <xs:sequence>
              <xs:element name="label" type="xs:string" minOccurs="0"/>
              <xs:element name="item" type="xs:string" minOccurs="0" maxOccurs="unbounded"/>
            </xs:sequence>
          </xs:complexType>
        </xs:element>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)")}},
         "<list><item><label/><item/></item></list>",
         {{"in the outer item", {0}, -1, {"item"}},
          {"in the outer item, before its inner one", {0}, 1, {"item"}},
          {"in the inner item: text", {0, 1}, -1, {}},
          {"in the list", {}, -1, {"item"}}}},
        {"an empty sequence",
         {{"main.xsd", schemaText(R"(
  <xs:element name="r">
    <xs:complexType>
      <xs:sequence>
        <xs:sequence/>
        <xs:element name="once" type="xs:string" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)")}},
         "<r/>",
         {{"inside", {}, -1, {"once"}}}},
    };
    for (const Case& c : cases)
        check(c);
}

// An extension's content follows its base's, a restriction's replaces it, and simple content
// holds no elements.
TEST_F(XmlSchemaGrammar, DerivedTypesOfferWhatValidationAccepts) {
    const char* const types = R"(
  <xs:complexType name="Base">
    <xs:sequence>
      <xs:element name="id" type="xs:string" minOccurs="0"/>
      <xs:element name="label" type="xs:string" minOccurs="0"/>
    </xs:sequence>
  </xs:complexType>
  <xs:complexType name="Extended">
    <xs:complexContent>
      <xs:extension base="Base">
        <xs:choice minOccurs="0" maxOccurs="unbounded">
          <xs:element name="extra" type="xs:string"/>
          <xs:element name="more" type="Extended"/>
        </xs:choice>
      </xs:extension>
    </xs:complexContent>
  </xs:complexType>
  <xs:complexType name="Restricted">
    <xs:complexContent>
      <xs:restriction base="Base">
        <xs:sequence>
          <xs:element name="id" type="xs:string" minOccurs="0"/>
        </xs:sequence>
      </xs:restriction>
    </xs:complexContent>
  </xs:complexType>
  <xs:complexType name="Twice">
    <xs:complexContent>
      <xs:extension base="Extended"/>
    </xs:complexContent>
  </xs:complexType>
  <xs:complexType name="Priced">
    <xs:simpleContent>
      <xs:extension base="xs:decimal">
        <xs:attribute name="currency" type="xs:string"/>
      </xs:extension>
    </xs:simpleContent>
  </xs:complexType>
  <xs:element name="root">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="ext" type="Extended" minOccurs="0"/>
        <xs:element name="res" type="Restricted" minOccurs="0"/>
        <xs:element name="twice" type="Twice" minOccurs="0"/>
        <xs:element name="price" type="Priced" minOccurs="0"/>
        <xs:element name="anything" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)";
    const Case c{"derivations",
                 {{"main.xsd", schemaText(types)}},
                 "<root><ext><label/><more/></ext><res/><twice/><price>1</price><anything/>"
                 "</root>",
                 {{"an extension, after its base's", {0}, -1, {"extra", "more"}},
                  {"a type within itself", {0, 1}, -1, {"id", "label", "extra", "more"}},
                  {"an extension, before its base's", {0}, 0, {"id"}},
                  {"a restriction", {1}, -1, {"id"}},
                  {"an extension of an extension", {2}, -1, {"id", "label", "extra", "more"}},
                  {"simple content", {3}, -1, {}}}};
    check(c);
}

// Target namespaces, qualified and unqualified local names, and type names resolved with the
// schema document's own prefixes (XML Schema's namespace as the default one too).
TEST_F(XmlSchemaGrammar, NamesTakeTheirNamespacesAsValidationDoes) {
    const Case cases[] = {
        {"unqualified by default",
         {{"main.xsd", schemaText(R"(
  <xs:element name="top" type="t:Top"/>
  <xs:complexType name="Top">
    <xs:sequence>
      <xs:element name="local" type="xs:string" minOccurs="0"/>
      <xs:element name="qual" form="qualified" type="xs:string" minOccurs="0"/>
      <xs:element ref="t:glob" minOccurs="0"/>
    </xs:sequence>
  </xs:complexType>
  <xs:element name="glob" type="xs:string"/>)",
                                  R"(targetNamespace="urn:t" xmlns:t="urn:t")")}},
         R"(<t:top xmlns:t="urn:t"/>)",
         {{"inside", {}, -1, {"local", "{urn:t}qual", "{urn:t}glob"}}}},
        {"qualified by default, the default namespace for names",
         {{"main.xsd", schemaText(R"(
  <xs:element name="top" type="Top"/>
  <xs:complexType name="Top">
    <xs:sequence>
      <xs:element name="qual" type="xs:string" minOccurs="0"/>
      <xs:element name="local" form="unqualified" type="xs:string" minOccurs="0"/>
    </xs:sequence>
  </xs:complexType>)",
                                  R"(targetNamespace="urn:q" xmlns="urn:q" )"
                                  R"(elementFormDefault="qualified")")}},
         R"(<top xmlns="urn:q"/>)",
         {{"inside", {}, -1, {"{urn:q}qual", "local"}}}},
        {"XML Schema's namespace as the default",
         {{"main.xsd", R"(<schema xmlns="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:d"
          xmlns:d="urn:d" elementFormDefault="qualified">
  <element name="top">
    <complexType>
      <sequence>
        <element name="a" type="string" minOccurs="0"/>
        <element ref="d:b" minOccurs="0"/>
      </sequence>
    </complexType>
  </element>
  <element name="b" type="d:B"/>
  <complexType name="B">
    <sequence><element name="c" type="token" minOccurs="0"/></sequence>
  </complexType>
</schema>)"}},
         R"(<top xmlns="urn:d"><b/></top>)",
         {{"in top", {}, 0, {"{urn:d}a"}}, {"in b", {0}, -1, {"{urn:d}c"}}}},
    };
    for (const Case& c : cases)
        check(c);
}

// A head element stands for each member of its group, members of members too; an abstract head
// only through its members (so not at all without any), and a blocked one only for itself. A member
// without a type takes its head's.
TEST_F(XmlSchemaGrammar, SubstitutionGroupsOfferEveryMember) {
    const Case c{"substitution groups",
                 {{"main.xsd", schemaText(R"(
  <xs:element name="shape" abstract="true" type="xs:string"/>
  <xs:element name="circle" substitutionGroup="shape"/>
  <xs:element name="square" substitutionGroup="shape" type="xs:string"/>
  <xs:element name="rounded" substitutionGroup="circle"/>
  <xs:element name="note" type="xs:string"/>
  <xs:element name="remark" substitutionGroup="note"/>
  <xs:element name="sealed" type="xs:string" block="substitution"/>
  <xs:element name="unsealed" substitutionGroup="sealed"/>
  <xs:element name="lonely" abstract="true" type="xs:string"/>
  <xs:element name="drawing">
    <xs:complexType>
      <xs:sequence>
        <xs:element ref="shape" minOccurs="0" maxOccurs="unbounded"/>
        <xs:element ref="note" minOccurs="0"/>
        <xs:element ref="sealed" minOccurs="0"/>
        <xs:element ref="lonely" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)")}},
                 "<drawing><circle/><remark/></drawing>",
                 {{"after a shape", {}, 1, {"circle", "rounded", "square"}},
                  {"before a shape", {}, 0, {"circle", "rounded", "square"}},
                  {"after a note", {}, -1, {"sealed"}}}};
    check(c);
    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(m_dir.filePath("main.xsd"));
    ASSERT_TRUE(grammar);
    EXPECT_EQ(labels(grammar->childrenAllowed(-1, {})),
              (QStringList{"circle", "square", "rounded", "note", "remark", "sealed", "unsealed",
                           "drawing"}))
        << "every global element but the abstract one may be the document element";
}

// Includes and imports resolve against the file that names them; an included document without a
// target namespace takes the including one's, once for each namespace it is included into.
TEST_F(XmlSchemaGrammar, IncludesAndImportsAcrossFiles) {
    const QString parts = schemaText(R"(
  <xs:element name="part" type="PartType"/>
  <xs:complexType name="PartType">
    <xs:sequence><xs:element name="piece" type="xs:string" minOccurs="0"/></xs:sequence>
  </xs:complexType>)",
                                     R"(elementFormDefault="qualified")");
    const Case c{
        "include and import",
        {{"main.xsd", schemaText(R"(
  <xs:include schemaLocation="parts.xsd"/>
  <xs:import namespace="urn:o" schemaLocation="sub/other.xsd"/>
  <xs:element name="doc">
    <xs:complexType>
      <xs:sequence>
        <xs:element ref="m:part" minOccurs="0" maxOccurs="unbounded"/>
        <xs:element ref="o:thing" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)",
                                 R"(targetNamespace="urn:m" xmlns:m="urn:m" xmlns:o="urn:o")")},
         {"parts.xsd", parts},
         {"sub/other.xsd", schemaText(R"(
  <xs:include schemaLocation="more.xsd"/>
  <xs:include schemaLocation="../parts.xsd"/>
  <xs:element name="thing" type="o:ThingType"/>)",
                                      R"(targetNamespace="urn:o" xmlns:o="urn:o")")},
         {"sub/more.xsd", schemaText(R"(
  <xs:complexType name="ThingType">
    <xs:sequence>
      <xs:element name="bit" type="xs:string" minOccurs="0"/>
      <xs:element ref="o:part" minOccurs="0"/>
    </xs:sequence>
  </xs:complexType>)",
                                     R"(targetNamespace="urn:o" xmlns:o="urn:o")")}},
        R"(<m:doc xmlns:m="urn:m" xmlns:o="urn:o"><m:part/><o:thing/></m:doc>)",
        {{"before the import's element", {}, 1, {"{urn:m}part"}},
         {"in the include's element", {0}, -1, {"{urn:m}piece"}},
         {"in the import's element", {1}, -1, {"bit", "{urn:o}part"}}}};
    check(c);

    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(m_dir.filePath("main.xsd"));
    ASSERT_TRUE(grammar);
    QStringList read;
    for (const Grammar::ReadFile& file : grammar->files)
        read << QDir(m_dir.path()).relativeFilePath(file.path);
    read.sort();
    EXPECT_EQ(read, (QStringList{"main.xsd", "parts.xsd", "sub/more.xsd", "sub/other.xsd"}));
    EXPECT_TRUE(grammar->stillCurrent());
    QFile more(m_dir.filePath("sub/more.xsd"));
    ASSERT_TRUE(more.open(QIODevice::ReadWrite));
    ASSERT_TRUE(more.setFileTime(QDateTime::currentDateTime().addSecs(3600),
                                 QFileDevice::FileModificationTime));
    more.close();
    EXPECT_FALSE(grammar->stillCurrent()) << "an included file changed";
}

namespace {

QString prefixed(const GrammarName& name) {
    if (name.ns == QLatin1String("urn:a"))
        return QStringLiteral("a:") + name.local;
    if (name.ns == QLatin1String("http://www.w3.org/XML/1998/namespace"))
        return QStringLiteral("xml:") + name.local;
    return name.local;
}

using Attributes = QList<std::pair<GrammarName, QString>>;

// The element as the document element, with the given attributes and text.
QString withAttributes(const char* element, const Attributes& set, const char* text = "") {
    QString start = QStringLiteral("<a:%1 xmlns:a=\"urn:a\"").arg(q(element));
    for (const auto& [name, value] : set)
        start += QStringLiteral(" %1=\"%2\"").arg(prefixed(name), value);
    return start + QStringLiteral(">%1</a:%2>").arg(q(text), q(element));
}

Attributes setting(Attributes set, const GrammarName& name, const QString& value) {
    set.removeIf([&](const auto& a) { return a.first == name; });
    set.append({name, value});
    return set;
}

QString fittingValue(const AttributeDecl& a) {
    if (!a.fixed.isEmpty())
        return a.fixed;
    return a.values.isEmpty() ? QStringLiteral("v1") : a.values.first();
}

} // namespace

// Each attribute offered, with each of its values, keeps an element valid, and a value outside
// an enumeration does not.
TEST_F(XmlSchemaGrammar, AttributesAndTheirValuesAreWhatValidationAccepts) {
    const QString xml = schemaText(R"(
  <xs:attribute name="lang" type="xs:string"/>)",
                                   R"(targetNamespace="http://www.w3.org/XML/1998/namespace")");
    const QString main = schemaText(R"(
  <xs:import namespace="http://www.w3.org/XML/1998/namespace" schemaLocation="xml.xsd"/>
  <xs:attribute name="global" type="xs:string"/>
  <xs:simpleType name="Color">
    <xs:restriction base="xs:string">
      <xs:enumeration value="red"/><xs:enumeration value="green"/>
    </xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="Warm">
    <xs:restriction base="a:Color"><xs:enumeration value="red"/></xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="Patterned">
    <xs:restriction base="a:Color"><xs:pattern value="r.*|g.*"/></xs:restriction>
  </xs:simpleType>
  <xs:simpleType name="Either">
    <xs:union memberTypes="a:Warm">
      <xs:simpleType>
        <xs:restriction base="xs:token"><xs:enumeration value="blue"/></xs:restriction>
      </xs:simpleType>
    </xs:union>
  </xs:simpleType>
  <xs:simpleType name="Free"><xs:union memberTypes="a:Color xs:NCName"/></xs:simpleType>
  <xs:attributeGroup name="common">
    <xs:attribute name="id" type="xs:ID"/>
    <xs:attribute ref="xml:lang"/>
  </xs:attributeGroup>
  <xs:element name="item">
    <xs:complexType>
      <xs:attribute name="opt" type="xs:string"/>
      <xs:attribute name="size" use="required">
        <xs:simpleType>
          <xs:restriction base="xs:string">
            <xs:enumeration value="s"/><xs:enumeration value="m"/>
          </xs:restriction>
        </xs:simpleType>
      </xs:attribute>
      <xs:attribute name="color" type="a:Color" default="green"/>
      <xs:attribute name="warm" type="a:Warm"/>
      <xs:attribute name="patterned" type="a:Patterned"/>
      <xs:attribute name="either" type="a:Either"/>
      <xs:attribute name="free" type="a:Free"/>
      <xs:attribute name="version" type="xs:string" fixed="1.0"/>
      <xs:attribute name="q" form="qualified" type="xs:string"/>
      <xs:attribute ref="a:global" use="required"/>
      <xs:attributeGroup ref="a:common"/>
    </xs:complexType>
  </xs:element>
  <xs:complexType name="BaseT">
    <xs:attribute name="a" type="xs:string"/>
    <xs:attribute name="b" type="xs:string"/>
  </xs:complexType>
  <xs:complexType name="ExtT">
    <xs:complexContent>
      <xs:extension base="a:BaseT"><xs:attribute name="c" type="xs:string"/></xs:extension>
    </xs:complexContent>
  </xs:complexType>
  <xs:complexType name="ResT">
    <xs:complexContent>
      <xs:restriction base="a:BaseT">
        <xs:attribute name="a" type="xs:string" use="required"/>
        <xs:attribute name="b" use="prohibited"/>
      </xs:restriction>
    </xs:complexContent>
  </xs:complexType>
  <xs:complexType name="Price">
    <xs:simpleContent>
      <xs:extension base="xs:decimal"><xs:attribute name="unit" type="a:Color"/></xs:extension>
    </xs:simpleContent>
  </xs:complexType>
  <xs:complexType name="Euro">
    <xs:simpleContent>
      <xs:restriction base="a:Price"><xs:attribute name="unit" type="a:Warm"/></xs:restriction>
    </xs:simpleContent>
  </xs:complexType>
  <xs:element name="ext" type="a:ExtT"/>
  <xs:element name="res" type="a:ResT"/>
  <xs:element name="price" type="a:Price"/>
  <xs:element name="euro" type="a:Euro"/>)",
                                    R"(targetNamespace="urn:a" xmlns:a="urn:a")");
    const QString schema = write({{"main.xsd", main}, {"xml.xsd", xml}});
    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(schema);
    ASSERT_TRUE(grammar);

    struct Expected {
        const char* element;
        QStringList names; // required first
        QList<QStringList> values;
        const char* text = "";
    };
    const QString xmlNs = QStringLiteral("{http://www.w3.org/XML/1998/namespace}");
    const Expected expected[] = {
        {"item",
         {"size", "{urn:a}global", "opt", "color", "warm", "patterned", "either", "free", "version",
          "{urn:a}q", "id", xmlNs + "lang"},
         {{"s", "m"},
          {},
          {},
          {"red", "green"},
          {"red"},
          {"red", "green"},
          {"red", "blue"},
          {},
          {},
          {},
          {},
          {}}},
        {"ext", {"a", "b", "c"}, {{}, {}, {}}},
        {"res", {"a"}, {{}}},
        {"price", {"unit"}, {{"red", "green"}}, "1.5"},
        {"euro", {"unit"}, {{"red"}}, "2"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.element);
        const XmlDocument bare = parsed(withAttributes(e.element, {}));
        const QList<AttributeDecl> allowed = AttributesAllowedOn(*grammar, bare.documentElement());
        QStringList names;
        QList<QStringList> values;
        Attributes required;
        for (const AttributeDecl& a : allowed) {
            names << label(a.name);
            values << a.values;
            if (a.required)
                required.append({a.name, fittingValue(a)});
        }
        EXPECT_EQ(names, e.names);
        EXPECT_EQ(values, e.values);
        for (const AttributeDecl& a : allowed) {
            SCOPED_TRACE(str(label(a.name)));
            QStringList fitting = a.values;
            if (fitting.isEmpty())
                fitting << fittingValue(a);
            for (const QString& value : fitting) {
                XmlDocument document =
                    parsed(withAttributes(e.element, setting(required, a.name, value), e.text));
                EXPECT_TRUE(Validate(document, {schema, {}}).valid()) << str(value);
            }
            if (!a.values.isEmpty()) {
                const QString wrong = QStringLiteral("not-a-value");
                XmlDocument document =
                    parsed(withAttributes(e.element, setting(required, a.name, wrong), e.text));
                EXPECT_FALSE(Validate(document, {schema, {}}).valid());
            }
        }
    }
    const XmlDocument item = parsed(withAttributes("item", {}));
    const QList<AttributeDecl> attributes = AttributesAllowedOn(*grammar, item.documentElement());
    ASSERT_EQ(attributes.size(), 12);
    EXPECT_TRUE(attributes[0].required && attributes[1].required && !attributes[2].required);
    EXPECT_EQ(attributes[3].defaultValue, QStringLiteral("green"));
    EXPECT_EQ(attributes[8].fixed, QStringLiteral("1.0"));
}

// Where the schema allows what the grammar does not hold (a wildcard, anyType, a type from a
// schema not read, a redefinition), nothing is offered rather than a wrong name. Validation
// would accept declared names there, so it is no oracle for these places.
TEST_F(XmlSchemaGrammar, PlacesNotReadOfferNothing) {
    const QString base = schemaText(R"(
  <xs:complexType name="Redone">
    <xs:sequence><xs:element name="old" type="xs:string" minOccurs="0"/></xs:sequence>
  </xs:complexType>)");
    const QString main = schemaText(R"(
  <xs:import namespace="urn:elsewhere"/>
  <xs:redefine schemaLocation="base.xsd">
    <xs:complexType name="Redone">
      <xs:complexContent>
        <xs:extension base="Redone">
          <xs:sequence><xs:element name="new" type="xs:string" minOccurs="0"/></xs:sequence>
        </xs:extension>
      </xs:complexContent>
    </xs:complexType>
  </xs:redefine>
  <xs:element name="r">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="wild">
          <xs:complexType>
            <xs:sequence>
              <xs:element name="first" type="xs:string" minOccurs="0"/>
              <xs:any processContents="lax" minOccurs="0" maxOccurs="unbounded"/>
            </xs:sequence>
          </xs:complexType>
        </xs:element>
        <xs:element name="untyped"/>
        <xs:element name="foreign" type="e:Missing" xmlns:e="urn:elsewhere"/>
        <xs:element name="redone" type="Redone"/>
        <xs:element name="never" type="xs:string" minOccurs="0" maxOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)");
    const QString schema = write({{"main.xsd", main}, {"base.xsd", base}});
    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(schema);
    ASSERT_TRUE(grammar);
    const XmlDocument document = parsed(q("<r><wild/><untyped/><foreign/><redone/></r>"));
    const Place places[] = {
        {"a wildcard after an element", {0}, -1, {}},
        {"a wildcard's place before an element", {0}, 0, {}},
        {"anyType", {1}, -1, {}},
        {"a type from a schema not read", {2}, -1, {}},
        {"a redefined type", {3}, -1, {}},
        // libxml2 2.9.14 accepts an element of maxOccurs 0 last in a sequence; it never occurs.
        {"maxOccurs 0", {}, -1, {}},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        EXPECT_EQ(offered(*grammar, document, place.parent, place.before), place.expected);
    }
}

// A schema whose groups, types, attribute groups or substitution groups name themselves is an
// error; it must still be read to the end, those places offering nothing.
TEST_F(XmlSchemaGrammar, CyclesEndAndOfferNothing) {
    const QString schema = write({{"main.xsd", schemaText(R"(
  <xs:group name="g"><xs:sequence><xs:group ref="g"/></xs:sequence></xs:group>
  <xs:complexType name="A">
    <xs:complexContent><xs:extension base="B"/></xs:complexContent>
  </xs:complexType>
  <xs:complexType name="B">
    <xs:complexContent><xs:extension base="A"/></xs:complexContent>
  </xs:complexType>
  <xs:attributeGroup name="ag">
    <xs:attribute name="x" type="S"/>
    <xs:attributeGroup ref="ag"/>
  </xs:attributeGroup>
  <xs:simpleType name="S"><xs:restriction base="S"/></xs:simpleType>
  <xs:element name="p" substitutionGroup="q"/>
  <xs:element name="q" substitutionGroup="p"/>
  <xs:element name="r">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="grouped"><xs:complexType><xs:group ref="g"/></xs:complexType></xs:element>
        <xs:element name="derived" type="A"/>
        <xs:element ref="p"/>
      </xs:sequence>
      <xs:attributeGroup ref="ag"/>
    </xs:complexType>
  </xs:element>)")}});
    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(schema);
    ASSERT_TRUE(grammar);
    const XmlDocument document = parsed(q("<r><grouped/><derived/></r>"));
    EXPECT_EQ(offered(*grammar, document, {0}, -1), QStringList());
    EXPECT_EQ(offered(*grammar, document, {1}, -1), QStringList());
    EXPECT_EQ(offered(*grammar, document, {}, -1), (QStringList{"p", "q"}));
    const QList<AttributeDecl> attributes =
        AttributesAllowedOn(*grammar, document.documentElement());
    ASSERT_EQ(attributes.size(), 1);
    EXPECT_TRUE(attributes[0].values.isEmpty());
}

// What cannot be read as a schema gives no grammar; an include that cannot be read leaves only
// what refers to it unknown.
TEST_F(XmlSchemaGrammar, UnreadableSchemasGiveNoGrammar) {
    struct Unreadable {
        const char* name;
        const char* file;
        QByteArray text;
    };
    const Unreadable unreadable[] = {
        {"not well-formed", "broken.xsd",
         "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"},
        {"not a schema", "other.xsd", "<schema/>"},
        {"empty", "empty.xsd", ""},
    };
    for (const Unreadable& u : unreadable) {
        SCOPED_TRACE(u.name);
        writeBytes(m_dir.filePath(q(u.file)), u.text);
        EXPECT_EQ(GrammarFromXmlSchema(m_dir.filePath(q(u.file))), nullptr);
    }
    EXPECT_EQ(GrammarFromXmlSchema(m_dir.filePath("missing.xsd")), nullptr);

    const QString schema = write({{"main.xsd", schemaText(R"(
  <xs:include schemaLocation="broken.xsd"/>
  <xs:include schemaLocation="missing.xsd"/>
  <xs:element name="r">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="a" type="xs:string" minOccurs="0"/>
        <xs:element ref="fromBroken" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>)")}});
    const std::shared_ptr<Grammar> grammar = GrammarFromXmlSchema(schema);
    ASSERT_TRUE(grammar);
    const XmlDocument document = parsed(q("<r/>"));
    EXPECT_EQ(offered(*grammar, document, {}, -1), QStringList()) << "a reference not resolved";
    QStringList read;
    for (const Grammar::ReadFile& file : grammar->files)
        read << QFileInfo(file.path).fileName();
    EXPECT_EQ(read, (QStringList{"main.xsd", "broken.xsd"}))
        << "a broken include is watched too: when it is mended the grammar is read again";
}

// Completion asks for a chosen .xsd through the grammar validation uses.
TEST_F(XmlSchemaGrammar, AChosenSchemaIsReadAsXmlSchema) {
    const QString schema = write({{"main.xsd", schemaText(R"(
  <xs:element name="r">
    <xs:complexType>
      <xs:sequence><xs:element name="a" type="xs:string" minOccurs="0"/></xs:sequence>
    </xs:complexType>
  </xs:element>)")}});
    const XmlDocument document = parsed(q("<r/>"));
    const GrammarPtr grammar = LoadGrammar(document, {schema, {}});
    ASSERT_EQ(grammar->language, Grammar::Language::XmlSchema);
    EXPECT_EQ(offered(*grammar, document, {}, -1), QStringList{"a"});
}
