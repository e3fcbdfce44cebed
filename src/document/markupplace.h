#pragma once

// Where a caret stands in XML text, read from the text around it alone, so also in text that does
// not parse at the moment: in content, in a start tag's name, an attribute's name or value, an
// end tag; the elements open around it; the sibling elements before and after it. The text is
// UTF-8; every character looked at is ASCII.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <functional>
#include <utility>

struct MarkupPlace {
    enum class Where {
        Content,        // between markup
        ElementName,    // a start tag's name, after "<"
        EndTagName,     // an end tag's name, after "</"
        AttributeName,  // in a start tag, where an attribute's name goes
        AttributeValue, // between an attribute value's quotes
        Elsewhere       // a comment, CDATA section, processing instruction, declaration
    };
    Where where = Where::Elsewhere;
    // The part of the name or value before the caret, and where it starts (in the text before).
    QByteArray typed;
    qsizetype typedFrom = 0;

    using Namespaces = QList<std::pair<QByteArray, QByteArray>>; // prefix ("" default), URI
    struct Open {
        QByteArray name; // as written
        Namespaces namespaces;
    };
    // The elements open around the place, innermost first. For a place in a start tag, its own
    // element comes first.
    QList<Open> open;
    // `open` goes up to the document element.
    bool reachedRoot = false;
    // The element the place would add a child to: open[childOf], or -1 when it is not known.
    int childOf = -1;
    // The sibling elements before and after the place, in document order, as written; `after`
    // stops at kMaxAfter.
    QList<QByteArray> before;
    QList<QByteArray> after;
    // In a start tag: the attributes written in it, and for a value the attribute.
    QList<QByteArray> attributes;
    QByteArray attribute;

    static constexpr int kMaxAfter = 2000;
};

// Reads the place between `before` and `after`, the text on each side of the caret. The walk back
// over the open elements stops once `enough(open)` answers true (it is asked after each element
// found, innermost first), or at the document's start.
MarkupPlace ReadMarkupPlace(QByteArrayView before, QByteArrayView after,
                            const std::function<bool(const QList<MarkupPlace::Open>&)>& enough);

// The namespaces the document element's start tag declares (the first start tag in the text).
MarkupPlace::Namespaces RootNamespaces(QByteArrayView text);

// The namespace `prefix` ("" for the default) means at the place: the innermost declaration;
// `root` is asked last. Empty when undeclared.
QByteArray NamespaceAt(const MarkupPlace& place, const MarkupPlace::Namespaces& root,
                       QByteArrayView prefix);

// The element whose start tag a ">" just typed ended (the last byte of `before`); empty when that
// ">" ended no start tag: an empty-element tag, an end tag, a comment, text.
QByteArray StartTagJustClosed(QByteArrayView before);
