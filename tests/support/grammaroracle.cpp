#include "support/grammaroracle.h"

#include "platform/xml/xmlnode.h"
#include "platform/xml/xmlvalidation.h"

#include <libxml/tree.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace grammaroracle {

QString label(const GrammarName& name) {
    return name.ns.isEmpty() ? name.local : u'{' + name.ns + u'}' + name.local;
}

QStringList labels(const QList<GrammarName>& names) {
    QStringList out;
    for (const GrammarName& name : names)
        out << label(name);
    return out;
}

XmlNode elementAt(const XmlDocument& document, const QList<int>& steps) {
    XmlNode at = document.documentElement();
    for (int step : steps) {
        XmlNode child = at.firstChild();
        for (int seen = 0; child; child = child.nextSibling()) {
            if (child.nodeType() == NODE_ELEMENT && seen++ == step)
                break;
        }
        at = child;
        if (!at)
            break;
    }
    return at;
}

QStringList offered(const Grammar& grammar, const XmlDocument& document,
                    const QList<int>& parentSteps, int before) {
    return labels(ElementsAllowedIn(grammar, elementAt(document, parentSteps), before));
}

namespace {

// libxml2's own calls, not the editor's: the oracle should not share the code it judges.
void insertEmpty(const XmlNode& parent, int before, const GrammarName& name) {
    xmlNodePtr node = parent.raw();
    const QByteArray local = name.local.toUtf8();
    xmlNodePtr element = xmlNewDocNode(node->doc, nullptr, BAD_CAST local.constData(), nullptr);
    if (!name.ns.isEmpty()) {
        const QByteArray href = name.ns.toUtf8();
        xmlNsPtr ns = xmlSearchNsByHref(node->doc, node, BAD_CAST href.constData());
        if (!ns)
            ns = xmlNewNs(element, BAD_CAST href.constData(), nullptr);
        xmlSetNs(element, ns);
    }
    xmlNodePtr at = node->children;
    for (int seen = 0; at && before >= 0; at = at->next) {
        if (at->type == XML_ELEMENT_NODE && seen++ == before)
            break;
    }
    if (at && before >= 0)
        xmlAddPrevSibling(at, element);
    else
        xmlAddChild(node, element);
}

} // namespace

QStringList allowedByValidation(const Grammar& grammar, const XmlDocument& document,
                                const QList<int>& parentSteps, int before,
                                const QString& schemaFile, const QString& documentFile) {
    {
        XmlDocument copy = document.snapshot();
        const XmlValidationResult before = Validate(copy, {schemaFile, documentFile});
        EXPECT_TRUE(before.valid())
            << "the document is not valid before the insertion: "
            << (before.issues.isEmpty() ? std::string()
                                        : before.issues.first().message.toStdString());
    }
    QStringList allowed;
    for (const ElementDecl& decl : grammar.elements) {
        const QString name = label(decl.name);
        if (allowed.contains(name))
            continue;
        XmlDocument copy = document.snapshot();
        insertEmpty(elementAt(copy, parentSteps), before, decl.name);
        if (Validate(copy, {schemaFile, documentFile}).valid())
            allowed << name;
    }
    return allowed;
}

void expectOffers(const Grammar& grammar, const XmlDocument& document,
                  const QList<int>& parentSteps, int before, const QStringList& expected,
                  const QString& schemaFile, const QStringList& unchecked) {
    const QStringList names = offered(grammar, document, parentSteps, before);
    EXPECT_EQ(names, expected);
    QStringList checked = names;
    for (const QString& name : unchecked)
        checked.removeAll(name);
    checked.sort();
    QStringList accepted = allowedByValidation(grammar, document, parentSteps, before, schemaFile);
    accepted.sort();
    EXPECT_EQ(checked, accepted);
}

QString writeSchemaFiles(const QString& folder, const QList<SchemaFile>& files) {
    for (const SchemaFile& file : files) {
        const QString path = QDir(folder).filePath(QString::fromUtf8(file.path));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly)) << path.toStdString();
        out.write(file.text.toUtf8());
    }
    return QDir(folder).filePath(QString::fromUtf8(files.first().path));
}

} // namespace grammaroracle
