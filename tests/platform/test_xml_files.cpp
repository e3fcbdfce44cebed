// The XML layer against files and hostile input: encodings, malformed and malicious documents,
// worker-thread loads, and saves that never damage the file they replace.

#include "platform/work/asidework.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlhistory.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlfileload.h"
#include "support/xmlattributes.h"
#include "support/xmltesting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <tuple>

using namespace xmltesting;
using E = QStringConverter::Encoding;

namespace {

// Qt's own codecs, independent of the XML layer's; UTF-16 with its byte order mark.
QByteArray encoded(E e, const QString& s) {
    return QStringEncoder(e, e == E::Utf16LE ? QStringConverter::Flag::WriteBom
                                             : QStringConverter::Flag::Default)
        .encode(s);
}

void waitUntilFinished(const XmlFileLoad& load) {
    while (!load.finished())
        QThread::msleep(1);
}

// Loads the file directly and on a worker thread, which must count every byte and give the same.
XmlDocument loadedBothWays(const QString& path) {
    XmlDocument direct = XmlDocument::create();
    const bool loaded = direct.load(path);
    XmlFileLoad load(path);
    waitUntilFinished(load);
    EXPECT_EQ(load.job().Done(), QFileInfo(path).size());
    EXPECT_EQ(load.totalBytes(), QFileInfo(path).size());
    XmlDocument viaWorker = XmlDocument::create();
    EXPECT_EQ(viaWorker.load(load), loaded);
    EXPECT_EQ(viaWorker.xml(), direct.xml());
    const XmlParseError &a = viaWorker.parseError(), &b = direct.parseError();
    EXPECT_EQ(std::tie(a.reason, a.srcText, a.line, a.linepos),
              std::tie(b.reason, b.srcText, b.line, b.linepos));
    return direct;
}

} // namespace

TEST(XmlFiles, EncodingsLoadIntactAndSaveAsDeclared) {
    // The declaration, the encoding of the file read and the one expected of the file saved with
    // a change (saved with none, it is the file as it was).
    const std::tuple<const char*, E, E> rows[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", E::Utf8, E::Utf8},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", E::Utf16LE, E::Utf16LE},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", E::Latin1, E::Latin1},
        {"", E::Utf16LE, E::Utf8}, // the mark tells how to read; UTF-8 is the default to write
        // Written as the user wrote it, in the tree as in the text view.
        {"<?xml version='1.0'  encoding = \"UTF-16\" ?>", E::Utf16LE, E::Utf16LE},
        {"<?xml version='1.0' encoding='ISO-8859-1'  standalone='no'?>", E::Latin1, E::Latin1},
    };
    for (const auto& [declaration, file, saved] : rows) {
        SCOPED_TRACE(str(declaration + QStringLiteral(" %1").arg(file)));
        QTemporaryDir dir;
        const QString wide = QString::fromStdString(manyAttributes(300, " p:x=\"&#38;\""));
        writeBytes(
            dir.filePath("in.xml"),
            encoded(file, q(declaration) + "<r xmlns:p=\"urn:p\"><e" + wide + "/>caf\u00e9</r>"));
        XmlDocument doc = loadedBothWays(dir.filePath("in.xml"));
        ASSERT_TRUE(doc.hasContent()) << str(doc.parseError().reason);
        EXPECT_EQ(str(doc.documentElement().text()), "caf\u00e9");
        if (*declaration) {
            const QString written = q(declaration).mid(6).chopped(2).trimmed();
            EXPECT_EQ(str(doc.firstChild().text()), str(written));
            EXPECT_EQ(str(parsed(doc.xml()).firstChild().text()), str(written));
        }
        doc.save(dir.filePath("out.xml"));
        EXPECT_EQ(readBytes(dir.filePath("out.xml")), readBytes(dir.filePath("in.xml")));
        {
            XmlChangeStep step(doc, q("Edit"));
            doc.documentElement().setAttribute(q("z"), q("\u00e9"));
            step.commit();
        }
        doc.save(dir.filePath("out.xml"));
        EXPECT_EQ(readBytes(dir.filePath("out.xml")).toHex().toStdString(),
                  encoded(saved, doc.xml()).toHex().toStdString());
    }
    // Text and attribute values carry what the encoding lacks as references.
    QTemporaryDir dir;
    const QString out = dir.filePath("out.xml");
    XmlDocument doc = parsed("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r "
                             "a=\"\u20ac\">caf\u00e9 \u20ac</r>");
    doc.save(out);
    EXPECT_TRUE(readBytes(out).contains("caf\xE9")) << readBytes(out).toStdString();
    ASSERT_TRUE(doc.load(out)) << str(doc.parseError().reason);
    EXPECT_EQ(str(doc.documentElement().text()), "caf\u00e9 \u20ac");
    EXPECT_EQ(str(doc.selectSingleNode("/r/@a").text()), "\u20ac");
}

