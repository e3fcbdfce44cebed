#pragma once

// The XML layer's private parts: a document's storage, shared by the layer's translation units.

#include "platform/xml/xmlparseerror.h"
#include "platform/xml/xmlsource.h"

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct XmlDocumentObject;
class XmlHistory;

namespace xmlimpl {
class XmlJournal;
}
class XmlDocument;
class XmlChangeListener;

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
    // Stops the background readers, counts the change and tells the listeners: before every change
    // a primitive makes (XmlEdit) and every one undo and redo make.
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
    // The text it was read from, and what has changed since: the nodes whose value, name,
    // attributes, declarations or children changed, and the nodes linked or unlinked. Kept until
    // the content is replaced; undoing a change leaves its nodes here, to be compared.
    xmlimpl::XmlSource source;
    mutable std::mutex sourceMutex;
    // The memory its nodes took at `revision`, measured beforehand (XmlDocument::prepareReplacement).
    struct Measured {
        quint64 revision = 0;
        size_t bytes = 0;
    };
    std::optional<Measured> measured;
    std::unordered_set<xmlNodePtr> touched;
    std::unordered_set<xmlNodePtr> moved;
    std::unordered_set<xmlNodePtr> regrouped; // containers a child was linked to or unlinked from
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

// UTF-8 to a string, keeping every leading U+FEFF (content here, not a byte order mark, and
// QString::fromUtf8 would drop one).
inline QString contentFromUtf8(QByteArrayView utf8) {
    if (!utf8.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(utf8);
    QStringDecoder keepingMarks(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return keepingMarks(utf8);
}
inline QString qs(const xmlChar* s) {
    return s ? contentFromUtf8(QByteArrayView(reinterpret_cast<const char*>(s))) : QString();
}
// Whether a namespace name is a URI reference as libxml2 judges it when it reads the name from a
// file again: it checks the value as it holds it, with "&#38;" for each ampersand, so that a
// name with an ampersand and a "#" would not load again.
bool isRereadableNamespaceName(const QByteArray& uri);
inline const xmlChar* xc(const QByteArray& b) {
    return reinterpret_cast<const xmlChar*>(b.constData());
}

std::shared_ptr<XmlStorage> newStorage(xmlDocPtr doc);
// Revisions are unique across documents, also those made on worker threads.
quint64 nextRevision();

} // namespace xmlimpl
