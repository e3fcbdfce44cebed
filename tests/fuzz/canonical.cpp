#include "fuzz/canonical.h"

#include <libxml/tree.h>

#include <QStringList>

namespace fuzz {

namespace {

// The public API names no namespace URI; queries see the one the node points to, and that is
// what a reload must reproduce.
QString namespaceUri(const XmlNode& n) {
    if (n.isNamespaceDeclaration())
        return {};
    xmlNsPtr ns = n.raw()->type == XML_ATTRIBUTE_NODE ? reinterpret_cast<xmlAttrPtr>(n.raw())->ns
                                                      : n.raw()->ns;
    return ns && ns->href ? QString::fromUtf8(reinterpret_cast<const char*>(ns->href)) : QString();
}

QString escaped(QString text) {
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
}

bool isBlank(const QString& text) {
    for (QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            return false;
    }
    return true;
}

QString attributeList(const XmlNode& element) {
    QStringList attributes;
    for (const XmlNode& a : element.attributes().toVector())
        attributes << QStringLiteral("%1{%2}=\"%3\"")
                          .arg(a.nodeName(), namespaceUri(a), escaped(a.text()));
    attributes.sort();
    return attributes.join(QLatin1Char(' '));
}

struct Options {
    Blanks blanks;
    DefaultNamespace defaultNamespace;
};

QString nodeLine(const XmlNode& n, const Options& options) {
    switch (n.nodeType()) {
    case NODE_ELEMENT: {
        const bool skipUri = options.defaultNamespace == DefaultNamespace::Skip &&
                             !n.nodeName().contains(QLatin1Char(':'));
        return QStringLiteral("element %1{%2} %3")
            .arg(n.nodeName(), skipUri ? QString() : namespaceUri(n), attributeList(n));
    }
    case NODE_COMMENT:
        return QStringLiteral("comment ") + escaped(n.text());
    case NODE_PROCESSING_INSTRUCTION:
        return QStringLiteral("pi %1 %2").arg(n.nodeName(), escaped(n.text()));
    case NODE_ENTITY_REFERENCE:
        return QStringLiteral("reference ") + n.nodeName();
    case NODE_DOCUMENT_TYPE:
        return QStringLiteral("doctype ") + escaped(n.xml());
    default:
        return QStringLiteral("type %1 %2").arg(n.nodeType()).arg(n.nodeName());
    }
}

// Adjacent text nodes, and adjacent CDATA sections, come back from a parser as one.
void appendChildren(const XmlNode& parent, int depth, const Options& options, QString& out) {
    const QString indent(depth, QLatin1Char(' '));
    QString run;
    int runType = 0;
    auto flushRun = [&] {
        const bool blank = runType == NODE_TEXT && options.blanks == Blanks::Drop && isBlank(run);
        if (runType != 0 && !(runType == NODE_TEXT && run.isEmpty()) && !blank)
            out += indent +
                   (runType == NODE_TEXT ? QStringLiteral("text ") : QStringLiteral("cdata ")) +
                   escaped(run) + QLatin1Char('\n');
        run.clear();
        runType = 0;
    };
    for (XmlNode c = parent.firstChild(); c; c = c.nextSibling()) {
        const int type = c.nodeType();
        if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
            if (type != runType)
                flushRun();
            runType = type;
            run += c.text();
            continue;
        }
        flushRun();
        out += indent + nodeLine(c, options) + QLatin1Char('\n');
        if (type == NODE_ELEMENT)
            appendChildren(c, depth + 1, options, out);
    }
    flushRun();
}

} // namespace

QString canonicalForm(const XmlDocument& doc, Blanks blanks, DefaultNamespace defaultNamespace) {
    QString out;
    appendChildren(doc.asNode(), 0, Options{blanks, defaultNamespace}, out);
    return out;
}

} // namespace fuzz
