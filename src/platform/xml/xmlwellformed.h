#pragma once

// Whether a text would parse as a document, found without building one: the check the text view
// runs while the user types.

#include "platform/xml/xmlparseerror.h"

#include <QByteArrayView>
#include <atomic>

struct XmlWellFormedness {
    bool stopped = false; // the check was called off before it ended: no answer
    bool wellFormed = false;
    // The first error, as a Document's parse of the text reports it, without its source line.
    XmlParseError error;
};

// Checks UTF-8 `text` by the rules a Document's parse of it applies (XmlDocument::loadUtf8), except
// a nested namespace declaration whose value holds an entity reference, which only the document
// built shows. `stop`, when set, ends the check at the next element.
XmlWellFormedness CheckWellFormed(QByteArrayView text, const std::atomic<bool>* stop = nullptr);
