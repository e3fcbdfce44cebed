#pragma once

#include <atomic>
#include <functional>

struct XmlStorage;

namespace xmlimpl {

// Writes a document's markup straight from the tree, reading it only: the ordinary writer
// changes the tree for a moment (layout marks, escaped namespace values, the document type
// declaration as read), which a worker thread must not do. No layout is added; the text is
// UTF-8 whatever the declaration names, so it is read back as text, not as a file in that
// encoding. `sink` gets the text in pieces of about 64 KB; false from it, or `stop` set, ends the
// write with false.
bool writePlain(const XmlStorage& storage, const std::function<bool(const char*, int)>& sink,
                const std::atomic<bool>& stop);

} // namespace xmlimpl
