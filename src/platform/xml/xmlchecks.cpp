// The rules that keep every document serialisable to text that parses again.

#include "platform/xml/xmlchecks.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlparseguard.h"
#include "platform/xml/xmlstorage.h"

#include <QRegularExpression>

#include <vector>

namespace xmlimpl {

namespace {
bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}
} // namespace

void checkChars(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        } // an unpaired surrogate is no character: it falls outside the ranges and is named
        if (!isXmlChar(code))
            throw XmlError(
                QStringLiteral("The text contains a character that XML does not allow (U+%1).")
                    .arg(QString::number(static_cast<uint>(code), 16)
                             .toUpper()
                             .rightJustified(4, QLatin1Char('0'))));
    }
}

void checkName(const QString& name, const char* what) {
    if (name.isEmpty())
        throw XmlError(QStringLiteral("The %1 name cannot be empty.").arg(QLatin1String(what)));
    checkChars(name);
    const QByteArray utf8 = name.toUtf8();
    if (xmlValidateName(xc(utf8), 0) != 0)
        throw XmlError(
            QStringLiteral("'%1' is not a valid %2 name.").arg(name, QLatin1String(what)));
}

QString asReadBack(const QString& value, bool processingInstruction) {
    QString out = value;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (processingInstruction) {
        qsizetype blanks = 0;
        while (blanks < out.size() &&
               (out.at(blanks) == QLatin1Char(' ') || out.at(blanks) == QLatin1Char('\t') ||
                out.at(blanks) == QLatin1Char('\n')))
            ++blanks;
        out.remove(0, blanks);
    }
    return out;
}

void checkComment(const QString& text) {
    checkChars(text);
    if (text.contains(QLatin1String("--")) || text.endsWith(QLatin1Char('-')))
        throw XmlError(QStringLiteral("A comment cannot contain \"--\" or end with \"-\"."));
}

void checkPI(const QString& target, const QString& data) {
    checkName(target, "processing instruction target");
    // A target is no qualified name: with namespaces, a colon in it is an error.
    if (target.contains(QLatin1Char(':')))
        throw XmlError(
            QStringLiteral("'%1' is not a valid processing instruction target name.").arg(target));
    checkChars(data);
    if (data.contains(QLatin1String("?>")))
        throw XmlError(QStringLiteral("Processing instruction data cannot contain \"?>\"."));
    if (target.compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0)
        return;
    if (target != QLatin1String("xml"))
        throw XmlError(
            QStringLiteral("The processing instruction target '%1' is reserved.").arg(target));
    static const QRegularExpression declaration(QStringLiteral(
        R"(^version\s*=\s*(["'])1\.[0-9]+\1(\s+encoding\s*=\s*(["'])[A-Za-z][A-Za-z0-9._-]*\3)?)"
        R"((\s+standalone\s*=\s*(["'])(yes|no)\5)?\s*$)"));
    if (!declaration.match(data).hasMatch())
        throw XmlError(QStringLiteral("'%1' is not a valid XML declaration.").arg(data));
}

bool isXmlDeclaration(xmlNodePtr n) {
    return n && n->type == XML_PI_NODE && xmlStrEqual(n->name, BAD_CAST "xml");
}

bool isContainer(xmlNodePtr n) {
    return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE ||
           n->type == XML_DOCUMENT_FRAG_NODE;
}

namespace {
bool isChildKind(xmlNodePtr n) {
    switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
    case XML_DTD_NODE:
        return true;
    default:
        return false;
    }
}

// How many elements deep `n` stands, itself included.
int elementDepth(xmlNodePtr n) {
    int depth = 0;
    for (; n && n->type == XML_ELEMENT_NODE; n = n->parent)
        ++depth;
    return depth;
}

