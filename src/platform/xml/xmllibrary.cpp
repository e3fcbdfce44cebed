#include "platform/xml/xmllibrary.h"

#include <libxml/catalog.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include <QFileInfo>
#include <QUrl>

#include <mutex>

namespace xmlimpl {
namespace {

thread_local LocalFileReads* t_localReads = nullptr;

void ignoreGenericError(void*, const char*, ...) {}

// Asked for every resource from outside the document (an external DTD or entity, a schema).
// XML catalogs (the system's, and those XML_CATALOG_FILES names) give the local copy of a public
// resource first: a DocBook DTD named by its public identifier is read from where Debian puts it.
// libxml2's catalogs lock themselves with a lock of their own that a thread can be left waiting on
// for ever when two threads read catalogs at once: one thread at a time resolves here. It may
// come back here while it reads a catalog file.
std::recursive_mutex s_catalogs;

// A local file named without a public identifier is itself already.
bool needsCatalog(const char* url, const char* id) {
    if (id)
        return true;
    const QString scheme = QUrl(QString::fromUtf8(url)).scheme().toLower();
    return !scheme.isEmpty() && scheme != QLatin1String("file");
}

xmlChar* resolveInCatalogs(const char* url, const char* id) {
    if (!needsCatalog(url, id))
        return nullptr;
    std::lock_guard lock(s_catalogs);
    return xmlCatalogResolve(reinterpret_cast<const xmlChar*>(id),
                             reinterpret_cast<const xmlChar*>(url));
}

xmlParserInputPtr loadExternalResource(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
    LocalFileReads* reads = t_localReads;
    if (!reads || (!url && !id))
        return nullptr;
    xmlChar* local = resolveInCatalogs(url, id);
    const QString name = QString::fromUtf8(local ? reinterpret_cast<const char*>(local) : url);
    xmlFree(local);
    if (name.isEmpty())
        return nullptr;
    const QUrl address(name);
    const QString scheme = address.scheme().toLower();
    // Only a regular file: a device or a pipe named as a DTD would be read for ever.
    const QString path = scheme.isEmpty() ? name : address.toLocalFile();
    if ((!scheme.isEmpty() && scheme != QLatin1String("file")) ||
        (QFileInfo::exists(path) && !QFileInfo(path).isFile())) {
        if (!reads->refused.contains(name))
            reads->refused.append(name);
        return nullptr;
    }
    return xmlNewInputFromFile(ctxt, name.toUtf8().constData());
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
        {
            std::lock_guard lock(s_catalogs);
            xmlInitializeCatalog();
        }
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
