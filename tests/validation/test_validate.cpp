// Validation in the XML layer: the three schema languages and the document's own references,
// each fault tied to its node, schemas that do not load, and no network, ever.

#include "platform/xml/xmlheldcopy.h"
#include "platform/xml/xmlvalidation.h"
#include "support/networkwatch.h"
#include "support/xmltesting.h"

#include <libxml/parser.h>

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;

namespace {

const char* const kXsd = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="shelf"><xs:complexType><xs:sequence>
    <xs:element name="book" maxOccurs="unbounded"><xs:complexType>
      <xs:sequence>
        <xs:element name="title" type="xs:string"/>
        <xs:element name="year" type="xs:integer"/>
      </xs:sequence>
      <xs:attribute name="id" type="xs:ID"/>
      <xs:attribute name="format" use="required"><xs:simpleType>
        <xs:restriction base="xs:string">
          <xs:enumeration value="paper"/><xs:enumeration value="ebook"/>
        </xs:restriction></xs:simpleType></xs:attribute>
    </xs:complexType></xs:element>
  </xs:sequence></xs:complexType></xs:element>
</xs:schema>)";

const char* const kRng = R"(<element name="shelf" xmlns="http://relaxng.org/ns/structure/1.0"
    datatypeLibrary="http://www.w3.org/2001/XMLSchema-datatypes">
  <oneOrMore><element name="book">
    <optional><attribute name="id"><data type="ID"/></attribute></optional>
    <attribute name="format"><choice><value>paper</value><value>ebook</value></choice></attribute>
    <element name="title"><text/></element>
    <element name="year"><data type="integer"/></element>
  </element></oneOrMore>
</element>)";

const char* const kDtd = R"(<!ELEMENT shelf (book+)>
<!ELEMENT book (title, year)>
<!ATTLIST book id ID #IMPLIED format (paper|ebook) #REQUIRED>
<!ELEMENT title (#PCDATA)>
<!ELEMENT year (#PCDATA)>
)";

// The shelf with one book; `change` replaces the marked parts.
QString shelf(const char* bookAttributes, const char* bookContent) {
    return QStringLiteral("<shelf><book %1>%2</book></shelf>")
        .arg(q(bookAttributes), q(bookContent));
}

struct Fault {
    const char* name;
    const char* attributes;
    const char* content;
    // The node the first fault is tied to, as an XPath, and part of libxml2's message.
    const char* node;
    const char* says;
};

// One fault of each kind; the DTD has no data types, so its "wrong type" is an ID that is no name.
const Fault kFaults[] = {
    {"valid", R"(format="paper")", "<title>A</title><year>1999</year>", nullptr, nullptr},
    {"missing element", R"(format="paper")", "<title>A</title>", "/shelf/book", ""},
    {"undeclared attribute", R"(format="paper" colour="red")", "<title>A</title><year>1999</year>",
     "/shelf/book/@colour", "colour"},
    {"bad enumeration", R"(format="vinyl")", "<title>A</title><year>1999</year>",
     "/shelf/book/@format", "vinyl"},
};

struct Language {
    const char* file;
    const char* schema;
};
const Language kLanguages[] = {{"shelf.xsd", kXsd}, {"shelf.rng", kRng}, {"shelf.dtd", kDtd}};

XmlValidationResult validateCopy(const XmlDocument& document, const XmlValidationRequest& request) {
    XmlDocument copy = document.snapshot();
    return Validate(copy, request);
}

QString describe(const XmlValidationResult& result) {
    QStringList lines;
    for (const XmlValidationIssue& issue : result.issues)
        lines << QStringLiteral("%1:%2 %3").arg(issue.file).arg(issue.line).arg(issue.message);
    return lines.join(QLatin1Char('\n'));
}

class Validation : public ::testing::Test {
protected:
    QString write(const QString& name, const QString& text) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeBytes(path, text.toUtf8());
        return path;
    }
    QTemporaryDir dir;
    NetworkWatch network;
};

} // namespace

