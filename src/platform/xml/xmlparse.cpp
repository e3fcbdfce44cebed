// Parsing, the XML declaration node and serialisation over libxml2.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <QFile>
#include <QStringDecoder>

namespace xmlimpl {
namespace {

// Nothing may be read from outside the document itself: no external DTD, no external entity,
// no network. libxml2 calls this for every such resource.
xmlParserInputPtr refuseExternalResource(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void ignoreGenericError(void*, const char*, ...) {}

void collectError(void* data, xmlErrorPtr error) {
    auto* capture = static_cast<ErrorCapture*>(data);
    if (capture->have || error == nullptr || error->level < XML_ERR_ERROR)
        return;
    capture->have = true;
    capture->reason = qs(reinterpret_cast<const xmlChar*>(error->message)).trimmed();
    capture->line = error->line;
    capture->column = error->int2;
}

} // namespace

ErrorCapture::ErrorCapture() {
    static const bool guarded = [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalResource);
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        return true;
    }();
    (void)guarded;
    xmlSetStructuredErrorFunc(this, collectError);
}

ErrorCapture::~ErrorCapture() { xmlSetStructuredErrorFunc(nullptr, nullptr); }

namespace {

constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET;

QString sourceLine(const QString& text, int line, int column) {
    if (line < 1)
        return {};
    qsizetype start = 0;
    for (int i = 1; i < line; ++i) {
        start = text.indexOf(QLatin1Char('\n'), start);
        if (start < 0)
            return {};
        ++start;
    }
    qsizetype end = text.indexOf(QLatin1Char('\n'), start);
    if (end < 0)
        end = text.size();
    QString result = text.mid(start, end - start);
    if (result.endsWith(QLatin1Char('\r')))
        result.chop(1);
    // A whole megabyte-long line helps nobody in a message: keep the part around the error.
    constexpr qsizetype kHalfWindow = 200;
    if (result.size() > 2 * kHalfWindow) {
        const qsizetype from = qMax<qsizetype>(0, qMin<qsizetype>(column, result.size()) - kHalfWindow);
        result = result.mid(from, 2 * kHalfWindow);
    }
    return result;
}

void fillError(const ErrorCapture& collector, const QString& text, XmlParseError& error) {
    error.reason = collector.reason;
    error.line = collector.line;
    error.linepos = collector.column;
    error.srcText = sourceLine(text, collector.line, collector.column);
}

QString decodeForReport(const QByteArray& bytes) {
    const auto encoding = QStringConverter::encodingForData(bytes);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder(bytes);
}

int readFromFile(void* context, char* buffer, int len) {
    auto* file = static_cast<QFile*>(context);
    const qint64 n = file->read(buffer, len);
    return n < 0 ? -1 : static_cast<int>(n);
}

int closeNothing(void*) { return 0; }

QString xmlDeclarationIn(const QString& text) {
    qsizetype at = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    if (!text.mid(at, 5).startsWith(QLatin1String("<?xml")) || text.size() < at + 6 ||
        !text.at(at + 5).isSpace())
        return {};
    const qsizetype end = text.indexOf(QLatin1String("?>"), at);
    return end < 0 ? QString() : text.mid(at + 5, end - at - 5).trimmed();
}

QString declarationFromFields(xmlDocPtr doc) {
    QString data = QStringLiteral("version=\"%1\"").arg(doc->version ? qs(doc->version) : QStringLiteral("1.0"));
    if (doc->encoding)
        data += QStringLiteral(" encoding=\"%1\"").arg(qs(doc->encoding));
    if (doc->standalone == 1)
        data += QStringLiteral(" standalone=\"yes\"");
    else if (doc->standalone == 0)
        data += QStringLiteral(" standalone=\"no\"");
    return data;
}

} // namespace

void addDeclarationNode(xmlDocPtr doc, const QString& declarationData) {
    const QByteArray data = declarationData.toUtf8();
    xmlNodePtr pi = xmlNewDocPI(doc, BAD_CAST "xml", xc(data));
    if (doc->children)
        xmlAddPrevSibling(doc->children, pi);
    else
        xmlAddChild(reinterpret_cast<xmlNodePtr>(doc), pi);
}

xmlDocPtr parseText(const QByteArray& utf8, XmlParseError& error) {
    error = {};
    ErrorCapture scope;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt)
        throw XmlError(QStringLiteral("Out of memory"));
    // The text is already decoded: an encoding named in its declaration must not apply again.
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, utf8.constData(), static_cast<int>(utf8.size()), nullptr,
                                      "UTF-8", kParseOptions | XML_PARSE_IGNORE_ENC);
    const bool ok = doc != nullptr && ctxt->wellFormed;
    xmlFreeParserCtxt(ctxt);
    if (!ok) {
        if (doc)
            xmlFreeDoc(doc);
        fillError(scope, QString::fromUtf8(utf8), error);
        if (error.reason.isEmpty())
            error.reason = QStringLiteral("The document could not be parsed.");
        return nullptr;
    }
    if (doc->standalone != -1)
        addDeclarationNode(doc, xmlDeclarationIn(QString::fromUtf8(utf8.left(4096))));
    return doc;
}

