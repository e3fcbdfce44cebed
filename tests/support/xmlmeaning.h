#pragma once

#include <QByteArray>
#include <QString>

namespace xmltesting {

// What `bytes` mean to libxml2 parsing them on its own (no code of the editor's), with the DTD
// read from beside `path` (where it reads) and every entity expanded: one line per node,
// attributes sorted, text
// runs merged. Blank text in element-only content is layout and left out, as are the XML and the
// document type declarations. Empty when the bytes do not parse.
QString IndependentMeaning(const QByteArray& bytes, const QString& path);

} // namespace xmltesting
