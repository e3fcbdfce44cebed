// Which grammar completion uses: the one validation would use, so that what is offered is what
// validates.

#include "platform/xml/xmlgrammar.h"

#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmlvalidation.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

using namespace xmlimpl;

namespace {

constexpr const char* kInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// The schemas of the document element's xsi hints, as absolute local paths.
QStringList hintedSchemas(xmlNodePtr root, const QString& documentFile) {
    QStringList locations;
    for (xmlAttrPtr a = root ? root->properties : nullptr; a; a = a->next) {
        if (!a->ns || !xmlStrEqual(a->ns->href, BAD_CAST kInstanceNamespace))
            continue;
        xmlChar* value = xmlNodeListGetString(root->doc, a->children, 1);
        const QStringList words =
            qs(value).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        xmlFree(value);
        if (xmlStrEqual(a->name, BAD_CAST "noNamespaceSchemaLocation") && !words.isEmpty())
            locations << words.first();
        else if (xmlStrEqual(a->name, BAD_CAST "schemaLocation")) {
            for (qsizetype i = 1; i < words.size(); i += 2)
                locations << words[i];
        }
    }
    const QDir base = documentFile.isEmpty() ? QDir::current() : QFileInfo(documentFile).dir();
    QStringList paths;
    for (const QString& location : locations) {
        const QUrl url(location);
        if (!url.scheme().isEmpty() && url.scheme() != QLatin1String("file"))
            continue;
        paths << base.absoluteFilePath(url.isLocalFile() ? url.toLocalFile() : location);
    }
    return paths;
}

// The declarations of `from` added to `into`, its element indexes moved past `into`'s own.
void shift(Particle& p, int by) {
    if (p.kind == Particle::Kind::Element)
        p.element += by;
    for (Particle& part : p.parts)
        shift(part, by);
}

void merge(Grammar& into, const Grammar& from) {
    const int by = static_cast<int>(into.elements.size());
    for (ElementDecl decl : from.elements) {
        shift(decl.content, by);
        into.elements.push_back(std::move(decl));
    }
    for (int root : from.roots)
        into.roots.append(root + by);
    into.files += from.files;
}

std::shared_ptr<Grammar> fromSchemaFile(const QString& path) {
    switch (SchemaLanguageOf(path)) {
    case SchemaLanguage::XmlSchema:
        return GrammarFromXmlSchema(path);
    case SchemaLanguage::RelaxNg:
        return GrammarFromRelaxNg(path);
    case SchemaLanguage::Dtd:
        break;
    }
    xmlDtdPtr dtd = xmlParseDTD(nullptr, BAD_CAST QFile::encodeName(path).constData());
    if (!dtd)
        return nullptr;
    std::shared_ptr<Grammar> grammar = GrammarFromDtd(dtd);
    xmlFreeDtd(dtd);
    grammar->files.append({path, QFileInfo(path).lastModified().toMSecsSinceEpoch()});
    return grammar;
}

// The internal subset, then the external DTD its identifiers name (a catalog's local copy first).
std::shared_ptr<Grammar> fromDocumentType(xmlDtdPtr subset, const QString& documentFile) {
    std::shared_ptr<Grammar> grammar = GrammarFromDtd(subset);
    if (!subset->ExternalID && !subset->SystemID)
        return grammar;
    QByteArray system;
    if (subset->SystemID) {
        const QByteArray base =
            QUrl::fromLocalFile(QFileInfo(documentFile).absoluteFilePath()).toEncoded();
        xmlChar* uri = xmlBuildURI(subset->SystemID, BAD_CAST base.constData());
        system = reinterpret_cast<const char*>(uri ? uri : subset->SystemID);
        xmlFree(uri);
    }
    xmlDtdPtr external =
        xmlParseDTD(subset->ExternalID, system.isEmpty() ? nullptr : BAD_CAST system.constData());
    if (!external)
        return grammar;
    GrammarFromDtd(external, grammar);
    xmlFreeDtd(external);
    // libxml2 names a DTD read on its own "none": the document type's name is the root.
    if (const int root = grammar->uniqueDecl({{}, qs(subset->name)}); root >= 0)
        grammar->roots = {root};
    if (!system.isEmpty() && QUrl(QString::fromUtf8(system)).isLocalFile()) {
        const QString path = QUrl(QString::fromUtf8(system)).toLocalFile();
        grammar->files.append({path, QFileInfo(path).lastModified().toMSecsSinceEpoch()});
    }
    return grammar;
}

QString subsetKey(xmlDtdPtr subset) {
    QString key = QStringLiteral("doctype\n%1\n%2\n%3\n")
                      .arg(qs(subset->name), qs(subset->ExternalID), qs(subset->SystemID));
    // The declarations themselves, as the document has them: the grammar changes with them.
    for (xmlNodePtr at = subset->children; at; at = at->next)
        key += QString::number(at->type) + qs(at->name) + u'\n';
    return key;
}

} // namespace

GrammarSources::GrammarSources(const XmlDocument& document, const XmlValidationRequest& request)
    : m_documentFile(request.documentFile) {
    UseLibrary();
    xmlDocPtr doc = document.isNull() ? nullptr : document.asNode().storage()->doc;
    if (!request.schemaFile.isEmpty()) {
        m_schema = request.schemaFile;
        m_key = QStringLiteral("schema\n") + m_schema;
    } else if (m_hinted =
                   hintedSchemas(doc ? xmlDocGetRootElement(doc) : nullptr, request.documentFile);
               !m_hinted.isEmpty()) {
        m_key = QStringLiteral("hints\n") + m_hinted.join(u'\n');
    } else if (doc && doc->intSubset) {
        m_subset = xmlCopyDtd(doc->intSubset);
        m_key = subsetKey(doc->intSubset) + m_documentFile;
    }
}

GrammarSources::~GrammarSources() {
    if (m_subset)
        xmlFreeDtd(m_subset);
}

GrammarSources::GrammarSources(GrammarSources&& other) noexcept {
    *this = std::move(other);
}

GrammarSources& GrammarSources::operator=(GrammarSources&& other) noexcept {
    std::swap(m_key, other.m_key);
    std::swap(m_schema, other.m_schema);
    std::swap(m_hinted, other.m_hinted);
    std::swap(m_documentFile, other.m_documentFile);
    std::swap(m_subset, other.m_subset);
    return *this;
}

std::shared_ptr<Grammar> GrammarSources::read() const {
    ErrorCapture quiet;
    LocalFileReads reads;
    std::shared_ptr<Grammar> grammar;
    if (!m_schema.isEmpty()) {
        grammar = fromSchemaFile(m_schema);
    } else if (!m_hinted.isEmpty()) {
        for (const QString& path : m_hinted) {
            if (std::shared_ptr<Grammar> one = GrammarFromXmlSchema(path)) {
                if (!grammar)
                    grammar = one;
                else
                    merge(*grammar, *one);
            }
        }
    } else if (m_subset) {
        grammar = fromDocumentType(m_subset, m_documentFile);
    }
    if (grammar && grammar->elements.empty())
        return nullptr;
    return grammar;
}

GrammarPtr LoadGrammar(const XmlDocument& document, const XmlValidationRequest& request) {
    if (std::shared_ptr<Grammar> grammar = GrammarSources(document, request).read())
        return grammar;
    return GrammarLearned(document.isNull() ? nullptr : document.asNode().storage()->doc);
}
