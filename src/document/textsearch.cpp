#include "document/textsearch.h"

namespace {

// Word characters as regular expressions know them, Unicode letters and digits included.
const QString kNotAfterWord = QStringLiteral("(?<![\\w])");
const QString kNotBeforeWord = QStringLiteral("(?![\\w])");

} // namespace

TextSearch::TextSearch(const TextPattern& pattern) : m_groups(pattern.regularExpression) {
    if (pattern.find.isEmpty()) {
        m_problem = QStringLiteral("Please enter text to find.");
        return;
    }
    QString body = pattern.regularExpression ? QStringLiteral("(?:%1)").arg(pattern.find)
                                             : QRegularExpression::escape(pattern.find);
    if (pattern.wholeWord)
        body = kNotAfterWord + body + kNotBeforeWord;
    // Lines end at CR LF as well as LF or CR: "$" stands before the CR of CR LF, "." takes no CR.
    QRegularExpression::PatternOptions options =
        QRegularExpression::MultilineOption | QRegularExpression::UseUnicodePropertiesOption;
    if (!pattern.matchCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    m_expression.setPattern(QStringLiteral("(*ANYCRLF)") + body);
    m_expression.setPatternOptions(options);
    if (!m_expression.isValid()) {
        m_problem = QStringLiteral("The regular expression is not valid: %1.")
                        .arg(m_expression.errorString());
        return;
    }
    m_expression.optimize();
}

QRegularExpressionMatch TextSearch::MatchFrom(const QString& text, qsizetype from) const {
    return m_expression.match(text, from);
}

std::optional<QRegularExpressionMatch> TextSearch::MatchExactly(const QString& text,
                                                                qsizetype start,
                                                                qsizetype end) const {
    // The selection Find Next made is the match found from its start again.
    QRegularExpressionMatch match = m_expression.match(
        text, start, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
    if (match.hasMatch() && match.capturedEnd() == end)
        return match;
    return std::nullopt;
}

qsizetype Utf8Length(QStringView text) {
    qsizetype bytes = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : QChar::isHighSurrogate(u) ? 4
                 : QChar::isLowSurrogate(u) ? 0 : 3;
    }
    return bytes;
}

QString TextSearch::Replacement(const QRegularExpressionMatch& match, const QString& with) const {
    if (!m_groups || !with.contains(u'\\'))
        return with;
    QString out;
    out.reserve(with.size());
    for (qsizetype i = 0; i < with.size(); ++i) {
        const QChar c = with.at(i);
        const QChar next = i + 1 < with.size() ? with.at(i + 1) : QChar();
        if (c == u'\\' && next.isDigit() && next.digitValue() >= 0 && next.digitValue() <= 9) {
            // The group number counts from the user's own groups: the whole-word and line-end
            // wrapping adds none.
            out += match.captured(next.digitValue());
            ++i;
        } else if (c == u'\\' && next == u'\\') {
            out += u'\\';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// `looked` is told how far the walk got, in characters, every megabyte or so; it stops the walk
// (no result) by answering false.
std::optional<QString> TextSearch::replaceAll(const QString& text, const QString& with,
                                              qint64& count,
                                              const std::function<bool(qsizetype)>& looked) const {
    count = 0;
    QString out;
    qsizetype copied = 0;
    qsizetype told = 0;
    constexpr qsizetype kTellEvery = 1 << 20;
    QRegularExpressionMatchIterator it = m_expression.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (count == 0)
            out.reserve(text.size() + text.size() / 8);
        out.append(QStringView(text).sliced(copied, match.capturedStart() - copied));
        out.append(Replacement(match, with));
        copied = match.capturedEnd();
        ++count;
        if (looked && copied - told > kTellEvery) {
            told = copied;
            if (!looked(copied))
                return std::nullopt;
        }
    }
    if (count == 0)
        return text;
    out.append(QStringView(text).sliced(copied));
    return out;
}

QString TextSearch::ReplaceAll(const QString& text, const QString& with, qint64& count) const {
    return *replaceAll(text, with, count, {});
}

// The matches in `wide`, the decoding of `bytes`, replaced into `out` as UTF-8: the text between
// them is copied from `bytes` as it was, which spares converting the whole result back.
bool TextSearch::replaceInto(QByteArray& out, QByteArrayView bytes, const QString& wide,
                             const QString& with, qint64& count,
                             const std::function<bool(qsizetype)>& looked) const {
    if (Utf8Length(wide) != bytes.size()) {
        // Bytes that are no UTF-8 came back as replacement characters: the offsets would not
        // meet, so the result is converted whole.
        qint64 here = 0;
        const std::optional<QString> replaced = replaceAll(wide, with, here, looked);
        if (!replaced)
            return false;
        count += here;
        out += replaced->toUtf8();
        return true;
    }
    qsizetype copiedChars = 0, copiedBytes = 0, told = 0;
    constexpr qsizetype kTellEvery = 1 << 20;
    QRegularExpressionMatchIterator it = m_expression.globalMatch(wide);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype gap = Utf8Length(
            QStringView(wide).sliced(copiedChars, match.capturedStart() - copiedChars));
        out.append(bytes.sliced(copiedBytes, gap));
        out.append(Replacement(match, with).toUtf8());
        copiedBytes += gap + Utf8Length(match.capturedView());
        copiedChars = match.capturedEnd();
        ++count;
        if (looked && copiedChars - told > kTellEvery) {
            told = copiedChars;
            if (!looked(copiedChars))
                return false;
        }
    }
    out.append(bytes.sliced(copiedBytes));
    return true;
}

std::optional<QByteArray> TextSearch::ReplaceAllUtf8(QByteArrayView text, const QString& with,
                                                     qint64& count, WorkProgress* progress) const {
    count = 0;
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    // A text sought can match across no line break it does not hold itself: the text is taken a
    // few lines at a time, which keeps the memory small. A regular expression may span lines, so
    // it gets the whole text.
    constexpr qsizetype kPiece = 1 << 22;
    const qsizetype piece = m_groups ? text.size() : kPiece;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = qMin(text.size(), at + piece);
        if (end < text.size()) {
            const qsizetype lineEnd = text.sliced(end).indexOf('\n');
            end = lineEnd < 0 ? text.size() : end + lineEnd + 1;
        }
        const QByteArrayView bytes = text.sliced(at, end - at);
        const QString wide = QString::fromUtf8(bytes);
        qsizetype counted = 0;
        const bool done = replaceInto(out, bytes, wide, with, count, [&](qsizetype characters) {
            if (!progress)
                return true;
            // Characters looked at, counted as the bytes they came from, about.
            const qsizetype looked = characters * bytes.size() / qMax<qsizetype>(1, wide.size());
            progress->done += looked - counted;
            counted = looked;
            return !progress->stop.load();
        });
        if (!done || (progress && progress->stop.load()))
            return std::nullopt;
        if (progress)
            progress->done += bytes.size() - counted;
        at = end;
    }
    return count == 0 ? QByteArray(text.data(), text.size()) : out;
}
