#pragma once

#include <QString>

#include <libxml/parser.h>

// Empty when `text` parses as XML with namespaces (every prefix declared, no attribute twice by
// namespace and name), else what went wrong. The editor's own loader forgives namespace errors;
// a saved file must not need that.
inline QString NamespaceProblem(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    xmlDocPtr doc =
        xmlCtxtReadMemory(context, utf8.constData(), static_cast<int>(utf8.size()), nullptr,
                          nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    QString problem;
    if (!doc || !context->wellFormed || !context->nsWellFormed) {
        const xmlError* error = xmlCtxtGetLastError(context);
        problem = error && error->message ? QString::fromUtf8(error->message).trimmed()
                                          : QStringLiteral("not namespace-well-formed");
    }
    xmlFreeDoc(doc);
    xmlFreeParserCtxt(context);
    return problem;
}
