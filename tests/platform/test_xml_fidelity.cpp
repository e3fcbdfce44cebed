// Loading and saving keep the document exactly: white space that is content, the document type
// declaration as written, namespace values, CDATA sections, entities from an external parameter
// entity, and a saved file always loads again.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/xmltesting.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <tuple>

using namespace xmltesting;

namespace {

// Saves, loads the file again and saves once more: the two files must be equal.
QByteArray savedTwice(const XmlDocument& doc, const QTemporaryDir& dir) {
    const QString first = dir.filePath("first.xml"), second = dir.filePath("second.xml");
    doc.save(first);
    XmlDocument again = XmlDocument::create();
    EXPECT_TRUE(again.load(first)) << str(again.parseError().reason) << readBytes(first).data();
    again.save(second);
    EXPECT_EQ(readBytes(second).toStdString(), readBytes(first).toStdString());
    return readBytes(first);
}

} // namespace

TEST(XmlFidelity, WhiteSpaceIsLayoutOnlyInElementOnlyContent) {
    // The text loaded and what it saves as: layout is laid out afresh, content kept as it is.
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"space_between_inline_elements_in_mixed_content", "<m><b>x</b>\n <i>y</i> tail</m>",
         "<m><b>x</b>\n <i>y</i> tail</m>\n"},
        {"line_breaks_around_cdata", "<r>\n<![CDATA[x]]>\n</r>", "<r>\n<![CDATA[x]]>\n</r>\n"},
        {"entity_reference_may_be_text", "<!DOCTYPE r [<!ENTITY e \"x\">]><r>\n  &e;\n</r>",
         "<!DOCTYPE r [<!ENTITY e \"x\">]>\n<r>\n  &e;\n</r>\n"},
        {"declared_pcdata_gets_no_indentation",
         "<!DOCTYPE doc [<!ELEMENT doc (#PCDATA)>]><doc><?pi?></doc>",
         "<!DOCTYPE doc [<!ELEMENT doc (#PCDATA)>]>\n<doc><?pi?></doc>\n"},
        {"declared_mixed_keeps_blanks", "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*>]><r>\n <a/></r>",
         "<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*>]>\n<r>\n <a/></r>\n"},
        {"declared_any_keeps_blanks", "<!DOCTYPE r [<!ELEMENT r ANY>]><r>\n <a/></r>",
         "<!DOCTYPE r [<!ELEMENT r ANY>]>\n<r>\n <a/></r>\n"},
        {"preserve_is_inherited", "<r xml:space=\"preserve\"><a>\n <b/></a><c><d/></c></r>",
         "<r xml:space=\"preserve\"><a>\n <b/></a><c><d/></c></r>\n"},
        {"default_ends_preserve",
         "<r xml:space=\"preserve\"><s xml:space=\"default\">\n<b/></s></r>",
         "<r xml:space=\"preserve\"><s xml:space=\"default\"><b/></s></r>\n"},
        {"blank_only_content_is_content", "<r>\n<a> </a>\n</r>", "<r>\n  <a> </a>\n</r>\n"},
        {"preserve_given_by_default_in_the_subset",
         "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) 'preserve'>]><r><s> <k/>  <k/> "
         "</s></r>",
         "<!DOCTYPE r [<!ATTLIST s xml:space (default|preserve) 'preserve'>]>\n<r>\n  <s> <k/>  "
         "<k/> </s>\n</r>\n"},
        {"preserve_by_default_for_a_prefixed_name",
         "<!DOCTYPE r [<!ATTLIST p:s xml:space CDATA 'preserve'>]><r xmlns:p='u'><p:s>\n<k/>"
         "</p:s><s>\n<k/></s></r>",
         "<!DOCTYPE r [<!ATTLIST p:s xml:space CDATA 'preserve'>]>\n<r xmlns:p=\"u\">\n  "
         "<p:s>\n<k/></p:s>\n  <s>\n    <k/>\n  </s>\n</r>\n"},
        {"a_written_default_overrides_the_subsets",
         "<!DOCTYPE r [<!ATTLIST s xml:space CDATA 'preserve'>]><r><s xml:space='default'> <k/>"
         "</s></r>",
         "<!DOCTYPE r [<!ATTLIST s xml:space CDATA 'preserve'>]>\n<r>\n  <s xml:space=\"default\">"
         "\n    <k/>\n  </s>\n</r>\n"},
        {"element_only_is_indented_afresh",
         "<r>\n\t\t<a><b/></a><!--c-->\n  <p>Hi <b>x</b></p></r>",
         "<r>\n  <a>\n    <b/>\n  </a>\n  <!--c-->\n  <p>Hi <b>x</b></p>\n</r>\n"},
    };
    for (const auto& [name, text, saved] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(q(text));
        EXPECT_EQ(str(doc.xml()), saved);
        EXPECT_EQ(str(parsed(doc.xml()).xml()), saved) << "not a fixed point";
    }
    // Blank runs longer than the parser's pieces of text, before and after text turns up late in
    // an element, keep their places.
    const QString blanks = QString(" \n\t").repeated(400);
    const QString late = "<m>" + blanks + "<b/>" + blanks + "<i/>" + blanks + "x" + blanks + "</m>";
    EXPECT_EQ(parsed(late).xml(), late + "\n");
    const QString layout = "<m>" + blanks + "<b/>" + blanks + "<i/>" + blanks + "</m>";
    EXPECT_EQ(str(parsed(layout).xml()), "<m>\n  <b/>\n  <i/>\n</m>\n");
    // Layout leaves no node behind in the tree: the same tree as without it.
    const XmlDocument indented = parsed(q("<r>\n  <a>\n    <b/>\n  </a>\n  <!--c-->\n</r>"));
    EXPECT_EQ(indented.documentElement().childNodes().length(), 2);
    EXPECT_EQ(indented.documentElement().firstChild().childNodes().length(), 1);
}