xmlDocPtr parseFile(const QString& path, XmlParseError& error) {
    error = {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error.reason = QStringLiteral("The system cannot open the file %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    ErrorCapture scope;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt)
        throw XmlError(QStringLiteral("Out of memory"));
    const QByteArray url = QFile::encodeName(path);
    xmlDocPtr doc = xmlCtxtReadIO(ctxt, readFromFile, closeNothing, &file, url.constData(), nullptr,
                                  kParseOptions);
    const bool ok = doc != nullptr && ctxt->wellFormed;
    xmlFreeParserCtxt(ctxt);
    if (!ok) {
        if (doc)
            xmlFreeDoc(doc);
        file.seek(0);
        fillError(scope, decodeForReport(file.readAll()), error);
        if (error.reason.isEmpty())
            error.reason = QStringLiteral("The document could not be parsed.");
        return nullptr;
    }
    if (doc->standalone != -1)
        addDeclarationNode(doc, declarationFromFields(doc));
    return doc;
}

namespace {

struct SinkContext {
    const std::function<bool(const char*, int)>* sink;
    bool failed = false;
};

int writeToSink(void* context, const char* buffer, int len) {
    auto* c = static_cast<SinkContext*>(context);
    if (c->failed || !(*c->sink)(buffer, len)) {
        c->failed = true;
        return -1;
    }
    return len;
}

void saveWith(const QByteArray& encoding, const std::function<bool(const char*, int)>& sink,
              const std::function<void(xmlSaveCtxtPtr)>& body) {
    SinkContext context{&sink};
    ErrorCapture scope; // keeps libxml2 from printing conversion errors
    xmlSaveCtxtPtr save = xmlSaveToIO(writeToSink, closeNothing, &context,
                                      encoding.isEmpty() ? "UTF-8" : encoding.constData(),
                                      XML_SAVE_FORMAT | XML_SAVE_NO_DECL);
    if (!save)
        throw XmlError(QStringLiteral("The encoding \"%1\" is not supported.").arg(QString::fromLatin1(encoding)));
    body(save);
    xmlSaveClose(save);
    if (context.failed)
        throw XmlError(QStringLiteral("The document could not be written."));
    if (scope.have)
        throw XmlError(scope.reason);
}

} // namespace

QByteArray serialize(xmlDocPtr doc, xmlNodePtr node) {
    QByteArray out;
    const std::function<bool(const char*, int)> sink = [&out](const char* b, int n) {
        out.append(b, n);
        return true;
    };
    saveWith("UTF-8", sink, [&](xmlSaveCtxtPtr save) {
        if (node == reinterpret_cast<xmlNodePtr>(doc))
            xmlSaveDoc(save, doc);
        else
            xmlSaveTree(save, node);
    });
    return out;
}

void serializeDocument(xmlDocPtr doc, const QByteArray& encoding,
                       const std::function<bool(const char*, int)>& sink) {
    saveWith(encoding, sink, [&](xmlSaveCtxtPtr save) { xmlSaveDoc(save, doc); });
}

} // namespace xmlimpl
