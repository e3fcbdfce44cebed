#include "platform/xml/xmllibrary.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include <QUrl>

#include <malloc.h>

namespace xmlimpl {
namespace {

thread_local LocalFileReads* t_localReads = nullptr;

void ignoreGenericError(void*, const char*, ...) {}

// Asked for every resource from outside the document (an external DTD or entity, a schema).
xmlParserInputPtr loadExternalResource(const char* url, const char*, xmlParserCtxtPtr ctxt) {
    LocalFileReads* reads = t_localReads;
    if (!reads || !url)
        return nullptr;
    const QString name = QString::fromUtf8(url);
    const QString scheme = QUrl(name).scheme().toLower();
    if (!scheme.isEmpty() && scheme != QLatin1String("file")) {
        if (!reads->refused.contains(name))
            reads->refused.append(name);
        return nullptr;
    }
    return xmlNewInputFromFile(ctxt, url);
}

// The first fatal error is what stopped the parse; a namespace error before it did not.
void collectError(void* data, xmlErrorPtr error) {
    auto* capture = static_cast<ErrorCapture*>(data);
    if (error == nullptr || error->level < XML_ERR_ERROR || capture->fatal)
        return;
    if (capture->have && error->level != XML_ERR_FATAL)
        return;
    capture->have = true;
    capture->fatal = error->level == XML_ERR_FATAL;
    const char* message = error->message ? error->message : "";
    capture->reason = QString::fromUtf8(message).trimmed();
    capture->line = error->line;
    capture->column = error->int2;
}

} // namespace

void UseLibrary() {
    static const bool program = [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(loadExternalResource);
        // A parse aside uses an allocator arena of its own, and such an arena makes each page it
        // grows by accessible with a system call of its own: 200,000 of them for a 100 MB file,
        // each stopping the other threads' processors. With this padding a new heap of the arena
        // is made accessible whole, at once.
        mallopt(M_TOP_PAD, 64 << 20);
        return true;
    }();
    thread_local const bool thread = [] {
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        return true;
    }();
    (void)program;
    (void)thread;
}

LocalFileReads::LocalFileReads() : m_previous(t_localReads) {
    t_localReads = this;
}

LocalFileReads::~LocalFileReads() {
    t_localReads = m_previous;
}

ErrorCapture::ErrorCapture() {
    UseLibrary();
    xmlSetStructuredErrorFunc(this, collectError);
}

ErrorCapture::~ErrorCapture() {
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

} // namespace xmlimpl
