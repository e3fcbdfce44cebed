#include "fuzz/fuzzcheck.h"

#include "platform/xml/xmlerror.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char* rule, const QString& detail) {
    std::fprintf(stderr, "\n*** XML layer rule broken: %s\n%s\n", rule,
                 detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void trace(const QString& what, const QString& outcome) {
    static const bool on = qEnvironmentVariableIsSet("ORVEL_FUZZ_TRACE");
    if (on)
        std::fprintf(stderr, "%s: %s\n", what.toUtf8().constData(), outcome.toUtf8().constData());
}

bool avoided(const char* faultClass) {
    static const QStringList avoid =
        qEnvironmentVariable("ORVEL_FUZZ_AVOID").split(QLatin1Char(','), Qt::SkipEmptyParts);
    return avoid.contains(QLatin1String(faultClass));
}

namespace {
void collectProblem(void* data, xmlErrorPtr error) {
    auto* problem = static_cast<QString*>(data);
    if (!error || !problem->isEmpty())
        return;
    const bool namespaceError =
        error->domain == XML_FROM_NAMESPACE && error->level >= XML_ERR_ERROR;
    if (error->level != XML_ERR_FATAL && !namespaceError)
        return;
    *problem = QStringLiteral("line %1: %2")
                   .arg(error->line)
                   .arg(QString::fromUtf8(error->message ? error->message : "").trimmed());
}
} // namespace

QString strictParseProblem(const QByteArray& bytes, Bytes kind) {
    QString problem;
    // The editor lifts libxml2's limits of depth and size (keeping its own guards), so does this.
    int options = XML_PARSE_NONET | XML_PARSE_HUGE;
    const char* encoding = nullptr;
    if (kind == Bytes::Decoded) {
        options |= XML_PARSE_IGNORE_ENC;
        encoding = "UTF-8";
    }
    xmlSetStructuredErrorFunc(&problem, collectProblem);
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "check.xml",
                                  encoding, options);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    if (!doc && problem.isEmpty())
        problem = QStringLiteral("not well-formed");
    xmlFreeDoc(doc);
    return problem;
}

QString serialised(const XmlDocument& doc) {
    try {
        return doc.xml();
    } catch (const XmlError& e) {
        fail("the document cannot be serialised", e.description());
    }
}

} // namespace fuzz
