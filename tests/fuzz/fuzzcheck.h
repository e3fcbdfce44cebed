#pragma once

#include "platform/xml/xmldocument.h"

#include <QByteArray>
#include <QString>

namespace fuzz {

// Reports a broken rule with the texts involved and ends the process, so that libFuzzer keeps
// the input as a reproducer.
[[noreturn]] void fail(const char* rule, const QString& detail = {});

// With ORVEL_FUZZ_TRACE set, tells what happened; turns a reproducer into a few lines of API use.
void trace(const QString& what, const QString& outcome);

// Whether ORVEL_FUZZ_AVOID (a comma-separated list) names this class of known fault. A long run
// can step around a fault that is already reported and keeps tripping; every class is checked by
// default.
bool avoided(const char* faultClass);

// How bytes are to be read: as the UTF-8 text that loadXML parses (the declared encoding does not
// apply), or as a file whose encoding is detected and declared.
enum class Bytes { Decoded, Encoded };

// libxml2's first complaint about the bytes as a namespace-aware document (a fatal error or a
// namespace error); empty when there is none. Parsed here, not by the XML layer, so that the
// layer's own leniency cannot hide a fault.
QString strictParseProblem(const QByteArray& bytes, Bytes kind);

// The document's serialisation; a document that cannot be serialised is a fault.
QString serialised(const XmlDocument& doc);

} // namespace fuzz
