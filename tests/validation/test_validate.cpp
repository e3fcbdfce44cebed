// Validation in the XML layer: three schema languages and the document's own references, each
// fault tied to its node, schemas that do not load, and no network, ever.

#include "platform/xml/xmlheldcopy.h"
#include "platform/xml/xmlvalidation.h"
#include "support/networkwatch.h"
#include "support/xmltesting.h"

#include <libxml/catalog.h>
#include <libxml/parser.h>

#include <QDir>
#include <QUrl>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;
using Against = XmlValidationResult::Against;

namespace {

const char* const kXsd = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="shelf"><xs:complexType><xs:sequence>
    <xs:element name="book" maxOccurs="unbounded"><xs:complexType>
      <xs:sequence><xs:element name="title" type="xs:string"/>
        <xs:element name="year" type="xs:integer"/></xs:sequence>
      <xs:attribute name="id" type="xs:ID"/>
      <xs:attribute name="format" use="required"><xs:simpleType><xs:restriction base="xs:string">
        <xs:enumeration value="paper"/><xs:enumeration value="ebook"/>
      </xs:restriction></xs:simpleType></xs:attribute>
    </xs:complexType></xs:element>
  </xs:sequence></xs:complexType></xs:element></xs:schema>)";

const char* const kRng = R"(<element name="shelf" xmlns="http://relaxng.org/ns/structure/1.0"
    datatypeLibrary="http://www.w3.org/2001/XMLSchema-datatypes">
  <oneOrMore><element name="book">
    <optional><attribute name="id"><data type="ID"/></attribute></optional>
    <attribute name="format"><choice><value>paper</value><value>ebook</value></choice></attribute>
    <element name="title"><text/></element><element name="year"><data type="integer"/></element>
  </element></oneOrMore></element>)";

const char* const kDtd = R"(<!ELEMENT shelf (book+)><!ELEMENT book (title, year)>
<!ATTLIST book id ID #IMPLIED format (paper|ebook) #REQUIRED>
<!ELEMENT title (#PCDATA)><!ELEMENT year (#PCDATA)>)";

const char* const kInstance = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";

XmlValidationResult validateCopy(const XmlDocument& document, const QString& schema,
                                 const QString& documentFile = {}) {
    XmlDocument copy = document.snapshot();
    return Validate(copy, {schema, documentFile});
}

std::string describe(const XmlValidationResult& result) {
    QStringList lines;
    for (const XmlValidationIssue& fault : result.issues)
        lines << QStringLiteral("%1:%2 %3").arg(fault.file).arg(fault.line).arg(fault.message);
    return str(lines.join(QLatin1Char('\n')));
}

// While alive, libxml2's catalogs are those `files` name (XML_CATALOG_FILES), or the system's
// when empty; they are read afresh at the next resolution.
class CatalogFiles {
public:
    explicit CatalogFiles(const QString& files) : m_old(qgetenv("XML_CATALOG_FILES")) {
        if (files.isEmpty())
            qunsetenv("XML_CATALOG_FILES");
        else
            qputenv("XML_CATALOG_FILES", QFile::encodeName(files));
        xmlCatalogCleanup();
    }
    ~CatalogFiles() {
        if (m_old.isNull())
            qunsetenv("XML_CATALOG_FILES");
        else
            qputenv("XML_CATALOG_FILES", m_old);
        xmlCatalogCleanup();
    }

private:
    QByteArray m_old;
};

class Validation : public ::testing::Test {
protected:
    QString write(const QString& name, const QString& text) {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeBytes(path, text.toUtf8());
        return path;
    }
    QString documentFile() { return dir.filePath(QStringLiteral("shelf.xml")); }
    QTemporaryDir dir;
    NetworkWatch network;
};

} // namespace

