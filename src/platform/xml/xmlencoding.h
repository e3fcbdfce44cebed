#pragma once

// Converting whole texts between encodings with iconv, for the saves that copy a document's own
// bytes (xmlsourcewrite.h).

#include <QByteArray>
#include <QByteArrayView>

namespace xmlimpl {

// `in` from encoding `from` to `to`, appended to `out`; false when the text is not valid in `from`
// or holds a character `to` cannot represent.
bool convertEncoding(QByteArrayView in, const QByteArray& from, const QByteArray& to,
                     QByteArray& out);

// UTF-8 markup to `to`, appended to `out`: a character `to` cannot represent is written as a
// character reference, which the caller has made sure stands only where a reference may (text
// and attribute values). False when `to` is unknown.
bool encodeMarkup(QByteArrayView utf8, const QByteArray& to, QByteArray& out);

// Whether iconv converts from and to `name`.
bool encodingKnown(const QByteArray& name);

// `in` from `from` to UTF-8, appended to `out`, with U+FFFD for each byte that starts no valid
// character; false when there was such a byte (or `from` is unknown: nothing is appended then).
bool decodeReplacing(QByteArrayView in, const QByteArray& from, QByteArray& out);

} // namespace xmlimpl