// Whether the elements of `node`'s subtree, itself included, nest more than `levels` deep.
bool nestsDeeperThan(xmlNodePtr node, int levels) {
    int depth = 0;
    for (xmlNodePtr n = node; n;) {
        if (n->type == XML_ELEMENT_NODE && ++depth > levels)
            return true;
        if (n->type == XML_ELEMENT_NODE && n->children) {
            n = n->children;
            continue;
        }
        if (n->type == XML_ELEMENT_NODE)
            --depth;
        while (n != node && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n == node ? nullptr : n->next;
    }
    return false;
}

// A document the editor would refuse to open is never made: an element may nest no deeper than
// a parse lets it. A node moved no deeper than it stood needs no look at its subtree.
void checkDepth(xmlNodePtr parent, xmlNodePtr node) {
    if (node->type != XML_ELEMENT_NODE)
        return;
    const int above = elementDepth(parent);
    xmlNodePtr top = node;
    while (top->parent)
        top = top->parent;
    if (top->type == XML_DOCUMENT_NODE && above + 1 <= elementDepth(node))
        return;
    if (nestsDeeperThan(node, kMaxDepth - above))
        throw XmlError(DepthRefusal());
}

} // namespace

void checkInsert(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref, xmlNodePtr replaced) {
    if (!isContainer(parent))
        throw XmlError(QStringLiteral("This node cannot have child nodes."));
    if (node->type == XML_ATTRIBUTE_NODE)
        throw XmlError(QStringLiteral("An attribute cannot be inserted as a child node."));
    if (!isChildKind(node))
        throw XmlError(QStringLiteral("This kind of node cannot be inserted as a child node."));
    for (xmlNodePtr p = parent; p; p = p->parent) {
        if (p == node)
            throw XmlError(
                QStringLiteral("A node cannot be inserted into itself or one of its descendants."));
    }
    checkDepth(parent, node);
    if (parent->type != XML_DOCUMENT_NODE) {
        if (node->type == XML_DTD_NODE)
            throw XmlError(QStringLiteral(
                "A document type declaration can only stand at the top level of a document."));
        if (isXmlDeclaration(node))
            throw XmlError(
                QStringLiteral("The XML declaration can only stand at the start of the document."));
        return;
    }
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
        throw XmlError(QStringLiteral("Text cannot be inserted at the top level of a document."));
    if (node->type == XML_ENTITY_REF_NODE)
        throw XmlError(QStringLiteral(
            "An entity reference cannot be inserted at the top level of a document."));

    // The document's children as they would be afterwards.
    std::vector<xmlNodePtr> after;
    for (xmlNodePtr c = parent->children; c; c = c->next) {
        if (c == ref)
            after.push_back(node);
        if (c == replaced) {
            after.push_back(node);
            continue;
        }
        if (c != node)
            after.push_back(c);
    }
    if (!ref && !replaced)
        after.push_back(node);

    int elements = 0, doctypes = 0;
    bool elementSeen = false;
    for (size_t i = 0; i < after.size(); ++i) {
        xmlNodePtr c = after[i];
        if (isXmlDeclaration(c) && i != 0)
            throw XmlError(
                QStringLiteral("The XML declaration can only stand at the start of the document."));
        if (c->type == XML_ELEMENT_NODE) {
            ++elements;
            elementSeen = true;
        }
        if (c->type == XML_DTD_NODE) {
            ++doctypes;
            if (elementSeen)
                throw XmlError(QStringLiteral(
                    "The document type declaration must come before the document element."));
        }
    }
    if (elements > 1)
        throw XmlError(QStringLiteral("Only one top level element is allowed in an XML document."));
    if (doctypes > 1)
        throw XmlError(
            QStringLiteral("Only one document type declaration is allowed in an XML document."));
}

namespace {
// Whether taking the document type declaration away would leave entity references without
// their declaration.
bool hasEntityReferences(xmlDocPtr doc) {
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = doc->children; c; c = c->next)
        stack.push_back(c);
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        if (n->type == XML_ENTITY_REF_NODE)
            return true;
        if (n->type == XML_ELEMENT_NODE) {
            for (xmlNodePtr c = n->children; c; c = c->next)
                stack.push_back(c);
            for (xmlAttrPtr a = n->properties; a; a = a->next) {
                for (xmlNodePtr c = a->children; c; c = c->next)
                    stack.push_back(c);
            }
        }
    }
    return false;
}

} // namespace

void checkRemovable(xmlDocPtr doc, xmlNodePtr node) {
    if (node->type == XML_DTD_NODE && hasEntityReferences(doc))
        throw XmlError(QStringLiteral(
            "The document type declaration cannot be removed while the document uses "
            "the entities it declares."));
}

} // namespace xmlimpl
