// The DOM contract of the XML layer: round trips, handle lifetime, hierarchy rules, queries and
// change notification.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

std::string str(const QString& s) {
    return s.toStdString();
}
QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

XmlDocument parsed(const QString& text) {
    XmlDocument doc = XmlDocument::create();
    EXPECT_TRUE(doc.loadXML(text))
        << text.toStdString() << ": " << doc.parseError().reason.toStdString();
    return doc;
}

// Types, names, leaf texts and attributes of a subtree, one node a line; what a reload must keep.
QString shape(const XmlNode& n, int depth = 0) {
    QString out =
        QString(depth * 2, QLatin1Char(' ')) + QString::number(n.nodeType()) + QLatin1Char(' ');
    out += n.nodeName();
    const int t = n.nodeType();
    if (t == NODE_TEXT || t == NODE_CDATA_SECTION || t == NODE_COMMENT ||
        t == NODE_PROCESSING_INSTRUCTION)
        out += q(" [") + n.text() + QLatin1Char(']');
    for (const XmlNode& a : n.attributes().toVector())
        out += QLatin1Char(' ') + a.nodeName() + q("=[") + a.text() + QLatin1Char(']');
    out += QLatin1Char('\n');
    for (const XmlNode& c : n.childNodes())
        out += shape(c, depth + 1);
    return out;
}

} // namespace