TEST(XmlFidelity, DeepDocumentWithLayoutIsWalkedWithoutRecursion) {
    constexpr int depth = 250; // as deep as the parser goes by default
    const QString text = QString("<a>\n ").repeated(depth) + QString("</a>\n").repeated(depth);
    XmlDocument doc = parsed(text);
    EXPECT_EQ(doc.selectNodes(q("//text()")).length(), 1); // the innermost, blank content
    EXPECT_EQ(str(parsed(doc.xml()).xml()), str(doc.xml()));
}

TEST(XmlFidelity, DocumentTypeDeclarationIsWrittenAsItWasRead) {
    const char* rows[] = {
        // A parameter-entity reference that libxml2 does not keep.
        "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]>",
        // A default that does not fit its type, which libxml2 drops.
        "<!DOCTYPE doc [<!ATTLIST doc n NMTOKEN \"not one token\">]>",
        // Notations, which libxml2 writes in the order of its hash table.
        "<!DOCTYPE doc [<!NOTATION z SYSTEM \"z\"><!NOTATION a PUBLIC \"a\"><!NOTATION m "
        "SYSTEM \"m\">]>",
        // Comments, processing instructions and literals holding the characters that end it.
        "<!DOCTYPE doc PUBLIC \"-//x//EN\" 'd]>.dtd' [\n  <!-- ]> -->\n  <?p ]>?>\n  <!ENTITY "
        "e \"]>\">\n]  >",
    };
    for (const char* doctype : rows) {
        SCOPED_TRACE(doctype);
        QTemporaryDir dir;
        const QString text = q(doctype) + q("<doc/>");
        const QByteArray expected = QByteArray(doctype) + "\n<doc/>\n";
        writeBytes(dir.filePath("in.xml"), text.toUtf8());
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.load(dir.filePath("in.xml"))) << str(doc.parseError().reason);
        EXPECT_EQ(savedTwice(doc, dir).toStdString(), expected.toStdString());
        EXPECT_EQ(str(doc.firstChild().xml()), doctype);
        EXPECT_EQ(str(parsed(text).xml()), expected.toStdString()) << "from a string";
    }
}

