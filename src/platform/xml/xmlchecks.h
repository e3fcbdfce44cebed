#pragma once

// The rules that keep every document serialisable to text that parses again. Each check throws
// XmlError and changes nothing.

#include <libxml/tree.h>

#include <QString>

namespace xmlimpl {

void checkName(const QString& name, const char* what);
void checkChars(const QString& text);
void checkComment(const QString& text);
void checkPI(const QString& target, const QString& data);
// A comment's, CDATA section's or processing instruction's value as a reader of the saved file
// gets it: no carriage return can be written there (line ends become line feeds), and the blanks
// that start processing-instruction data belong to the space after the target.
QString asReadBack(const QString& value, bool processingInstruction = false);

bool isXmlDeclaration(xmlNodePtr node);
// An element, a document or a fragment: a node that has children.
bool isContainer(xmlNodePtr node);
// That putting `node` into `parent` (before `ref`, or in place of `replaced`, or at the end)
// keeps a well-formed document, no deeper than a parse allows.
void checkInsert(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref, xmlNodePtr replaced);
// That taking `node` away leaves no entity reference without its declaration.
void checkRemovable(xmlDocPtr doc, xmlNodePtr node);

} // namespace xmlimpl