TEST(XmlDom, ReloadingTheSerialisationGivesTheSameTree) {
    const struct {
        const char* name;
        QString text;
    } rows[] = {
        {"xml_declaration", q("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><r/>")},
        {"comments_and_pis",
         q("<!-- top --><?pi data here?><r><!--in--><?t?><a/></r><!-- end -->")},
        {"doctype_internal_subset", q("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r id ID #IMPLIED>"
                                      "<!ENTITY e \"ent\">]><r id=\"x\">&e;<a>&e;</a></r>")},
        {"cdata", q("<r><![CDATA[<not> & markup]]><a><![CDATA[]]></a></r>")},
        {"mixed_content", q("<r><p>Hello <b>bold <i>it</i></b> end.</p><q>x<y/></q></r>")},
        {"namespaces",
         q("<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:a p:k=\"1\"><b xmlns=\"\"/></p:a></r>")},
        {"attribute_quotes_ampersands", q("<r a=\"x &amp; &quot;y&quot; 'z' &lt;\" b='say \"hi\"' "
                                          "c=\"&#9;tab&#10;nl\"/>")},
        {"deep_element_only", q("<a><b><c><d><e/></d></c></b><f/></a>")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XmlDocument first = parsed(row.text);
        const QString markup = first.xml();
        XmlDocument second = parsed(markup);
        EXPECT_EQ(str(shape(second.asNode())), str(shape(first.asNode())));
        // Serialising again must be stable, or every save would drift the file.
        EXPECT_EQ(str(second.xml()), str(markup));
    }
}

TEST(XmlDom, SerialisationIndentsElementOnlyContentAndKeepsMixedContent) {
    const struct {
        const char* name;
        QString in;
        QString out;
    } rows[] = {
        {"element_only_indented", q("<r><a><b/></a><c/></r>"),
         q("<r>\n  <a>\n    <b/>\n  </a>\n  <c/>\n</r>\n")},
        {"indentation_dropped_on_load", q("<r>\n\t\t<a/>\n     <c/>\n</r>"),
         q("<r>\n  <a/>\n  <c/>\n</r>\n")},
        {"mixed_content_as_is", q("<r>\n <p>Hello <b>x</b> end</p>\n</r>"),
         q("<r>\n  <p>Hello <b>x</b> end</p>\n</r>\n")},
        {"whitespace_only_leaf_kept", q("<r><a>   </a></r>"), q("<r>\n  <a>   </a>\n</r>\n")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(str(parsed(row.in).xml()), str(row.out));
    }
    EXPECT_EQ(str(parsed(q("<p>Hello <b>x</b> end</p>")).documentElement().text()), "Hello x end");
}

TEST(XmlDom, MeaningfulWhitespaceSurvivesARoundTrip) {
    EXPECT_EQ(str(parsed(q("<p><b>Hello</b> <i>world</i></p>")).documentElement().text()),
              "Hello world");
    XmlDocument first = parsed(q("<r><pre xml:space=\"preserve\"><a/><b/></pre></r>"));
    EXPECT_EQ(str(shape(parsed(first.xml()).asNode())), str(shape(first.asNode())));
}

TEST(XmlDom, XmlDeclarationIsTheFirstProcessingInstruction) {
    XmlDocument doc = parsed(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c--><r/>"));
    const XmlNode decl = doc.firstChild();
    ASSERT_FALSE(decl.isNull());
    EXPECT_EQ(decl.nodeType(), NODE_PROCESSING_INSTRUCTION);
    EXPECT_EQ(str(decl.nodeName()), "xml");
    EXPECT_EQ(str(decl.text()), "version=\"1.0\" encoding=\"UTF-8\"");
    EXPECT_TRUE(doc.xml().startsWith(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c-->")));

    for (const XmlNode& n : parsed(q("<!--c--><?other x?><r/>")).childNodes())
        EXPECT_NE(str(n.nodeName()), "xml") << "a declaration node appeared from nowhere";
}

TEST(XmlDom, HandlesOutliveRemovalAndReload) {
    XmlNode removed, kept, text;
    {
        XmlDocument doc = parsed(q("<r><a k=\"v\">text<b/></a><c/></r>"));
        removed = doc.documentElement().firstChild();
        text = removed.firstChild();
        kept = doc.documentElement().lastChild();
        doc.documentElement().removeChild(removed);
        ASSERT_TRUE(doc.loadXML(q("<other/>")));
        EXPECT_NE(doc.documentElement(), kept);
    } // the document itself is gone now; the handles must still own their nodes
    EXPECT_EQ(str(removed.nodeName()), "a");
    EXPECT_EQ(str(removed.text()), "text");
    EXPECT_EQ(str(text.text()), "text");
    EXPECT_EQ(str(removed.attributes().getNamedItem(q("k")).text()), "v");
    EXPECT_EQ(str(removed.xml()), "<a k=\"v\">text<b/></a>");
    EXPECT_EQ(str(kept.nodeName()), "c");
    EXPECT_TRUE(removed.parentNode().isNull());
}

TEST(XmlDom, MovedNodeKeepsItsIdentity) {
    XmlDocument doc = parsed(q("<r><a><x/></a><b><y/></b></r>"));
    XmlNode x = doc.selectSingleNode(q("//x"));
    XmlNode b = doc.selectSingleNode(q("//b"));
    XmlNode y = b.firstChild();
    doc.selectSingleNode(q("//a")).removeChild(x);
    EXPECT_EQ(b.insertBefore(x, y), x);
    EXPECT_EQ(b.firstChild(), x);
    EXPECT_EQ(x.nextSibling(), y);
    EXPECT_EQ(x.parentNode(), b);
    EXPECT_EQ(doc.selectSingleNode(q("/r/b/x")), x);
    EXPECT_FALSE(doc.selectSingleNode(q("//a")).hasChildNodes());
}

TEST(XmlDom, AdjacentTextNodesStaySeparate) {
    XmlDocument doc = parsed(q("<r/>"));
    XmlNode r = doc.documentElement();
    XmlNode one = r.appendChild(doc.createTextNode(q("one ")));
    XmlNode two = r.appendChild(doc.createTextNode(q("two")));
    // Merging would free one of them under its handle.
    ASSERT_EQ(r.childNodes().length(), 2);
    EXPECT_EQ(r.firstChild(), one);
    EXPECT_EQ(r.lastChild(), two);
    EXPECT_EQ(str(one.text()), "one ");
    EXPECT_EQ(str(two.text()), "two");
    EXPECT_EQ(str(r.text()), "one two");
    EXPECT_EQ(r.cloneNode(true).childNodes().length(), 2);
}

TEST(XmlDom, DeepCloneIsDetachedAndIndependent) {
    XmlDocument doc = parsed(q("<r><a k=\"1\" xmlns:p=\"urn:p\"><p:b>t</p:b><!--c--></a></r>"));
    XmlNode a = doc.documentElement().firstChild();
    const QString before = doc.xml();
    XmlNode copy = a.cloneNode(true);
    EXPECT_NE(copy, a);
    EXPECT_TRUE(copy.parentNode().isNull());
    EXPECT_FALSE(copy.isAttachedToDocument());
    EXPECT_EQ(str(shape(copy)), str(shape(a)));

    copy.setAttribute(q("k"), q("2"));
    copy.firstChild().firstChild().setText(q("changed"));
    copy.appendChild(doc.createElement(q("extra")));
    EXPECT_EQ(str(doc.xml()), str(before));

    XmlNode shallow = a.cloneNode(false);
    EXPECT_FALSE(shallow.hasChildNodes());
    EXPECT_EQ(str(shallow.attributes().getNamedItem(q("k")).text()), "1");
}

TEST(XmlDom, RefusedChangesThrowAndLeaveTheDocumentAlone) {
    using Action = std::function<void(XmlDocument&)>;
    auto el = [](XmlDocument& d, const char* query) { return d.selectSingleNode(q(query)); };
    const QChar ctl(0x0001);
    const struct {
        const char* name;
        Action act;
    } rows[] = {
        {"second_document_element", [](XmlDocument& d) { d.appendChild(d.createElement(q("s"))); }},
        {"text_under_document", [](XmlDocument& d) { d.appendChild(d.createTextNode(q("t"))); }},
        {"cdata_under_document",
         [](XmlDocument& d) { d.appendChild(d.createCDATASection(q("t"))); }},
        {"node_into_itself", [&](XmlDocument& d) { el(d, "//a").appendChild(el(d, "//a")); }},
        {"node_into_own_descendant",
         [&](XmlDocument& d) { el(d, "//b").appendChild(el(d, "//a")); }},
        {"attribute_as_child", [&](XmlDocument& d) { el(d, "//a").appendChild(el(d, "/r/@id")); }},
        {"namespace_declaration_as_child",
         [&](XmlDocument& d) {
             el(d, "//a").appendChild(el(d, "/r").attributes().getNamedItem(q("xmlns:p")));
         }},
        {"child_under_text",
         [&](XmlDocument& d) { el(d, "/r/text()").appendChild(d.createElement(q("z"))); }},
        {"reference_not_a_child",
         [&](XmlDocument& d) { el(d, "/r").insertBefore(d.createElement(q("z")), el(d, "//b")); }},
        {"remove_not_a_child", [&](XmlDocument& d) { el(d, "/r").removeChild(el(d, "//b")); }},
        {"element_name_digit", [](XmlDocument& d) { d.createElement(q("1x")); }},
        {"element_name_empty", [](XmlDocument& d) { d.createElement(QString()); }},
        {"element_name_space", [](XmlDocument& d) { d.createElement(q("a b")); }},
        {"attribute_name_invalid",
         [&](XmlDocument& d) { el(d, "//a").setAttribute(q("a b"), q("v")); }},
        {"control_char_in_new_text", [&](XmlDocument& d) { d.createTextNode(q("a") + ctl); }},
        {"control_char_in_existing_text",
         [&](XmlDocument& d) { el(d, "/r/text()").setText(QString(ctl)); }},
        {"control_char_in_attribute",
         [&](XmlDocument& d) { el(d, "/r").setAttribute(q("id"), QString(ctl)); }},
        {"control_char_in_cdata", [&](XmlDocument& d) { d.createCDATASection(QString(ctl)); }},
        {"lone_surrogate_in_text",
         [](XmlDocument& d) { d.createTextNode(QString(QChar(0xD800))); }},
        {"comment_double_hyphen", [](XmlDocument& d) { d.createComment(q("a--b")); }},
        {"comment_ending_hyphen", [](XmlDocument& d) { d.createComment(q("a-")); }},
        {"existing_comment_double_hyphen",
         [&](XmlDocument& d) { el(d, "//comment()").setText(q("--")); }},
        {"pi_data_with_end",
         [](XmlDocument& d) { d.createProcessingInstruction(q("t"), q("a?>b")); }},
        {"pi_target_reserved",
         [](XmlDocument& d) { d.createProcessingInstruction(q("XML"), q("version=\"1.0\"")); }},
        {"declaration_data_garbage", [](XmlDocument& d) { d.firstChild().setText(q("garbage")); }},
        {"declaration_moved_last", [](XmlDocument& d) { d.appendChild(d.firstChild()); }},
        {"declaration_into_element",
         [&](XmlDocument& d) { el(d, "//a").appendChild(d.firstChild()); }},
        {"comment_before_declaration",
         [](XmlDocument& d) { d.insertBefore(d.createComment(q("c")), d.firstChild()); }},
        {"doctype_after_document_element",
         [&](XmlDocument& d) { d.appendChild(d.childNodes().item(1)); }},
        {"node_from_other_document",
         [&](XmlDocument& d) { el(d, "//a").appendChild(parsed(q("<o/>")).documentElement()); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XmlDocument doc =
            parsed(q("<?xml version=\"1.0\"?><!DOCTYPE r><r id=\"1\" xmlns:p=\"urn:p\">"
                     "text<a><b/></a><!--c--></r>"));
        const QString before = doc.xml();
        const quint64 revision = doc.revision();
        try {
            row.act(doc);
            ADD_FAILURE() << "no XmlError";
        } catch (const XmlError& e) {
            EXPECT_FALSE(e.description().trimmed().isEmpty());
        }
        EXPECT_EQ(str(doc.xml()), str(before));
        EXPECT_EQ(doc.revision(), revision);
    }
}

TEST(XmlDom, NamespaceDeclarationIsNoContainer) {
    XmlDocument doc = parsed(q("<r xmlns:p=\"urn:p\"><a/></r>"));
    XmlNode decl = doc.documentElement().attributes().getNamedItem(q("xmlns:p"));
    EXPECT_THROW(decl.appendChild(doc.createElement(q("y"))), XmlError);
    EXPECT_THROW(decl.removeChild(doc.selectSingleNode(q("//a"))), XmlError);
    EXPECT_EQ(str(doc.xml()), "<r xmlns:p=\"urn:p\">\n  <a/>\n</r>\n");
}

TEST(XmlDom, EntityReferencesNeverLoseTheirDeclaration) {
    XmlDocument doc = parsed(q("<!DOCTYPE r [<!ENTITY e \"v\">]><r>&e;</r>"));
    EXPECT_THROW(doc.removeChild(doc.firstChild()), XmlError);
    EXPECT_TRUE(XmlDocument::create().loadXML(doc.xml())) << str(doc.xml());

    // Imported into a document that does not declare it, a reference becomes its text.
    XmlDocument source = parsed(q("<!DOCTYPE r [<!ENTITY e \"v\">]><r><x>a&e;b</x></r>"));
    XmlDocument target = parsed(q("<s/>"));
    target.documentElement().appendChild(
        target.importNode(source.selectSingleNode(q("//x")), true));
    EXPECT_EQ(str(target.documentElement().text()), "avb");
    EXPECT_TRUE(XmlDocument::create().loadXML(target.xml())) << str(target.xml());
}

TEST(XmlDom, AttributesAddReplaceAndRemove) {
    XmlDocument doc = parsed(q("<r xmlns=\"urn:d\" b=\"1\" xmlns:p=\"urn:p\" a=\"2\"/>"));
    XmlNode r = doc.documentElement();
    auto names = [&] {
        QStringList out;
        for (const XmlNode& a : r.attributes().toVector())
            out << a.nodeName() + QLatin1Char('=') + a.text();
        return str(out.join(QLatin1Char(' ')));
    };
    // Declarations first, then attributes, each in document order.
    EXPECT_EQ(names(), "xmlns=urn:d xmlns:p=urn:p b=1 a=2");
    r.setAttribute(q("b"), q("one"));
    r.setAttribute(q("c"), q("3"));
    r.setAttribute(q("xmlns:q"), q("urn:q"));
    EXPECT_EQ(names(), "xmlns=urn:d xmlns:p=urn:p xmlns:q=urn:q b=one a=2 c=3");
    EXPECT_EQ(r.attributes().getNamedItem(q("xmlns:q")).nodeType(), NODE_ATTRIBUTE);
    EXPECT_TRUE(r.attributes().getNamedItem(q("missing")).isNull());

    XmlNode removed = r.attributes().removeNamedItem(q("a"));
    EXPECT_EQ(str(removed.text()), "2");
    EXPECT_TRUE(r.attributes().removeNamedItem(q("a")).isNull());
    EXPECT_EQ(names(), "xmlns=urn:d xmlns:p=urn:p xmlns:q=urn:q b=one c=3");

    // A value with every character that needs escaping comes back from a reload unchanged.
    const QString tricky = q("a\"b'c&d<e>f\tg\nh");
    r.setAttribute(q("t"), tricky);
    XmlNode again = parsed(doc.xml()).documentElement();
    EXPECT_EQ(str(again.attributes().getNamedItem(q("t")).text()), str(tricky));
    EXPECT_FALSE(again.attributes().getNamedItem(q("xmlns:q")).isNull());
}

TEST(XmlDom, FailedParseReportsWhereAndEmptiesTheDocument) {
    const struct {
        const char* name;
        QString text;
        int line;
        QString src;
        int minPos;
    } rows[] = {
        {"mismatched_end_tag", q("<a>\n<b></a>"), 2, q("<b></a>"), 4},
        {"crlf_line_ends", q("<a>\r\n<b></a>"), 2, q("<b></a>"), 4},
        {"unclosed_root", q("<a>"), 1, q("<a>"), 1},
        {"duplicate_attribute", q("<r>\n  <x a='1' a='2'/>\n</r>"), 2, q("  <x a='1' a='2'/>"), 10},
        {"undefined_entity", q("<r>\n\n&nope;</r>"), 3, q("&nope;</r>"), 1},
        {"content_after_root", q("<r/>\n\njunk"), 3, q("junk"), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XmlDocument doc = parsed(q("<previous/>"));
        EXPECT_FALSE(doc.loadXML(row.text));
        const XmlParseError& e = doc.parseError();
        EXPECT_FALSE(e.reason.isEmpty());
        EXPECT_EQ(e.line, row.line);
        EXPECT_EQ(str(e.srcText), str(row.src));
        EXPECT_GE(e.linepos, row.minPos);
        EXPECT_LE(e.linepos, row.src.size() + 1);
        EXPECT_FALSE(doc.hasContent());
        EXPECT_TRUE(doc.xml().isEmpty());
        EXPECT_TRUE(doc.documentElement().isNull());
        // A good load afterwards clears the report.
        EXPECT_TRUE(doc.loadXML(q("<ok/>")));
        EXPECT_TRUE(doc.parseError().reason.isEmpty());
    }
    XmlDocument doc = parsed(q("<previous/>"));
    EXPECT_FALSE(doc.loadXML(QString()));
    EXPECT_TRUE(doc.parseError().reason.isEmpty());
    EXPECT_FALSE(doc.hasContent());
}

TEST(XmlDom, XPathSelectsNodesAndAttributes) {
    XmlDocument doc = parsed(q("<r xmlns:p=\"urn:p\"><a id=\"1\"/><a id=\"2\"><p:b/></a></r>"));
    const XmlNodeList as = doc.selectNodes(q("//a"));
    ASSERT_EQ(as.length(), 2);
    EXPECT_EQ(as.item(1), doc.documentElement().lastChild());
    const XmlNodeList ids = doc.selectNodes(q("//@id"));
    ASSERT_EQ(ids.length(), 2);
    EXPECT_EQ(ids.item(0).nodeType(), NODE_ATTRIBUTE);
    EXPECT_EQ(str(ids.item(1).text()), "2");
    EXPECT_EQ(doc.selectSingleNode(q("//p:b")).parentNode(), as.item(1));
    EXPECT_EQ(str(as.item(1).selectSingleNode(q("p:b")).nodeName()), "p:b"); // relative to a node
    EXPECT_TRUE(doc.selectSingleNode(q("//none")).isNull());

    for (const char* bad : {"//a[", "count(//a)", "string(/r)", "1 = 1", "//q:undeclared", "///"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(doc.selectNodes(QString::fromLatin1(bad)), XmlError);
    }
}

TEST(XmlDom, CdataWithItsTerminatorRoundTrips) {
    for (const char* text : {"x]]>y", "]]>", "a]]>b]]>c", "]]]]>>"}) {
        SCOPED_TRACE(text);
        XmlDocument doc = parsed(q("<r/>"));
        doc.documentElement().appendChild(doc.createCDATASection(QString::fromLatin1(text)));
        EXPECT_EQ(str(parsed(doc.xml()).documentElement().text()), text);
    }
}

namespace {

struct Change {
    const char* name;
    const char* container; // XPath of the node the listener must be told about
    std::function<void(XmlDocument&)> act;
};

XmlNode at(XmlDocument& d, const char* query) {
    return d.selectSingleNode(q(query));
}

const QString kChangeDoc = q("<r xmlns:p=\"urn:p\"><a k=\"v\">t<!--c--></a><b><c/></b></r>");

std::vector<Change> changes() {
    return {
        {"append_child", "/r/a",
         [](XmlDocument& d) { at(d, "/r/a").appendChild(d.createElement(q("n"))); }},
        {"remove_child", "/r/a",
         [](XmlDocument& d) { at(d, "/r/a").removeChild(at(d, "/r/a/comment()")); }},
        {"replace_child", "/r/b",
         [](XmlDocument& d) { at(d, "/r/b").replaceChild(d.createComment(q("x")), at(d, "//c")); }},
        {"move_from_old_parent", "/r/b",
         [](XmlDocument& d) { at(d, "/r/a").appendChild(at(d, "//c")); }},
        {"move_into_new_parent", "/r/a",
         [](XmlDocument& d) { at(d, "/r/a").appendChild(at(d, "//c")); }},
        {"text_node_text", "/r/a", [](XmlDocument& d) { at(d, "/r/a/text()").setText(q("u")); }},
        {"comment_text", "/r/a", [](XmlDocument& d) { at(d, "/r/a/comment()").setText(q("u")); }},
        {"element_text", "/r/b", [](XmlDocument& d) { at(d, "/r/b").setText(q("u")); }},
        {"attribute_value", "/r/a", [](XmlDocument& d) { at(d, "/r/a/@k").setText(q("u")); }},
        {"set_new_attribute", "/r/a",
         [](XmlDocument& d) { at(d, "/r/a").setAttribute(q("n"), q("1")); }},
        {"replace_attribute", "/r/a",
         [](XmlDocument& d) { at(d, "/r/a").setAttribute(q("k"), q("w")); }},
        {"remove_attribute", "/r/a", [](XmlDocument& d) { at(d, "/r/a").removeAttribute(q("k")); }},
        {"namespace_uri", "/r",
         [](XmlDocument& d) {
             at(d, "/r").attributes().getNamedItem(q("xmlns:p")).setText(q("urn:q"));
         }},
        {"document_child", "/", [](XmlDocument& d) { d.appendChild(d.createComment(q("end"))); }},
    };
}

struct Recorder : XmlChangeListener {
    std::vector<std::pair<XmlNode, QString>> told; // each container with its markup at that moment
    void aboutToChange(const XmlNode& container) override {
        told.emplace_back(container, container.xml());
    }
};

} // namespace

TEST(XmlDom, RevisionMovesWithEveryChangeAndReload) {
    for (const Change& c : changes()) {
        SCOPED_TRACE(c.name);
        XmlDocument doc = parsed(kChangeDoc);
        const quint64 before = doc.revision();
        c.act(doc);
        EXPECT_NE(doc.revision(), before);
    }
    XmlDocument doc = parsed(kChangeDoc);
    quint64 before = doc.revision();
    (void)doc.xml();
    (void)doc.selectNodes(q("//*"));
    EXPECT_EQ(doc.revision(), before) << "reading is no change";
    ASSERT_TRUE(doc.loadXML(kChangeDoc));
    EXPECT_NE(doc.revision(), before) << "reloading the same text";
    before = doc.revision();
    EXPECT_FALSE(doc.loadXML(q("<bad")));
    EXPECT_NE(doc.revision(), before) << "a failed load emptied the document";
}

TEST(XmlDom, ListenersAreToldBeforeTheContainerChanges) {
    for (const Change& c : changes()) {
        SCOPED_TRACE(c.name);
        XmlDocument doc = parsed(kChangeDoc);
        const XmlNode container = at(doc, c.container);
        const QString before = container.xml();
        Recorder recorder;
        doc.asNode().addChangeListener(&recorder);
        c.act(doc);
        doc.asNode().removeChangeListener(&recorder);
        auto it = std::find_if(recorder.told.begin(), recorder.told.end(),
                               [&](const auto& t) { return t.first == container; });
        ASSERT_NE(it, recorder.told.end()) << "container not told";
        EXPECT_EQ(str(it->second), str(before)) << "told after the change";
    }
    // A removed listener hears nothing more.
    XmlDocument doc = parsed(kChangeDoc);
    Recorder recorder;
    doc.asNode().addChangeListener(&recorder);
    doc.asNode().removeChangeListener(&recorder);
    changes().front().act(doc);
    EXPECT_TRUE(recorder.told.empty());
}
