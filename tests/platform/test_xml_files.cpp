// The XML layer against the file system and hostile input: encodings, malformed and malicious
// documents, and saves that must never damage the file they replace.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "support/xmltesting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <tuple>

using namespace xmltesting;

namespace {

// Qt's own codecs, independent of the XML layer's; UTF-16 with its byte order mark.
QByteArray encoded(QStringConverter::Encoding e, const QString& s) {
    return QStringEncoder(e, e == QStringConverter::Utf16LE ? QStringConverter::Flag::WriteBom
                                                            : QStringConverter::Flag::Default)
        .encode(s);
}

} // namespace

TEST(XmlFiles, EncodingsLoadIntactAndSaveAsDeclared) {
    using E = QStringConverter::Encoding;
    // The declaration, the encoding of the file read and the one expected of the file saved.
    const std::tuple<const char*, E, E> rows[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", E::Utf8, E::Utf8},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", E::Utf16LE, E::Utf16LE},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", E::Latin1, E::Latin1},
        {"", E::Utf16LE, E::Utf8}, // the mark tells how to read; UTF-8 is the default to write
    };
    for (const auto& [declaration, file, saved] : rows) {
        SCOPED_TRACE(str(declaration + QStringLiteral(" %1").arg(file)));
        QTemporaryDir dir;
        writeBytes(dir.filePath("in.xml"),
                   encoded(file, declaration + QStringLiteral("<r>caf\u00e9</r>")));
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.load(dir.filePath("in.xml"))) << str(doc.parseError().reason);
        EXPECT_EQ(str(doc.documentElement().text()), "caf\u00e9");
        doc.save(dir.filePath("out.xml"));
        EXPECT_EQ(readBytes(dir.filePath("out.xml")).toHex().toStdString(),
                  encoded(saved, doc.xml()).toHex().toStdString());
    }
}

// Text and attribute values can carry any character as a reference; names, comments and CDATA
// cannot, so a document that holds such characters is not saved in an encoding that lacks them.
TEST(XmlFiles, Latin1SaveUsesReferencesOrIsRefusedLeavingTheOldFile) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out.xml");
    const QString decl = QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML(decl + QStringLiteral("<r a=\"\u20ac\">caf\u00e9 \u20ac</r>")));
    doc.save(out);
    EXPECT_TRUE(readBytes(out).contains("caf\xE9")) << readBytes(out).toStdString();
    ASSERT_TRUE(doc.load(out)) << str(doc.parseError().reason);
    EXPECT_EQ(str(doc.documentElement().text()), "caf\u00e9 \u20ac");
    EXPECT_EQ(str(doc.selectSingleNode("/r/@a").text()), "\u20ac");

    writeBytes(out, "<old/>");
    for (const QString& body :
         {QStringLiteral("<r><!--\u20ac--></r>"), QStringLiteral("<r><x\u20ac/></r>"),
          QStringLiteral("<r><![CDATA[\u20ac]]></r>")}) {
        ASSERT_TRUE(doc.loadXML(decl + body));
        EXPECT_THROW(doc.save(out), XmlError) << str(body);
        EXPECT_EQ(readBytes(out), "<old/>");
    }
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

// The report shows the line in the encoding the file is written in, and reads no more of the
// file than the lines up to it: an endless file gets a report too.
TEST(XmlFiles, ParseErrorReportDecodesTheFileAndReadsOnlyUpToTheLine) {
    using E = QStringConverter::Encoding;
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
        XmlDocument doc = XmlDocument::create();
        EXPECT_FALSE(doc.load(dir.filePath("bad.xml")));
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

// Whatever the editor saves it opens again: documents as deep as the platform allows and text of
// any length, with deeper nesting refused in words, by a load and by an edit alike.
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
    XmlNode b = doc.selectSingleNode("//b");
    expectRefused(doc,
                  "The document would nest elements more than 10000 levels deep, deeper "
                  "than the editor can hold.",
                  [&] { b.appendChild(doc.createElement(q("c"))); });
    XmlNode sibling = b.parentNode().appendChild(doc.createElement(q("s")));
    expectRefused(doc,
                  "The document would nest elements more than 10000 levels deep, deeper "
                  "than the editor can hold.",
                  [&] { b.appendChild(sibling); });
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

// Nothing outside the document may be read: no local file, no DTD from a server (a loopback
// one here, which would see the connection).
TEST(XmlFiles, ExternalEntitiesAndDtdsAreNeverRead) {
    QTcpServer server; // a DTD fetch would show as a connection here
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

TEST(XmlFiles, FailedSaveLeavesTheOldFileByteForByte) {
    QTemporaryDir dir;
    const QString target = dir.filePath("doc.xml");
    const QByteArray old = "<?xml version=\"1.0\"?>\n<old>content that must survive</old>\n";
    writeBytes(target, old);
    ASSERT_TRUE(QDir().mkdir(dir.filePath("sub")));

    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML("<?xml version=\"1.0\"?><new/>"));
    // As root, permissions do not stop a write; places that cannot hold a file do.
    EXPECT_THROW(doc.save(dir.filePath("missing/doc.xml")), XmlError);
    EXPECT_THROW(doc.save(dir.filePath("sub")), XmlError);
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());

    // An encoding the writer does not know fails after the target was opened.
    const auto entries = [&] {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    };
    const QStringList before = entries();
    doc.firstChild().setText("version=\"1.0\" encoding=\"x-unknown-enc\"");
    EXPECT_THROW(doc.save(target), XmlError);
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(entries(), before) << "a temporary file was left behind";

    // A good save replaces the whole file, leaving nothing of a longer old content.
    ASSERT_TRUE(doc.loadXML("<n/>"));
    doc.save(target);
    EXPECT_EQ(readBytes(target), doc.xml().toUtf8());
}
