#pragma once

#include "platform/xml/xmldocument.h"

#include <atomic>
#include <functional>
#include <memory>

// Keeps a large document that is out of use (the one an undo step would bring back) as its
// markup, compressed, instead of as nodes: a document of a hundred megabytes costs several
// hundred megabytes as nodes and a few as packed text. A worker writes and compresses the text,
// then frees the document and gives its memory back to the system. Until the worker is done,
// the document stays as it was: take() then hands back the very same document.
//
// Text read back is not the same node objects, and what the text cannot tell is not kept:
// adjacent text nodes become one, blank text in element-only content is layout, as on any load.
class XmlPackedDocument {
public:
    // Starts packing `document`; nothing else may hold on to it for the memory to be returned.
    explicit XmlPackedDocument(XmlDocument document);
    // `document` kept as `text`, its own text as written already (XmlDocument::writeXml; over its
    // source when `overSource`), which is held as it is, shared and not compressed: for a text
    // that is held anyway (the one read as the document's replacement). The worker only frees
    // the document.
    XmlPackedDocument(XmlDocument document, const QByteArray& text, bool overSource);
    ~XmlPackedDocument();
    XmlPackedDocument(const XmlPackedDocument&) = delete;
    XmlPackedDocument& operator=(const XmlPackedDocument&) = delete;

    // The document again: the one given, when the worker has not finished with it (the worker is
    // stopped), else a new one read from the packed text, and then `readBack` is set. Throws
    // XmlError when the text does not read back, which the writer never gives. Once only.
    // Reading back takes about as long as a load: `run` (optional) runs that work, on another
    // thread while a window stays alive, say, and returns when it is done.
    using Runner = std::function<void(const std::function<void()>& work)>;
    XmlDocument take(bool* readBack = nullptr, const Runner& run = {});
    // Waits for the worker to finish; whether the document is now held as packed text only.
    bool finish();
    // The length of the packed text; 0 until it is packed.
    qint64 textBytes() const;

    // For tests: runs on the worker before it starts to write, so a test can hold it there until
    // it is released or told to stop (`stop`).
    static void SetBeforePackHook(std::function<void(const std::atomic<bool>& stop)> hook);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
