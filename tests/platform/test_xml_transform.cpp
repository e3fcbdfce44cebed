// XSLT: the output of each stylesheet-document pair, parameters included, byte for byte what
// xsltproc writes; the stylesheet an xml-stylesheet instruction names; what a stylesheet may not
// do (write, make a directory, read from the network) refused and listed, never done; a transform
// that would run for ever stopped.

#include "platform/xml/xmltransform.h"
#include "support/networkwatch.h"
#include "support/xmltesting.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace xmltesting;

namespace {

class Transform : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        writeBytes(path, bytes);
        return path;
    }
    // xsltproc's output for the same files and parameters; empty (and the test skipped) without it.
    QByteArray xsltproc(const QString& stylesheet, const QString& document,
                        const QList<XmlTransform::Parameter>& parameters) {
        QStringList arguments;
        for (const XmlTransform::Parameter& p : parameters)
            arguments << (p.expression ? QStringLiteral("--param") : QStringLiteral("--stringparam"))
                      << p.name << p.value;
        arguments << stylesheet << document;
        QProcess process;
        process.start(QStringLiteral("xsltproc"), arguments);
        EXPECT_TRUE(process.waitForFinished(30000)) << process.errorString().toStdString();
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }
    XmlTransform::Result run(const QString& stylesheet, const QString& document,
                             const QList<XmlTransform::Parameter>& parameters = {}) {
        return XmlTransform::Transform(readBytes(document), document, stylesheet, parameters);
    }

    QTemporaryDir dir;
};

const QByteArray kDocument =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<?xml-stylesheet type=\"text/xsl\" href=\"sheets/list.xsl\"?>\n"
    "<!DOCTYPE list [<!ATTLIST item kind CDATA \"plain\"><!ENTITY who \"Z\xfc" "rich\">]>\n"
    "<!-- a list -->\n"
    "<list>\n  <item n=\"1\">one &who;</item>\n  <item n=\"2\" kind=\"odd\"><![CDATA[<two> & "
    "more]]></item>\n  <?keep this?>\n  <item n=\"3\">three words here</item>\n</list>\n";

