#pragma once

// Parsing over libxml2.

#include "platform/work/workprogress.h"
#include "platform/xml/xmlparseerror.h"
#include "platform/xml/xmlsource.h"

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>

namespace xmlimpl {

// A parsed document (nullptr when it is not well-formed) with the text of its document type
// declaration as read.
struct ParsedDocument {
    xmlDocPtr doc = nullptr;
    QByteArray doctypeText;
    XmlSource source;
};

// Parsing: a document, or none with the parse error filled in.
ParsedDocument parseText(const QByteArray& utf8, XmlParseError& error);
// `progress` (optional) counts the bytes read; a stop asked for there ends the parse with no
// document and no error.
ParsedDocument parseFile(const QString& path, XmlParseError& error,
                         WorkProgress* progress = nullptr);

// libxml2's options for every parse of a document.
int parseOptions();
// Asked for each parameter entity: notes an external one, after which an undeclared entity is no
// longer an error of form.
xmlEntityPtr noteParameterEntity(void* context, const xmlChar* name);

// Puts the XML declaration of a parsed document in front of its children as a processing
// instruction with the target "xml".
void addDeclarationNode(xmlDocPtr doc, const QString& declarationData);

} // namespace xmlimpl
