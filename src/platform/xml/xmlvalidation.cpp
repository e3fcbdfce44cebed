// Validation over libxml2: the three schema languages, the document's own hints and declaration,
// the way each fault is tied to its node, and reading schemas from local files only.

#include "platform/xml/xmlvalidation.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlorigin.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/relaxng.h>
#include <libxml/valid.h>
#include <libxml/xmlschemas.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <unordered_map>

using namespace xmlimpl;

namespace {

constexpr const char* kInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// Set on a thread while it validates: what the external resource loader may read there.
// The position of a node among its parent's children, counted from the last node asked about
// under the same parent when that one comes before it (faults mostly come in document order, so
// a long list of siblings is walked about once).
class PlaceFinder {
public:
    XmlNodePlace placeOf(xmlNodePtr node) {
        XmlNodePlace place;
        if (node->type == XML_ATTRIBUTE_NODE) {
            int index = 0;
            for (xmlAttrPtr a = node->parent ? node->parent->properties : nullptr;
                 a && reinterpret_cast<xmlNodePtr>(a) != node; a = a->next)
                ++index;
            place.attribute = index;
            node = node->parent;
        }
        for (; node && node->parent && node->type != XML_DOCUMENT_NODE; node = node->parent)
            place.steps.prepend(positionOf(node));
        if (!node || node->type != XML_DOCUMENT_NODE)
            return {};
        return place;
    }

private:
    int positionOf(xmlNodePtr node) {
        Known& known = m_known[node->parent];
        int steps = 0;
        xmlNodePtr at = node;
        for (; at && at != known.node; at = at->prev)
            ++steps;
        const int position = at ? known.position + steps : steps - 1;
        known = {node, position};
        return position;
    }
    struct Known {
        xmlNodePtr node = nullptr;
        int position = 0;
    };
    std::unordered_map<xmlNodePtr, Known> m_known;
};

// libxml2 ties most faults of an attribute to its element, and names the attribute in the message
// ("attribute 'n'" for XML Schema, "attribute n of" for a DTD, "attribute n for" for RELAX NG).
xmlNodePtr attributeNamedIn(xmlNodePtr element, const QString& message) {
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("attribute '([^']+)'")),
        QRegularExpression(QStringLiteral("attribute (\\S+) (?:of|for) ")),
    };
    for (const QRegularExpression& pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(message);
        if (!match.hasMatch())
            continue;
        QString name = match.captured(1);
        QString href; // "{namespace}local" in XML Schema's messages
        if (name.startsWith(QLatin1Char('{')) && name.contains(QLatin1Char('}'))) {
            href = name.mid(1, name.indexOf(QLatin1Char('}')) - 1);
            name = name.mid(name.indexOf(QLatin1Char('}')) + 1);
        }
        for (xmlAttrPtr a = element->properties; a; a = a->next) {
            const QString local = qs(a->name);
            const bool same = !href.isEmpty() ? a->ns && qs(a->ns->href) == href && local == name
                                              : (a->ns && a->ns->prefix
                                                     ? qs(a->ns->prefix) + QLatin1Char(':') + local
                                                     : local) == name;
            if (same)
                return reinterpret_cast<xmlNodePtr>(a);
        }
    }
    return nullptr;
}

// RELAX NG sometimes reports a fault of an element at its first child; the message starts with
// the element's name ("Element book failed to validate attributes").
xmlNodePtr elementNamedIn(xmlNodePtr node, const QString& message) {
    static const QRegularExpression pattern(QStringLiteral("^Element '?([^\\s':]+)"));
    const QRegularExpressionMatch match = pattern.match(message);
    if (!match.hasMatch())
        return node;
    const QString name = match.captured(1);
    for (xmlNodePtr at = node; at && at->type == XML_ELEMENT_NODE; at = at->parent) {
        if (qs(at->name) == name || (at->ns && at->ns->prefix &&
                                     qs(at->ns->prefix) + QLatin1Char(':') + qs(at->name) == name))
            return at;
    }
    return node;
}

// Collects libxml2's structured errors into the result. Faults of the document are tied to
// their node; faults reported from another file are the schema's own.
struct Collector {
    XmlValidationResult& result;
    xmlDocPtr doc;
    PlaceFinder places;
    QString schemaFault;

