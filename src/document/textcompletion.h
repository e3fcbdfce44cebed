#pragma once

// What the text view offers at the caret, from the grammar: element names after "<", the end tag
// after "</", attribute names in a start tag, an attribute's values between its quotes. Names
// are written with the prefixes declared where they go; a namespace declared nowhere there comes
// with its declaration.

#include "document/markupplace.h"
#include "platform/views/textchoices.h"
#include "platform/xml/xmlgrammar.h"

#include <QString>

// The choices at the caret between `before` and `after` (UTF-8), those starting with what is
// typed there; `root` is what the document element declares (RootNamespaces). `typed` is the
// character just typed, which offers only what it begins ("<" element names, "</" the end tag, a
// blank attribute names, a quote values); 0 offers whatever fits the place.
TextCompletion CompleteText(const Grammar& grammar, QByteArrayView before, QByteArrayView after,
                            const MarkupPlace::Namespaces& root, char typed = 0);