// Names, comments, CDATA and the document type declaration cannot carry a reference; a file in an
// encoding that cannot be read back is no file. A refused save leaves the old file and no other.
TEST(XmlFiles, RefusedSaveLeavesTheOldFileByteForByte) {
    const QString latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const QString lacks = "The document cannot be saved in the encoding ISO-8859-1: the %1 holds a "
                          "character that this encoding cannot represent.";
    const struct Row {
        const char* name;
        QString text;
        const char* target; // in the folder, where doc.xml is the old file
        QString message;    // <path> stands for the target
    } rows[] = {
        {"comment", latin1 + "<r><!--\u20ac--></r>", "doc.xml", lacks.arg("comment '\u20ac'")},
        {"element name", latin1 + "<r><x\u20ac/></r>", "doc.xml",
         lacks.arg("element name 'x\u20ac'")},
        {"CDATA section", latin1 + "<r><![CDATA[\u20ac]]></r>", "doc.xml",
         lacks.arg("CDATA section '\u20ac'")},
        {"document type declaration", latin1 + "<!DOCTYPE r [<!-- caf\u00e9 \u20ac -->]><r/>",
         "doc.xml", lacks.arg("document type declaration")},
        {"encoding not read back", "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r>x</r>", "doc.xml",
         "The document cannot be saved in the encoding UTF-7: a file written in it could not be "
         "read again. Name another encoding (such as UTF-8) in the XML declaration."},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-unknown-enc\"?><new/>", "doc.xml",
         "The encoding \"x-unknown-enc\" is not supported."}, // once the target was opened
        // As root, permissions do not stop a write; places that cannot hold a file do.
        {"missing folder", "<new/>", "missing/doc.xml",
         "The file <path> cannot be written: No such file or directory"},
        {"a folder", "<new/>", "sub",
         "The file <path> cannot be written: Filename refers to a directory"},
        {"stopped", "<new/>", "doc.xml", "The document could not be written."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString target = dir.filePath(row.target);
        const QByteArray old = "<?xml version=\"1.0\"?>\n<old>content that must survive</old>\n";
        writeBytes(dir.filePath("doc.xml"), old);
        ASSERT_TRUE(QDir().mkdir(dir.filePath("sub")));
        const auto entries = [&] {
            return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        };
        const QStringList before = entries();
        XmlDocument doc = parsed(row.text);
        try {
            WorkProgress progress;
            progress.stop = row.name == std::string("stopped");
            doc.save(target, XmlDocument::SaveMode::Durable, &progress);
            ADD_FAILURE() << "saved";
        } catch (const XmlError& e) {
            EXPECT_EQ(str(e.description()), str(QString(row.message).replace("<path>", target)));
        }
        EXPECT_EQ(readBytes(dir.filePath("doc.xml")), old);
        EXPECT_EQ(entries(), before) << "a temporary file was left behind";
    }
    // A good save replaces the whole file, leaving nothing of a longer old content.
    QTemporaryDir dir;
    const QString path = dir.filePath("s.xml");
    writeBytes(path, "<?xml version=\"1.0\"?>\n<old>content that must survive</old>\n");
    XmlDocument doc = parsed("<a><b>text</b></a>");
    WorkProgress progress;
    doc.save(path, XmlDocument::SaveMode::Durable, &progress);
    EXPECT_EQ(readBytes(path), doc.xml().toUtf8());
    EXPECT_EQ(progress.done.load(), readBytes(path).size());
}