TEST(XmlFidelity, DocumentTypeDeclarationSurvivesAMoveAndReadsInTheFileEncoding) {
    QTemporaryDir dir;
    // UTF-16 with line breaks CR LF: the declaration comes back decoded, with LF.
    const QString text =
        q("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!DOCTYPE r [\r\n"
          "<!-- caf\u00e9 \u20ac -->\r\n<!ATTLIST r n NMTOKEN \"a b\">]><!--c--><r/>");
    writeBytes(
        dir.filePath("in.xml"),
        QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom).encode(text));
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.load(dir.filePath("in.xml"))) << str(doc.parseError().reason);
    const QString doctype =
        q("<!DOCTYPE r [\n<!-- caf\u00e9 \u20ac -->\n<!ATTLIST r n NMTOKEN \"a b\">]>");
    XmlNode node = doc.childNodes().item(1);
    EXPECT_EQ(str(node.xml()), str(doctype));
    doc.removeChild(node);
    EXPECT_FALSE(doc.xml().contains(q("DOCTYPE")));
    doc.insertBefore(node, doc.childNodes().item(2)); // after the comment now
    EXPECT_EQ(str(doc.xml()), str(q("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!--c-->\n") +
                                  doctype + q("\n<r/>\n")));
    // Not written as a reference where the encoding lacks a character of it.
    doc.firstChild().setText(q("version=\"1.0\" encoding=\"ISO-8859-1\""));
    writeBytes(dir.filePath("out.xml"), "<old/>");
    try {
        doc.save(dir.filePath("out.xml"));
        ADD_FAILURE() << "saved";
    } catch (const XmlError& e) {
        EXPECT_EQ(str(e.description()),
                  "The document cannot be saved in the encoding ISO-8859-1: the document type "
                  "declaration holds a character that this encoding cannot represent.");
    }
    EXPECT_EQ(readBytes(dir.filePath("out.xml")), "<old/>");
}

// An entity the external subset or an external parameter entity may declare (neither is ever
// read) stays a reference, in text and in attribute values alike, and the tree shows it as such.
TEST(XmlFidelity, EntitiesDeclaredOutsideTheDocumentStayReferences) {
    struct Row {
        const char* name;
        const char* doctype;
        const char* element; // as read and as saved
        const char* attribute;
    };
    const Row rows[] = {
        {"external_parameter_entity",
         "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]>",
         "<doc a=\"x&chap1;y\">&chap1;</doc>", "x&chap1;y"},
        {"external_subset", "<!DOCTYPE doc SYSTEM \"doc.dtd\">", "<doc a=\"&e;\">t&e;t</doc>",
         "&e;"},
        {"beside_declared_ones",
         "<!DOCTYPE doc SYSTEM \"doc.dtd\" [<!ENTITY d \"D&f;\"><!ENTITY f \"F\">]>",
         "<doc a=\"x&d;&e;y&amp;\"/>", "xDF&e;y&"},
    };
    QTemporaryDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray text = QByteArray(row.doctype) + row.element;
        writeBytes(dir.filePath("in.xml"), text);
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.load(dir.filePath("in.xml"))) << str(doc.parseError().reason);
        EXPECT_EQ(str(doc.documentElement().attributes().item(0).text()), row.attribute);
        EXPECT_EQ(savedTwice(doc, dir), QByteArray(row.doctype) + "\n" + row.element + "\n");
    }
    const XmlNode ref =
        parsed(q(rows[0].doctype) + "<doc>&chap1;</doc>").documentElement().firstChild();
    EXPECT_EQ(ref.nodeType(), NODE_ENTITY_REFERENCE);
    EXPECT_EQ(str(ref.nodeName()), "chap1");
    // Without anything outside that could declare it, or standing alone, an undeclared entity is
    // an error.
    XmlDocument doc = XmlDocument::create();
    for (const char* bad :
         {"<doc>&chap1;</doc>", "<doc a='&chap1;'/>",
          "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE doc [<!ENTITY % c SYSTEM "
          "\"c.ent\"> %c;]><doc>&chap1;</doc>",
          "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE doc SYSTEM \"d.dtd\"><doc "
          "a='&chap1;'/>"}) {
        EXPECT_FALSE(doc.loadXML(q(bad))) << bad;
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
    }
}

