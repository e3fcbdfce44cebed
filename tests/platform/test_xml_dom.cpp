// The DOM contract of the XML layer: node identity, queries, change notification, and namespaces
// through edits (every name keeps its namespace, every result parses with namespace checking).

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/namespacecheck.h"
#include "support/xmltesting.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace xmltesting;

namespace {

const auto at = [](const XmlDocument& d, const char* path) { return d.selectSingleNode(q(path)); };

// The element reached from the document element by child positions, "1/0"; "" is itself.
XmlNode element(const XmlDocument& doc, const char* path) {
    XmlNode n = doc.documentElement();
    for (const QString& step : q(path).split(QLatin1Char('/'), Qt::SkipEmptyParts))
        n = n.childNodes().item(step.toInt());
    EXPECT_FALSE(n.isNull()) << path;
    return n;
}

} // namespace

TEST(XmlDom, TextAndDeclarationComeBackAsWritten) {
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
    // The XML declaration is the first node, as written; without one in the text none appears.
    XmlDocument declared = parsed(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c--><r/>"));
    EXPECT_EQ(str(declared.firstChild().nodeName()), "xml");
    EXPECT_EQ(str(declared.firstChild().text()), "version=\"1.0\" encoding=\"UTF-8\"");
    EXPECT_TRUE(declared.xml().startsWith(q("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c")));
    EXPECT_EQ(str(parsed(q("<?other x?><r/>")).firstChild().nodeName()), "other");
}

TEST(XmlDom, NodesKeepTheirIdentityThroughMovesRemovalAndReload) {
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

    // Imported into a document that does not declare it, an entity reference becomes its text.
    XmlDocument source = parsed(q("<!DOCTYPE r [<!ENTITY e \"v\">]><r><x>a&e;b</x></r>"));
    XmlDocument target = parsed(q("<s/>"));
    target.documentElement().appendChild(target.importNode(at(source, "//x"), true));
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

QString describe(xmlNodePtr n) {
    return QStringLiteral("%1:%2").arg(n->type).arg(
        n->name ? QString::fromUtf8(reinterpret_cast<const char*>(n->name)) : QString());
}

// XPath as libxml2 evaluates it on the same text, where the XML declaration is no node either.
TEST(XmlDom, QueriesSelectWhatLibxml2Selects) {
    const QByteArray text =
        "<?xml version=\"1.0\"?><!--c--><?p x?><r xmlns:p=\"urn:p\"><a id=\"1\"/>"
        "<a id=\"2\"><p:b/></a></r><!--d-->";
    XmlDocument doc = parsed(q(text.constData()));
    xmlDocPtr plain = xmlReadMemory(text.constData(), int(text.size()), nullptr, nullptr, 0);
    ASSERT_NE(plain, nullptr);
    xmlXPathContextPtr context = xmlXPathNewContext(plain);
    for (const char* query :
         {"/node()[1]", "/node()[2]", "/processing-instruction()[1]", "/node()",
          "/r/preceding-sibling::node()", "/r/preceding-sibling::node()[last()]",
          "//node()[position() = 1]", "/comment()[last()]", "/descendant::node()[1]", "//a",
          "//@id", "//a[@id='2']", "//none"}) {
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
    const XmlNode second = doc.selectNodes(q("//a")).item(1);
    EXPECT_EQ(second, doc.documentElement().lastChild());
    EXPECT_EQ(second.selectSingleNode(q("p:b")), at(doc, "//p:b")); // relative to a node
    for (const char* bad : {"//a[", "count(//a)", "//q:undeclared"})
        EXPECT_THROW(doc.selectNodes(q(bad)), XmlError) << bad;
}

// Keeps the markup of the watched node each time it is announced.
struct Recorder : XmlChangeListener {
    XmlNode watched;
    QStringList seen;
    void aboutToChange(const XmlNode& n) override { seen << (n == watched ? n.xml() : QString()); }
};

using D = XmlDocument;
using Act = void (*)(D&);

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
    // An unchanged revision means the content is as parsed: reading is no change, a reload is.
    XmlDocument doc = parsed(text);
    const quint64 revision = doc.revision();
    (void)doc.xml(), (void)doc.selectNodes(q("//*"));
    EXPECT_EQ(doc.revision(), revision);
    ASSERT_TRUE(doc.loadXML(text));
    EXPECT_NE(doc.revision(), revision);
}

TEST(XmlNamespaces, MovedSubtreesKeepEveryNamespace) {
    struct Row {
        const char* behaviour;
        const char* text;
        const char* moved;
        const char* to;
        const char* expected;
    };
    const Row rows[] = {
        {"no-namespace element under a default scope gets xmlns=\"\"",
         R"(<r xmlns="urn:d"><a><b xmlns=""><c/></b></a></r>)", "0/0/0", "0",
         "<r xmlns=\"urn:d\">\n  <a>\n    <b xmlns=\"\"/>\n    <c xmlns=\"\"/>\n  </a>\n</r>\n"},
        {"attribute whose prefix is taken at the new place gets another prefix",
         R"(<r xmlns:p="urn:1"><p:e xmlns:p="urn:2"/><s p:k="v"/></r>)", "1", "0",
         "<r xmlns:p=\"urn:1\">\n  <p:e xmlns:p=\"urn:2\">\n    <s xmlns:ns1=\"urn:1\" "
         "ns1:k=\"v\"/>\n  </p:e>\n</r>\n"},
        {"a move within the same scopes adds no declaration",
         R"(<r xmlns="urn:d" xmlns:p="urn:p"><p:a><c/></p:a><b/></r>)", "0", "1",
         "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\">\n  <b>\n    <p:a>\n      <c/>\n    </p:a>\n"
         "  </b>\n</r>\n"},
    };
    for (const Row& row : rows) {
        for (const bool takenOutFirst : {false, true}) {
            SCOPED_TRACE(std::string(row.behaviour) + (takenOutFirst ? ", taken out first" : ""));
            XmlDocument doc = parsed(row.text);
            XmlNode moved = element(doc, row.moved), to = element(doc, row.to);
            if (takenOutFirst)
                moved.parentNode().removeChild(moved);
            to.appendChild(moved);
            EXPECT_EQ(str(doc.xml()), row.expected);
            EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
        }
    }
}

// Names take the namespace their prefix has where they stand; declarations follow the names.
TEST(XmlNamespaces, EditsDeclareWhatTheNamesNeed) {
    using Edit = std::function<void(D&)>;
    const std::tuple<const char*, const char*, Edit, const char*> rows[] = {
        {"put back where it came from", R"(<r><a xmlns:p="urn:p"><p:x/></a></r>)",
         [](D& d) { element(d, "0").appendChild(element(d, "0").removeChild(element(d, "0/0"))); },
         "<r>\n  <a xmlns:p=\"urn:p\">\n    <p:x/>\n  </a>\n</r>\n"},
        {"put back after its declaration went", R"(<r><a xmlns:p="urn:p"><p:x/></a></r>)",
         [](D& d) {
             XmlNode a = element(d, "0"), x = a.removeChild(element(d, "0/0"));
             a.removeAttribute(q("xmlns:p"));
             a.appendChild(x);
             EXPECT_EQ(str(x.namespaceURI()), "urn:p");
         },
         "<r>\n  <a>\n    <p:x xmlns:p=\"urn:p\"/>\n  </a>\n</r>\n"},
        // A taken-out subtree still points to the declarations above its old place.
        {"copies of a taken-out subtree",
         R"(<r xmlns="urn:d" xmlns:o="urn:o"><k o:a="1" a="2"><o:in o:b="3" xml:lang="en"/></k><z xmlns:o="urn:other"/></r>)",
         [](D& d) {
             XmlNode k = d.documentElement().removeChild(element(d, "0"));
             element(d, "0").appendChild(k.cloneNode(true));
             XmlDocument other = parsed("<x/>");
             other.documentElement().appendChild(other.importNode(k, true));
             EXPECT_EQ(str(other.xml()),
                       "<x>\n  <k xmlns=\"urn:d\" xmlns:o=\"urn:o\" o:a=\"1\" a=\"2\">\n"
                       "    <o:in o:b=\"3\" xml:lang=\"en\"/>\n  </k>\n</x>\n");
         },
         "<r xmlns=\"urn:d\" xmlns:o=\"urn:o\">\n  <z xmlns:o=\"urn:other\">\n    <k "
         "xmlns=\"urn:d\" xmlns:o=\"urn:o\" o:a=\"1\" a=\"2\">\n      <o:in o:b=\"3\" "
         "xml:lang=\"en\"/>\n    </k>\n  </z>\n</r>\n"},
        // Under a held parent, the same declarations above prove nothing.
        {"from a held parent", R"(<r xmlns:o="urn:p"><p><o:m xmlns:o="urn:p"/></p></r>)",
         [](D& d) {
             XmlNode p = element(d, "0"), m = element(d, "0/0");
             m.removeAttribute(q("xmlns:o"));
             d.documentElement().removeChild(p);
             d.replaceChild(m, d.documentElement());
         },
         "<o:m xmlns:o=\"urn:p\"/>\n"},
        {"renamed and created elements",
         R"(<root xmlns="urn:default" xmlns:p="urn:p"><p:item><child/></p:item></root>)",
         [](D& d) {
             XmlNode item = element(d, "0");
             item.rename(q("plain"));
             EXPECT_EQ(str(item.namespaceURI()), "urn:default");
             item.rename(q("p:renamed"));
             EXPECT_EQ(str(item.namespaceURI()), "urn:p");
             XmlNode created = d.createElement(q("p:new")), unprefixed = d.createElement(q("n"));
             d.documentElement().appendChild(created); // its namespace comes where it is linked
             item.appendChild(unprefixed);
             EXPECT_EQ(str(created.namespaceURI()), "urn:p");
             EXPECT_EQ(str(unprefixed.namespaceURI()), "urn:default");
         },
         "<root xmlns=\"urn:default\" xmlns:p=\"urn:p\">\n  <p:renamed>\n    <child/>\n    <n/>\n"
         "  </p:renamed>\n  <p:new/>\n</root>\n"},
        {"renamed to a prefix the element declares", R"(<r><p:a xmlns:p="urn:p"/></r>)",
         [](D& d) {
             element(d, "0").rename(q("p:b"));
             EXPECT_EQ(str(element(d, "0").namespaceURI()), "urn:p");
         },
         "<r>\n  <p:b xmlns:p=\"urn:p\"/>\n</r>\n"},
        {"attributes by prefix, and pasted with their namespace",
         R"(<r xmlns:p="urn:other" xmlns:q="urn:q"><e/></r>)",
         [](D& d) {
             XmlNode e = element(d, "0");
             e.setAttribute(q("q:x"), q("v"));
             e.setAttribute(q("xml:lang"), q("en"));
             EXPECT_EQ(str(e.attributes().getNamedItem(q("q:x")).namespaceURI()), "urn:q");
             EXPECT_EQ(str(e.attributes().getNamedItem(q("xml:lang")).namespaceURI()),
                       "http://www.w3.org/XML/1998/namespace");
             e.setAttribute(q("a:x"), q("1"), q("urn:a")); // its prefix means nothing here
             e.setAttribute(q("p:y"), q("2"), q("urn:p")); // its prefix means something else
         },
         "<r xmlns:p=\"urn:other\" xmlns:q=\"urn:q\">\n  <e xmlns:a=\"urn:a\" xmlns:ns1=\"urn:p\" "
         "q:x=\"v\" xml:lang=\"en\" a:x=\"1\" ns1:y=\"2\"/>\n</r>\n"},
        {"declarations unused or already in force",
         R"(<r xmlns:p="urn:p" xmlns:u="urn:u"><a><p:b k="1"/><c/></a></r>)",
         [](D& d) {
             d.documentElement().removeAttribute(q("xmlns:u"));
             element(d, "0").setAttribute(q("xmlns:p"), q("urn:p"));
             element(d, "0/1").setAttribute(q("xmlns"), QString());
             EXPECT_EQ(str(d.xml()), "<r xmlns:p=\"urn:p\">\n  <a xmlns:p=\"urn:p\">\n    <p:b "
                                     "k=\"1\"/>\n    <c xmlns=\"\"/>\n  </a>\n</r>\n");
             element(d, "0").removeAttribute(q("xmlns:p"));
             EXPECT_EQ(str(element(d, "0/0").namespaceURI()), "urn:p");
         },
         "<r xmlns:p=\"urn:p\">\n  <a>\n    <p:b k=\"1\"/>\n    <c xmlns=\"\"/>\n  </a>\n</r>\n"},
    };
    for (const auto& [name, text, edit, expected] : rows) {
        SCOPED_TRACE(name);
        XmlDocument doc = parsed(text);
        edit(doc);
        EXPECT_EQ(str(doc.xml()), expected);
        EXPECT_EQ(str(NamespaceProblem(doc.xml())), "");
    }
}

TEST(XmlNamespaces, ATenThousandDeepSubtreeMovesWithoutRecursion) {
    XmlDocument doc = parsed(R"(<r xmlns="urn:d"><b xmlns=""/></r>)");
    XmlNode top = doc.createElement(q("a"));
    element(doc, "0").appendChild(top);
    XmlNode deepest = top;
    for (int i = 0; i < 9990; ++i) // as deep as a document may nest
        deepest = deepest.appendChild(doc.createElement(q("a")));
    doc.documentElement().appendChild(top);
    EXPECT_EQ(str(top.namespaceURI()), "");
    EXPECT_EQ(str(deepest.namespaceURI()), "");
    EXPECT_EQ(str(top.attributes().item(0).nodeName()), "xmlns");
    EXPECT_EQ(deepest.attributes().length(), 0);
}
