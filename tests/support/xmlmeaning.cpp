#include "support/xmlmeaning.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>

#include <QFile>
#include <QStringList>
#include <optional>

namespace xmltesting {

namespace {

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

} // namespace

QString IndependentMeaning(const QByteArray& bytes, const QString& path) {
    const xmlExternalEntityLoader editors = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlSetStructuredErrorFunc(nullptr, quiet);
    // A DTD that does not read (not properly nested, say) is left out, as a processor that does
    // not read external markup leaves it.
    xmlDocPtr doc = nullptr;
    for (const int dtd : {int(XML_PARSE_DTDLOAD), 0}) {
        if (!doc)
            doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()),
                                QFile::encodeName(path).constData(), nullptr,
                                XML_PARSE_NOENT | XML_PARSE_NONET | dtd);
    }
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetExternalEntityLoader(editors);
    if (!doc)
        return {};
    QString out;
    describe(doc, reinterpret_cast<xmlNodePtr>(doc), false, 0, out);
    xmlFreeDoc(doc);
    return out;
}

} // namespace xmltesting
