// Parsing, the XML declaration node and serialisation over libxml2.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <QFile>

#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace xmlimpl {
namespace {

// Nothing may be read from outside the document itself: no external DTD, no external entity,
// no network. libxml2 calls this for every such resource.
xmlParserInputPtr refuseExternalResource(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void ignoreGenericError(void*, const char*, ...) {}

// The first fatal error is what stopped the parse; a namespace error before it did not.
void collectError(void* data, xmlErrorPtr error) {
    auto* capture = static_cast<ErrorCapture*>(data);
    if (error == nullptr || error->level < XML_ERR_ERROR || capture->fatal)
        return;
    if (capture->have && error->level != XML_ERR_FATAL)
        return;
    capture->have = true;
    capture->fatal = error->level == XML_ERR_FATAL;
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

ErrorCapture::~ErrorCapture() {
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

namespace {

constexpr int kParseOptions = XML_PARSE_NOBLANKS | XML_PARSE_NONET;

// libxml2 offers every blank run between elements as ignorable. Only indentation is: a run with
// a line break. A lone space between two inline elements is content and stays.
void keepInlineBlanks(void* context, const xmlChar* chars, int len) {
    for (int i = 0; i < len; ++i) {
        if (chars[i] == '\n' || chars[i] == '\r')
            return;
    }
    xmlSAX2Characters(context, chars, len);
}

// Parses from a prepared context; the document, or nullptr when it is not well-formed.
xmlDocPtr parseWith(xmlParserCtxtPtr ctxt, int options) {
    if (!ctxt)
        throw XmlError(QStringLiteral("Out of memory"));
    xmlCtxtUseOptions(ctxt, options);
    ctxt->sax->ignorableWhitespace = keepInlineBlanks; // after the options, which set their own
    xmlParseDocument(ctxt);
    xmlDocPtr doc = ctxt->myDoc;
    const bool ok = doc != nullptr && ctxt->wellFormed;
    xmlFreeParserCtxt(ctxt);
    if (ok)
        return doc;
    if (doc)
        xmlFreeDoc(doc);
    return nullptr;
}

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
        const qsizetype from =
            qMax<qsizetype>(0, qMin<qsizetype>(column, result.size()) - kHalfWindow);
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
    xmlParserCtxtPtr ctxt =
        xmlCreateMemoryParserCtxt(utf8.constData(), static_cast<int>(utf8.size()));
    // The text is already decoded: an encoding named in its declaration must not apply again.
    if (ctxt)
        xmlSwitchEncoding(ctxt, XML_CHAR_ENCODING_UTF8);
    xmlDocPtr doc = parseWith(ctxt, kParseOptions | XML_PARSE_IGNORE_ENC);
    if (!doc) {
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
        error.reason =
            QStringLiteral("The system cannot open the file %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    ErrorCapture scope;
    xmlDocPtr doc = parseWith(xmlCreateIOParserCtxt(nullptr, nullptr, readFromFile, closeNothing,
                                                    &file, XML_CHAR_ENCODING_NONE),
                              kParseOptions);
    if (!doc) {
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

// The writer indents element-only content, also where xml:space="preserve" says that white
// space matters. An element holding a text node is written as it is, so for the time of writing
// each such element gets an empty one.
class PreserveSpaceMarks {
public:
    explicit PreserveSpaceMarks(xmlNodePtr root) {
        std::vector<xmlNodePtr> stack{root};
        while (!stack.empty()) {
            xmlNodePtr n = stack.back();
            stack.pop_back();
            if (n->type != XML_ELEMENT_NODE && n->type != XML_DOCUMENT_NODE)
                continue;
            bool hasText = false;
            for (xmlNodePtr c = n->children; c; c = c->next) {
                hasText |= c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE ||
                           c->type == XML_ENTITY_REF_NODE;
                stack.push_back(c);
            }
            if (hasText || !n->children || n->type != XML_ELEMENT_NODE || !preserves(n))
                continue;
            xmlNodePtr mark = xmlNewDocText(n->doc, BAD_CAST "");
            xmlAddPrevSibling(n->children, mark);
            m_marks.push_back(mark);
        }
    }
    ~PreserveSpaceMarks() {
        for (xmlNodePtr mark : m_marks) {
            xmlUnlinkNode(mark);
            xmlFreeNode(mark);
        }
    }
    PreserveSpaceMarks(const PreserveSpaceMarks&) = delete;
    PreserveSpaceMarks& operator=(const PreserveSpaceMarks&) = delete;

private:
    static bool preserves(xmlNodePtr element) {
        xmlAttrPtr space = xmlHasNsProp(element, BAD_CAST "space", XML_XML_NAMESPACE);
        if (!space || !space->children)
            return false;
        return xmlStrEqual(space->children->content, BAD_CAST "preserve");
    }
    std::vector<xmlNodePtr> m_marks;
};

void saveWith(const QByteArray& encoding, const std::function<bool(const char*, int)>& sink,
              const std::function<void(xmlSaveCtxtPtr)>& body) {
    SinkContext context{&sink};
    ErrorCapture scope; // keeps libxml2 from printing conversion errors
    xmlSaveCtxtPtr save = xmlSaveToIO(writeToSink, closeNothing, &context,
                                      encoding.isEmpty() ? "UTF-8" : encoding.constData(),
                                      XML_SAVE_FORMAT | XML_SAVE_NO_DECL);
    if (!save)
        throw XmlError(QStringLiteral("The encoding \"%1\" is not supported.")
                           .arg(QString::fromLatin1(encoding)));
    body(save);
    xmlSaveClose(save);
    if (context.failed)
        throw XmlError(QStringLiteral("The document could not be written."));
    if (scope.have)
        throw XmlError(scope.reason);
}

} // namespace

QByteArray serialize(xmlDocPtr doc, xmlNodePtr node) {
    // The marks below change the tree for a moment.
    if (doc->_private)
        static_cast<XmlStorage*>(doc->_private)->readerGate.stopReader();
    QByteArray out;
    const std::function<bool(const char*, int)> sink = [&out](const char* b, int n) {
        out.append(b, n);
        return true;
    };
    PreserveSpaceMarks marks(node);
    saveWith("UTF-8", sink, [&](xmlSaveCtxtPtr save) {
        if (node == reinterpret_cast<xmlNodePtr>(doc))
            xmlSaveDoc(save, doc);
        else
            xmlSaveTree(save, node);
    });
    return out;
}

namespace {

bool isUnicodeEncoding(const QByteArray& encoding) {
    const QByteArray e = encoding.toUpper().replace('-', "").replace('_', "");
    return e.isEmpty() || e.startsWith("UTF") || e.startsWith("UCS") || e.startsWith("UNICODE");
}

// Text and attribute values can carry any character as a character reference; names, comments,
// processing instructions and CDATA sections cannot. Before writing in a single-byte encoding,
// every such part is checked, so that no file is written that says something else.
void checkRepresentable(xmlDocPtr doc, const QByteArray& encoding) {
    iconv_t converter = iconv_open(encoding.constData(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return; // unknown to iconv: libxml2 reports the encoding itself
    auto fits = [&](const xmlChar* text) {
        if (!text)
            return true;
        char* in = const_cast<char*>(reinterpret_cast<const char*>(text));
        size_t inLeft = std::strlen(in);
        char buffer[256];
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) &&
                errno != E2BIG)
                return false;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        return true;
    };
    QString offending;
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = doc->children; c; c = c->next)
        stack.push_back(c);
    while (!stack.empty() && offending.isEmpty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        switch (n->type) {
        case XML_ELEMENT_NODE:
            if (!fits(n->name) || (n->ns && !fits(n->ns->prefix)))
                offending = QStringLiteral("the element name '%1'").arg(qs(n->name));
            for (xmlAttrPtr a = n->properties; a && offending.isEmpty(); a = a->next) {
                if (!fits(a->name))
                    offending = QStringLiteral("the attribute name '%1'").arg(qs(a->name));
            }
            for (xmlNodePtr c = n->children; c; c = c->next)
                stack.push_back(c);
            break;
        case XML_COMMENT_NODE:
            if (!fits(n->content))
                offending = QStringLiteral("the comment '%1'").arg(qs(n->content).left(40));
            break;
        case XML_PI_NODE:
            if (!fits(n->name) || !fits(n->content))
                offending = QStringLiteral("the processing instruction '%1'").arg(qs(n->name));
            break;
        case XML_CDATA_SECTION_NODE:
            if (!fits(n->content))
                offending = QStringLiteral("the CDATA section '%1'").arg(qs(n->content).left(40));
            break;
        default:
            break;
        }
    }
    iconv_close(converter);
    if (!offending.isEmpty())
        throw XmlError(
            QStringLiteral("The document cannot be saved in the encoding %1: %2 holds a character "
                           "that this encoding cannot represent.")
                .arg(QString::fromLatin1(encoding), offending));
}

} // namespace

void serializeDocument(xmlDocPtr doc, const QByteArray& encoding,
                       const std::function<bool(const char*, int)>& sink) {
    if (doc->_private)
        static_cast<XmlStorage*>(doc->_private)->readerGate.stopReader();
    if (!isUnicodeEncoding(encoding))
        checkRepresentable(doc, encoding);
    PreserveSpaceMarks marks(reinterpret_cast<xmlNodePtr>(doc));
    saveWith(encoding, sink, [&](xmlSaveCtxtPtr save) { xmlSaveDoc(save, doc); });
}

} // namespace xmlimpl
