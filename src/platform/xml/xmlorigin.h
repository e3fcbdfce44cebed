#pragma once

// Where each parsed node stood in the text it was read from, kept in the node itself, so that a
// save can copy the bytes of every node the user did not change (xmlsourcewrite.h).
//
// Every node the parser makes gets its lead: the offset in the source just past whatever came
// before it (the previous node, the parent's start tag). A text node starts there; any other node
// at the first '<' (or '&' of an entity reference) from there, since character data holds neither.
// An element also keeps its end (just past its end tag, or its "/>"), and whether the blank text
// between its children was layout, dropped at load (xmlwhitespace.h). Offsets count bytes of the
// source as UTF-8, as libxml2 decoded it. Copies of nodes take none of it along.

#include <libxml/tree.h>

#include <QtGlobal>
#include <cstdint>

namespace xmlimpl {

// `_private` holds the lead (plus one, so that 0 is none) in its low bits and, for an element, its
// line when libxml2's own 16 bits cannot hold it in the high ones.
constexpr int kLeadBits = 36;
constexpr uint64_t kLeadMask = (uint64_t(1) << kLeadBits) - 1;
constexpr qint64 kLargestSource = qint64(kLeadMask) - 1;
constexpr int kLineLimit = 65535;
constexpr uint64_t kLargestLine = (uint64_t(1) << (64 - kLeadBits)) - 1;

inline uint64_t privateBits(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}
inline void* asPrivate(uint64_t bits) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}

inline void setLead(xmlNodePtr node, qint64 at) {
    if (at < 0 || at > kLargestSource)
        return;
    node->_private = asPrivate((privateBits(node->_private) & ~kLeadMask) | uint64_t(at + 1));
}
// -1 when the node was not read from a source.
inline qint64 leadOf(const xmlNode* node) {
    return qint64(privateBits(node->_private) & kLeadMask) - 1;
}

// An element's line past libxml2's 16 bits; lines past what is left of `_private` are unknown.
inline void keepBigLine(xmlNodePtr element, int line) {
    if (line < kLineLimit || uint64_t(line) > kLargestLine)
        return;
    element->_private = asPrivate((privateBits(element->_private) & kLeadMask) |
                                  (uint64_t(line) << kLeadBits));
}
// The line an element was parsed at; 0 when not known.
inline int lineOf(const xmlNode* element) {
    if (element->line < kLineLimit)
        return element->line;
    return static_cast<int>(privateBits(element->_private) >> kLeadBits);
}

// An element's end is kept in its `psvi`, which only schema validation writes (and that runs on
// copies here); libxml2 neither copies nor frees it.
inline void setElementEnd(xmlNodePtr element, qint64 end) {
    if (end >= 0 && end <= kLargestSource)
        element->psvi = asPrivate(uint64_t(end + 1));
}
inline qint64 elementEnd(const xmlNode* element) {
    return element->type == XML_ELEMENT_NODE && element->psvi
               ? qint64(privateBits(element->psvi)) - 1
               : -1;
}

// In an element's `extra`: its blank text between children was layout, dropped at load.
constexpr unsigned short kLayoutDropped = 0x4000;
// In an element's `extra`: blank text is content in it (xml:space="preserve", or declared text).
constexpr unsigned short kBlanksAreContent = 0x2000;

} // namespace xmlimpl