TEST_F(Validation, EachLanguageFindsEachFaultAtItsNode) {
    const struct {
        const char* languages; // the schema files it is a fault of
        const char* attributes;
        const char* content;
        const char* node; // where the first fault is tied, as an XPath; null for none
        const char* says; // words of libxml2's message
    } rows[] = {
        {"xsd rng dtd", R"(format="paper")", "<title>A</title><year>1999</year>", nullptr, ""},
        {"xsd rng dtd", R"(format="paper")", "<title>A</title>", "/shelf/book", ""},
        {"xsd rng dtd", R"(format="paper" colour="red")", "<title>A</title><year>1999</year>",
         "/shelf/book/@colour", "colour"},
        {"xsd rng dtd", R"(format="vinyl")", "<title>A</title><year>1999</year>",
         "/shelf/book/@format", "vinyl"},
        {"xsd rng", R"(format="paper")", "<title>A</title><year>soon</year>", "/shelf/book/year",
         ""},
        // The DTD has no data types: its wrong type is an ID that is no name.
        {"dtd", R"(format="paper" id="9")", "<title>A</title><year>1</year>", "/shelf/book/@id",
         ""},
    };
    for (const auto& [suffix, text] : {std::pair{"xsd", kXsd}, {"rng", kRng}, {"dtd", kDtd}}) {
        const QString schema = write(QStringLiteral("shelf.%1").arg(q(suffix)), q(text));
        for (const auto& row : rows) {
            if (!QByteArray(row.languages).contains(suffix))
                continue;
            SCOPED_TRACE(std::string(suffix) + ": " + row.attributes + row.content);
            const XmlDocument document = parsed(QStringLiteral("<shelf><book %1>%2</book></shelf>")
                                                    .arg(q(row.attributes), q(row.content)));
            const XmlValidationResult result = validateCopy(document, schema);
            EXPECT_EQ(result.against, Against::ChosenSchema);
            EXPECT_TRUE(result.schemaLoaded);
            EXPECT_EQ(result.valid(), !row.node) << describe(result);
            if (!row.node) {
                EXPECT_TRUE(result.issues.isEmpty());
                continue;
            }
            ASSERT_FALSE(result.issues.isEmpty());
            const XmlValidationIssue& first = result.issues.first();
            // RELAX NG names the element only ("failed to validate attributes").
            EXPECT_TRUE(describe(result).find(row.says) != std::string::npos ||
                        QByteArray(suffix) == "rng")
                << describe(result);
            EXPECT_FALSE(first.warning);
            EXPECT_EQ(first.line, 1);
            EXPECT_TRUE(first.file.isEmpty());
            // An attribute the message does not name (RELAX NG's enumeration) stays its element's.
            const XmlNode node = NodeAtPlace(document, first.place);
            const XmlNode expected = document.selectSingleNode(q(row.node));
            EXPECT_TRUE(node == expected ||
                        (expected.nodeType() == NODE_ATTRIBUTE && node == expected.ownerElement() &&
                         !first.message.contains(expected.nodeName())))
                << describe(result) << " at " << str(node.nodeName());
        }
    }
}

