#pragma once

// The XML layer's private parts, shared by its translation units.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlnode.h"
#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlparseerror.h"

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct XmlDocumentObject;
class XmlHistory;

namespace xmlimpl {
class XmlJournal;
}
class XmlDocument;

// Lets worker threads read a document while the user-interface thread goes on. From the moment
// a read is started until the worker has finished it, anything that would change the document
// (or write into it for a moment, as serialising does) first tells the workers to stop and waits
// for them, which takes at most one buffer of output each. A read that must not be stopped makes
// the change wait until it is done instead. Several reads may run at once (a recovery copy being
// written while the text view's text is prepared); each has a stop flag of its own.
struct XmlGateReader {
    std::atomic<bool> stop{false};
    bool stoppable = true;
};

struct XmlReaderGate {
    using Reader = XmlGateReader;

    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::shared_ptr<Reader>> readers;

    // On the user-interface thread, before the worker starts.
    std::shared_ptr<Reader> begin(bool canStop) {
        auto reader = std::make_shared<Reader>();
        reader->stoppable = canStop;
        std::lock_guard<std::mutex> lock(mutex);
        readers.push_back(reader);
        return reader;
    }
    // On the worker, when it no longer reads.
    void end(const std::shared_ptr<Reader>& reader) {
        std::lock_guard<std::mutex> lock(mutex);
        std::erase(readers, reader);
        finished.notify_all();
    }
    // Stops the reads that may be stopped and waits for every read to end.
    void stopReader() {
        std::unique_lock<std::mutex> lock(mutex);
        for (const auto& reader : readers) {
            if (reader->stoppable)
                reader->stop.store(true);
        }
        finished.wait(lock, [this] { return readers.empty(); });
    }
    // Stops one read, whether it may be stopped or not, and waits for it to end.
    void stopReader(const std::shared_ptr<Reader>& reader) {
        std::unique_lock<std::mutex> lock(mutex);
        reader->stop.store(true);
        finished.wait(lock, [&] {
            return std::find(readers.begin(), readers.end(), reader) == readers.end();
        });
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
    // Before every change made by the XML layer's primitives. A change made while no step is
    // open cannot be undone, and the steps before it could not be undone exactly across it: it
    // ends the document's undo history.
    void aboutToChange(xmlNodePtr container);
    // Stops a background reader, counts the change and tells the listeners, as undo and redo do.
    void notifyChange(xmlNodePtr container);
    // Ends the undo history of the document whose content this is.
    void forgetHistory() const;
    // The document type declaration as read, when the node is one that was parsed.
    const QByteArray* doctypeTextOf(xmlNodePtr node) const {
        const auto found = doctypeTexts.find(node);
        return found == doctypeTexts.end() ? nullptr : &found->second;
    }

    xmlDocPtr doc;
    std::unordered_set<xmlNodePtr> detached;
    // Keyed by the DTD node, wherever it is moved: its text is written instead of libxml2's.
    std::unordered_map<xmlNodePtr, QByteArray> doctypeTexts;
    // Elements made by createElement and never linked: their name takes its namespace from the
    // place they are first linked to, as a parser would give it there.
    std::unordered_set<xmlNodePtr> unplaced;
    // Declarations taken off their element; nodes out of the tree may still refer to them.
    std::unordered_set<xmlNsPtr> removedDeclarations;
    // The record of the step open on this document (xmlhistory.h), which every primitive tells
    // what it is about to replace.
    xmlimpl::XmlJournal* journal = nullptr;
    std::vector<XmlChangeListener*> listeners;
    quint64 revision = 0;
    quint64 previousRevision = 0; // before the change now being made
    qint64 sourceBytes = 0;       // of the text read into it
    // The element last taken out of the tree, with the declarations in scope where it stood, so
    // that putting it back under the same ones (a move) needs no pass over its subtree.
    struct Detached {
        xmlNodePtr node = nullptr;
        quint64 revision = 0;
        std::vector<xmlNsPtr> scope;
    } lastDetached;
    std::weak_ptr<XmlDocumentObject> owner;
    mutable XmlReaderGate readerGate;
    // One query at a time: a query takes the XML declaration out of the tree while it runs (and
    // one that was abandoned may still be running on another thread).
    std::mutex queryMutex;
};

struct XmlDocumentObject {
    std::shared_ptr<XmlStorage> storage;
    XmlParseError parseError;
    // Made when first asked for; moves to the document that replaces this one (replaceDocument).
    std::shared_ptr<XmlHistory> history;
};

namespace xmlimpl {

// UTF-8 to a string, keeping a leading U+FEFF (content here, not a byte order mark).
inline QString qs(const xmlChar* s) {
    if (!s)
        return {};
    const char* c = reinterpret_cast<const char*>(s);
    if (c[0] == '\xEF' && c[1] == '\xBB' && c[2] == '\xBF')
        return QChar(0xFEFF) + QString::fromUtf8(c + 3);
    return QString::fromUtf8(c);
}
inline const xmlChar* xc(const QByteArray& b) {
    return reinterpret_cast<const xmlChar*>(b.constData());
}

std::shared_ptr<XmlStorage> newStorage(xmlDocPtr doc);

// libxml2 keeps an element's line in 16 bits; a parsed element's line past that is kept in its
// `_private` (which nothing else uses). Copies do not take it along.
constexpr int kLineLimit = 65535;
inline void keepBigLine(xmlNodePtr element, int line) {
    if (line >= kLineLimit)
        element->_private = reinterpret_cast<void*>(static_cast<intptr_t>(line));
}
// The line an element was parsed at; 0 when not known.
inline int lineOf(xmlNodePtr element) {
    if (element->line < kLineLimit)
        return element->line;
    return static_cast<int>(reinterpret_cast<intptr_t>(element->_private));
}

// Validity checks shared by node creation and the setters; each throws XmlError.
void checkName(const QString& name, const char* what);
void checkChars(const QString& text);
void checkComment(const QString& text);
void checkPI(const QString& target, const QString& data);
// A comment's, CDATA section's or processing instruction's value as a reader of the saved file
// gets it: no carriage return can be written there (line ends become line feeds), and the blanks
// that start processing-instruction data belong to the space after the target.
QString asReadBack(const QString& value, bool processingInstruction = false);

// Namespaces (xmlnamespaces.cpp). Names are kept lexically exact: every element and attribute
// refers to the declaration its prefix finds in scope, so the serialisation means what the DOM
// holds.
//
// The declaration `prefix` (nullptr: the default namespace) finds from `element` upwards, its
// own declarations first; nullptr when there is none. An `xmlns=""` is returned as it is.
xmlNsPtr declarationInScope(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix);
// Throws XmlError unless the name is an NCName or prefix:NCName (the prefix not "xmlns").
void checkQualifiedName(const QString& qualifiedName, bool attribute);
// The namespace a qualified name of `element` (or of its attribute) gets under `parent`, the
// element's own declarations first: a prefix must be declared (XmlError otherwise), an
// unprefixed element name takes the default namespace, an unprefixed attribute none. Nothing is
// changed. `element` may be nullptr, `parent` the document or nullptr.
xmlNsPtr namespaceForName(xmlDocPtr doc, xmlNodePtr element, xmlNodePtr parent,
                          const QString& qualifiedName, bool attribute);
// After `node` was linked at a new place: every element and attribute of its subtree keeps its
// namespace, with declarations added only where the new place does not already give it. Each
// repoint and added declaration goes to `journal` when there is one.
void keepNamespaces(xmlDocPtr doc, xmlNodePtr node, XmlJournal* journal);
// The declaration each prefix finds at `place` (an element, the document or nullptr), by address:
// a subtree whose names were right in one place is right in any place with the same list.
std::vector<xmlNsPtr> declarationsInScope(xmlNodePtr place);
// The same for the attributes of `element` alone: declarations it needs go on the element, with
// prefixes no descendant can be using.
void keepAttributeNamespaces(xmlDocPtr doc, xmlNodePtr element, XmlJournal* journal);
// After libxml2 copied `original` to `copy`: every copied name has the namespace of its original.
// libxml2 looks a copied name's declaration up by prefix, in the copy and above the original; a
// subtree held outside the tree points to declarations above the place it was taken from, which
// neither look-up reaches, and libxml2 then drops an attribute's namespace or gives an element a
// made-up prefix. A declaration the copy lacks goes on its root; where the root binds that
// prefix otherwise, the copy points to the original's declaration when `sameDocument` (the
// place it is linked to declares it), else to a fresh prefix.
void keepCopiedNamespaces(xmlNodePtr original, xmlNodePtr copy, bool sameDocument);
// Throws XmlError when declaring `prefix` as `href` on `element` (href nullptr: removing its
// declaration) would change the namespace of any name in its scope.
void checkDeclarationChange(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix,
                            const xmlChar* href);

using TextSink = std::function<bool(const char*, int)>;
// Serialises a node (or the whole document) to UTF-8 markup, element-only content indented.
QByteArray serialize(const XmlStorage& storage, xmlNodePtr node);
// The same, streamed to a sink; false from the sink stops with XmlError.
void serializeTo(const XmlStorage& storage, xmlNodePtr node, const TextSink& sink);
// The same for the whole document, only reading it, when writing needs nothing in it changed for
// the time (no layout marks, no namespace values to escape, no document type declaration);
// false, with nothing written, otherwise. The caller keeps changes away while it runs.
bool serializeInPlace(const XmlStorage& storage, const TextSink& sink);
// A deep copy of a document that shares nothing with it; it only reads `source`, so a worker may
// make it while the gate keeps changes out.
XmlDocument snapshotOf(const XmlStorage& source);
// The same, made faster for a reader that drops it soon: on two threads where the document is
// large, each name its own (so larger). Throws XmlError when memory runs out.
XmlDocument quickCopyOf(const XmlStorage& source);
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
// `progress` (optional) counts the bytes read; a stop asked for there ends the parse with no
// document and no error.
ParsedDocument parseFile(const QString& path, XmlParseError& error,
                         WorkProgress* progress = nullptr);

// Puts the XML declaration of a parsed document in front of its children as a processing
// instruction with the target "xml".
void addDeclarationNode(xmlDocPtr doc, const QString& declarationData);

} // namespace xmlimpl
