#pragma once

#include "platform/xml/xmlnode.h"

// XML text cut into its markup and the text between, by the delimiters alone ("<", ">", quotes,
// "<!--", "<![CDATA[", "<?", "<!DOCTYPE"), never by a parser, so text that is not well-formed is
// cut too: markup that does not end makes the rest of the text one text token, kept as it is.
// Every character looked at is ASCII, so any encoding that keeps ASCII as single bytes will do.

#include <QByteArrayView>
#include <string_view>

namespace Markup {

using Bytes = std::string_view;

enum class Kind {
    Text,
    StartTag,
    EmptyTag,
    EndTag,
    Comment,
    Instruction,
    CData,
    Doctype,
    Declaration
};

struct Token {
    Kind kind;
    const char* begin;
    const char* end;
    Bytes bytes() const { return Bytes(begin, static_cast<size_t>(end - begin)); }
};

class Tokens {
public:
    explicit Tokens(QByteArrayView text) : m_at(text.data()), m_end(text.data() + text.size()) {}
    // The next token; false at the end of the text.
    bool next(Token& token);

private:
    Kind text(const char* from);
    Kind upTo(const char* markupEnd, Kind kind);
    Kind markupAt(const char* at);
    const char* afterDoctype(const char* at);
    const char* afterSubset(const char* at);

    const char* m_at;
    const char* m_end;
};

// Where the start tag (or empty-element tag) that `before` others precede begins in `text`; -1
// when the text holds fewer.
qsizetype StartTagAt(QByteArrayView text, qsizetype before);
// Where the start tag of `node`'s element (itself, the owner of an attribute, the element around
// any other node) begins in `text`, the document's text; -1 when the text holds no such tag.
qsizetype StartTagOf(QByteArrayView text, const XmlNode& node);

// What reading markup takes, for those who read more of it.
bool startsWith(const char* at, const char* end, Bytes prefix);
// The end of the first `what` at or after `from`, or nullptr.
const char* after(const char* from, const char* end, Bytes what);
bool isBlank(char c);
// The name that starts at `at`: up to a blank or a delimiter of markup.
Bytes nameAt(const char* at, const char* end);
const char* skipBlanks(const char* at, const char* end);
// The end of a quoted literal starting at `at` (its quote), or nullptr when it does not close.
const char* afterLiteral(const char* at, const char* end);
// The end of markup running to a ">" that is not inside quotes, or nullptr.
const char* afterQuotedMarkup(const char* at, const char* end);

} // namespace Markup
