// The rules that keep every document serialisable to text that parses again.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

#include <QRegularExpression>

namespace xmlimpl {

namespace {
bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}
} // namespace

void checkChars(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        } else if (c.isSurrogate()) {
            code = 0xFFFF; // an unpaired surrogate is no character at all
        }
        if (!isXmlChar(code))
            throw XmlError(
                QStringLiteral("The text contains a character that XML does not allow (U+%1).")
                    .arg(QString::number(static_cast<uint>(code), 16)
                             .toUpper()
                             .rightJustified(4, QLatin1Char('0'))));
    }
}

void checkName(const QString& name, const char* what) {
    if (name.isEmpty())
        throw XmlError(QStringLiteral("The %1 name cannot be empty.").arg(QLatin1String(what)));
    checkChars(name);
    const QByteArray utf8 = name.toUtf8();
    if (xmlValidateName(xc(utf8), 0) != 0)
        throw XmlError(
            QStringLiteral("'%1' is not a valid %2 name.").arg(name, QLatin1String(what)));
}

QString asReadBack(const QString& value, bool processingInstruction) {
    QString out = value;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (processingInstruction) {
        qsizetype blanks = 0;
        while (blanks < out.size() &&
               (out.at(blanks) == QLatin1Char(' ') || out.at(blanks) == QLatin1Char('\t') ||
                out.at(blanks) == QLatin1Char('\n')))
            ++blanks;
        out.remove(0, blanks);
    }
    return out;
}

void checkComment(const QString& text) {
    checkChars(text);
    if (text.contains(QLatin1String("--")) || text.endsWith(QLatin1Char('-')))
        throw XmlError(QStringLiteral("A comment cannot contain \"--\" or end with \"-\"."));
}

void checkPI(const QString& target, const QString& data) {
    checkName(target, "processing instruction target");
    // A target is no qualified name: with namespaces, a colon in it is an error.
    if (target.contains(QLatin1Char(':')))
        throw XmlError(
            QStringLiteral("'%1' is not a valid processing instruction target name.").arg(target));
    checkChars(data);
    if (data.contains(QLatin1String("?>")))
        throw XmlError(QStringLiteral("Processing instruction data cannot contain \"?>\"."));
    if (target.compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0)
        return;
    if (target != QLatin1String("xml"))
        throw XmlError(
            QStringLiteral("The processing instruction target '%1' is reserved.").arg(target));
    static const QRegularExpression declaration(QStringLiteral(
        R"(^version\s*=\s*(["'])1\.[0-9]+\1(\s+encoding\s*=\s*(["'])[A-Za-z][A-Za-z0-9._-]*\3)?)"
        R"((\s+standalone\s*=\s*(["'])(yes|no)\5)?\s*$)"));
    if (!declaration.match(data).hasMatch())
        throw XmlError(QStringLiteral("'%1' is not a valid XML declaration.").arg(data));
}

} // namespace xmlimpl