TEST_F(Validation, EachLanguageFindsEachFaultAtItsNode) {
    for (const Language& language : kLanguages) {
        const QString schema = write(q(language.file), q(language.schema));
        for (const Fault& fault : kFaults) {
            SCOPED_TRACE(std::string(language.file) + ": " + fault.name);
            const XmlDocument document = parsed(shelf(fault.attributes, fault.content));
            const XmlValidationResult result = validateCopy(document, {schema, {}});
            EXPECT_EQ(result.against, XmlValidationResult::Against::ChosenSchema);
            EXPECT_TRUE(result.schemaLoaded);
            if (!fault.node) {
                EXPECT_TRUE(result.valid()) << str(describe(result));
                EXPECT_TRUE(result.issues.isEmpty());
                continue;
            }
            ASSERT_FALSE(result.valid());
            ASSERT_FALSE(result.issues.isEmpty());
            const XmlValidationIssue& first = result.issues.first();
            // RELAX NG names the element only ("failed to validate attributes").
            EXPECT_TRUE(describe(result).contains(q(fault.says)) ||
                        QByteArray(language.file).endsWith(".rng"))
                << str(describe(result));
            EXPECT_FALSE(first.warning);
            EXPECT_EQ(first.line, 1);
            EXPECT_TRUE(first.file.isEmpty());
            // The attribute when the message names it (RELAX NG's enumeration fault does not).
            const XmlNode node = NodeAtPlace(document, first.place);
            const XmlNode expected = document.selectSingleNode(q(fault.node));
            EXPECT_TRUE(node == expected || (node == expected.ownerElement() &&
                                             !first.message.contains(expected.nodeName())))
                << str(describe(result)) << " at " << str(node.nodeName());
        }
    }
}

