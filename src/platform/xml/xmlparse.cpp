// Parsing over libxml2, and the XML declaration node.

#include "platform/xml/xmlparse.h"

#include "platform/work/asidework.h"
#include "platform/work/memoryahead.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlorigin.h"
#include "platform/xml/xmlparseguard.h"
#include "platform/xml/xmlsourcetext.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmltreewalk.h"
#include "platform/xml/xmlwhitespace.h"
#include "platform/xml/xmlwidetags.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstring>

namespace xmlimpl {

namespace {

// Blank text is kept while parsing: whether it is layout depends on the whole element, which
// libxml2's own guess does not wait for (see LayoutFilter). No size or depth limit of libxml2's
// applies: ParseGuard keeps those that matter.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_HUGE;
constexpr long kFreeAside = 8L << 20;

// Two CDATA sections side by side stay two nodes, as they were written; libxml2 would join them.
void separateCData(void* context, const xmlChar* value, int len) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    if (!ctxt->node)
        return;
    xmlNodePtr node = xmlNewCDataBlock(ctxt->myDoc, value, len);
    if (node && !xmlAddChild(ctxt->node, node))
        xmlFreeNode(node);
}

struct ParseOutcome {
    xmlDocPtr doc = nullptr; // nullptr when not well-formed
    QByteArray encoding;     // how libxml2 decoded the input; empty for UTF-8
    // Set when the document is refused for a reason of the editor's rather than libxml2's.
    QString refusal;
    int line = 0;
    int column = 0;
};

ParseOutcome parseWith(xmlParserCtxtPtr ctxt, int options, HeldAttributes* held = nullptr,
                       const QByteArray* rawStart = nullptr) {
    if (!ctxt)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlCtxtUseOptions(ctxt, options);
    // After the options, which set handlers of their own.
    ParseGuard guard(ctxt);
    LayoutFilter layout(ctxt, separateCData, held, &guard, rawStart);
    ctxt->sax->getParameterEntity = noteParameterEntity;
    xmlParseDocument(ctxt);
    ParseOutcome outcome;
    if (ctxt->input && ctxt->input->buf && ctxt->input->buf->encoder)
        outcome.encoding = ctxt->input->buf->encoder->name;
    xmlDocPtr doc = ctxt->myDoc;
    // A name whose prefix is not declared (or a namespace name that is no URI) leaves names
    // without a namespace to be in: no edit or save could keep such a document as it means.
    bool ok = doc != nullptr && ctxt->wellFormed && ctxt->nsWellFormed && !guard.refused();
    if (ok)
        ok = guard.check(doc);
    if (guard.refused()) {
        outcome.refusal = guard.reason();
        outcome.line = guard.line();
        outcome.column = guard.column();
    }
    // A large document that stopped near its end takes a while to free: the report need not wait.
    const bool large = xmlByteConsumed(ctxt) > kFreeAside;
    xmlFreeParserCtxt(ctxt);
    if (ok)
        outcome.doc = doc;
    else if (doc && large)
        AsideWork::Start([doc] { xmlFreeDoc(doc); });
    else if (doc)
        xmlFreeDoc(doc);
    return outcome;
}

// `reopen` gives the source again from its start, for the parts the report or the document
// need verbatim.
ParsedDocument finish(const ErrorCapture& collector, const ParseOutcome& outcome,
                      const std::function<std::unique_ptr<QIODevice>()>& reopen,
                      XmlParseError& error) {
    ParsedDocument parsed{outcome.doc, {}, {}};
    if (!outcome.doc) {
        const bool own = !outcome.refusal.isEmpty();
        error.reason = own ? outcome.refusal : collector.reason;
        error.line = own ? outcome.line : collector.line;
        error.linepos = own ? outcome.column : collector.column;
        if (auto source = reopen())
            error.srcText =
                sourceLineAt(*source, outcome.encoding, collector.line, collector.column);
        if (error.reason.isEmpty())
            error.reason = QStringLiteral("The document could not be parsed.");
        return parsed;
    }
    if (outcome.doc->intSubset) {
        if (auto source = reopen())
            parsed.doctypeText = doctypeTextIn(*source, outcome.encoding);
    }
    return parsed;
}

struct FileReader {
    QFile file;
    WorkProgress* progress;
    QByteArray start; // the first bytes read, as they are in the file
};

constexpr qsizetype kStartBytes = 4096;

// A stop asked for ends the parse as a read error would; its result is then dropped.
int readFromFile(void* context, char* buffer, int len) {
    auto* reader = static_cast<FileReader*>(context);
    if (reader->progress && reader->progress->stop.load(std::memory_order_relaxed))
        return -1;
    const qint64 n = reader->file.read(buffer, len);
    if (n > 0 && reader->start.size() < kStartBytes)
        reader->start.append(buffer, std::min<qint64>(n, kStartBytes - reader->start.size()));
    if (n > 0 && reader->progress)
        reader->progress->done.fetch_add(n, std::memory_order_relaxed);
    return n < 0 ? -1 : static_cast<int>(n);
}

int readFiltered(void* context, char* buffer, int len) {
    return static_cast<WideTagFilter*>(context)->read(buffer, len);
}

struct TextReader {
    const char* at;
    qsizetype left;
};

int readFromText(void* context, char* buffer, int len) {
    auto* reader = static_cast<TextReader*>(context);
    const int n = static_cast<int>(std::min<qsizetype>(len, reader->left));
    std::memcpy(buffer, reader->at, size_t(n));
    reader->at += n;
    reader->left -= n;
    return n;
}

int closeNothing(void*) {
    return 0;
}

QString xmlDeclarationIn(const QString& text) {
    qsizetype at = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    if (!text.mid(at, 5).startsWith(QLatin1String("<?xml")) || text.size() < at + 6 ||
        !text.at(at + 5).isSpace())
        return {};
    const qsizetype end = text.indexOf(QLatin1String("?>"), at);
    return end < 0 ? QString() : text.mid(at + 5, end - at - 5).trimmed();
}

// Where a file's text is, for saves that copy what did not change: libxml2 skips a UTF-16 byte
// order mark before decoding but counts a UTF-8 one.
XmlSource fileSource(const QFileInfo& file, const QByteArray& encoding, const QByteArray& start) {
    XmlSource source;
    source.kind = XmlSource::Kind::File;
    source.path = file.absoluteFilePath();
    source.size = file.size();
    source.modified = file.lastModified();
    source.encoding = encoding;
    for (const QByteArray& mark : {QByteArray("\xEF\xBB\xBF"), QByteArray("\xFF\xFE"),
                                  QByteArray("\xFE\xFF")}) {
        if (!start.startsWith(mark))
            continue;
        source.bom = mark;
        source.skip = mark.size() == 3 ? 3 : 0;
        // A UTF-8 mark before a declaration of another encoding, which libxml2 then switches to:
        // no position in such a text is sure. Unchanged, the file is copied whole; changed, it is
        // written in the editor's layout.
        source.undecodable = mark.size() == 3 && !encoding.isEmpty();
        break;
    }
    return source;
}

// The declaration as the file writes it, so that the tree shows what the text view shows, and
// what reading the same text gives. An encoding that does not write it in ASCII or UTF-16
// (UCS-4, EBCDIC) gives none: the document's fields are written instead.
QString declarationInFile(const QByteArray& start) {
    const QByteArray bytes = start.startsWith("\xEF\xBB\xBF") ? start.mid(3) : start;
    if (bytes.startsWith("<?xml"))
        return xmlDeclarationIn(QString::fromLatin1(bytes));
    const auto wide = [&bytes](const char* mark, QStringConverter::Encoding encoding) {
        const QByteArray text = bytes.startsWith(QByteArray(mark, 2)) ? bytes.mid(2) : bytes;
        QStringDecoder decoder(encoding);
        return QString(decoder.decode(text.left(text.size() & ~qsizetype(1))));
    };
    const QByteArray le("<\0?\0x\0", 6), be("\0<\0?\0x", 6);
    if (bytes.startsWith(le) || bytes.startsWith("\xFF\xFE" + le))
        return xmlDeclarationIn(wide("\xFF\xFE", QStringConverter::Utf16LE));
    if (bytes.startsWith(be) || bytes.startsWith("\xFE\xFF" + be))
        return xmlDeclarationIn(wide("\xFE\xFF", QStringConverter::Utf16BE));
    return {};
}

QString declarationFromFields(xmlDocPtr doc) {
    QString data = QStringLiteral("version=\"%1\"")
                       .arg(doc->version ? qs(doc->version) : QStringLiteral("1.0"));
    if (doc->encoding)
        data += QStringLiteral(" encoding=\"%1\"").arg(qs(doc->encoding));
    if (doc->standalone == 1)
        data += QStringLiteral(" standalone=\"yes\"");
    else if (doc->standalone == 0)
        data += QStringLiteral(" standalone=\"no\"");
    return data;
}

QString declarationOf(xmlDocPtr doc, const QByteArray& start) {
    const QString written = declarationInFile(start);
    return written.isEmpty() ? declarationFromFields(doc) : written;
}

} // namespace

