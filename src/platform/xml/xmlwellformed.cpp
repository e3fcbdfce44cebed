#include "platform/xml/xmlwellformed.h"

#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlparse.h"
#include "platform/xml/xmlparseguard.h"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

namespace {

using namespace xmlimpl;

// The parse keeps the document's type declaration and entities, which well-formedness depends on,
// and drops everything else as it is read.
struct Check {
    ParseGuard* guard = nullptr;
    const std::atomic<bool>* stop = nullptr;
    int depth = 0;
};

thread_local Check* t_check = nullptr;

void startElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*, int nbNamespaces,
                  const xmlChar** namespaces, int, int, const xmlChar**) {
    Check& check = *t_check;
    if (check.stop && check.stop->load(std::memory_order_relaxed)) {
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
        return;
    }
    check.guard->enterElement(++check.depth, nbNamespaces, namespaces);
    if (check.guard->refused())
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

void endElement(void*, const xmlChar*, const xmlChar*, const xmlChar*) {
    --t_check->depth;
}

void ignoreText(void*, const xmlChar*, int) {}

} // namespace

XmlWellFormedness CheckWellFormed(QByteArrayView text, const std::atomic<bool>* stop) {
    XmlWellFormedness answer;
    if (text.isEmpty()) {
        answer.error = {QStringLiteral("Document is empty"), {}, 1, 1};
        return answer;
    }
    ErrorCapture capture;
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size()));
    if (!ctxt) {
        answer.error.reason = QStringLiteral("Out of memory");
        return answer;
    }
    xmlSwitchEncoding(ctxt, XML_CHAR_ENCODING_UTF8);
    xmlCtxtUseOptions(ctxt, parseOptions() | XML_PARSE_IGNORE_ENC);
    ParseGuard guard(ctxt);
    Check check{&guard, stop, 0};
    Check* const outer = std::exchange(t_check, &check);
    xmlSAXHandlerPtr sax = ctxt->sax;
    sax->getParameterEntity = noteParameterEntity;
    sax->startElementNs = startElement;
    sax->endElementNs = endElement;
    // Handlers that take nothing rather than none: without one, libxml2 words some errors
    // differently.
    sax->characters = ignoreText;
    sax->ignorableWhitespace = ignoreText;
    sax->cdataBlock = ignoreText;
    sax->comment = [](void*, const xmlChar*) {};
    sax->processingInstruction = [](void*, const xmlChar*, const xmlChar*) {};
    sax->reference = [](void*, const xmlChar*) {};
    xmlParseDocument(ctxt);
    t_check = outer;
    answer.stopped = stop && stop->load();
    xmlDocPtr doc = ctxt->myDoc;
    answer.wellFormed = !answer.stopped && doc && ctxt->wellFormed && ctxt->nsWellFormed &&
                        !guard.refused() && guard.check(doc);
    if (!answer.wellFormed && !answer.stopped) {
        const bool own = !guard.reason().isEmpty();
        answer.error.reason = own ? guard.reason() : capture.reason;
        answer.error.line = own ? guard.line() : capture.line;
        answer.error.linepos = own ? guard.column() : capture.column;
        if (answer.error.reason.isEmpty())
            answer.error.reason = QStringLiteral("The document could not be parsed.");
    }
    if (doc)
        xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    return answer;
}
