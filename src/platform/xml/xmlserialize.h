#pragma once

// Writing documents out, and copies of them for readers.

#include <libxml/tree.h>

#include <QByteArray>
#include <functional>

class XmlDocument;
struct XmlStorage;

namespace xmlimpl {

using TextSink = std::function<bool(const char*, int)>;
// Serialises a node (or the whole document) to UTF-8 markup, element-only content indented.
QByteArray serialize(const XmlStorage& storage, xmlNodePtr node);
// The same, streamed to a sink; false from the sink stops with XmlError. True when the whole
// document was written over its source, in the layout it was read with.
bool serializeTo(const XmlStorage& storage, xmlNodePtr node, const TextSink& sink);
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

} // namespace xmlimpl
