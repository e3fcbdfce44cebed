#pragma once

#include "platform/xml/xmldocument.h"

#include <QtGlobal>

namespace fuzz {

// The input's say in which edits happen: a small generator seeded from input bytes, so that an
// input always replays the same edits.
class Choices {
public:
    explicit Choices(quint64 seed) : m_state(seed) {}
    quint64 next();
    int below(qsizetype n) { return n <= 0 ? 0 : static_cast<int>(next() % quint64(n)); }

private:
    quint64 m_state;
};

// Applies `count` edits through the public API: renames, text and attribute changes (namespace
// declarations included), inserts of new, cloned and imported nodes, moves, removals, queries.
// Nodes of `donor` are imported. Every call the XML layer refuses must leave the document's
// serialisation as it was.
void applyEdits(XmlDocument& doc, XmlDocument& donor, Choices& choices, int count);

} // namespace fuzz
