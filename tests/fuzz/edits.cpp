#include "fuzz/edits.h"

#include "fuzz/fuzzcheck.h"
#include "platform/xml/xmlerror.h"

#include <iterator>
#include <vector>

namespace fuzz {

quint64 Choices::next() {
    quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

namespace {

// Names a user may type: valid and invalid, prefixed, reserved, namespace declarations.
const char* const kNames[] = {
    "a",     "b",       "p:a",     "q:b",       "p:xmlns",     "xml:lang", "xml:space",
    "xmlns", "xmlns:p", "xmlns:q", "xmlns:xml", "xmlns:xmlns", "xml",      "xmlfoo",
    "XML",   "1a",      "a b",     ":a",        "a:",          "a:b:c",    "\xC3\xA9l\xC3\xA9"};

// Texts a user may type: namespace URIs, markup characters, blanks, characters XML does not allow.
const char* const kValues[] = {"",
                               "v",
                               "urn:p",
                               "urn:q",
                               "http://www.w3.org/XML/1998/namespace",
                               "http://www.w3.org/2000/xmlns/",
                               "preserve",
                               "default",
                               "a&b<c\"d'e>",
                               "]]>",
                               "--",
                               "x-",
                               "?>",
                               " \n ",
                               "\t",
                               "\r\n",
                               "x\x01y",
                               "\xEF\xBF\xBE",
                               "&amp;",
                               "version=\"1.0\"",
                               "version=\"1.0\" encoding=\"ISO-8859-1\"",
                               "version=\"1.0\" encoding=\"UTF-16\"",
                               "\xF0\x9D\x84\x9E",
                               "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"};

const char* const kQueries[] = {"//*",     "//p:a",        "//@*",       "//text()",
                                "/*/*[1]", "//comment()",  "..",         "//node()",
                                "//q:*",   "namespace::*", "count(//*)", "//["};

const char kDonorText[] = "<!DOCTYPE d [<!ENTITY e 'E&#38;amp;'>]>"
                          "<d xmlns:p='urn:p'>&e;<p:x p:y='1' xml:space='preserve'> <a/> </p:x>"
                          "<![CDATA[c]]><?pi data?><!--note--></d>";

class Editor {
public:
    Editor(XmlDocument& doc, XmlDocument& donor, Choices& choices)
        : m_doc(doc), m_donor(donor), m_choices(choices) {
        collect(m_doc.asNode(), m_nodes);
    }

    void edit() {
        using Edit = void (*)(Editor&);
        static const Edit kEdits[] = {
            [](Editor& e) { e.setText(e.anyNode()); },
            [](Editor& e) { e.setAttribute(); },
            [](Editor& e) { e.removeAttribute(); },
            [](Editor& e) { e.setText(e.anyAttribute()); },
            [](Editor& e) { e.insert(e.created()); },
            [](Editor& e) { e.insert(e.anyNode()); },
            [](Editor& e) { e.remove(e.anyNode()); },
            [](Editor& e) { e.rename(); },
            [](Editor& e) { e.replace(); },
            [](Editor& e) { e.insert(e.cloned()); },
            [](Editor& e) { e.insert(e.imported()); },
            [](Editor& e) { e.query(); },
        };
        kEdits[m_choices.below(std::size(kEdits))](*this);
    }

private:
    static void collect(const XmlNode& n, std::vector<XmlNode>& into) {
        into.push_back(n);
        for (XmlNode c = n.firstChild(); c; c = c.nextSibling())
            collect(c, into);
    }

    // Runs one call of the API; a refusal must leave the document as it was.
    template <class Call> bool attempt(const QString& what, Call call) {
        const QString before = serialised(m_doc);
        try {
            call();
            trace(what, QStringLiteral("done"));
            return true;
        } catch (const XmlError& e) {
            trace(what, QStringLiteral("refused: ") + e.description());
            const QString after = serialised(m_doc);
            if (after != before)
                fail("a refused edit changed the document",
                     QStringLiteral("%1: %2\n--- before\n%3\n--- after\n%4")
                         .arg(what, e.description(), before, after));
            return false;
        }
    }

    // A node as a trace names it: its name and where it is.
    static QString describe(const XmlNode& n) {
        if (!n)
            return QStringLiteral("(none)");
        QString path = n.nodeName();
        for (XmlNode p = n.parentNode(); p; p = p.parentNode())
            path = p.nodeName() + QLatin1Char('/') + path;
        return path;
    }

    static QString quoted(const QString& text) {
        return QLatin1Char('"') + text + QLatin1Char('"');
    }

    XmlNode anyNode() { return m_nodes[static_cast<size_t>(m_choices.below(m_nodes.size()))]; }

    XmlNode anyElement() {
        for (int tries = 0; tries < 8; ++tries) {
            XmlNode n = anyNode();
            if (n.nodeType() == NODE_ELEMENT)
                return n;
        }
        return m_doc.documentElement();
    }

    XmlNode anyAttribute() {
        XmlNode e = anyElement();
        if (!e)
            return {};
        const auto all = e.attributes().toVector();
        return all.empty() ? XmlNode() : all[static_cast<size_t>(m_choices.below(all.size()))];
    }

    // A child of `parent` or, as often as one child, none (the end).
    XmlNode childOrEnd(const XmlNode& parent) {
        const XmlNodeList children = parent.childNodes();
        return children.item(m_choices.below(children.length() + 1));
    }

    // Mostly a name from the table; sometimes one the document already uses, so that renames
    // meet the document's own prefixes.
    QString name(bool attribute = false) {
        if (m_choices.below(4) == 0) {
            XmlNode n = anyNode();
            if (n.nodeType() == NODE_ELEMENT &&
                !(avoided("prefixed-names") && n.nodeName().contains(QLatin1Char(':'))))
                return n.nodeName();
        }
        QString n = QString::fromUtf8(kNames[m_choices.below(std::size(kNames))]);
        if (avoided("prefixed-names") && n.contains(QLatin1Char(':')) &&
            !(attribute && isDeclaration(n)))
            n = QStringLiteral("a");
        const bool reserved = n == QLatin1String("xmlns:xml") || n == QLatin1String("xmlns:xmlns");
        // A declaration under a prefix nothing uses changes no name in its scope.
        if (attribute && ((avoided("reserved-declarations") && reserved) ||
                          (avoided("declaration-scope") && isDeclaration(n) && !reserved)))
            n = QStringLiteral("xmlns:unused");
        return n;
    }

    static bool isDeclaration(const QString& name) {
        return name == QLatin1String("xmlns") || name.startsWith(QLatin1String("xmlns:"));
    }

    // A value for an attribute of that name.
    QString value(const QString& attribute) {
        if (isDeclaration(attribute) && avoided("namespace-uris"))
            return m_choices.below(2) ? QStringLiteral("urn:p") : QStringLiteral("urn:q");
        return value();
    }

    QString value() {
        const int pick = m_choices.below(std::size(kValues) + 1);
        if (pick == static_cast<int>(std::size(kValues)))
            return QString(QChar(0xD800)); // an unpaired surrogate
        QString v = QString::fromUtf8(kValues[pick]);
        if (avoided("carriage-returns"))
            v.remove(QLatin1Char('\r'));
        return v;
    }

    static QString piData(QString data) {
        while (avoided("pi-leading-blanks") && !data.isEmpty() && data.front().isSpace())
            data.remove(0, 1);
        return data;
    }

    XmlNode keep(XmlNode n) {
        if (n)
            m_nodes.push_back(n);
        return n;
    }

    void setText(XmlNode n) {
        if (avoided("declaration-scope") && n && n.nodeName() == QLatin1String("xmlns"))
            return;
        if (n) {
            QString v = value(n.nodeName());
            if (n.nodeType() == NODE_PROCESSING_INSTRUCTION)
                v = piData(v);
            attempt(describe(n) + QStringLiteral(".setText(%1)").arg(quoted(v)),
                    [&] { n.setText(v); });
        }
    }

    void setAttribute() {
        XmlNode e = anyElement();
        if (e) {
            const QString n = name(true), v = value(n);
            attempt(describe(e) + QStringLiteral(".setAttribute(%1, %2)").arg(quoted(n), quoted(v)),
                    [&] { e.setAttribute(n, v); });
        }
    }

    void removeAttribute() {
        XmlNode a = anyAttribute();
        XmlNode e = anyElement();
        const QString n = a && m_choices.below(2) ? a.nodeName() : name(true);
        if (e)
            attempt(describe(e) + QStringLiteral(".removeAttribute(%1)").arg(quoted(n)),
                    [&] { e.removeAttribute(n); });
    }

    XmlNode created() {
        const int kind = m_choices.below(6);
        const QString n = kind == 5 ? QStringLiteral("xml") : name();
        const QString v = value();
        const char* const calls[] = {"createElement", "createTextNode", "createComment",
                                     "createCDATASection", "createProcessingInstruction"};
        const QString args = kind == 0  ? quoted(n)
                             : kind < 4 ? quoted(v)
                                        : quoted(n) + ", " + quoted(v);
        XmlNode made;
        attempt(QStringLiteral("%1(%2)").arg(QLatin1String(calls[qMin(kind, 4)]), args), [&] {
            switch (kind) {
            case 0:
                made = m_doc.createElement(n);
                break;
            case 1:
                made = m_doc.createTextNode(v);
                break;
            case 2:
                made = m_doc.createComment(v);
                break;
            case 3:
                made = m_doc.createCDATASection(v);
                break;
            default:
                made = m_doc.createProcessingInstruction(n, piData(v));
                break;
            }
        });
        return keep(made);
    }

    XmlNode cloned() {
        XmlNode source = anyNode();
        XmlNode n;
        const bool deep = m_choices.below(2);
        attempt(describe(source) + QStringLiteral(".cloneNode(%1)").arg(deep),
                [&] { n = source.cloneNode(deep); });
        return keep(n);
    }

    XmlNode imported() {
        XmlDocument from = m_donor;
        if (m_choices.below(2)) {
            from = XmlDocument::create();
            from.loadXML(QString::fromUtf8(kDonorText));
        }
        std::vector<XmlNode> nodes;
        collect(from.asNode(), nodes);
        XmlNode source = nodes[static_cast<size_t>(m_choices.below(nodes.size()))];
        XmlNode n;
        const bool deep = m_choices.below(2);
        attempt(QStringLiteral("importNode(%1, %2)").arg(describe(source)).arg(deep),
                [&] { n = m_doc.importNode(source, deep); });
        return keep(n);
    }

    void insert(XmlNode n) {
        XmlNode parent = anyNode();
        XmlNode ref = childOrEnd(parent);
        if (n)
            attempt(describe(parent) +
                        QStringLiteral(".insertBefore(%1, %2)").arg(describe(n), describe(ref)),
                    [&] { parent.insertBefore(n, ref); });
    }

    void remove(XmlNode n) {
        XmlNode parent = n.parentNode();
        if (parent)
            attempt(describe(parent) + QStringLiteral(".removeChild(%1)").arg(describe(n)),
                    [&] { parent.removeChild(n); });
    }

    void replace() {
        XmlNode parent = anyNode();
        XmlNode old = childOrEnd(parent);
        XmlNode fresh = m_choices.below(2) ? anyNode() : created();
        if (old && fresh)
            attempt(describe(parent) +
                        QStringLiteral(".replaceChild(%1, %2)").arg(describe(fresh), describe(old)),
                    [&] { parent.replaceChild(fresh, old); });
    }

    // As the editor renames: a new element takes the attributes and children, then replaces the
    // old one.
    void rename() {
        XmlNode old = anyElement();
        if (!old)
            return;
        XmlNode fresh;
        const QString n = name();
        if (!attempt(QStringLiteral("rename %1: createElement(%2)").arg(describe(old), quoted(n)),
                     [&] { fresh = keep(m_doc.createElement(n)); }))
            return;
        for (const XmlNode& a : old.attributes().toVector()) {
            if (avoided("prefixed-names") && a.nodeName().contains(QLatin1Char(':')))
                continue;
            attempt(QStringLiteral("  setAttribute(%1, %2)")
                        .arg(quoted(a.nodeName()), quoted(a.text())),
                    [&] { fresh.setAttribute(a.nodeName(), a.text()); });
        }
        while (XmlNode child = old.firstChild()) {
            if (!attempt(QStringLiteral("  appendChild(%1)").arg(describe(child)),
                         [&] { fresh.appendChild(child); }))
                break;
        }
        if (XmlNode parent = old.parentNode())
            attempt(QStringLiteral("  replaceChild in %1").arg(describe(parent)),
                    [&] { parent.replaceChild(fresh, old); });
    }

    void query() {
        XmlNode from = anyNode();
        const QString q = QString::fromUtf8(kQueries[m_choices.below(std::size(kQueries))]);
        attempt(describe(from) + QStringLiteral(".selectNodes(%1)").arg(quoted(q)), [&] {
            for (const XmlNode& n : from.selectNodes(q))
                keep(n);
        });
    }

    XmlDocument& m_doc;
    XmlDocument& m_donor;
    Choices& m_choices;
    std::vector<XmlNode> m_nodes;
};

} // namespace

void applyEdits(XmlDocument& doc, XmlDocument& donor, Choices& choices, int count) {
    Editor editor(doc, donor, choices);
    for (int i = 0; i < count; ++i)
        editor.edit();
}

} // namespace fuzz
