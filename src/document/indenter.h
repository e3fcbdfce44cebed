#pragma once

#include "platform/work/workprogress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// The Indent command, on the text alone: markup is found by its delimiters ("<", ">", quotes,
// "<!--", "<![CDATA[", "<?", "<!DOCTYPE"), never by a parser, so text that is not well-formed is
// laid out too. Only layout changes: white space in element-only content (an element with markup
// children and no other text, CDATA section or reference), not under xml:space="preserve" (written
// or given by default in the internal subset), nor in an element the internal subset declares
// with #PCDATA or ANY; and white space between the document's top-level nodes. Everything else
// (text, mixed content, CDATA sections, comments, processing instructions, tags and their
// attribute values) comes out exactly as it went in.
//
// Lines break at CR LF: white space is CR LF pairs, tabs and spaces (a lone CR or LF is ordinary
// text, and keeps its element as it is). The texts are UTF-8; every character the indenter looks
// at is ASCII. Each routine takes time linear in the length of its text, whatever the nesting;
// `progress` (optional) counts the bytes looked at, twice the text's length in all, and a stop
// asked for there ends the routine with no result.
namespace Indenter {

// True for the empty text and any mix of CR LF pairs, tabs and spaces; with `lineFeeds` (a text
// whose lines end LF), lone LFs too.
bool IsWhiteSpace(QByteArrayView strIn, bool lineFeeds = false);
// `IndentFactor` tab characters; none when it is less than 1.
QByteArray Indent(int IndentFactor);
// The text with its layout stripped: the node before each place of layout runs on into the next.
std::optional<QByteArray> UnindentXML(QByteArrayView text, WorkProgress* progress = nullptr);
// The text laid out afresh: each node of element-only content and of the top level on a line of
// its own, indented by one tab for each enclosing element (a first-line XML declaration counts as
// one). An element with other content stands on one line with all of it as it was, so an empty
// one keeps its closing tag beside its opening tag. A final line break stays; none is added.
std::optional<QByteArray> IndentXML(QByteArrayView text, WorkProgress* progress = nullptr);

} // namespace Indenter
