// Loading and saving keep the document exactly, and a saved file loads again to the same bytes.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/xmltesting.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xmltesting;

namespace {

// What a row looks at: an element's namespace, or an attribute's value.
QString probe(const XmlDocument& doc, const char* path) {
    const XmlNode n = doc.selectSingleNode(q(path));
    return n.isNull() ? "(none)" : n.nodeType() == NODE_ELEMENT ? n.namespaceURI() : n.text();
}

const QString kSubset = "<!DOCTYPE r [<!ENTITY t \"~\"><!ENTITY amp2 \"&#38;#38;\"><!ENTITY n "
                        "\"&t;&#x41;\"><!ENTITY empty \"\"><!ENTITY sp \"&#32;\">]>";

} // namespace

// The text loaded and what it saves as when made in memory (laid out afresh: white space is layout
// only in element-only content); a file saves as it was, and loads to the same bytes again.
TEST(XmlFidelity, SavedTextIsExactAndStable) {
    const struct Row {
        const char* name;
        QString text;
        QString saved;
        const char* path = nullptr; // a node whose probe() must survive the round trip
        const char* value = nullptr;
    } rows[] = {
        {"top_level_nodes",
         "<?xml version=\"1.0\" standalone=\"yes\"?><!--top--><?pi data?><r><!--in--><?t?></r>",
         "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!--top-->\n<?pi data?>\n<r>\n  <!--in-->\n  "
         "<?t?>\n</r>\n"},
        {"internal_subset_and_entity",
         "<!DOCTYPE r [<!ATTLIST r id ID #IMPLIED><!ENTITY e \"ent\">]><r id=\"x\">&e;</r>",
         "<!DOCTYPE r [<!ATTLIST r id ID #IMPLIED><!ENTITY e \"ent\">]>\n<r id=\"x\">&e;</r>\n"},
        {"namespaces_and_cdata",
         "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"1\">Hi <b xmlns=\"\">b</b> end</p:a>"
         "<![CDATA[<not> & markup]]></r>",
         "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"1\">Hi <b xmlns=\"\">b</b> "
         "end</p:a><![CDATA[<not> & markup]]></r>\n"},
        {"attribute_quoting",
         "<r a=\"x &amp; &quot;y&quot; 'z' &lt;\" b='say \"hi\"' c=\"&#9;tab&#10;nl\"/>",
         "<r a=\"x &amp; &quot;y&quot; 'z' &lt;\" b=\"say &quot;hi&quot;\" "
         "c=\"&#9;tab&#10;nl\"/>\n"},
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
        // The document type declaration as written, where libxml2 would drop or reorder parts.
        {"parameter_entity_reference",
         "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]><doc/>",
         "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]>\n<doc/>\n"},
        {"default_not_fitting_its_type",
         "<!DOCTYPE doc [<!ATTLIST doc n NMTOKEN \"not one token\">]><doc/>",
         "<!DOCTYPE doc [<!ATTLIST doc n NMTOKEN \"not one token\">]>\n<doc/>\n"},
        {"notations_in_their_order",
         "<!DOCTYPE doc [<!NOTATION z SYSTEM \"z\"><!NOTATION a PUBLIC \"a\"><!NOTATION m SYSTEM "
         "\"m\">]><doc/>",
         "<!DOCTYPE doc [<!NOTATION z SYSTEM \"z\"><!NOTATION a PUBLIC \"a\"><!NOTATION m SYSTEM "
         "\"m\">]>\n<doc/>\n"},
        {"literals_holding_its_end",
         "<!DOCTYPE doc PUBLIC \"-//x//EN\" 'd]>.dtd' [\n  <!-- ]> -->\n  <?p ]>?>\n  <!ENTITY e "
         "\"]>\">\n]  ><doc/>",
         "<!DOCTYPE doc PUBLIC \"-//x//EN\" 'd]>.dtd' [\n  <!-- ]> -->\n  <?p ]>?>\n  <!ENTITY e "
         "\"]>\">\n]  >\n<doc/>\n"},
        // An entity the external subset or an external parameter entity may declare (neither is
        // ever read) stays a reference, in text and in attribute values alike.
        {"external_parameter_entity",
         "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]><doc "
         "a=\"x&chap1;y\">&chap1;</doc>",
         "<!DOCTYPE doc [<!ENTITY % chapters SYSTEM \"chapters.ent\"> %chapters;]>\n<doc "
         "a=\"x&chap1;y\">&chap1;</doc>\n",
         "/doc/@a", "x&chap1;y"},
        {"external_subset", "<!DOCTYPE doc SYSTEM \"doc.dtd\"><doc a=\"&e;\">t&e;t</doc>",
         "<!DOCTYPE doc SYSTEM \"doc.dtd\">\n<doc a=\"&e;\">t&e;t</doc>\n", "/doc/@a", "&e;"},
        {"beside_declared_ones",
         "<!DOCTYPE doc SYSTEM \"doc.dtd\" [<!ENTITY d \"D&f;\"><!ENTITY f \"F\">]><doc "
         "a=\"x&d;&e;y&amp;\"/>",
         "<!DOCTYPE doc SYSTEM \"doc.dtd\" [<!ENTITY d \"D&f;\"><!ENTITY f \"F\">]>\n<doc "
         "a=\"x&d;&e;y&amp;\"/>\n",
         "/doc/@a", "xDF&e;y&"},
        // A namespace declaration names what its value expands to; a reference in it must not
        // become text, which would move every name in its scope to another namespace.
        {"entity_in_a_namespace", kSubset + "<r xmlns:b=\"http://example.org/&t;w\"><b:c/></r>",
         kSubset + "\n<r xmlns:b=\"http://example.org/~w\">\n  <b:c/>\n</r>\n", "/*/*",
         "http://example.org/~w"},
        {"nested_with_a_character_reference", kSubset + "<r xmlns:b=\"u:&n;\"><b:c/></r>",
         kSubset + "\n<r xmlns:b=\"u:~A\">\n  <b:c/>\n</r>\n", "/*/*", "u:~A"},
        {"escaped_ampersand_in_the_entity", kSubset + "<r xmlns:b=\"u:&amp2;\"><b:c/></r>",
         kSubset + "\n<r xmlns:b=\"u:&amp;\">\n  <b:c/>\n</r>\n", "/*/*", "u:&"},
        {"ampersand_written_as_a_reference", kSubset + "<r xmlns:b=\"u:&amp;x\"><b:c/></r>",
         kSubset + "\n<r xmlns:b=\"u:&amp;x\">\n  <b:c/>\n</r>\n", "/*/*", "u:&x"},
        {"default_namespace", kSubset + "<r xmlns=\"u:&t;\"><c/></r>",
         kSubset + "\n<r xmlns=\"u:~\">\n  <c/>\n</r>\n", "/*/*", "u:~"},
        {"escaped_namespace_name", "<r><p:a xmlns:p=\"urn:a&amp;b\"/></r>",
         "<r>\n  <p:a xmlns:p=\"urn:a&amp;b\"/>\n</r>\n", "/*/*", "urn:a&b"},
        {"adjacent_cdata_sections_stay_two", "<r><![CDATA[a]]><![CDATA[b]]></r>",
         "<r><![CDATA[a]]><![CDATA[b]]></r>\n", "/r/node()[2]", "b"},
    };
    QTemporaryDir dir;
    const QString first = dir.filePath("first.xml"), second = dir.filePath("second.xml");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const XmlDocument doc = parsed(row.text);
        EXPECT_EQ(str(doc.xml()), str(row.saved));
        EXPECT_EQ(str(parsed(doc.xml()).xml()), str(row.saved)) << "not a fixed point";
        writeBytes(first, row.text.toUtf8());
        XmlDocument loaded = XmlDocument::create(), again = XmlDocument::create();
        ASSERT_TRUE(loaded.load(first)) << str(loaded.parseError().reason);
        loaded.save(first);
        EXPECT_EQ(str(QString::fromUtf8(readBytes(first))), str(row.text)) << "a file is kept";
        ASSERT_TRUE(again.load(first)) << str(again.parseError().reason);
        again.save(second);
        EXPECT_EQ(readBytes(second).toStdString(), readBytes(first).toStdString());
        if (row.path) {
            EXPECT_EQ(str(probe(loaded, row.path)), row.value);
            EXPECT_EQ(str(probe(again, row.path)), row.value);
        }
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
    // Walked without recursion, as deep as the parser goes by default.
    const QString deep = QString("<a>\n ").repeated(250) + QString("</a>\n").repeated(250);
    EXPECT_EQ(parsed(deep).selectNodes(q("//text()")).length(), 1); // the innermost, blank content
    EXPECT_EQ(str(parsed(parsed(deep).xml()).xml()), str(parsed(deep).xml()));
    // Created side by side, two CDATA sections stay two as well.
    XmlDocument cdata = parsed(q("<r/>"));
    cdata.documentElement().appendChild(cdata.createCDATASection(q("a")));
    cdata.documentElement().appendChild(cdata.createCDATASection(q("b")));
    EXPECT_EQ(str(cdata.xml()), "<r><![CDATA[a]]><![CDATA[b]]></r>\n");
    EXPECT_EQ(parsed(cdata.xml()).documentElement().childNodes().length(), 2);
    const XmlNode ref = parsed(q("<!DOCTYPE doc SYSTEM \"doc.dtd\"><doc>&chap1;</doc>"))
                            .documentElement()
                            .firstChild();
    EXPECT_EQ(ref.nodeType(), NODE_ENTITY_REFERENCE) << "the tree shows a reference as such";
    EXPECT_EQ(str(ref.nodeName()), "chap1");
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
    // Moved, it keeps its bytes and takes the file's line break before what follows it.
    EXPECT_EQ(str(doc.xml()),
              str(q("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!--c--><!DOCTYPE r [\r\n"
                    "<!-- caf\u00e9 \u20ac -->\r\n<!ATTLIST r n NMTOKEN \"a b\">]>\r\n<r/>")));
    EXPECT_EQ(str(doc.snapshot().xml()), str(q("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                                               "<!--c-->\n") + doctype + q("\n<r/>\n")));
}

// Undeclared entities nothing outside could declare, and namespaces unknowable or reserved.
TEST(XmlFidelity, UnknowableEntitiesAndNamespacesAreRefused) {
    for (const QString& bad : {
             q("<doc>&chap1;</doc>"), q("<doc a='&chap1;'/>"),
             q("<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE doc [<!ENTITY % c SYSTEM "
               "\"c.ent\"> %c;]><doc>&chap1;</doc>"),
             q("<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE doc SYSTEM \"d.dtd\"><doc "
               "a='&chap1;'/>"),
             kSubset + "<r xmlns:a=\"urn:~\" xmlns:b=\"urn:&t;\"><k a:x=\"1\" b:x=\"2\"/></r>",
             kSubset + "<r xmlns:b=\"&undeclared;\"/>", kSubset + "<r xmlns:e=\"&empty;\"/>",
             kSubset + "<!-- no URI once expanded --><r xmlns:b=\"u:&sp;x\"/>",
             // An ampersand and a "#" once expanded: libxml2 would not read the saved name.
             kSubset + "<r xmlns:b=\"u:&amp2;#f\"/>",
             q("<!DOCTYPE r SYSTEM 'r.dtd'><r xmlns:b='u:&e;'/>"), // an external subset's entity
             q("<!DOCTYPE r [<!ENTITY x \"http://www.w3.org/XML/1998/namespace\">]><r "
               "xmlns:b='&x;'/>"), // the XML namespace bound to another prefix
         }) {
        XmlDocument doc = XmlDocument::create();
        EXPECT_FALSE(doc.loadXML(bad)) << str(bad);
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
    }
}
