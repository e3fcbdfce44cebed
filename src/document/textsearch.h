#pragma once

#include "platform/work/workprogress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QRegularExpression>
#include <QString>
#include <functional>
#include <optional>

// What Replace looks for: a text as typed, or a regular expression (Perl's syntax, where "^" and
// "$" stand at the ends of lines, whichever line breaks the text has); by case or not; as a whole
// word (no letter, digit or "_" just before or after it) or anywhere.
struct TextPattern {
    QString find;
    bool matchCase = false;
    bool wholeWord = false;
    bool regularExpression = false;
};

class TextSearch {
public:
    explicit TextSearch(const TextPattern& pattern);

    // Why the pattern cannot be used (a regular expression that does not compile, an empty
    // text); empty when it can.
    QString Problem() const { return m_problem; }
    // The first match starting at `from` or later; an invalid match when there is none.
    QRegularExpressionMatch MatchFrom(const QString& text, qsizetype from) const;
    // The match that runs from `start` to `end` of `text` exactly (the selection Replace
    // replaces), when there is one; the text around counts, as for a whole word.
    std::optional<QRegularExpressionMatch> MatchExactly(const QString& text, qsizetype start,
                                                        qsizetype end) const;
    // What a match is replaced by: `with` as typed for a text; for a regular expression, "\1" to
    // "\9" stand for the match's groups, "\0" for the whole match and "\\" for a backslash.
    QString Replacement(const QRegularExpressionMatch& match, const QString& with) const;
    // `text` with every match replaced, and how many there were; `with` as for Replacement.
    QString ReplaceAll(const QString& text, const QString& with, qint64& count) const;
    // The same on UTF-8 text. `progress` (optional) counts the bytes looked at, the text's length
    // in all; a stop asked for there ends it with no result.
    std::optional<QByteArray> ReplaceAllUtf8(QByteArrayView text, const QString& with,
                                             qint64& count, WorkProgress* progress = nullptr) const;

private:
    std::optional<QString> replaceAll(const QString& text, const QString& with, qint64& count,
                                      const std::function<bool(qsizetype)>& looked) const;
    bool replaceInto(QByteArray& out, QByteArrayView bytes, const QString& wide,
                     const QString& with, qint64& count,
                     const std::function<bool(qsizetype)>& looked) const;

    QRegularExpression m_expression;
    bool m_groups = false; // the replacement refers to groups
    QString m_problem;
};

// The length of `text` in UTF-8, without making it.
qsizetype Utf8Length(QStringView text);