int parseOptions() {
    return kParseOptions;
}

// An external parameter entity may declare any entity, so once the subset refers to one (which
// is never read), an undeclared entity is no longer an error of form but a reference to keep.
// libxml2 only counts the parameter entities it reads.
xmlEntityPtr noteParameterEntity(void* context, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetParameterEntity(context, name);
    if (entity && entity->etype == XML_EXTERNAL_PARAMETER_ENTITY)
        static_cast<xmlParserCtxtPtr>(context)->hasPErefs = 1;
    return entity;
}

void addDeclarationNode(xmlDocPtr doc, const QString& declarationData) {
    const QByteArray data = declarationData.toUtf8();
    xmlNodePtr pi = xmlNewDocPI(doc, BAD_CAST "xml", xc(data));
    setLead(pi, 0);
    if (doc->children)
        xmlAddPrevSibling(doc->children, pi);
    else
        xmlAddChild(reinterpret_cast<xmlNodePtr>(doc), pi);
}

ParsedDocument parseText(const QByteArray& utf8, XmlParseError& error) {
    error = {};
    ErrorCapture scope;
    MemoryAhead ahead(utf8.size());
    // Read a piece at a time, as a file is: libxml2 would copy the whole text first. The text is
    // already decoded, so an encoding named in its declaration must not apply again.
    TextReader reader{utf8.constData(), utf8.size()};
    const ParseOutcome outcome =
        parseWith(xmlCreateIOParserCtxt(nullptr, nullptr, readFromText, closeNothing, &reader,
                                        XML_CHAR_ENCODING_UTF8),
                  kParseOptions | XML_PARSE_IGNORE_ENC);
    const ParsedDocument parsed = finish(
        scope, outcome,
        [&utf8]() -> std::unique_ptr<QIODevice> {
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(utf8);
            return buffer->open(QIODevice::ReadOnly) ? std::move(buffer) : nullptr;
        },
        error);
    if (parsed.doc && parsed.doc->standalone != -1)
        addDeclarationNode(parsed.doc, xmlDeclarationIn(QString::fromUtf8(utf8.left(4096))));
    return parsed;
}