    void add(const xmlError& error) {
        const bool warning = error.level == XML_ERR_WARNING;
        if (error.level == XML_ERR_NONE)
            return;
        // Reading or compiling a schema failed: which one, for the first row.
        if (schemaFault.isEmpty() &&
            (error.domain == XML_FROM_IO || error.domain == XML_FROM_SCHEMASP ||
             error.domain == XML_FROM_RELAXNGP)) {
            const char* name = error.file ? error.file : error.str1;
            schemaFault = QString::fromUtf8(name ? name : "");
        }
        warning ? ++result.warnings : ++result.errors;
        if (result.issues.size() >= XmlValidationResult::kMaxListed)
            return;
        XmlValidationIssue issue;
        issue.warning = warning;
        issue.message = QString::fromUtf8(error.message ? error.message : "").trimmed();
        // libxml2's line stops counting at kLineLimit; the node's own is exact.
        issue.line = error.line < kLineLimit ? error.line : 0;
        auto* node = static_cast<xmlNodePtr>(error.node);
        if (node && node->doc == doc) {
            if (node->type == XML_ELEMENT_NODE) {
                node = elementNamedIn(node, issue.message);
                if (xmlNodePtr attribute = attributeNamedIn(node, issue.message))
                    node = attribute;
            }
            issue.place = places.placeOf(node);
            // The element's own line, also past what libxml2 counts.
            xmlNodePtr element = node->type == XML_ATTRIBUTE_NODE ? node->parent : node;
            if (element && element->type == XML_ELEMENT_NODE)
                issue.line = lineOf(element);
        } else if (error.file &&
                   (!doc->URL ||
                    std::strcmp(error.file, reinterpret_cast<const char*>(doc->URL)) != 0)) {
            issue.file = QString::fromUtf8(error.file);
        }
        result.issues.append(issue);
    }
    void addOwn(const QString& message, bool warning = false) {
        warning ? ++result.warnings : ++result.errors;
        XmlValidationIssue issue;
        issue.warning = warning;
        issue.message = message;
        result.issues.append(issue);
    }
};

void collect(void* data, xmlErrorPtr error) {
    if (error)
        static_cast<Collector*>(data)->add(*error);
}

// Errors libxml2 reports without a handler of the task's own (DTD validation, parsing a DTD or a
// schema document) go to the thread's structured handler while this is alive.
class ThreadErrors {
public:
    explicit ThreadErrors(Collector& collector) { xmlSetStructuredErrorFunc(&collector, collect); }
    ~ThreadErrors() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
    ThreadErrors(const ThreadErrors&) = delete;
    ThreadErrors& operator=(const ThreadErrors&) = delete;
};

} // namespace

SchemaLanguage SchemaLanguageOf(const QString& path) {
    using Language = SchemaLanguage;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xsd"))
        return Language::XmlSchema;
    if (suffix == QLatin1String("rng"))
        return Language::RelaxNg;
    if (suffix == QLatin1String("dtd"))
        return Language::Dtd;
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    if (head.contains("http://relaxng.org/ns/structure/1.0"))
        return Language::RelaxNg;
    if (head.contains("http://www.w3.org/2001/XMLSchema"))
        return Language::XmlSchema;
    return Language::Dtd;
}

