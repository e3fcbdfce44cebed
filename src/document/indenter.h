#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The text view's Indent command, on the text alone: tags are found by "<", ">", "</" and "/>",
// never by parsing, so text that is not well-formed is laid out too. Lines break at CR LF only;
// a lone CR or LF is ordinary text. The texts are UTF-8 (any encoding that keeps ASCII as single
// bytes works): every character the indenter looks at is ASCII. Each routine takes time linear
// in the length of its text, whatever the nesting depth or the number of lines.
namespace Indenter {

// True for the empty text and any mix of CR LF pairs, tabs and spaces.
bool IsWhiteSpace(QByteArrayView strIn);
// `IndentFactor` tab characters; none when it is less than 1.
QByteArray Indent(int IndentFactor);
// Strips the layout: line breaks between tags, every tab, and the blanks around the text
// between tags. What follows the last "<" is kept as it is.
QByteArray UnindentXML(QByteArrayView text);
// Strips the layout, then puts each tag on its own line, indented by one tab per level of
// element nesting (declarations, processing instructions, comments and CDATA sections open no
// level). An empty element's closing tag joins its opening tag; the last line is kept as it is.
QByteArray IndentXML(QByteArrayView text);

} // namespace Indenter
