#include "platform/xml/xmltextfile.h"

#include "platform/xml/xmlencoding.h"
#include "platform/xml/xmlerror.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

bool isUtf8(const QByteArray& name) {
    const QByteArray upper = name.toUpper();
    return upper == "UTF-8" || upper == "UTF8";
}

QString decodeWithQt(QByteArrayView bytes, QStringConverter::Encoding encoding, bool& clean) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    clean = !decoder.hasError();
    return text;
}

} // namespace

// As libxml2 decides: a byte order mark, the first characters of a UTF-16 declaration, else the
// declaration's encoding. A declaration that names a 16-bit encoding in 8-bit text is mistaken.
XmlTextFormat DetectXmlTextFormat(QByteArrayView bytes) {
    for (const char* bom : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        if (bytes.startsWith(bom))
            return {bom[0] == '\xEF' ? "UTF-8" : bom[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE",
                    QByteArray(bom)};
    }
    if (bytes.startsWith(QByteArrayView("<\0?\0", 4)))
        return {"UTF-16LE", {}};
    if (bytes.startsWith(QByteArrayView("\0<\0?", 4)))
        return {"UTF-16BE", {}};
    static const QRegularExpression declaration(
        QStringLiteral(R"(^<\?xml\s[^>]*?encoding\s*=\s*["']([A-Za-z][A-Za-z0-9._-]*)["'])"));
    const QString start = QString::fromLatin1(bytes.first(std::min<qsizetype>(bytes.size(), 1024)));
    const QRegularExpressionMatch match = declaration.match(start);
    QByteArray named = match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
    const QByteArray upper = named.toUpper();
    if (named.isEmpty() || upper.startsWith("UTF-16") || upper.startsWith("UCS-") ||
        upper.startsWith("UTF-32") || !xmlimpl::encodingKnown(named))
        named = "UTF-8";
    return {named, {}};
}

XmlTextFormat ReadXmlTextFormat(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? DetectXmlTextFormat(file.read(1024)) : XmlTextFormat();
}

XmlTextFile DecodeXmlText(QByteArray bytes) {
    XmlTextFile file;
    file.format = DetectXmlTextFormat(bytes);
    const QByteArray& encoding = file.format.encoding;
    const QByteArray upper = encoding.toUpper();
    bytes.remove(0, file.format.bom.size());
    bool clean = true;
    if (isUtf8(upper)) {
        // Most broken files are valid UTF-8: their bytes are their text.
        clean = bytes.isValidUtf8();
        file.text = clean ? std::move(bytes)
                          : decodeWithQt(bytes, QStringConverter::Utf8, clean).toUtf8();
    } else if (upper == "UTF-16LE" || upper == "UTF-16BE") {
        // An odd byte at the end is no character: Qt drops it silently.
        file.text = decodeWithQt(bytes,
                                 upper == "UTF-16LE" ? QStringConverter::Utf16LE
                                                     : QStringConverter::Utf16BE,
                                 clean)
                        .toUtf8();
        clean = clean && bytes.size() % 2 == 0;
    } else {
        clean = xmlimpl::decodeReplacing(bytes, encoding, file.text);
    }
    // A NUL is no character of XML, and the view would end the text there.
    file.undecodable = !clean || file.text.contains('\0');
    if (file.undecodable)
        file.text.replace(QByteArrayView("\0", 1), "\xEF\xBF\xBD");
    return file;
}

XmlTextFile ReadXmlTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw XmlError(
            QStringLiteral("The system cannot open the file %1: %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw XmlError(
            QStringLiteral("The system cannot read the file %1: %2").arg(path, file.errorString()));
    return DecodeXmlText(std::move(bytes));
}

QByteArray EncodeXmlText(QByteArrayView utf8, const XmlTextFormat& format) {
    const QByteArray& encoding = format.encoding;
    QByteArray out = format.bom;
    if (isUtf8(encoding) || encoding.isEmpty()) {
        out.append(utf8);
        return out;
    }
    if (!xmlimpl::convertEncoding(utf8, "UTF-8", encoding, out))
        throw XmlError(QStringLiteral("The text cannot be written in %1: it holds characters that "
                                      "%1 cannot represent.")
                           .arg(QString::fromLatin1(encoding)));
    return out;
}
