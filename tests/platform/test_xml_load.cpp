// Loading on a worker thread, and elements with very many attributes: the tree built is exactly
// the one libxml2's own builder makes.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlfileload.h"
#include "platform/work/asidework.h"
#include "support/xmlattributes.h"
#include "support/xmltesting.h"

#include <libxml/parser.h>
#include <libxml/valid.h>

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace xmltesting;

TEST(XmlManyAttributes, TheTreeIsTheOneLibxml2Builds) {
    const std::string many = manyAttributes(200);
    const struct Row {
        const char* name;
        std::string xml;
        const char* id; // an ID the document declares, or nullptr
    } rows[] = {
        {"plain", "<root><e" + many + "/><e" + manyAttributes(64) + "/></root>", nullptr},
        {"prefixed attributes and xml:id",
         "<root xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><e xmlns:r=\"urn:r\"" +
             manyAttributes(100, " p:x=\"1\" q:x=\"2\" xml:id=\"first\" r:y=\"3\"") + "><e" + many +
             " p:z=\"4\"/></e></root>",
         "first"},
        {"entity references in values",
         "<!DOCTYPE root [<!ENTITY ent \"E\"><!ENTITY two \"&ent;&ent;\">]><root><e" +
             manyAttributes(100, " r=\"a&ent;b\" s=\"&two;\" t=\"&#38;&lt;\"") + "/></root>",
         nullptr},
        {"attributes the internal subset declares and defaults",
         "<!DOCTYPE root [<!ATTLIST e key ID #IMPLIED ref IDREF #IMPLIED d CDATA 'dflt' "
         "xmlns:f CDATA #FIXED 'urn:f' f:g CDATA 'fixed'>]><root><e" +
             manyAttributes(100, " key=\"k1\" ref=\"k1\"") + "/><e" + many + "/></root>",
         "k1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        xmlDocPtr reference = xmlReadMemory(row.xml.data(), static_cast<int>(row.xml.size()),
                                            nullptr, nullptr, XML_PARSE_NONET);
        ASSERT_NE(reference, nullptr);
        XmlDocument doc = parsed(QString::fromStdString(row.xml));
        xmlDocPtr ours = doc.asNode().raw()->doc;
        EXPECT_EQ(attributesOf(ours), attributesOf(reference));
        if (row.id) {
            xmlAttrPtr id = xmlGetID(ours, BAD_CAST row.id);
            ASSERT_NE(id, nullptr);
            EXPECT_EQ(describe(id), describe(xmlGetID(reference, BAD_CAST row.id)));
            EXPECT_EQ(doc.selectNodes(QStringLiteral("id('%1')").arg(row.id)).length(), 1);
        }
        xmlFreeDoc(reference);
    }
}

// 100,000 attributes took libxml2's builder minutes: each was appended after a walk over all
// before it. The document must come back exactly as written.
TEST(XmlManyAttributes, AHundredThousandAttributesLoadInOrder) {
    const std::string attributes = manyAttributes(100000);
    const QByteArray text = QByteArray::fromStdString("<root><e" + attributes + "/></root>");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.xml"));
    writeBytes(path, text);
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.load(path));
    EXPECT_EQ(doc.xml().toStdString(), "<root>\n  <e" + attributes + "/>\n</root>\n");
    EXPECT_EQ(doc.documentElement().firstChild().attributes().length(), 100000);
}

namespace {
// Holds a worker's parse until released (or a long while has passed, so a broken test ends).
struct HeldParse {
    HeldParse() {
        XmlFileLoad::SetBeforeParseHook([this] {
            for (int i = 0; i < 20000 && !released.load(); ++i)
                QThread::msleep(1);
        });
    }
    ~HeldParse() {
        released = true;
        XmlFileLoad::SetBeforeParseHook({});
        AsideWork::WaitForAll();
    }
    std::atomic<bool> released{false};
};

void waitUntilFinished(const XmlFileLoad& load) {
    while (!load.finished())
        QThread::msleep(1);
}
} // namespace

TEST(XmlFileLoad, GivesWhatALoadOfTheFileGives) {
    QTemporaryDir dir;
    const struct Row {
        const char* name;
        QByteArray content;
    } rows[] = {
        {"well-formed", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a x=\"\xe9\">t</a>"},
        {"malformed", "<a>\n  <b></a>"},
        {"with a document type", "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>"},
        {"with many attributes",
         QByteArray::fromStdString("<a xmlns:p=\"urn:p\"><b" +
                                   manyAttributes(300, " p:x=\"&#38;\" xml:id=\"i\"") + "/></a>")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        writeBytes(path, row.content);
        XmlDocument direct = XmlDocument::create();
        const bool directOk = direct.load(path);
        XmlFileLoad load(path);
        waitUntilFinished(load);
        EXPECT_EQ(load.job().Done(), row.content.size());
        EXPECT_EQ(load.totalBytes(), row.content.size());
        XmlDocument viaWorker = XmlDocument::create();
        EXPECT_EQ(viaWorker.load(load), directOk);
        EXPECT_EQ(viaWorker.xml(), direct.xml());
        const XmlParseError& a = viaWorker.parseError();
        const XmlParseError& b = direct.parseError();
        EXPECT_EQ(std::tie(a.reason, a.srcText, a.line, a.linepos),
                  std::tie(b.reason, b.srcText, b.line, b.linepos));
    }
}

TEST(XmlFileLoad, AStoppedLoadEndsWithoutADocumentOrAnError) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.xml"));
    writeBytes(path, "<a><b/></a>");
    HeldParse held;
    XmlFileLoad load(path);
    load.stop();
    held.released = true;
    waitUntilFinished(load);
    EXPECT_EQ(load.job().Done(), 0);
    XmlDocument doc = XmlDocument::create();
    EXPECT_FALSE(doc.load(load));
    EXPECT_TRUE(doc.parseError().reason.isEmpty());
    EXPECT_FALSE(doc.hasContent());
}

TEST(XmlSaveProgress, CountsTheBytesAndAStopLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.xml"));
    writeBytes(path, "old");
    XmlDocument doc = parsed(QStringLiteral("<a><b>text</b></a>"));
    WorkProgress progress;
    doc.save(path, XmlDocument::SaveMode::Durable, &progress);
    EXPECT_EQ(progress.done.load(), readBytes(path).size());
    EXPECT_EQ(readBytes(path), doc.xml().toUtf8());

    writeBytes(path, "old");
    WorkProgress stopped;
    stopped.stop = true;
    EXPECT_THROW(doc.save(path, XmlDocument::SaveMode::Durable, &stopped), XmlError);
    EXPECT_EQ(readBytes(path), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("s.xml")});
}
