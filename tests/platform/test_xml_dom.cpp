// The DOM contract of the XML layer: round trips, handle lifetime, hierarchy rules, queries and
// change notification.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/xmltesting.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <QStringList>
#include <gtest/gtest.h>

#include <tuple>

using namespace xmltesting;

namespace {

const auto at = [](const XmlDocument& d, const char* path) { return d.selectSingleNode(q(path)); };

// Types, names, texts and attributes of a subtree, one node a line: what a reload must keep.
QString shape(const XmlNode& n, int depth = 0) {
    QString out = '\n' + QString(depth, ' ') + QString::number(n.nodeType()) + n.nodeName() + " [" +
                  (n.hasChildNodes() ? QString() : n.text()) + ']';
    for (const XmlNode& a : n.attributes().toVector())
        out += ' ' + a.nodeName() + "=[" + a.text() + ']';
    for (const XmlNode& c : n.childNodes())
        out += shape(c, depth + 1);
    return out;
}

} // namespace

TEST(XmlDom, ReloadingTheSerialisationGivesTheSameTree) {
    for (const char* text : {
             "<?xml version=\"1.0\" standalone=\"yes\"?><!--top--><?pi data?><r><!--in--><?t?></r>",
             "<!DOCTYPE r [<!ATTLIST r id ID #IMPLIED><!ENTITY e \"ent\">]><r id=\"x\">&e;</r>",
             "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"1\">Hi <b xmlns=\"\">b</b> end</p:a>"
             "<![CDATA[<not> & markup]]></r>",
             "<r a=\"x &amp; &quot;y&quot; 'z' &lt;\" b='say \"hi\"' c=\"&#9;tab&#10;nl\"/>",
             // Spaces between inline elements of mixed content, and everything under xml:space,
             // are content.
             "<r><p>Say <b>Hello</b> <i>world</i></p><pre xml:space=\"preserve\"> <a/>\n</pre></r>",
         }) {
        SCOPED_TRACE(text);
        XmlDocument first = parsed(q(text));
        XmlDocument second = parsed(first.xml());
        EXPECT_EQ(str(shape(second.asNode())), str(shape(first.asNode())));
        // Serialising again must be stable, or every save would drift the file.
        EXPECT_EQ(str(second.xml()), str(first.xml()));
    }
    // CDATA holding its own terminator has to be split to come back.
    XmlDocument doc = parsed(q("<r/>"));
    doc.documentElement().appendChild(doc.createCDATASection(q("x]]>y]]]]>>")));
    EXPECT_EQ(str(parsed(doc.xml()).documentElement().text()), "x]]>y]]]]>>");
    // U+FEFF inside content is a character like any other, however many stand first in a node.
    const QString marks(3, QChar(0xFEFF));
    XmlDocument withMarks = parsed(q("<r>") + marks + q("<a/></r>"));
    EXPECT_EQ(withMarks.documentElement().firstChild().text(), marks);
    EXPECT_EQ(withMarks.documentElement().firstChild().xml(), marks);
    EXPECT_EQ(parsed(withMarks.xml()).documentElement().text(), marks);
    // Indentation between elements is no content and is laid out afresh.
    EXPECT_EQ(str(parsed(q("<r>\n\t\t<a><b/></a>\n  <p>Hi <b>x</b></p></r>")).xml()),
              "<r>\n  <a>\n    <b/>\n  </a>\n  <p>Hi <b>x</b></p>\n</r>\n");
}