TEST_F(Validation, FaultsDeepInALongDocumentLeadToTheirNodes) {
    // Faults among many siblings, past the lines libxml2 counts in an element, at exact places.
    const int first = 70000;
    QString text = QStringLiteral("<shelf>") + QString(first - 1, QLatin1Char('\n'));
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("<book id=\"b%1\" format=\"%2\"><title>T</title><year>%3</year>"
                               "</book>\n")
                    .arg(i)
                    .arg(i % 700 == 3 ? QStringLiteral("vinyl") : QStringLiteral("paper"))
                    .arg(i % 900 == 5 ? QStringLiteral("x") : QString::number(i));
    const XmlDocument document = parsed(text + QStringLiteral("</shelf>"));
    XmlValidationResult result =
        validateCopy(document, write(QStringLiteral("shelf.xsd"), q(kXsd)));
    ASSERT_EQ(result.errors, 5 + 4) << describe(result);
    // The copy does not know lines past 65535; the document validated does.
    EXPECT_EQ(result.issues.first().line, 0);
    TieToDocument(document, result.issues);
    for (const XmlValidationIssue& fault : result.issues) {
        XmlNode node = NodeAtPlace(document, fault.place);
        EXPECT_TRUE(fault.node == node);
        ASSERT_FALSE(node.isNull()) << str(fault.message);
        while (node.nodeName() != QLatin1String("book"))
            node = node.ownerElement().isNull() ? node.parentNode() : node.ownerElement();
        const int number =
            node.attributes().getNamedItem(QStringLiteral("id")).text().mid(1).toInt();
        EXPECT_TRUE(number % 700 == 3 || number % 900 == 5) << str(fault.message);
        EXPECT_EQ(fault.line, first + number) << str(fault.message);
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
    const auto hinted = [](const char* before, const char* book) {
        return QStringLiteral("%1<shelf %2 xsi:noNamespaceSchemaLocation=\"schemas/shelf.xsd\">"
                              "<book format=\"ebook\"><title>A</title>%3</book></shelf>")
            .arg(q(before), q(kInstance), q(book));
    };
    const auto namespaceHinted = [](const char* content) {
        return QStringLiteral("<s:shelf xmlns:s=\"urn:s\" %1 xsi:schemaLocation=\"urn:s "
                              "schemas/ns.xsd\">%2</s:shelf>")
            .arg(q(kInstance), q(content));
    };
    const struct {
        QString text;
        Against against;
        bool valid;
    } rows[] = {
        {hinted("", "<year>1</year>"), Against::SchemaHints, true},
        {hinted("", ""), Against::SchemaHints, false},
        // Hints come before the document type.
        {hinted("<!DOCTYPE shelf SYSTEM \"missing.dtd\">", "<year>1</year>"), Against::SchemaHints,
         true},
        {namespaceHinted("<s:book>A</s:book>"), Against::SchemaHints, true},
        {namespaceHinted("<s:magazine/>"), Against::SchemaHints, false},
        {QStringLiteral("<!DOCTYPE shelf SYSTEM \"shelf.dtd\"><shelf><book format=\"paper\">"
                        "<title>A</title><year>1</year></book></shelf>"),
         Against::DocumentType, true},
        {QStringLiteral("<!DOCTYPE shelf [<!ELEMENT shelf (#PCDATA)>]><shelf><x/></shelf>"),
         Against::DocumentType, false},
        {QStringLiteral("<!DOCTYPE shelf SYSTEM \"shelf.dtd\" [<!ENTITY t \"A\">]><shelf>"
                        "<book format=\"paper\"><title>&t;</title><year>1</year></book></shelf>"),
         Against::DocumentType, true},
        {QStringLiteral("<shelf/>"), Against::Nothing, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(str(row.text));
        const XmlDocument document = parsed(row.text);
        const QString before = document.xml();
        const XmlValidationResult result = validateCopy(document, {}, documentFile());
        EXPECT_EQ(result.against, row.against);
        EXPECT_TRUE(result.schemaLoaded);
        EXPECT_EQ(result.valid(), row.valid) << describe(result);
        EXPECT_EQ(document.xml(), before);
    }
}

// Said first; then why: the schema's own faults (with no place in the document), or the refusal
// of a remote address, which is never connected to.
TEST_F(Validation, ASchemaThatDoesNotLoadSaysWhyAndRemoteOnesAreNeverRead) {
    const char* const broken = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                               "<xs:element/></xs:schema>";
    write(QStringLiteral("hinted.xsd"), q(broken));
    const auto hinting = [](const char* file) {
        return QStringLiteral("<shelf %1 xsi:noNamespaceSchemaLocation=\"%2\"/>")
            .arg(q(kInstance), q(file));
    };
    const QString valid = QStringLiteral("<shelf><book format=\"paper\"><title>A</title>"
                                         "<year>1</year></book></shelf>");
    const struct {
        const char* file; // chosen, written with `text` unless that is null
        const char* text;
        QString document;
        const char* says; // the first message; %1 is the folder
        const char* why;  // the address refused; null for the schema's own faults, "" for none
    } rows[] = {
        {"broken.xsd", broken, valid, "The schema \"%1/broken.xsd\" could not be loaded.", nullptr},
        {"malformed.xsd", "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">", valid,
         "The schema \"%1/malformed.xsd\" could not be loaded.", nullptr},
        {"broken.rng", "<grammar xmlns=\"http://relaxng.org/ns/structure/1.0\"><start/></grammar>",
         valid, "The schema \"%1/broken.rng\" could not be loaded.", nullptr},
        {"broken.dtd", "<!ELEMENT shelf (book", valid,
         "The DTD \"%1/broken.dtd\" could not be loaded.", nullptr},
        {"absent.xsd", nullptr, valid, "The schema \"%1/absent.xsd\" could not be loaded.", ""},
        {nullptr, nullptr, hinting("hinted.xsd"),
         "The schema \"%1/hinted.xsd\" could not be loaded.", nullptr},
        {nullptr, nullptr, hinting("nowhere.xsd"),
         "The schema \"%1/nowhere.xsd\" could not be loaded.", ""},
        {nullptr, nullptr, QStringLiteral("<!DOCTYPE shelf SYSTEM \"nowhere.dtd\"><shelf/>"),
         "The DTD \"nowhere.dtd\" could not be loaded.", ""},
        {nullptr, nullptr, hinting("http://example.com/s.xsd"),
         "The schema \"http://example.com/s.xsd\" could not be loaded.",
         "http://example.com/s.xsd"},
        {nullptr, nullptr,
         QStringLiteral("<s:shelf xmlns:s=\"urn:s\" %1 "
                        "xsi:schemaLocation=\"urn:s ftp://example.com/s.xsd\"/>")
             .arg(q(kInstance)),
         "The schema \"ftp://example.com/s.xsd\" could not be loaded.", "ftp://example.com/s.xsd"},
        {nullptr, nullptr,
         QStringLiteral("<!DOCTYPE shelf SYSTEM \"http://example.com/s.dtd\"><shelf/>"),
         "The DTD \"http://example.com/s.dtd\" could not be loaded.", "http://example.com/s.dtd"},
        // What is said first is the chosen schema, not the address it includes.
        {"including.xsd",
         "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:include "
         "schemaLocation=\"https://example.com/part.xsd\"/><xs:element "
         "name=\"shelf\"/></xs:schema>",
         valid, "The schema \"%1/including.xsd\" could not be loaded.",
         "https://example.com/part.xsd"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.says);
        QString chosen;
        if (row.file)
            chosen = row.text ? write(q(row.file), q(row.text)) : dir.filePath(q(row.file));
        const XmlValidationResult result =
            validateCopy(parsed(row.document), chosen, row.file ? QString() : documentFile());
        EXPECT_FALSE(result.schemaLoaded);
        EXPECT_FALSE(result.valid());
        ASSERT_FALSE(result.issues.isEmpty());
        EXPECT_EQ(result.issues.first().message,
                  q(row.says).replace(QStringLiteral("%1"), dir.path()))
            << describe(result);
        if (!row.why) {
            ASSERT_GE(result.issues.size(), 2) << describe(result);
            EXPECT_TRUE(result.issues.at(1).place.isNull());
        } else if (*row.why) {
            EXPECT_EQ(result.issues.last().message,
                      QStringLiteral("Refused to read \"%1\": schemas and DTDs are read only from "
                                     "local files.")
                          .arg(q(row.why)))
                << describe(result);
        }
    }
    EXPECT_EQ(network.attempts(), 0);
}

// An XML catalog gives the local copy of a DTD named by its public identifier or its address: the
// document validates against it with no network; without an entry the address is refused as ever.
TEST_F(Validation, CatalogsGiveTheLocalCopiesOfRemoteDtds) {
    const QString dtd = write(QStringLiteral("local/shelf.dtd"), q(kDtd));
    const CatalogFiles catalog(write(
        QStringLiteral("catalog.xml"),
        QStringLiteral("<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">"
                       "<public publicId=\"-//Orvel//DTD Shelf//EN\" uri=\"%1\"/>"
                       "<system systemId=\"http://example.com/shelf.dtd\" uri=\"%1\"/>"
                       "</catalog>")
            .arg(QUrl::fromLocalFile(dtd).toString())));
    const QString noFormat = QStringLiteral("<shelf><book><title>A</title><year>1</year></book>"
                                            "</shelf>");
    for (const char* doctype :
         {"PUBLIC \"-//Orvel//DTD Shelf//EN\" \"http://example.org/elsewhere.dtd\"",
          "SYSTEM \"http://example.com/shelf.dtd\""}) {
        SCOPED_TRACE(doctype);
        const XmlValidationResult result = validateCopy(
            parsed(QStringLiteral("<!DOCTYPE shelf %1>").arg(q(doctype)) + noFormat), {},
            documentFile());
        EXPECT_TRUE(result.schemaLoaded) << describe(result);
        ASSERT_EQ(result.errors, 1) << describe(result);
        EXPECT_TRUE(result.issues.first().message.contains(QStringLiteral("format")))
            << describe(result);
    }
    const XmlValidationResult unknown = validateCopy(
        parsed(QStringLiteral("<!DOCTYPE shelf PUBLIC \"-//Other//EN\" \"http://example.org/o.dtd\">") +
               noFormat),
        {}, documentFile());
    EXPECT_FALSE(unknown.schemaLoaded);
    EXPECT_EQ(unknown.issues.last().message,
              QStringLiteral("Refused to read \"http://example.org/o.dtd\": schemas and DTDs are "
                             "read only from local files."))
        << describe(unknown);
    EXPECT_EQ(network.attempts(), 0);
}

// DocBook 4.5 by its standard public identifier, from Debian's docbook-xml through the system's
// catalog.
TEST_F(Validation, DocBookValidatesFromTheSystemsCatalog) {
    if (!QFile::exists(QStringLiteral("/usr/share/xml/docbook/schema/dtd/4.5/docbookx.dtd")))
        GTEST_SKIP() << "Debian's docbook-xml is not installed (scripts/test.sh installs it when "
                        "it can): DocBook's DTD cannot be had without the network.";
    const CatalogFiles system({});
    const QString doctype = QStringLiteral(
        "<!DOCTYPE article PUBLIC \"-//OASIS//DTD DocBook XML V4.5//EN\" "
        "\"http://www.oasis-open.org/docbook/xml/4.5/docbookx.dtd\">");
    const XmlValidationResult valid = validateCopy(
        parsed(doctype + QStringLiteral("<article><title>T</title><para>Text.</para></article>")),
        {}, documentFile());
    EXPECT_TRUE(valid.valid()) << describe(valid);
    const XmlValidationResult invalid = validateCopy(
        parsed(doctype + QStringLiteral("<article><title>T</title><bogus/></article>")), {},
        documentFile());
    EXPECT_TRUE(invalid.schemaLoaded) << describe(invalid);
    EXPECT_GE(invalid.errors, 1) << describe(invalid);
    EXPECT_EQ(network.attempts(), 0);
}

TEST(ValidationCopy, AQuickCopyIsTheDocument) {
    // Large enough to be copied on two threads, with every kind of node.
    for (const auto& [root, subset] : {std::pair{"shelf", ""},
                                       {"shelf", "<!DOCTYPE shelf [<!ENTITY e \"ent\">]>"},
                                       {"shelf xmlns=\"urn:d\"", ""}}) {
        QString text = QStringLiteral("<?xml version=\"1.0\"?>\n%1<!--before-->\n<%2>\n")
                           .arg(q(subset), q(root));
        for (int i = 0; i < 5000; ++i)
            text += QStringLiteral("<r n=\"%1\" xml:lang=\"en\"><a>t&amp;%1</a><![CDATA[<c>]]>"
                                   "<!--c--><?p d?><p:b xmlns:p=\"urn:p\" p:x=\"1\">m<i/>x</p:b>"
                                   "%2</r>\n")
                        .arg(i)
                        .arg(*subset ? QStringLiteral("&e;") : QString());
        const XmlDocument original = parsed(text + QStringLiteral("</shelf>"));
        EXPECT_EQ(XmlHeldCopy(original).take(XmlHeldCopy::Copy::Quick).xml(), original.xml());
    }
}

namespace {
// The validity errors libxml2 finds on its own reading the file with its DTD, as xmllint --valid.
int errorsOfXmllintValid(const QString& path) {
    int errors = 0;
    xmlSetStructuredErrorFunc(&errors, [](void* count, xmlErrorPtr error) {
        if (error->domain == XML_FROM_VALID && error->level >= XML_ERR_ERROR)
            ++*static_cast<int*>(count);
    });
    const xmlExternalEntityLoader editors = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlFreeDoc(xmlReadFile(QFile::encodeName(path).constData(), nullptr,
                           XML_PARSE_DTDVALID | XML_PARSE_NONET));
    xmlSetExternalEntityLoader(editors);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    return errors;
}
} // namespace

// F7 finds what xmllint --valid finds, declarations inside or in a DTD, in either copy made.
TEST_F(Validation, DocumentTypeDeclarationsFindWhatXmllintFinds) {
    const char* const declarations =
        "<!ELEMENT book (chapter+, appendix?)><!ELEMENT chapter (#PCDATA|em)*>"
        "<!ELEMENT em (#PCDATA)><!ELEMENT appendix EMPTY>"
        "<!ATTLIST chapter id ID #REQUIRED kind (intro|body) \"body\" note CDATA #REQUIRED "
        "see IDREF #IMPLIED version CDATA #FIXED \"1\">";
    const char* const bodies[] = {
        "<chapter id='a' note='n'>x</chapter>",                         // valid
        "<chapter id='a' kind='zzz'/><chapter kind='intro'/>",          // required missing
        "<chapter note='n'/>",                                          // only the ID missing
        "<chapter id='a' note='n' version='2'/>",                       // fixed value differs
        "<chapter id='a' note='n' kind='outro'/>",                      // enumeration
        "<chapter id='a' note='n'/><chapter id='a' note='m' see='b'/>", // ID twice, IDREF
        "<appendix/><chapter id='a' note='n'><appendix/></chapter>",    // content model
        "<chapter id='a' note='n'/><index/>",                           // undeclared element
    };
    write(QStringLiteral("book.dtd"), q(declarations));
    for (const char* body : bodies) {
        for (const bool inside : {true, false}) {
            SCOPED_TRACE(std::string(body) + (inside ? " (inside)" : " (outside)"));
            const QString path =
                write(QStringLiteral("book.xml"),
                      (inside ? QStringLiteral("<!DOCTYPE book [%1]>").arg(q(declarations))
                              : QStringLiteral("<!DOCTYPE book SYSTEM \"book.dtd\">")) +
                          QStringLiteral("<book>%1</book>").arg(q(body)));
            XmlDocument document = XmlDocument::create();
            ASSERT_TRUE(document.load(path));
            for (const auto kind : {XmlHeldCopy::Copy::Compact, XmlHeldCopy::Copy::Quick}) {
                XmlDocument copy = XmlHeldCopy(document).take(kind);
                const XmlValidationResult result = Validate(copy, {{}, path});
                EXPECT_EQ(result.errors, errorsOfXmllintValid(path)) << describe(result);
            }
        }
    }
}