TEST_F(Validation, WrongTypesAreTiedToTheValueTheyConcern) {
    const struct {
        const char* file;
        const char* schema;
        const char* attributes;
        const char* content;
        const char* node;
    } rows[] = {
        {"shelf.xsd", kXsd, R"(format="paper")", "<title>A</title><year>soon</year>",
         "/shelf/book/year"},
        {"shelf.rng", kRng, R"(format="paper")", "<title>A</title><year>soon</year>",
         "/shelf/book/year"},
        {"shelf.dtd", kDtd, R"(format="paper" id="9")", "<title>A</title><year>1</year>",
         "/shelf/book/@id"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const QString schema = write(q(row.file), q(row.schema));
        const XmlDocument document = parsed(shelf(row.attributes, row.content));
        const XmlValidationResult result = validateCopy(document, {schema, {}});
        ASSERT_FALSE(result.valid());
        const XmlNode node = NodeAtPlace(document, result.issues.first().place);
        const XmlNode expected = document.selectSingleNode(q(row.node));
        EXPECT_TRUE(node == expected) << str(describe(result));
    }
}

TEST_F(Validation, FaultsDeepInALongDocumentLeadToTheirNodes) {
    // Many siblings, faults out of order: the places must still be exact. The books start past
    // the lines libxml2 counts in an element.
    const int first = 70000;
    QString text = QStringLiteral("<shelf>") + QString(first - 1, QLatin1Char('\n'));
    for (int i = 0; i < 3000; ++i) {
        const bool bad = i % 700 == 3;
        text += QStringLiteral(
                    "<book id=\"b%1\" format=\"%2\"><title>T</title><year>%3</year></book>\n")
                    .arg(i)
                    .arg(bad ? QStringLiteral("vinyl") : QStringLiteral("paper"))
                    .arg(i % 900 == 5 ? QStringLiteral("x") : QString::number(i));
    }
    text += QStringLiteral("</shelf>");
    const XmlDocument document = parsed(text);
    const QString schema = write(QStringLiteral("shelf.xsd"), q(kXsd));
    XmlValidationResult result = validateCopy(document, {schema, {}});
    ASSERT_EQ(result.errors, 5 + 4) << str(describe(result));
    // The copy does not know lines past 65535; the document validated does.
    EXPECT_EQ(result.issues.first().line, 0);
    TieToDocument(document, result.issues);
    for (const XmlValidationIssue& issue : result.issues) {
        XmlNode node = NodeAtPlace(document, issue.place);
        ASSERT_FALSE(node.isNull()) << str(issue.message);
        while (node.nodeName() != QLatin1String("book"))
            node = node.ownerElement().isNull() ? node.parentNode() : node.ownerElement();
        const int number =
            node.attributes().getNamedItem(QStringLiteral("id")).text().mid(1).toInt();
        EXPECT_TRUE(number % 700 == 3 || number % 900 == 5) << str(issue.message);
        EXPECT_EQ(issue.line, first + number) << str(issue.message);
    }
}

TEST_F(Validation, TheDocumentsOwnReferencesResolveBesideIt) {
    write(QStringLiteral("schemas/shelf.xsd"), q(kXsd));
    write(QStringLiteral("schemas/ns.xsd"),
          QStringLiteral("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                         "targetNamespace=\"urn:s\" elementFormDefault=\"qualified\">"
                         "<xs:element name=\"shelf\"><xs:complexType><xs:sequence>"
                         "<xs:element name=\"book\" type=\"xs:string\" maxOccurs=\"9\"/>"
                         "</xs:sequence></xs:complexType></xs:element></xs:schema>"));
    write(QStringLiteral("shelf.dtd"), q(kDtd));
    const QString documentFile = dir.filePath(QStringLiteral("shelf.xml"));
    const char* const instance = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
    const struct {
        const char* name;
        QString text;
        XmlValidationResult::Against against;
        bool valid;
    } rows[] = {
        {"no namespace hint",
         QStringLiteral("<shelf %1 xsi:noNamespaceSchemaLocation=\"schemas/shelf.xsd\">"
                        "<book format=\"ebook\"><title>A</title><year>1</year></book></shelf>")
             .arg(q(instance)),
         XmlValidationResult::Against::SchemaHints, true},
        {"hint finds a fault",
         QStringLiteral("<shelf %1 xsi:noNamespaceSchemaLocation=\"schemas/shelf.xsd\">"
                        "<book format=\"ebook\"><title>A</title></book></shelf>")
             .arg(q(instance)),
         XmlValidationResult::Against::SchemaHints, false},
        {"hint before the document type",
         QStringLiteral("<!DOCTYPE shelf SYSTEM \"missing.dtd\"><shelf %1 "
                        "xsi:noNamespaceSchemaLocation=\"schemas/shelf.xsd\">"
                        "<book format=\"ebook\"><title>A</title><year>1</year></book></shelf>")
             .arg(q(instance)),
         XmlValidationResult::Against::SchemaHints, true},
        {"namespace hint",
         QStringLiteral("<s:shelf xmlns:s=\"urn:s\" %1 xsi:schemaLocation=\"urn:s schemas/ns.xsd\">"
                        "<s:book>A</s:book></s:shelf>")
             .arg(q(instance)),
         XmlValidationResult::Against::SchemaHints, true},
        {"namespace hint finds a fault",
         QStringLiteral("<s:shelf xmlns:s=\"urn:s\" %1 xsi:schemaLocation=\"urn:s schemas/ns.xsd\">"
                        "<s:magazine/></s:shelf>")
             .arg(q(instance)),
         XmlValidationResult::Against::SchemaHints, false},
        {"external DTD",
         QStringLiteral("<!DOCTYPE shelf SYSTEM \"shelf.dtd\"><shelf><book format=\"paper\">"
                        "<title>A</title><year>1</year></book></shelf>"),
         XmlValidationResult::Against::DocumentType, true},
        {"internal subset",
         QStringLiteral("<!DOCTYPE shelf [<!ELEMENT shelf (#PCDATA)>]><shelf><x/></shelf>"),
         XmlValidationResult::Against::DocumentType, false},
        {"internal subset and external DTD",
         QStringLiteral("<!DOCTYPE shelf SYSTEM \"shelf.dtd\" [<!ENTITY t \"A\">]><shelf>"
                        "<book format=\"paper\"><title>&t;</title><year>1</year></book></shelf>"),
         XmlValidationResult::Against::DocumentType, true},
        {"nothing to validate against", QStringLiteral("<shelf/>"),
         XmlValidationResult::Against::Nothing, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const XmlDocument document = parsed(row.text);
        const QString before = document.xml();
        const XmlValidationResult result = validateCopy(document, {{}, documentFile});
        EXPECT_EQ(result.against, row.against);
        EXPECT_TRUE(result.schemaLoaded);
        EXPECT_EQ(result.valid(), row.valid) << str(describe(result));
        EXPECT_EQ(document.xml(), before);
    }
}

TEST_F(Validation, ASchemaThatDoesNotLoadIsReportedWithItsOwnFaults) {
    const XmlDocument document =
        parsed(shelf(R"(format="paper")", "<title>A</title><year>1</year>"));
    const struct {
        const char* file;
        const char* text;
        const char* kind;
    } rows[] = {
        {"broken.xsd",
         "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element/>"
         "</xs:schema>",
         "schema"},
        {"malformed.xsd", "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">", "schema"},
        {"broken.rng", "<grammar xmlns=\"http://relaxng.org/ns/structure/1.0\"><start/></grammar>",
         "schema"},
        {"broken.dtd", "<!ELEMENT shelf (book", "DTD"},
        {"absent.xsd", nullptr, "schema"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const QString path = row.text ? write(q(row.file), q(row.text)) : dir.filePath(q(row.file));
        const XmlValidationResult result = validateCopy(document, {path, {}});
        EXPECT_FALSE(result.schemaLoaded);
        EXPECT_FALSE(result.valid());
        ASSERT_GE(result.issues.size(), 1);
        EXPECT_EQ(result.issues.first().message,
                  QStringLiteral("The %1 \"%2\" could not be loaded.").arg(q(row.kind), path));
        if (row.text) {
            ASSERT_GE(result.issues.size(), 2) << str(describe(result));
            EXPECT_TRUE(result.issues.at(1).place.isNull());
        }
    }
    // Schemas the document's hints name and that do not load.
    write(QStringLiteral("hinted.xsd"), q(rows[0].text));
    for (const char* hinted : {"hinted.xsd", "nowhere.xsd"}) {
        SCOPED_TRACE(hinted);
        const XmlDocument hinting =
            parsed(QStringLiteral("<shelf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                  "xsi:noNamespaceSchemaLocation=\"%1\"/>")
                       .arg(q(hinted)));
        const XmlValidationResult result =
            validateCopy(hinting, {{}, dir.filePath(QStringLiteral("shelf.xml"))});
        EXPECT_FALSE(result.schemaLoaded);
        EXPECT_TRUE(result.issues.first().message.startsWith(QStringLiteral("The schema \"")))
            << str(describe(result));
        EXPECT_TRUE(result.issues.first().message.contains(q(hinted)));
    }
    // A DTD the document names and that is not there.
    const XmlDocument named =
        parsed(QStringLiteral("<!DOCTYPE shelf SYSTEM \"nowhere.dtd\"><shelf/>"));
    const XmlValidationResult result =
        validateCopy(named, {{}, dir.filePath(QStringLiteral("shelf.xml"))});
    EXPECT_FALSE(result.schemaLoaded);
    EXPECT_EQ(result.issues.first().message,
              QStringLiteral("The DTD \"nowhere.dtd\" could not be loaded."));
}

TEST_F(Validation, RemoteReferencesAreRefusedWithoutAnyConnection) {
    const QString importing =
        write(QStringLiteral("importing.xsd"),
              QStringLiteral("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                             "<xs:include schemaLocation=\"https://example.com/part.xsd\"/>"
                             "<xs:element name=\"shelf\"/></xs:schema>"));
    const struct {
        const char* name;
        QString text;
        QString schema;
        const char* refused;
    } rows[] = {
        {"hint",
         QStringLiteral("<shelf xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                        "xsi:noNamespaceSchemaLocation=\"http://example.com/s.xsd\"/>"),
         {},
         "http://example.com/s.xsd"},
        {"namespace hint",
         QStringLiteral(
             "<s:shelf xmlns:s=\"urn:s\" xmlns:xsi=\"http://www.w3.org/2001/"
             "XMLSchema-instance\" xsi:schemaLocation=\"urn:s ftp://example.com/s.xsd\"/>"),
         {},
         "ftp://example.com/s.xsd"},
        {"external DTD",
         QStringLiteral("<!DOCTYPE shelf SYSTEM \"http://example.com/s.dtd\"><shelf/>"),
         {},
         "http://example.com/s.dtd"},
        {"include in a chosen schema", QStringLiteral("<shelf/>"), importing,
         "https://example.com/part.xsd"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const XmlDocument document = parsed(row.text);
        const XmlValidationResult result = validateCopy(document, {row.schema, {}});
        EXPECT_FALSE(result.valid());
        const QString refusal = QStringLiteral("Refused to read \"%1\": schemas and DTDs are read "
                                               "only from local files.")
                                    .arg(q(row.refused));
        EXPECT_TRUE(std::any_of(result.issues.begin(), result.issues.end(),
                                [&](const XmlValidationIssue& i) { return i.message == refusal; }))
            << str(describe(result));
    }
    EXPECT_EQ(network.attempts(), 0);
}

TEST(ValidationCopy, AQuickCopyIsTheDocument) {
    // Large enough to be copied on two threads, with every kind of node, or not copied that way.
    const auto document = [](const QString& root, const QString& subset) {
        QString text =
            QStringLiteral("<?xml version=\"1.0\"?>\n%1<!--before-->\n<%2>\n").arg(subset, root);
        for (int i = 0; i < 5000; ++i)
            text += QStringLiteral("<r n=\"%1\" xml:lang=\"en\"><a>t&amp;%1</a><![CDATA[<c>]]>"
                                   "<!--c--><?p d?><p:b xmlns:p=\"urn:p\" p:x=\"1\">m<i/>x</p:b>"
                                   "%2</r>\n")
                        .arg(i)
                        .arg(subset.isEmpty() ? QString() : QStringLiteral("&e;"));
        return text + QStringLiteral("</%1>").arg(root.section(QLatin1Char(' '), 0, 0));
    };
    const QString rows[] = {
        document(QStringLiteral("shelf"), {}),
        document(QStringLiteral("shelf"), QStringLiteral("<!DOCTYPE shelf [<!ENTITY e \"ent\">]>")),
        document(QStringLiteral("shelf xmlns=\"urn:d\""), {}),
    };
    for (const QString& text : rows) {
        const XmlDocument original = parsed(text);
        XmlHeldCopy held(original);
        const XmlDocument copy = held.take(XmlHeldCopy::Copy::Quick);
        EXPECT_EQ(copy.xml(), original.xml());
    }
}

TEST(ValidationStamp, TellsWhetherResultsAreStillCurrent) {
    XmlDocument document = parsed(QStringLiteral("<a/>"));
    const XmlDocumentStamp stamp(document);
    EXPECT_TRUE(stamp.isCurrentFor(document));
    EXPECT_FALSE(stamp.isCurrentFor(document.snapshot()));
    document.documentElement().appendChild(document.createElement(QStringLiteral("b")));
    EXPECT_FALSE(stamp.isCurrentFor(document));
    EXPECT_FALSE(XmlDocumentStamp().isCurrentFor(document));
    EXPECT_FALSE(stamp.isCurrentFor(XmlDocument()));
}

namespace {
// The validity errors libxml2 finds on its own reading the file with its DTD, as xmllint --valid
// does.
int errorsOfXmllintValid(const QString& path) {
    struct Count {
        int errors = 0;
    } count;
    xmlSetStructuredErrorFunc(&count, [](void* data, xmlErrorPtr error) {
        if (error->domain == XML_FROM_VALID && error->level >= XML_ERR_ERROR)
            ++static_cast<Count*>(data)->errors;
    });
    const xmlExternalEntityLoader editors = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlDocPtr doc = xmlReadFile(QFile::encodeName(path).constData(), nullptr,
                                XML_PARSE_DTDVALID | XML_PARSE_NONET);
    xmlSetExternalEntityLoader(editors);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlFreeDoc(doc);
    return count.errors;
}
} // namespace

// F7 finds what xmllint --valid finds, whether the declarations stand in the document or in a DTD
// of its own, in a copy as F7 makes it.
TEST_F(Validation, DocumentTypeDeclarationsFindWhatXmllintFinds) {
    const char* const declarations =
        "<!ELEMENT book (chapter+, appendix?)><!ELEMENT chapter (#PCDATA|em)*>"
        "<!ELEMENT em (#PCDATA)><!ELEMENT appendix EMPTY>"
        "<!ATTLIST chapter id ID #REQUIRED kind (intro|body) \"body\" note CDATA #REQUIRED "
        "see IDREF #IMPLIED version CDATA #FIXED \"1\">";
    const struct {
        const char* name;
        const char* body;
    } rows[] = {
        {"valid", "<chapter id='a' note='n'>x</chapter>"},
        {"required missing", "<chapter id='a' kind='zzz'/><chapter kind='intro'/>"},
        {"only the ID missing", "<chapter note='n'/>"},
        {"fixed value differs", "<chapter id='a' note='n' version='2'/>"},
        {"enumeration", "<chapter id='a' note='n' kind='outro'/>"},
        {"ID twice and IDREF to nothing", "<chapter id='a' note='n'/><chapter id='a' note='m' "
                                          "see='b'/>"},
        {"content model", "<appendix/><chapter id='a' note='n'><appendix/></chapter>"},
        {"undeclared element", "<chapter id='a' note='n'/><index/>"},
    };
    write(QStringLiteral("book.dtd"), q(declarations));
    for (const auto& row : rows) {
        for (const bool inside : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (inside ? " (inside)" : " (outside)"));
            const QString text =
                (inside ? QStringLiteral("<!DOCTYPE book [%1]>").arg(q(declarations))
                        : QStringLiteral("<!DOCTYPE book SYSTEM \"book.dtd\">")) +
                QStringLiteral("<book>%1</book>").arg(q(row.body));
            const QString path = write(QStringLiteral("book.xml"), text);
            XmlDocument document = XmlDocument::create();
            ASSERT_TRUE(document.load(path));
            for (const XmlHeldCopy::Copy kind :
                 {XmlHeldCopy::Copy::Compact, XmlHeldCopy::Copy::Quick}) {
                XmlDocument copy = XmlHeldCopy(document).take(kind);
                const XmlValidationResult result = Validate(copy, {{}, path});
                EXPECT_EQ(result.errors, errorsOfXmllintValid(path)) << str(describe(result));
            }
        }
    }
}