ParsedDocument parseFile(const QString& path, XmlParseError& error, WorkProgress* progress) {
    error = {};
    const QFileInfo before(path);
    FileReader reader{QFile(path), progress, {}};
    if (!reader.file.open(QIODevice::ReadOnly)) {
        error.reason = QStringLiteral("The system cannot open the file %1: %2")
                           .arg(path, reader.file.errorString());
        return {};
    }
    ErrorCapture scope;
    MemoryAhead ahead(before.size());
    HeldAttributes held;
    WideTagFilter filter(
        [&reader](char* buffer, int len) { return readFromFile(&reader, buffer, len); }, held);
    const ParseOutcome outcome =
        parseWith(xmlCreateIOParserCtxt(nullptr, nullptr, readFiltered, closeNothing, &filter,
                                        XML_CHAR_ENCODING_NONE),
                  kParseOptions, &held, &reader.start);
    reader.file.close();
    if (progress && progress->stop.load()) {
        if (outcome.doc)
            xmlFreeDoc(outcome.doc);
        return {};
    }
    // Opened afresh rather than rewound, which a device such as a pipe cannot do.
    ParsedDocument parsed = finish(
        scope, outcome,
        [&path]() -> std::unique_ptr<QIODevice> {
            auto again = std::make_unique<QFile>(path);
            return again->open(QIODevice::ReadOnly) ? std::move(again) : nullptr;
        },
        error);
    if (parsed.doc && parsed.doc->standalone != -1)
        addDeclarationNode(parsed.doc, declarationOf(parsed.doc, reader.start));
    if (parsed.doc && before.isFile() && before.size() <= kLargestSource)
        parsed.source = fileSource(before, outcome.encoding, reader.start);
    return parsed;
}

} // namespace xmlimpl
