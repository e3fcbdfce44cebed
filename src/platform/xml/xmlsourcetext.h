#pragma once

// Reading back parts of a document's source in the encoding libxml2 read it with: the line a
// parse error report shows, and the document type declaration that is written back verbatim.

#include <QByteArray>
#include <QString>

class QIODevice;

namespace xmlimpl {

// The text of source line `line` around `column` (both 1-based, as libxml2 counts them), read
// from `source`, a device just opened at the start of the text, in bounded chunks and decoded from
// `encoding` (empty: UTF-8). Only the lines before it and a window of the line itself pass through
// memory.
QString sourceLineAt(QIODevice& source, const QByteArray& encoding, int line, int column);

// The `<!DOCTYPE ...>` of a document that parsed, as UTF-8 with LF line breaks, read from
// `source` (opened at its start) in `encoding`; empty when it cannot be found.
QByteArray doctypeTextIn(QIODevice& source, const QByteArray& encoding);

} // namespace xmlimpl
