#pragma once

// Writing a document over the text it was read from: the bytes of every node the user did not
// change are copied as they are, and only what changed is written afresh, in the layout of its
// neighbours. Which nodes may have changed the storage records (XmlStorage::touched and moved);
// each of them is compared with its source, so a change undone writes the old bytes again.

#include <QByteArray>
#include <functional>

struct XmlStorage;

namespace xmlimpl {

using SourceSink = std::function<bool(const char*, int)>;

// The document as UTF-8, without a byte order mark, to `sink`; false, with nothing written, when
// it has no source to write over (made in memory, or its file is no longer the one it was read
// from) or its source does not fit its nodes. Only reads the document: the caller keeps changes
// away meanwhile. A false from the sink stops with XmlError.
bool writeOverSource(const XmlStorage& storage, const SourceSink& sink);

// The file's bytes: the same in `encoding` (as the XML declaration names it; empty for UTF-8),
// with the source's byte order mark in front when the encoding is the source's own.
bool saveOverSource(const XmlStorage& storage, const QByteArray& encoding, const SourceSink& sink);

} // namespace xmlimpl
