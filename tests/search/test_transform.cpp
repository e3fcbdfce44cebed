// Tools > Transform with XSLT in the window: the document's own stylesheet offered first, the
// result window with its rendered page and text, Save Output As writing exactly xsltproc's bytes,
// Open as Document after the save question, and the messages in the problems panel.

#include "platform/views/richtextbox.h"
#include "search/frmtransform.h"
#include "search/frmtransformresult.h"
#include "support/editingfixture.h"
#include "support/xmltesting.h"

#include <QComboBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

namespace {

const QByteArray kSheet =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
    "<xsl:output method=\"html\"/><xsl:param name=\"title\" select=\"'none'\"/>\n"
    "<xsl:template match=\"/\"><xsl:message>listing <xsl:value-of select=\"count(//i)\"/>"
    "</xsl:message><html><body><h1><xsl:value-of select=\"$title\"/></h1>"
    "<xsl:for-each select=\"//i\"><p><xsl:value-of select=\".\"/></p></xsl:for-each></body>"
    "</html></xsl:template></xsl:stylesheet>\n";

const QByteArray kToXml =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
    "<xsl:template match=\"/\"><items><xsl:for-each select=\"//i\"><item><xsl:value-of "
    "select=\".\"/></item></xsl:for-each></items></xsl:template></xsl:stylesheet>";

class TransformTest : public EditingTest {
protected:
    void expectDialog(std::function<void(frmTransform&)> handle) { expectDialogOf(std::move(handle)); }
    frmTransformResult* result() { return window->m_frmTransformResult; }
};

TEST_F(TransformTest, TheDocumentsStylesheetItsPageTextAndSavedOutput) {
    const QString sheet = writeFile(QStringLiteral("list.xsl"), kSheet);
    load("<?xml-stylesheet type=\"text/xsl\" href=\"list.xsl\"?><r><i>one</i><i>two &amp; "
         "more</i></r>");
    expectDialog([&](frmTransform& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Transform with XSLT"));
        EXPECT_EQ(dialog.Stylesheet(), sheet);
        dialog.AddParameter({QStringLiteral("title"), QStringLiteral("A list"), false});
        dialog.cmdOK->click();
    });
    QTest::keyClick(window->m_wndTree, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_NE(result(), nullptr);
    EXPECT_TRUE(result()->isVisible());
    EXPECT_EQ(result()->tabViews->currentWidget(), result()->m_WebBrowser) << "HTML is rendered";
    EXPECT_TRUE(result()->m_txtOutput->Text().contains(QStringLiteral("<h1>A list</h1>")));
    EXPECT_TRUE(result()->m_txtOutput->isReadOnly());
    // xsl:message is listed in the problems panel.
    QTreeWidget* rows = window->m_validationPanel->Rows();
    ASSERT_EQ(rows->topLevelItemCount(), 1);
    EXPECT_EQ(rows->topLevelItem(0)->text(1), QStringLiteral("listing 2"));
    const QString saved = QDir(dir.path()).filePath(QStringLiteral("out.html"));
    ui.expectFileDialog(FileDialogKind::Save, saved);
    result()->cmdSaveOutput->click();
    if (QStandardPaths::findExecutable(QStringLiteral("xsltproc")).isEmpty())
        GTEST_SKIP() << "xsltproc is not installed (Debian: xsltproc); it is the judge of the bytes";
    QProcess xsltproc;
    xsltproc.start(QStringLiteral("xsltproc"),
                   {QStringLiteral("--stringparam"), QStringLiteral("title"), QStringLiteral("A list"),
                    sheet, window->m_strFileName});
    ASSERT_TRUE(xsltproc.waitForFinished(30000));
    EXPECT_EQ(xmltesting::readBytes(saved).toStdString(),
              xsltproc.readAllStandardOutput().toStdString());
    // The stylesheet and its parameters are offered again for this document.
    expectDialog([&](frmTransform& dialog) {
        EXPECT_EQ(dialog.Stylesheet(), sheet);
        ASSERT_EQ(dialog.Parameters().size(), 1);
        EXPECT_EQ(dialog.Parameters()[0].value, QStringLiteral("A list"));
        dialog.cmdCancel->click();
    });
    trigger("mnuTransform");
}

// The output becomes the document, unsaved and nameless, after the save question; a stylesheet
// that gives no result says so, its fault listed with the stylesheet's file and line.
TEST_F(TransformTest, OpenAsDocumentAndAStylesheetThatFails) {
    const QString toXml = writeFile(QStringLiteral("toxml.xsl"), kToXml);
    load("<r><i>one</i><i>two</i></r>");
    select("r");
    expectDialog([&](frmTransform& dialog) {
        EXPECT_EQ(dialog.Stylesheet(), QString()) << "nothing named, nothing used yet";
        dialog.cmboStylesheet->setEditText(toXml);
        dialog.cmdOK->click();
    });
    trigger("mnuTransform");
    ASSERT_NE(result(), nullptr);
    EXPECT_EQ(result()->tabViews->currentWidget(), result()->m_txtOutput);
    expectDeleteQuestion(MsgResult::Yes);
    trigger("mnuDeleteItem");
    expectSaveQuestion(window->m_strFileName, MsgResult::No);
    result()->cmdOpenAsDocument->click();
    EXPECT_EQ(window->m_strFileName, QString());
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(labelsUnder(QStringLiteral("items")), (QStringList{"item", "item"}));

    const QString broken = writeFile(QStringLiteral("broken.xsl"),
                                     "<xsl:stylesheet version=\"1.0\" "
                                     "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
                                     "<xsl:template></xsl:stylesheet>");
    expectDialog([&](frmTransform& dialog) {
        dialog.cmboStylesheet->setEditText(broken);
        dialog.cmdOK->click();
    });
    ui.expectMessage(QStringLiteral("The transform gave no result: the Validation panel lists why."),
                     MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
    trigger("mnuTransform");
    QTreeWidget* rows = window->m_validationPanel->Rows();
    ASSERT_GE(rows->topLevelItemCount(), 1);
    EXPECT_EQ(rows->topLevelItem(0)->text(0), broken + QStringLiteral(":2"));
    // A stylesheet that is not there is refused in the dialog, opened from the text view by its
    // key, which the view leaves to the window.
    trigger("mnutextView");
    result()->close();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    window->m_txtXML->setFocus();
    const QByteArray text = window->m_txtXML->Utf8Text();
    expectDialog([&](frmTransform& dialog) {
        dialog.cmboStylesheet->setEditText(QStringLiteral("/no/such.xsl"));
        ui.expectMessage(QStringLiteral("The stylesheet /no/such.xsl does not exist."),
                         MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        dialog.cmdOK->click();
        EXPECT_FALSE(dialog.bOK);
        dialog.cmdCancel->click();
    });
    QTest::keyClick(window->m_txtXML, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->m_txtXML->Utf8Text(), text);
}

} // namespace