TEST(XmlDom, XmlDeclarationIsTheFirstProcessingInstruction) {
    XmlDocument doc = parsed(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c--><r/>"));
    const XmlNode decl = doc.firstChild();
    EXPECT_EQ(str(decl.nodeName()), "xml");
    EXPECT_EQ(str(decl.text()), "version=\"1.0\" encoding=\"UTF-8\"");
    EXPECT_TRUE(doc.xml().startsWith(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c-->")));
    // Without a declaration in the text, none appears.
    EXPECT_EQ(str(parsed(q("<?other x?><r/>")).firstChild().nodeName()), "other");
}

TEST(XmlDom, HandlesOutliveRemovalAndReload) {
    XmlNode removed, kept, text;
    {
        XmlDocument doc = parsed(q("<r><a k=\"v\">text<b/></a><c/></r>"));
        removed = at(doc, "/r/a");
        text = removed.firstChild();
        kept = at(doc, "/r/c");
        doc.documentElement().removeChild(removed);
        ASSERT_TRUE(doc.loadXML(q("<other/>")));
    } // the document itself is gone now; the handles must still own their nodes
    EXPECT_EQ(str(removed.xml()), "<a k=\"v\">text<b/></a>");
    EXPECT_EQ(str(text.text()), "text");
    EXPECT_EQ(str(kept.nodeName()), "c");
}

TEST(XmlDom, MovedNodeKeepsItsIdentityAndTextNodesStaySeparate) {
    XmlDocument doc = parsed(q("<r><a><x/></a><b><y/></b></r>"));
    XmlNode x = at(doc, "//x"), b = at(doc, "//b"), y = at(doc, "//y");
    at(doc, "//a").removeChild(x);
    EXPECT_EQ(b.insertBefore(x, y), x);
    EXPECT_EQ(x.parentNode(), b);
    EXPECT_EQ(x.nextSibling(), y);

    // Merging adjacent text would free one of them under its handle.
    XmlNode one = b.appendChild(doc.createTextNode(q("one ")));
    XmlNode two = b.appendChild(doc.createTextNode(q("two")));
    EXPECT_EQ(one.nextSibling(), two);
    EXPECT_EQ(b.cloneNode(true).childNodes().length(), 4);
}

using D = XmlDocument;
using Act = void (*)(D&);

TEST(XmlDom, RefusedChangesThrowAndLeaveTheDocumentAlone) {
    const std::pair<const char*, Act> rows[] = {
        {"second_root", [](D& d) { d.appendChild(d.createElement(q("s"))); }},
        {"text_under_document", [](D& d) { d.appendChild(d.createTextNode(q("t"))); }},
        {"into_own_descendant", [](D& d) { at(d, "//b").appendChild(at(d, "//a")); }},
        {"attribute_as_child", [](D& d) { at(d, "//a").appendChild(at(d, "/r/@id")); }},
        {"child_under_text", [](D& d) { at(d, "/r/text()").appendChild(d.createElement(q("z"))); }},
        {"in_xmlns", [](D& d) { at(d, "/r").attributes().item(0).appendChild(at(d, "//b")); }},
        {"bad_reference", [](D& d) { at(d, "/r").insertBefore(at(d, "//a"), at(d, "//b")); }},
        {"remove_not_a_child", [](D& d) { at(d, "/r").removeChild(at(d, "//b")); }},
        {"foreign_node", [](D& d) { at(d, "//a").appendChild(at(parsed(q("<o/>")), "/o")); }},
        {"element_name", [](D& d) { d.createElement(q("1x")); }},
        {"attribute_name", [](D& d) { at(d, "//a").setAttribute(q("a b"), q("v")); }},
        {"control_char_in_text", [](D& d) { at(d, "/r/text()").setText(q("\x01")); }},
        {"lone_surrogate", [](D& d) { at(d, "/r").setAttribute(q("id"), QChar(0xD800)); }},
        {"comment_double_hyphen", [](D& d) { at(d, "//comment()").setText(q("a--b")); }},
        {"comment_ending_hyphen", [](D& d) { d.createComment(q("a-")); }},
        {"pi_data_end", [](D& d) { d.createProcessingInstruction(q("t"), q("a?>")); }},
        {"pi_target_xml", [](D& d) { d.createProcessingInstruction(q("XML"), q("")); }},
        {"declaration_garbage", [](D& d) { d.firstChild().setText(q("garbage")); }},
        {"declaration_moved_last", [](D& d) { d.appendChild(d.firstChild()); }},
        {"doctype_after_root", [](D& d) { d.appendChild(d.childNodes().item(1)); }},
    };
    for (const auto& [name, act] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(q("<?xml version=\"1.0\"?><!DOCTYPE r><r id=\"1\" "
                                   "xmlns:p=\"urn:p\">text<a><b/></a><!--c--></r>"));
        const QString before = doc.xml();
        const quint64 revision = doc.revision();
        EXPECT_THROW(act(doc), XmlError);
        EXPECT_EQ(str(doc.xml()), str(before));
        EXPECT_EQ(doc.revision(), revision);
    }
}

TEST(XmlDom, EntityReferencesNeverLoseTheirDeclaration) {
    XmlDocument doc = parsed(q("<!DOCTYPE r [<!ENTITY e \"v\">]><r><x>a&e;b</x></r>"));
    EXPECT_THROW(doc.removeChild(doc.firstChild()), XmlError);
    // Imported into a document that does not declare it, a reference becomes its text.
    XmlDocument target = parsed(q("<s/>"));
    target.documentElement().appendChild(target.importNode(at(doc, "//x"), true));
    EXPECT_EQ(str(target.documentElement().text()), "avb");
    EXPECT_TRUE(XmlDocument::create().loadXML(target.xml())) << str(target.xml());
}

TEST(XmlDom, FailedParseReportsWhereAndEmptiesTheDocument) {
    // Both faults are on line 2; a CR before the LF must not count as a line of its own.
    for (const auto& [text, src] :
         {std::pair{"<a>\r\n<b></a>", "<b></a>"},
          std::pair{"<r>\n  <x a='1' a='2'/>\n</r>", "  <x a='1' a='2'/>"}}) {
        SCOPED_TRACE(text);
        XmlDocument doc = parsed(q("<previous/>"));
        EXPECT_FALSE(doc.loadXML(q(text)));
        const XmlParseError& e = doc.parseError();
        EXPECT_FALSE(e.reason.isEmpty());
        EXPECT_EQ(e.line, 2);
        EXPECT_EQ(e.srcText.toStdString(), src);
        EXPECT_GE(e.linepos, 4);
        EXPECT_LE(e.linepos, e.srcText.size() + 1);
        EXPECT_FALSE(doc.hasContent());
        EXPECT_TRUE(doc.loadXML(q("<ok/>")));
        EXPECT_TRUE(doc.parseError().reason.isEmpty()) << "a good load clears the report";
    }
    XmlDocument doc = parsed(q("<previous/>"));
    EXPECT_FALSE(doc.loadXML(QString()));
    EXPECT_TRUE(doc.parseError().reason.isEmpty());
    EXPECT_FALSE(doc.hasContent());
}

TEST(XmlDom, XPathSelectsNodesAndAttributesAndRefusesBadSyntax) {
    XmlDocument doc = parsed(q("<r xmlns:p=\"urn:p\"><a id=\"1\"/><a id=\"2\"><p:b/></a></r>"));
    const XmlNodeList as = doc.selectNodes(q("//a"));
    ASSERT_EQ(as.length(), 2);
    EXPECT_EQ(as.item(1), doc.documentElement().lastChild());
    EXPECT_EQ(doc.selectNodes(q("//@id")).item(1).nodeType(), NODE_ATTRIBUTE);
    EXPECT_EQ(as.item(1).selectSingleNode(q("p:b")), at(doc, "//p:b")); // relative to a node
    EXPECT_TRUE(at(doc, "//none").isNull());
    for (const char* bad : {"//a[", "count(//a)", "//q:undeclared"})
        EXPECT_THROW(doc.selectNodes(q(bad)), XmlError) << bad;
}

namespace {
QString describe(xmlNodePtr n) {
    return QStringLiteral("%1:%2").arg(n->type).arg(
        n->name ? QString::fromUtf8(reinterpret_cast<const char*>(n->name)) : QString());
}
} // namespace

// The XML declaration is no node to a query: every position and count at the top level is what
// libxml2 gives on its own for the same text, where the declaration is no node either.
TEST(XmlDom, QueriesSeeTheTopLevelAsLibxml2Does) {
    const QByteArray text = "<?xml version=\"1.0\"?><!--c--><?p x?><r><a/></r><!--d-->";
    XmlDocument doc = parsed(q(text.constData()));
    xmlDocPtr plain = xmlReadMemory(text.constData(), int(text.size()), nullptr, nullptr, 0);
    ASSERT_NE(plain, nullptr);
    xmlXPathContextPtr context = xmlXPathNewContext(plain);
    for (const char* query :
         {"/node()[1]", "/node()[2]", "/processing-instruction()[1]", "/node()",
          "/r/preceding-sibling::node()", "/r/preceding-sibling::node()[last()]",
          "//node()[position() = 1]", "/comment()[last()]", "/descendant::node()[1]"}) {
        SCOPED_TRACE(query);
        xmlXPathObjectPtr expected = xmlXPathEvalExpression(BAD_CAST query, context);
        ASSERT_NE(expected, nullptr);
        QStringList want, got;
        for (int i = 0; expected->nodesetval && i < expected->nodesetval->nodeNr; ++i)
            want << describe(expected->nodesetval->nodeTab[i]);
        xmlXPathFreeObject(expected);
        for (const XmlNode& n : doc.selectNodes(q(query)))
            got << describe(n.raw());
        EXPECT_EQ(got, want);
    }
    xmlXPathFreeContext(context);
    xmlFreeDoc(plain);
    EXPECT_EQ(doc.firstChild().nodeName(), q("xml")) << "the declaration is back in its place";
    EXPECT_EQ(doc.selectNodes(q("//namespace::*")).item(0).nodeName(), q("xmlns:xml"));
}

// Keeps the markup of the watched node each time it is announced.
struct Recorder : XmlChangeListener {
    XmlNode watched;
    QStringList seen;
    void aboutToChange(const XmlNode& n) override { seen << (n == watched ? n.xml() : QString()); }
};

TEST(XmlDom, ListenersAreToldBeforeTheContainerChanges) {
    // Each change with the node whose listeners must hear of it.
    const std::tuple<const char*, const char*, Act> rows[] = {
        {"append", "/r/a", [](D& d) { at(d, "/r/a").appendChild(d.createComment(q(""))); }},
        {"remove", "/r/a", [](D& d) { at(d, "/r/a").removeChild(at(d, "//comment()")); }},
        {"replace", "/r/b", [](D& d) { at(d, "/r/b").replaceChild(at(d, "/r/a"), at(d, "//c")); }},
        {"move_old_parent", "/r/b", [](D& d) { at(d, "/r/a").appendChild(at(d, "//c")); }},
        {"move_new_parent", "/r/a", [](D& d) { at(d, "/r/a").appendChild(at(d, "//c")); }},
        {"text_node", "/r/a", [](D& d) { at(d, "/r/a/text()").setText(q("u")); }},
        {"element_text", "/r/b", [](D& d) { at(d, "/r/b").setText(q("u")); }},
        {"attribute_value", "/r/a", [](D& d) { at(d, "/r/a/@k").setText(q("u")); }},
        {"set_attribute", "/r/a", [](D& d) { at(d, "/r/a").setAttribute(q("n"), q("")); }},
        {"remove_attribute", "/r/a", [](D& d) { at(d, "/r/a").removeAttribute(q("k")); }},
        {"namespace_uri", "/r", [](D& d) { at(d, "/r").attributes().item(0).setText(q("urn:q")); }},
        {"document_child", "/", [](D& d) { d.appendChild(d.createComment(q("e"))); }},
    };
    const QString text = q("<r xmlns:p=\"urn:p\"><a k=\"v\">t<!--c--></a><b><c/></b></r>");
    for (const auto& [name, container, act] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(text);
        Recorder recorder, removed;
        recorder.watched = at(doc, container);
        const QString before = recorder.watched.xml();
        const quint64 revision = doc.revision();
        doc.asNode().addChangeListener(&recorder);
        doc.asNode().addChangeListener(&removed);
        doc.asNode().removeChangeListener(&removed);
        act(doc);
        doc.asNode().removeChangeListener(&recorder);
        // Told before the change, so the markup seen is still the old one.
        EXPECT_TRUE(recorder.seen.contains(before)) << str(recorder.seen.join(q(" | ")));
        EXPECT_TRUE(removed.seen.isEmpty());
        EXPECT_NE(doc.revision(), revision);
    }
    // An unchanged revision must mean the content is what was parsed: reading is no change,
    // a reload is.
    XmlDocument doc = parsed(text);
    const quint64 revision = doc.revision();
    (void)doc.xml(), (void)doc.selectNodes(q("//*"));
    EXPECT_EQ(doc.revision(), revision);
    ASSERT_TRUE(doc.loadXML(text));
    EXPECT_NE(doc.revision(), revision);
}
