#pragma once

// What completion offers at a place in a document, and what validation itself allows there: the
// second is the first's oracle.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlgrammar.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace grammaroracle {

// "local", or "{namespace}local" for a name in a namespace.
QString label(const GrammarName& name);
QStringList labels(const QList<GrammarName>& names);

// The element reached from the document element by element-child positions; {} is the document
// element itself.
XmlNode elementAt(const XmlDocument& document, const QList<int>& steps);

// The names offered for a new child of the element at `parentSteps`, before its element child
// `before` (-1: as its last child).
QStringList offered(const Grammar& grammar, const XmlDocument& document,
                    const QList<int>& parentSteps, int before = -1);

// Of every element name `grammar` declares, those that, inserted at that place as an empty
// element, leave the document valid against `schemaFile` (empty: its own DTD), in the grammar's
// order. The document must be valid before; a failure is added when it is not.
QStringList allowedByValidation(const Grammar& grammar, const XmlDocument& document,
                                const QList<int>& parentSteps, int before,
                                const QString& schemaFile, const QString& documentFile = {});

// The place offers `expected`, in that order, and as a set exactly what validation accepts there
// (but for `unchecked`: names whose empty element is not valid anywhere).
void expectOffers(const Grammar& grammar, const XmlDocument& document,
                  const QList<int>& parentSteps, int before, const QStringList& expected,
                  const QString& schemaFile, const QStringList& unchecked = {});

struct SchemaFile {
    const char* path;
    QString text;
};
// Writes `files` under `folder` (making subfolders); answers the first one's path.
QString writeSchemaFiles(const QString& folder, const QList<SchemaFile>& files);

// Schemas written into a folder of the test's own.
class SchemaFilesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString write(const QList<SchemaFile>& files) { return writeSchemaFiles(m_dir.path(), files); }

    QTemporaryDir m_dir;
};

} // namespace grammaroracle
