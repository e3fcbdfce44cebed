#pragma once

// Finding the pieces of markup in a document's source, for the writer that copies what did not
// change (xmlsourcewrite.h). The source parsed once, so these only find ends and parts; anything
// not as expected throws SourceMismatch and the writer gives up.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

namespace xmlimpl {

struct SourceMismatch {};

// A start tag: its name, each attribute (or namespace declaration) with the blanks before it,
// and the tail (blanks, then ">" or "/>").
struct StartTag {
    struct Item {
        qint64 lead;      // the blanks before it
        qint64 name;      // its name
        qint64 nameEnd;
        qint64 value;     // just past the opening quote
        qint64 valueEnd;  // at the closing quote
        char quote;
        qint64 end() const { return valueEnd + 1; }
    };
    qint64 start = 0; // at "<"
    qint64 nameEnd = 0;
    qint64 tail = 0; // where the blanks before ">" or "/>" start
    qint64 end = 0;  // just past ">"
    bool empty = false;
    std::vector<Item> items;
};

class SourceScan {
public:
    explicit SourceScan(QByteArrayView text) : m_text(text) {}

    QByteArrayView text() const { return m_text; }
    qint64 size() const { return m_text.size(); }
    char at(qint64 i) const { return i >= 0 && i < size() ? m_text[i] : '\0'; }
    QByteArrayView slice(qint64 from, qint64 to) const { return m_text.sliced(from, to - from); }
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    bool blank(qint64 from, qint64 to) const;

    // The first `c` (or `s`) at or after `from`; SourceMismatch when there is none before `to`.
    qint64 find(char c, qint64 from, qint64 to = -1) const;
    qint64 find(QByteArrayView s, qint64 from) const;
    // The first "&" that starts a reference to an entity other than the predefined ones or a
    // character, at or after `from` and before `to`; -1 when none.
    qint64 findEntityReference(qint64 from, qint64 to) const;

    StartTag startTag(qint64 at) const;
    // Just past the end of the markup or text starting at `at`: an element with all it holds, a
    // comment, a processing instruction, a CDATA section, a document type declaration, an entity
    // reference, or text (up to the next markup or entity reference, at most `limit`).
    qint64 pieceEnd(qint64 at, qint64 limit) const;
    qint64 elementEnd(qint64 at) const;
    qint64 doctypeEnd(qint64 at) const;

private:
    QByteArrayView m_text;
};

// Character data as a parser reads it: line ends made LF, references replaced. None when it
// refers to an entity (whose replacement this cannot know).
std::optional<QByteArray> decodedText(QByteArrayView raw);
// An attribute value as a parser normalises one of no declared type: as text, and then each
// white space character made a space.
std::optional<QByteArray> decodedAttribute(QByteArrayView raw);
// Line ends made LF, as in comments, processing instructions and CDATA sections.
QByteArray withLineFeeds(QByteArrayView raw);

} // namespace xmlimpl