namespace {

template <typename T, void (*Free)(T*)> struct Owned {
    T* p = nullptr;
    explicit Owned(T* value) : p(value) {}
    ~Owned() {
        if (p)
            Free(p);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

// Said first, before the schema's own faults that tell why.
void notLoaded(Collector& c, const char* kind) {
    c.result.schemaLoaded = false;
    c.result.issues.prepend({});
    XmlValidationIssue& first = c.result.issues.first();
    first.message = QStringLiteral("The %1 \"%2\" could not be loaded.")
                        .arg(QLatin1String(kind), c.result.schema);
    ++c.result.errors;
}

void againstXmlSchema(Collector& c, const QByteArray& path) {
    Owned<xmlSchemaParserCtxt, xmlSchemaFreeParserCtxt> parser(xmlSchemaNewParserCtxt(path));
    if (!parser.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlSchemaSetParserStructuredErrors(parser.p, collect, &c);
    Owned<xmlSchema, xmlSchemaFree> schema(xmlSchemaParse(parser.p));
    if (!schema.p)
        return notLoaded(c, "schema");
    Owned<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt> valid(xmlSchemaNewValidCtxt(schema.p));
    if (!valid.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlSchemaSetValidStructuredErrors(valid.p, collect, &c);
    xmlSchemaValidateDoc(valid.p, c.doc);
}

void againstRelaxNg(Collector& c, const QByteArray& path) {
    Owned<xmlRelaxNGParserCtxt, xmlRelaxNGFreeParserCtxt> parser(xmlRelaxNGNewParserCtxt(path));
    if (!parser.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlRelaxNGSetParserStructuredErrors(parser.p, collect, &c);
    Owned<xmlRelaxNG, xmlRelaxNGFree> schema(xmlRelaxNGParse(parser.p));
    if (!schema.p)
        return notLoaded(c, "schema");
    Owned<xmlRelaxNGValidCtxt, xmlRelaxNGFreeValidCtxt> valid(xmlRelaxNGNewValidCtxt(schema.p));
    if (!valid.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlRelaxNGSetValidStructuredErrors(valid.p, collect, &c);
    xmlRelaxNGValidateDoc(valid.p, c.doc);
}

void againstDtdFile(Collector& c, const QByteArray& path) {
    Owned<xmlDtd, xmlFreeDtd> dtd(
        xmlParseDTD(nullptr, reinterpret_cast<const xmlChar*>(path.constData())));
    if (!dtd.p)
        return notLoaded(c, "DTD");
    Owned<xmlValidCtxt, xmlFreeValidCtxt> valid(xmlNewValidCtxt());
    if (!valid.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlValidateDtd(valid.p, c.doc, dtd.p);
}

// libxml2 builds the schema from the xsi:schemaLocation and xsi:noNamespaceSchemaLocation
// hints of the elements it validates when it is given none. A hint the loader refused is
// reported by libxml2 as a fault of the document itself: it is the refused address that did not
// load.
void againstHints(Collector& c, const LocalFileReads& reads) {
    Owned<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt> valid(xmlSchemaNewValidCtxt(nullptr));
    if (!valid.p)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlSchemaSetValidStructuredErrors(valid.p, collect, &c);
    xmlSchemaValidateDoc(valid.p, c.doc);
    if (c.schemaFault.isEmpty())
        return;
    const QString document = QString::fromUtf8(reinterpret_cast<const char*>(c.doc->URL));
    c.result.schema = c.schemaFault == document && !reads.refused.isEmpty()
                          ? reads.refused.constFirst()
                          : c.schemaFault;
    notLoaded(c, "schema");
}

// The internal subset with the external DTD its SYSTEM identifier names, which libxml2 attaches
// to the document.
void againstDocumentType(Collector& c) {
    Owned<xmlValidCtxt, xmlFreeValidCtxt> valid(xmlNewValidCtxt());
    if (!valid.p)
        throw XmlError(QStringLiteral("Out of memory"));
    const bool external = c.doc->intSubset->SystemID != nullptr;
    const int errorsBefore = c.result.errors;
    xmlValidateDocument(valid.p, c.doc);
    if (external && !c.doc->extSubset && c.result.errors > errorsBefore) {
        c.result.schema =
            QString::fromUtf8(reinterpret_cast<const char*>(c.doc->intSubset->SystemID));
        notLoaded(c, "DTD");
    }
}

bool hasSchemaHints(xmlDocPtr doc) {
    const xmlNodePtr root = xmlDocGetRootElement(doc);
    for (xmlAttrPtr a = root ? root->properties : nullptr; a; a = a->next) {
        if (a->ns && a->ns->href &&
            std::strcmp(reinterpret_cast<const char*>(a->ns->href), kInstanceNamespace) == 0 &&
            (xmlStrEqual(a->name, BAD_CAST "schemaLocation") ||
             xmlStrEqual(a->name, BAD_CAST "noNamespaceSchemaLocation")))
            return true;
    }
    return false;
}

// A name libxml2 can open: a local path as it is, anything else untouched (the loader refuses it).
QByteArray fileName(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

XmlValidationResult Validate(XmlDocument& document, const XmlValidationRequest& request) {
    XmlValidationResult result;
    const std::shared_ptr<XmlStorage> storage = document.asNode().storage();
    xmlDocPtr doc = storage->doc;
    ErrorCapture quiet; // libxml2 set up, and nothing printed
    Collector collector{result, doc, {}, {}};
    if (!request.documentFile.isEmpty()) {
        xmlFree(const_cast<xmlChar*>(doc->URL));
        doc->URL = xmlStrdup(reinterpret_cast<const xmlChar*>(
            QFileInfo(request.documentFile).absoluteFilePath().toUtf8().constData()));
    }
    QStringList refused;
    {
        LocalFileReads reads;
        ThreadErrors threadErrors(collector);
        if (!request.schemaFile.isEmpty()) {
            result.against = XmlValidationResult::Against::ChosenSchema;
            result.schema = request.schemaFile;
            const QByteArray path = fileName(request.schemaFile);
            switch (SchemaLanguageOf(request.schemaFile)) {
            case SchemaLanguage::XmlSchema:
                againstXmlSchema(collector, path);
                break;
            case SchemaLanguage::RelaxNg:
                againstRelaxNg(collector, path);
                break;
            case SchemaLanguage::Dtd:
                againstDtdFile(collector, path);
                break;
            }
        } else if (hasSchemaHints(doc)) {
            result.against = XmlValidationResult::Against::SchemaHints;
            againstHints(collector, reads);
        } else if (doc->intSubset) {
            result.against = XmlValidationResult::Against::DocumentType;
            againstDocumentType(collector);
        }
        refused = reads.refused;
    }
    for (const QString& name : refused)
        collector.addOwn(QStringLiteral("Refused to read \"%1\": schemas and DTDs are read only "
                                        "from local files.")
                             .arg(name));
    return result;
}

namespace {
// The inverse of PlaceFinder: a child by its position, counted on from the last one asked for
// under the same parent when that one comes before it.
class PlaceResolver {
public:
    xmlNodePtr nodeAt(xmlDocPtr doc, const XmlNodePlace& place) {
        xmlNodePtr node = reinterpret_cast<xmlNodePtr>(doc);
        for (int step : place.steps) {
            node = childAt(node, step);
            if (!node)
                return nullptr;
        }
        if (place.attribute < 0)
            return node;
        if (node->type != XML_ELEMENT_NODE)
            return nullptr;
        xmlAttrPtr attribute = node->properties;
        for (int i = 0; attribute && i < place.attribute; ++i)
            attribute = attribute->next;
        return reinterpret_cast<xmlNodePtr>(attribute);
    }

private:
    xmlNodePtr childAt(xmlNodePtr parent, int position) {
        Known& known = m_known[parent];
        xmlNodePtr at = parent->children;
        int index = 0;
        if (known.node && known.position <= position) {
            at = known.node;
            index = known.position;
        }
        for (; at && index < position; ++index)
            at = at->next;
        if (at)
            known = {at, position};
        return at;
    }
    struct Known {
        xmlNodePtr node = nullptr;
        int position = 0;
    };
    std::unordered_map<xmlNodePtr, Known> m_known;
};
} // namespace

void TieToDocument(const XmlDocument& document, QList<XmlValidationIssue>& issues) {
    if (document.isNull())
        return;
    const std::shared_ptr<XmlStorage> storage = document.asNode().storage();
    PlaceResolver places;
    for (XmlValidationIssue& issue : issues) {
        if (issue.place.isNull() || !issue.file.isEmpty())
            continue;
        xmlNodePtr node = places.nodeAt(storage->doc, issue.place);
        if (!node)
            continue;
        issue.node = XmlNode(node, storage);
        xmlNodePtr element = node->type == XML_ATTRIBUTE_NODE ? node->parent : node;
        if (issue.line <= 0 && element && element->type == XML_ELEMENT_NODE)
            issue.line = lineOf(element);
    }
}

XmlNodePlace PlaceOf(const XmlNode& node) {
    return node.raw() ? PlaceFinder().placeOf(node.raw()) : XmlNodePlace();
}

XmlNode NodeAtPlace(const XmlDocument& document, const XmlNodePlace& place) {
    if (document.isNull() || place.isNull())
        return {};
    const std::shared_ptr<XmlStorage> storage = document.asNode().storage();
    xmlNodePtr node = PlaceResolver().nodeAt(storage->doc, place);
    return node ? XmlNode(node, storage) : XmlNode();
}

XmlDocumentStamp::XmlDocumentStamp(const XmlDocument& document)
    : m_storage(document.asNode().storage()), m_revision(document.revision()) {}

bool XmlDocumentStamp::isCurrentFor(const XmlDocument& document) const {
    if (document.isNull())
        return false;
    const std::shared_ptr<XmlStorage> storage = m_storage.lock();
    return storage && storage == document.asNode().storage() && document.revision() == m_revision;
}