TEST_F(Transform, OutputIsByteForByteWhatXsltprocWrites) {
    if (QStandardPaths::findExecutable(QStringLiteral("xsltproc")).isEmpty())
        GTEST_SKIP() << "xsltproc is not installed (Debian: xsltproc); it is the judge here";
    const QString document = write(QStringLiteral("list.xml"), kDocument);
    const struct {
        const char* name;
        const char* stylesheet;
        QList<XmlTransform::Parameter> parameters;
        const char* method;
    } rows[] = {
        {"identity",
         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
         "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/>"
         "</xsl:copy></xsl:template></xsl:stylesheet>",
         {},
         "xml"},
        {"html",
         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
         "<xsl:output method=\"html\" encoding=\"ISO-8859-1\"/><xsl:param name=\"title\"/>"
         "<xsl:template match=\"/\"><html><head><title><xsl:value-of select=\"$title\"/></title>"
         "</head><body><ul><xsl:for-each select=\"list/item\"><li class=\"{@kind}\">"
         "<xsl:value-of select=\".\"/></li></xsl:for-each></ul><br/></body></html>"
         "</xsl:template></xsl:stylesheet>",
         {{QStringLiteral("title"), QStringLiteral("It's <b> & \u00e9"), false}},
         "html"},
        {"text with EXSLT and an expression",
         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
         "xmlns:str=\"http://exslt.org/strings\" extension-element-prefixes=\"str\">"
         "<xsl:output method=\"text\"/><xsl:param name=\"limit\" select=\"0\"/>"
         "<xsl:template match=\"/\"><xsl:for-each select=\"str:tokenize(list/item[3], ' ')\">"
         "<xsl:value-of select=\"concat(position() * $limit, '=', ., '&#10;')\"/></xsl:for-each>"
         "<xsl:value-of select=\"count(//item[@kind='plain'])\"/></xsl:template>"
         "</xsl:stylesheet>",
         {{QStringLiteral("limit"), QStringLiteral("2 + 1"), true}},
         "text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString sheet = write(QStringLiteral("s.xsl"), row.stylesheet);
        const XmlTransform::Result r = run(sheet, document, row.parameters);
        ASSERT_TRUE(r.produced) << (r.messages.isEmpty() ? std::string() : str(r.messages[0].text));
        const QByteArray expected = xsltproc(sheet, document, row.parameters);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(r.output.toStdString(), expected.toStdString());
        EXPECT_EQ(str(r.method), row.method);
    }
}

// The instruction's stylesheet, resolved against the document's folder; xsl:message is listed
// with where it stands, and terminate="yes" ends the transform without a result.
TEST_F(Transform, TheDocumentsOwnStylesheetAndItsMessages) {
    QDir(dir.path()).mkpath(QStringLiteral("sheets"));
    const QString sheet = write(
        QStringLiteral("sheets/list.xsl"),
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
        "<xsl:template match=\"/\">\n<xsl:message>counted <xsl:value-of select=\"count(//item)\"/>"
        "</xsl:message>\n<xsl:if test=\"$stop\"><xsl:message terminate=\"yes\">stopped here"
        "</xsl:message></xsl:if><done/></xsl:template>\n<xsl:param name=\"stop\" select=\"false()\"/>"
        "</xsl:stylesheet>");
    const QString document = write(QStringLiteral("list.xml"), kDocument);
    EXPECT_EQ(XmlTransform::StylesheetNamedIn(kDocument, document), sheet);
    EXPECT_EQ(XmlTransform::StylesheetNamedIn("<?xml-stylesheet type=\"text/css\" href=\"a.css\"?>",
                                              document),
              QString());
    XmlTransform::Result r = run(sheet, document);
    ASSERT_TRUE(r.produced);
    ASSERT_FALSE(r.messages.isEmpty());
    EXPECT_EQ(str(r.messages[0].text), "counted 3");
    EXPECT_FALSE(r.messages[0].error) << "what xsl:message says is no error";
    r = run(sheet, document, {{QStringLiteral("stop"), QStringLiteral("true()"), true}});
    EXPECT_FALSE(r.produced);
    QStringList said;
    for (const auto& m : r.messages)
        said << m.text;
    EXPECT_TRUE(said.join(u'|').contains(QStringLiteral("stopped here"))) << str(said.join(u'|'));
    EXPECT_TRUE(r.messages.constLast().error) << "the end it made is";
    // A stylesheet that is not one says why, with its file and line.
    const QString broken = write(QStringLiteral("broken.xsl"), "<xsl:stylesheet version=\"1.0\" "
                                 "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n<xsl:template>"
                                 "</xsl:stylesheet>");
    r = run(broken, document);
    EXPECT_FALSE(r.produced);
    ASSERT_FALSE(r.messages.isEmpty());
    EXPECT_EQ(r.messages[0].file, broken);
    EXPECT_EQ(r.messages[0].line, 2);
}

// A stylesheet writes no file, makes no directory and reaches no network, whatever it tries;
// each attempt is refused and listed. Local files are read.
TEST_F(Transform, WhatAStylesheetMayNotDoIsRefusedAndListed) {
    NetworkWatch network;
    const QString written = dir.filePath(QStringLiteral("written.txt"));
    const QString made = dir.filePath(QStringLiteral("made/inside.txt"));
    write(QStringLiteral("local.xml"), "<local>read</local>");
    const QString sheet = write(
        QStringLiteral("bad.xsl"),
        QStringLiteral(
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
            "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">"
            "<xsl:template match=\"/\"><out>"
            "<xsl:value-of select=\"document('local.xml')\"/>"
            "<xsl:copy-of select=\"document('http://127.0.0.1:9/remote.xml')\"/>"
            "<exsl:document href=\"%1\" method=\"text\">written</exsl:document>"
            "<exsl:document href=\"%2\" method=\"text\">made</exsl:document>"
            "</out></xsl:template></xsl:stylesheet>")
            .arg(written, made)
            .toUtf8());
    const QString document = write(QStringLiteral("d.xml"), "<d/>");
    const XmlTransform::Result r = run(sheet, document);
    EXPECT_FALSE(QFileInfo::exists(written));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("made"))));
    EXPECT_EQ(network.attempts(), 0);
    QStringList said;
    for (const auto& m : r.messages)
        said << m.text;
    const QString all = said.join(u'|');
    EXPECT_TRUE(all.contains(QStringLiteral("refused"), Qt::CaseInsensitive)) << str(all);
    EXPECT_TRUE(all.contains(QStringLiteral("127.0.0.1"))) << str(all);
    // An import from the network is refused the same way, before anything is read.
    const QString importing = write(
        QStringLiteral("import.xsl"),
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
        "<xsl:import href=\"http://127.0.0.1:9/other.xsl\"/></xsl:stylesheet>");
    EXPECT_FALSE(run(importing, document).produced);
    EXPECT_EQ(network.attempts(), 0);
}

// Esc during a transform that would never end stops it, without a result.
TEST_F(Transform, ATransformThatNeverEndsIsStopped) {
    const QString sheet = write(
        QStringLiteral("loop.xsl"),
        "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
        "<xsl:template match=\"/\"><xsl:call-template name=\"n\"/></xsl:template>"
        "<xsl:template name=\"n\"><xsl:param name=\"i\" select=\"0\"/>"
        "<xsl:for-each select=\"(//node())[$i &lt; 1e15]\"><xsl:for-each select=\"//node()\">"
        "<xsl:for-each select=\"//node()\"><x/></xsl:for-each></xsl:for-each></xsl:for-each>"
        "</xsl:template></xsl:stylesheet>");
    QByteArray big = "<r>";
    for (int i = 0; i < 3000; ++i)
        big += "<a/>";
    const QString document = write(QStringLiteral("big.xml"), big + "</r>");
    WorkProgress progress;
    QThread* stopper = QThread::create([&] {
        QThread::msleep(300);
        progress.stop.store(true);
    });
    stopper->start();
    QElapsedTimer timer;
    timer.start();
    const XmlTransform::Result r =
        XmlTransform::Transform(readBytes(document), document, sheet, {}, &progress);
    stopper->wait();
    delete stopper;
    EXPECT_FALSE(r.produced);
    EXPECT_TRUE(r.stopped);
    EXPECT_LT(timer.elapsed(), 20000);
}

} // namespace
