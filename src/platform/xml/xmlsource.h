#pragma once

// The text a document was read from, kept so that a save can copy the bytes of every node the
// user did not change (xmlsourcewrite.h). A file is read again only when first needed (the first
// change, or a write while nothing has changed), and only while it is still the file that was
// parsed; a text (Apply's) is kept from the start.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <mutex>

namespace xmlimpl {

struct XmlSource {
    enum class Kind { None, File, Text };
    Kind kind = Kind::None;
    QString path;       // File
    qint64 size = -1;   // File: as it was when it was parsed
    QDateTime modified; // File: as it was when it was parsed
    QByteArray encoding; // the file's (libxml2's decoder); empty for UTF-8. `text` is UTF-8 always.
    QByteArray bom;      // the byte order mark in front of the text, written back in front
    qsizetype skip = 0;  // bytes of `text` before the document (a UTF-8 byte order mark)
    QByteArray text;     // the source as UTF-8 (as libxml2 read it), once read
    bool read = false;
    bool undecodable = false; // the file could not be decoded again: only copied whole
    bool lost = false;        // the file changed before it was needed: none to write over
};

// Reads a File source's text if it is not read yet; false (and the source dropped) when the file
// is no longer the one that was parsed or cannot be read, false (and the source kept for copying
// whole) when it cannot be decoded again as libxml2 decoded it.
bool readSource(XmlSource& source);

} // namespace xmlimpl