TEST(XmlFiles, BadInputIsRefusedQuicklyWithAReport) {
    QByteArray binary(4096, '\0');
    QRandomGenerator rng(20240601); // fixed seed: the same bytes every run
    for (char& c : binary)
        c = static_cast<char>(rng.bounded(256));
    binary[0] = '<';

    QString laughs = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i)
        laughs +=
            QString("<!ENTITY l%1 \"%2\">").arg(i).arg(QString("&l%1;").arg(i - 1).repeated(10));
    laughs += "]>";

    // asText: whether the bytes stay bad once decoded to a string (invalid UTF-8 gets repaired).
    const std::tuple<const char*, QByteArray, bool> rows[] = {
        {"not_well_formed", "<r><a></b></r>", true},
        {"binary_with_nul", binary, true},
        {"invalid_utf8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\x28 \xFF</r>", false},
        {"megabyte_line", "<r a='1'>" + QByteArray(1 << 20, 'x') + "<</r>", true},
        {"billion_laughs", (laughs + "<l>&l9;</l>").toUtf8(), true},
        {"billion_laughs_in_an_attribute", (laughs + "<l a='&l9;'/>").toUtf8(), true},
        {"billion_laughs_declared_only", (laughs + "<l/>").toUtf8(), true},
        {"entity_loop_in_text",
         "<!DOCTYPE r [<!ENTITY a \"&b;&b;\"><!ENTITY b \"&a;&a;\">]><r>&a;</r>", true},
        {"entity_loop_in_an_attribute",
         "<!DOCTYPE r [<!ENTITY a \"&b;&b;\"><!ENTITY b \"&a;&a;\">]><r x='&a;'/>", true},
    };
    for (const auto& [name, bytes, asText] : rows) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        writeBytes(dir.filePath("bad.xml"), bytes);
        XmlDocument doc = XmlDocument::create();
        for (bool fromFile : {true, !asText}) { // from memory too, where that stays bad
            QElapsedTimer timer;
            timer.start();
            EXPECT_FALSE(fromFile ? doc.load(dir.filePath("bad.xml"))
                                  : doc.loadXML(QString::fromUtf8(bytes)));
            EXPECT_LT(timer.elapsed(), 1000);
            EXPECT_FALSE(doc.parseError().reason.isEmpty());
            EXPECT_LT(doc.parseError().srcText.size(), 1000); // a cut-out, not the whole line
            EXPECT_FALSE(doc.hasContent());
        }
    }
}

// The report shows the line decoded, reading no further than it: an endless file gets one too.
TEST(XmlFiles, ParseErrorReportDecodesTheFileAndReadsOnlyUpToTheLine) {
    const QString body = QStringLiteral("<r>\n<x>caf\u00e9 \u00e0 &bad</x>\n</r>");
    const std::tuple<const char*, E> rows[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", E::Latin1},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", E::Utf16LE},
        {"", E::Utf8},
    };
    for (const auto& [declaration, encoding] : rows) {
        SCOPED_TRACE(declaration);
        QTemporaryDir dir;
        writeBytes(dir.filePath("bad.xml"), encoded(encoding, declaration + body));
        const XmlDocument doc = loadedBothWays(dir.filePath("bad.xml"));
        EXPECT_FALSE(doc.hasContent());
        EXPECT_EQ(doc.parseError().line, 2);
        EXPECT_EQ(str(doc.parseError().srcText), "<x>caf\u00e9 \u00e0 &bad</x>");
    }
    if (QFile::exists("/dev/zero")) {
        XmlDocument doc = XmlDocument::create();
        EXPECT_FALSE(doc.load("/dev/zero"));
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
        EXPECT_LT(doc.parseError().srcText.size(), 1000);
    }
}