// A namespace declaration names the namespace its value expands to; saving must not turn a
// reference in it into text, which would move every name in its scope to another namespace.
TEST(XmlFidelity, NamespaceValuesAreWhatTheyExpandTo) {
    const QString subset =
        q("<!DOCTYPE r [<!ENTITY t \"~\"><!ENTITY amp2 \"&#38;#38;\">"
          "<!ENTITY n \"&t;&#x41;\"><!ENTITY empty \"\"><!ENTITY sp \"&#32;\">]>");
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"entity", "<r xmlns:b=\"http://example.org/&t;w\"><b:c/></r>", "http://example.org/~w"},
        {"nested_with_a_character_reference", "<r xmlns:b=\"u:&n;\"><b:c/></r>", "u:~A"},
        {"escaped_ampersand_in_the_entity", "<r xmlns:b=\"u:&amp2;\"><b:c/></r>", "u:&"},
        {"ampersand_written_as_a_reference", "<r xmlns:b=\"u:&amp;x\"><b:c/></r>", "u:&x"},
        {"default_namespace", "<r xmlns=\"u:&t;\"><c/></r>", "u:~"},
    };
    QTemporaryDir dir;
    for (const auto& [name, text, uri] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(subset + q(text));
        const XmlNode c = doc.documentElement().firstChild();
        EXPECT_EQ(str(c.namespaceURI()), uri);
        savedTwice(doc, dir);
        XmlDocument again = XmlDocument::create();
        ASSERT_TRUE(again.load(dir.filePath("first.xml")));
        EXPECT_EQ(str(again.documentElement().firstChild().namespaceURI()), uri);
    }
    // Names that expand to the same one are the same name; a value that cannot be known or may
    // not be used is no namespace.
    for (const char* bad : {"<r xmlns:a=\"urn:~\" xmlns:b=\"urn:&t;\"><k a:x=\"1\" b:x=\"2\"/></r>",
                            "<r xmlns:b=\"&undeclared;\"/>", "<r xmlns:e=\"&empty;\"/>",
                            "<!-- no URI once expanded --><r xmlns:b=\"u:&sp;x\"/>"}) {
        XmlDocument doc = XmlDocument::create();
        EXPECT_FALSE(doc.loadXML(subset + q(bad))) << bad;
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
    }
    XmlDocument doc = XmlDocument::create();
    EXPECT_FALSE(doc.loadXML(q("<!DOCTYPE r SYSTEM 'r.dtd'><r xmlns:b='u:&e;'/>")))
        << "an entity of the external subset makes the namespace unknown";
    EXPECT_FALSE(doc.loadXML(
        q("<!DOCTYPE r [<!ENTITY x \"http://www.w3.org/XML/1998/namespace\">]><r xmlns:b='&x;'/>")))
        << "the XML namespace bound to another prefix";
}

TEST(XmlFidelity, SavedFileLoadsAgainWithTheSameContent) {
    QTemporaryDir dir;
    // A namespace name holding a character that must be escaped.
    XmlDocument doc = parsed(q("<r><a xmlns:p=\"urn:a&amp;b\"/></r>"));
    const QByteArray saved = savedTwice(doc, dir);
    EXPECT_TRUE(saved.contains("xmlns:p=\"urn:a&amp;b\"")) << saved.data();
    XmlDocument again = XmlDocument::create();
    ASSERT_TRUE(again.load(dir.filePath("first.xml")));
    EXPECT_EQ(str(again.documentElement().firstChild().attributes().item(0).text()), "urn:a&b");

    // Two CDATA sections side by side stay two, whether created or read.
    for (XmlDocument d : {parsed(q("<r/>")), parsed(q("<r><![CDATA[a]]><![CDATA[b]]></r>"))}) {
        if (!d.documentElement().hasChildNodes()) {
            d.documentElement().appendChild(d.createCDATASection(q("a")));
            d.documentElement().appendChild(d.createCDATASection(q("b")));
        }
        EXPECT_EQ(savedTwice(d, dir).toStdString(), "<r><![CDATA[a]]><![CDATA[b]]></r>\n");
        XmlDocument reloaded = XmlDocument::create();
        ASSERT_TRUE(reloaded.load(dir.filePath("first.xml")));
        EXPECT_EQ(reloaded.documentElement().childNodes().length(), 2);
    }
}

TEST(XmlFidelity, EncodingThatCannotBeReadBackIsRefusedKeepingTheOldFile) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out.xml");
    writeBytes(dir.filePath("in.xml"), "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r>x</r>");
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.load(dir.filePath("in.xml"))) << str(doc.parseError().reason);
    writeBytes(out, "<old/>");
    try {
        doc.save(out);
        ADD_FAILURE() << "saved as " << readBytes(out).data();
    } catch (const XmlError& e) {
        EXPECT_EQ(str(e.description()),
                  "The document cannot be saved in the encoding UTF-7: a file written in it could "
                  "not be read again. Name another encoding (such as UTF-8) in the XML "
                  "declaration.");
    }
    EXPECT_EQ(readBytes(out), "<old/>");
}
