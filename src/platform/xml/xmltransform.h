#pragma once

#include "platform/work/workprogress.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// XSLT 1.0 (libxslt, with EXSLT) on a document's text. The stylesheet and what it reads
// (xsl:import, xsl:include, document()) come from local files only; it never writes a file,
// makes a directory or opens a connection: each such attempt is refused and listed.
namespace XmlTransform {

struct Parameter {
    QString name;
    QString value;
    // The value is an XPath expression (xsltproc's --param); else a string (--stringparam).
    bool expression = false;
};

struct Message {
    QString file; // the stylesheet's file, empty when not known
    int line = 0;
    QString text;
    bool error = true; // false for what xsl:message says without terminate="yes"
};

struct Result {
    bool produced = false; // false: no result, the messages say why
    // libxslt's own serialisation of the result, byte for byte what xsltproc writes.
    QByteArray output;
    QString method;   // the output method: "xml", "html", "xhtml" or "text"
    QString encoding; // the output's encoding, "UTF-8" when the stylesheet names none
    QList<Message> messages;
    bool stopped = false;
};

// Transforms `input` (a document's text in any encoding XML allows; `baseUrl` is where its
// relative references, document('') included, resolve) with the stylesheet in the file
// `stylesheet`. The input is read as xsltproc reads a file: entities substituted, the DTD's
// default attributes added, CDATA sections as text. `progress` (optional) can stop it.
Result Transform(QByteArrayView input, const QString& baseUrl, const QString& stylesheet,
                 const QList<Parameter>& parameters, WorkProgress* progress = nullptr);

// The stylesheet an xml-stylesheet processing instruction of `prolog` (the document's text
// before its document element) names, for XSLT (type text/xsl, application/xslt+xml, text/xml or
// application/xml), resolved against `documentFile`; empty for none or one not on this machine.
QString StylesheetNamedIn(QByteArrayView prolog, const QString& documentFile);

} // namespace XmlTransform