// Whatever the editor saves it opens again, at any allowed depth or length of text.
TEST(XmlFiles, WhatASaveWritesOpensAgainAtAnyDepthOrSize) {
    constexpr int kDeepest = 10000;
    const QString refusal = q("The document nests elements more than 10000 levels deep, deeper "
                              "than the editor can hold.");
    QTemporaryDir dir;
    const QString path = dir.filePath("deep.xml");
    writeBytes(path, QByteArray("<a>").repeated(kDeepest - 1) + "<b>t</b>" +
                         QByteArray("</a>").repeated(kDeepest - 1));
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.load(path)) << str(doc.parseError().reason);
    EXPECT_EQ(doc.selectNodes("//a").length(), kDeepest - 1);
    doc.save(path);
    ASSERT_TRUE(doc.load(path)) << str(doc.parseError().reason);

    writeBytes(path, "<r>" + QByteArray("<a>").repeated(kDeepest) +
                         QByteArray("</a>").repeated(kDeepest) + "</r>");
    EXPECT_FALSE(doc.load(path));
    EXPECT_EQ(doc.parseError().reason, refusal);
    EXPECT_EQ(doc.parseError().line, 1);
    EXPECT_FALSE(doc.loadXML(q("<r>") + q("<a>").repeated(kDeepest)));
    EXPECT_EQ(doc.parseError().reason, refusal);

    // libxml2 stops at 10 MB without being told otherwise, in a file read piece by piece too.
    const QByteArray big(12 << 20, 'x');
    for (const QByteArray& text :
         {"<r>" + big + "</r>", "<r a='" + big + "'/>", "<r><!--" + big + "--></r>",
          "<r><![CDATA[" + big + "]]></r>", "<r><?pi " + big + "?></r>"}) {
        SCOPED_TRACE(text.left(12).toStdString());
        writeBytes(path, text);
        ASSERT_TRUE(doc.load(path)) << str(doc.parseError().reason);
        doc.save(path);
        ASSERT_TRUE(doc.load(path)) << str(doc.parseError().reason);
        EXPECT_GE(readBytes(path).size(), big.size());
    }
}

// Nothing outside the document is read: no local file, no DTD from a (loopback) server.
TEST(XmlFiles, ExternalEntitiesAndDtdsAreNeverRead) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    const QByteArray marker = "SECRET-7f3a91";
    writeBytes(dir.filePath("secret.txt"), marker);
    writeBytes(dir.filePath("leak.dtd"), "<!ENTITY leak \"" + marker + "\">");
    const QString secret = QUrl::fromLocalFile(dir.filePath("secret.txt")).toString();
    const QString dtd = QUrl::fromLocalFile(dir.filePath("leak.dtd")).toString();
    for (const QString& text :
         {QStringLiteral("<!DOCTYPE r [<!ENTITY x SYSTEM \"%1\">]><r a=\"&x;\">&x;</r>")
              .arg(secret),
          QStringLiteral("<!DOCTYPE r [<!ENTITY % p SYSTEM \"%1\">%p;]><r>&leak;</r>").arg(dtd),
          QStringLiteral("<!DOCTYPE r SYSTEM \"%1\"><r>&leak;</r>").arg(dtd),
          QStringLiteral("<!DOCTYPE r SYSTEM \"http://127.0.0.1:%1/x.dtd\"><r>&leak;</r>")
              .arg(server.serverPort())}) {
        SCOPED_TRACE(str(text));
        writeBytes(dir.filePath("doc.xml"), text.toUtf8());
        loadedBothWays(dir.filePath("doc.xml"));
        for (bool fromFile : {false, true}) {
            XmlDocument doc = XmlDocument::create();
            QElapsedTimer timer;
            timer.start();
            // Refusing the document is just as safe; text only, as the markup spells out names.
            if (fromFile ? doc.load(dir.filePath("doc.xml")) : doc.loadXML(text)) {
                const XmlNode root = doc.documentElement();
                const XmlNode a = root.attributes().getNamedItem("a");
                EXPECT_FALSE((root.text() + (a.isNull() ? QString() : a.text())).contains(marker));
            }
            EXPECT_LT(timer.elapsed(), 1000);
        }
    }
    EXPECT_FALSE(server.waitForNewConnection(50));
}

TEST(XmlFileLoad, AStoppedLoadEndsWithoutADocumentOrAnError) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.xml"));
    writeBytes(path, "<a><b/></a>");
    std::atomic<bool> released{false};
    // Holds the worker's parse until released (or a long while has passed, so a broken test ends).
    XmlFileLoad::SetBeforeParseHook([&released] {
        for (int i = 0; i < 20000 && !released.load(); ++i)
            QThread::msleep(1);
    });
    XmlFileLoad load(path);
    load.stop();
    released = true;
    waitUntilFinished(load);
    XmlFileLoad::SetBeforeParseHook({});
    AsideWork::WaitForAll();
    EXPECT_EQ(load.job().Done(), 0);
    XmlDocument doc = XmlDocument::create();
    EXPECT_FALSE(doc.load(load));
    EXPECT_TRUE(doc.parseError().reason.isEmpty());
    EXPECT_FALSE(doc.hasContent());
}
