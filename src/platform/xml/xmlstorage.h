#pragma once

// The XML layer's private parts, shared by its translation units.

#include "platform/xml/xmlnode.h"
#include "platform/xml/xmlparseerror.h"

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct XmlDocumentObject;

// Lets one worker thread read a document while the user-interface thread goes on. From the
// moment a read is started until the worker has finished it, anything that would change the
// document (or write into it for a moment, as serialising does) first tells the worker to stop
// and waits for it, which takes at most one buffer of output. A read that must not be stopped
// makes the change wait until it is done instead.
struct XmlReaderGate {
    std::mutex mutex;
    std::condition_variable finished;
    bool reading = false;
    std::atomic<bool> stop{false};
    bool stoppable = true;

    // On the user-interface thread, before the worker starts.
    void begin(bool canStop) {
        std::lock_guard<std::mutex> lock(mutex);
        reading = true;
        stoppable = canStop;
        stop.store(false);
    }
    // On the worker, when it no longer reads.
    void end() {
        std::lock_guard<std::mutex> lock(mutex);
        reading = false;
        finished.notify_all();
    }
    void stopReader(bool force = false) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!reading)
            return;
        if (stoppable || force)
            stop.store(true);
        finished.wait(lock, [this] { return !reading; });
    }
};

// One libxml2 document and every node ever created for it. Nodes taken out of the tree are
// kept here (not freed) so that handles to them stay valid; all are freed with the storage.
struct XmlStorage : std::enable_shared_from_this<XmlStorage> {
    explicit XmlStorage(xmlDocPtr d) : doc(d) {}
    ~XmlStorage();
    XmlStorage(const XmlStorage&) = delete;
    XmlStorage& operator=(const XmlStorage&) = delete;

    void keepDetached(xmlNodePtr node) { detached.insert(node); }
    void attach(xmlNodePtr node) { detached.erase(node); }
    void aboutToChange(xmlNodePtr container);
    // The document type declaration as read, when the node is one that was parsed.
    const QByteArray* doctypeTextOf(xmlNodePtr node) const {
        const auto found = doctypeTexts.find(node);
        return found == doctypeTexts.end() ? nullptr : &found->second;
    }

    xmlDocPtr doc;
    std::unordered_set<xmlNodePtr> detached;
    // Keyed by the DTD node, wherever it is moved: its text is written instead of libxml2's.
    std::unordered_map<xmlNodePtr, QByteArray> doctypeTexts;
    std::vector<XmlChangeListener*> listeners;
    quint64 revision = 0;
    std::weak_ptr<XmlDocumentObject> owner;
    mutable XmlReaderGate readerGate;
};

struct XmlDocumentObject {
    std::shared_ptr<XmlStorage> storage;
    XmlParseError parseError;
};

namespace xmlimpl {

inline QString qs(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}
inline const xmlChar* xc(const QByteArray& b) {
    return reinterpret_cast<const xmlChar*>(b.constData());
}

std::shared_ptr<XmlStorage> newStorage(xmlDocPtr doc);

// While alive, keeps libxml2 from printing and records its first error.
struct ErrorCapture {
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    bool have = false;
    bool fatal = false;
    QString reason;
    int line = 0;
    int column = 0;
};

// Validity checks shared by node creation and the setters; each throws XmlError.
void checkName(const QString& name, const char* what);
void checkChars(const QString& text);
void checkComment(const QString& text);
void checkPI(const QString& target, const QString& data);

// Serialises a node (or the whole document) to UTF-8 markup, element-only content indented.
QByteArray serialize(const XmlStorage& storage, xmlNodePtr node);
// Serialises the document in the given encoding, streaming to a sink; false from the sink stops.
// Throws XmlError for an encoding whose file could not be read back as it was written.
void serializeDocument(const XmlStorage& storage, const QByteArray& encoding,
                       const std::function<bool(const char*, int)>& sink);

// A parsed document (nullptr when it is not well-formed) with the text of its document type
// declaration as read.
struct ParsedDocument {
    xmlDocPtr doc = nullptr;
    QByteArray doctypeText;
};

// Parsing: a document, or none with the parse error filled in.
ParsedDocument parseText(const QByteArray& utf8, XmlParseError& error);
ParsedDocument parseFile(const QString& path, XmlParseError& error);

// Puts the XML declaration of a parsed document in front of its children as a processing
// instruction with the target "xml".
void addDeclarationNode(xmlDocPtr doc, const QString& declarationData);

} // namespace xmlimpl
