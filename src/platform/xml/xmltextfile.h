#pragma once

// A file's text as a text editor shows it, for a file that does not parse and is opened for
// repair: decoded in the encoding the file names or shows, and written back the same way.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// How a file's text is written: the encoding its byte order mark shows, else the one its XML
// declaration names, else UTF-8 (also for a name iconv does not know); and the byte order mark,
// which is no part of the text and is written back in front of it.
struct XmlTextFormat {
    QByteArray encoding = "UTF-8";
    QByteArray bom;
};

// The format of a text that starts with `start` (its first kilobyte is enough).
XmlTextFormat DetectXmlTextFormat(QByteArrayView start);
// The format of the file's text; UTF-8 when it cannot be read.
XmlTextFormat ReadXmlTextFormat(const QString& path);

struct XmlTextFile {
    QByteArray text; // UTF-8
    XmlTextFormat format;
    // Some bytes are not valid in `encoding` (shown as U+FFFD), or the text holds a NUL: the text
    // does not stand for the file's bytes, and must never be written over them.
    bool undecodable = false;
};

// `bytes` as a file holding them is shown (a UTF-8 file's bytes are taken as they are).
XmlTextFile DecodeXmlText(QByteArray bytes);
// The file's text; throws XmlError when it cannot be read.
XmlTextFile ReadXmlTextFile(const QString& path);
// `utf8` in `format`; throws XmlError when the text holds a character its encoding cannot represent.
QByteArray EncodeXmlText(QByteArrayView utf8, const XmlTextFormat& format);
