// A file that does not parse opens for repair in the text view, by every way of opening; the text
// view checks its typing as it pauses; such text saves as it stands after a question. The session's
// side (decoding, the exact bytes written) is in test_session.

#include "app/statuspanels.h"
#include "document/wellformedcheck.h"
#include "support/mainwindowfixture.h"

#include <QDeadlineTimer>
#include <QTreeWidget>

using FD = FileDialogKind;

namespace {
const QString kTitle = QStringLiteral("Orvel XML Editor");
const QString kSaveAnyway = QStringLiteral("The text is not well-formed XML. Save it anyway?");
const QByteArray kBroken = "<a>\n  <b>text</c>\n</a>\n";
const QString kSentence = QStringLiteral(
    "Not well-formed: line 2, column 14: Opening and ending tag mismatch: b line 2 and c");
} // namespace

class RepairWindowTest : public MainWindowTest {
protected:
    QByteArray viewBytes() { return window->m_txtXML->Utf8Content().toByteArray(); }
    QString status() { return window->StatusBar1->WellFormedness(); }
    QStringList problemRows() {
        QStringList rows;
        QTreeWidget* list = window->m_validationPanel->Rows();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + QLatin1Char(' ') +
                        list->topLevelItem(i)->text(1);
        return rows;
    }
    QByteArray underlined() {
        const auto [from, to] = window->m_txtXML->ErrorRange();
        return viewBytes().mid(from, to - from);
    }
    // Everything that shows where the text stops being well-formed, or that it does not.
    void expectMarked(const QString& sentence, int line, const QByteArray& underline) {
        EXPECT_EQ(status(), sentence);
        EXPECT_EQ(window->m_txtXML->ErrorLine(), line);
        EXPECT_EQ(underlined(), underline);
        EXPECT_EQ(problemRows(), QStringList{QString::number(line) + QLatin1Char(' ') + sentence});
    }
    void expectUnmarked(const QString& said) {
        EXPECT_EQ(status(), said);
        EXPECT_EQ(window->m_txtXML->ErrorLine(), 0);
        EXPECT_EQ(underlined(), QByteArray());
        EXPECT_TRUE(problemRows().isEmpty());
        EXPECT_TRUE(window->m_wndTree->Placeholder().isEmpty());
        EXPECT_TRUE(window->m_WebBrowser->Note().isEmpty());
    }
    // Waits for the live check's answer to be shown.
    bool waitForStatus(const std::function<bool(const QString&)>& wanted) {
        const QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (wanted(status()) && !window->m_wellFormedCheck->Pending())
                return true;
        }
        return false;
    }
};

// Open, a drop and the command line all show the file's own text, its error marked and said, with
// nothing in the tree or the web view but the same sentence; nothing asks anything.
TEST_F(RepairWindowTest, ABrokenFileOpensAsItsTextByEveryWay) {
    const QString path = writeFile(QStringLiteral("broken.xml"), kBroken);
    for (const char* way : {"Open", "drop", "command line"}) {
        SCOPED_TRACE(way);
        start();
        if (QByteArray(way) == "Open") {
            ui.expectFileDialog(FD::Open, path);
            trigger("mnuOpen");
        } else if (QByteArray(way) == "drop") {
            emit window->m_wndTree->FilesDropped({path});
        } else {
            start({path});
        }
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - broken.xml"));
        EXPECT_TRUE(window->m_txtXML->isVisible());
        EXPECT_TRUE(window->Command(QStringLiteral("mnutextView"))->isChecked());
        EXPECT_EQ(viewBytes(), kBroken);
        EXPECT_FALSE(window->HasUnsavedChanges());
        expectMarked(kSentence, 2, "</c>");
        int line = 0, index = 0;
        window->m_txtXML->getCursorPosition(&line, &index);
        EXPECT_EQ(line, 1) << "at the error";
        EXPECT_TRUE(window->m_validationPanel->isVisible());
        EXPECT_TRUE(window->m_wndTree->Nodes().IsEmpty());
        EXPECT_EQ(window->m_wndTree->Placeholder(), kSentence);
        EXPECT_EQ(window->m_WebBrowser->Note(), kSentence);
        ui.verify();
    }

    // Leaving and coming back: the tree says it, with nothing to act on, and the problems list
    // leads to the place.
    trigger("mnuTreeView");
    EXPECT_TRUE(window->m_wndTree->Nodes().IsEmpty());
    for (const char* command : {"mnuNewElement", "mnuNewText", "mnuCut", "mnuCopy",
                                "mnuPaste", "mnuMoveUp", "mnuUpdate", "mnuSpecialUpdate"})
        EXPECT_FALSE(window->Command(QString::fromLatin1(command))->isEnabled()) << command;
    window->m_validationPanel->Rows()->setCurrentItem(
        window->m_validationPanel->Rows()->topLevelItem(0));
    emit window->m_validationPanel->rowActivated();
    EXPECT_TRUE(window->m_txtXML->isVisible());
    int line = 0, index = 0;
    window->m_txtXML->getCursorPosition(&line, &index);
    EXPECT_EQ(std::make_pair(line, index), std::make_pair(1, 13));
}

// Save asks before it writes text that does not parse, and writes it exactly; Apply of the
// repaired text gives the Document, under the file's name, with nothing to undo.
TEST_F(RepairWindowTest, SaveWritesTheTextAsItStandsAndApplyTakesTheRepair) {
    const QString path = writeFile(QStringLiteral("broken.xml"), kBroken);
    ui.expectFileDialog(FD::Open, path);
    trigger("mnuOpen");
    ui.expectMessage(kSaveAnyway, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, MsgResult::No);
    QTest::keySequence(window.get(), QKeySequence::Save);
    EXPECT_EQ(readFile(path), kBroken);

    window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    QTest::keyClicks(window->m_txtXML, QStringLiteral("<!-- x -->"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    ui.expectMessage(kSaveAnyway, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, MsgResult::Yes);
    QTest::keySequence(window.get(), QKeySequence::Save);
    EXPECT_EQ(readFile(path), kBroken + QByteArray("<!-- x -->"));
    EXPECT_EQ(readFile(path), viewBytes());
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_EQ(window->m_strFileName, path);

    // Apply of text that still does not parse: the report as ever, and the new place marked.
    window->m_txtXML->setText(QStringLiteral("<a>\n  <b>text</b>\n</x>\n"));
    ui.expectMessagePrefix(QStringLiteral("Opening and ending tag mismatch: a line 1 and x"),
                           MsgButtons::OKOnly, MsgIcon::Information);
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    click(window->ToolbarApply, "Apply");
    expectMarked(QStringLiteral("Not well-formed: line 3, column 5: Opening and ending tag "
                                "mismatch: a line 1 and x"),
                 3, "</x>");

    window->m_txtXML->setText(QStringLiteral("<a>\n  <b>text</b>\n</a>\n"));
    click(window->ToolbarApply, "Apply");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - broken.xml"));
    EXPECT_FALSE(window->Command(QStringLiteral("mnuUndo"))->isEnabled());
    EXPECT_TRUE(window->HasUnsavedChanges()) << "the repair is not in the file yet";
    expectUnmarked(QStringLiteral("Well-formed"));
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), QByteArray("<a>\n  <b>text</b>\n</a>\n"));
}

// Bytes that cannot be decoded are shown read-only and are never written over; a folder is no
// file to open.
TEST_F(RepairWindowTest, UndecodableBytesOpenReadOnly) {
    const QByteArray bytes = "<a>\xff</a>\n";
    const QString path = writeFile(QStringLiteral("binary.xml"), bytes);
    ui.expectFileDialog(FD::Open, path);
    ui.expectMessage(QStringLiteral("The file %1 contains bytes that are not valid UTF-8; it is "
                                    "shown read-only so that saving cannot change them.")
                         .arg(path),
                     MsgButtons::OKOnly, MsgIcon::Exclamation);
    trigger("mnuOpen");
    EXPECT_EQ(viewBytes(), QByteArray("<a>\xef\xbf\xbd</a>\n"));
    EXPECT_TRUE(window->m_txtXML->isReadOnly());
    QTest::keyClicks(window->m_txtXML, QStringLiteral("x"));
    EXPECT_EQ(viewBytes(), QByteArray("<a>\xef\xbf\xbd</a>\n"));

    ui.expectFileDialog(FD::Save, path);
    ui.expectMessage(
        QStringLiteral("The file %1 is shown read-only: save the text under another name.").arg(path),
        MsgButtons::OKOnly, MsgIcon::Exclamation);
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), bytes);
    const QString other = dir.filePath(QStringLiteral("other.xml"));
    ui.expectFileDialog(FD::Save, other);
    ui.expectMessage(kSaveAnyway, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, MsgResult::Yes);
    trigger("mnuSaveAs");
    EXPECT_EQ(readFile(other), QByteArray("<a>\xef\xbf\xbd</a>\n"));
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_FALSE(window->m_txtXML->isReadOnly());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - other.xml"));

    ui.expectFileDialog(FD::Open, dir.path());
    ui.expectMessage(QStringLiteral("The file %1 cannot be opened: it is not a regular file.")
                         .arg(dir.path()),
                     MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuOpen");
    EXPECT_EQ(window->m_strFileName, other);
}

// Typing is checked once it pauses: the first error is marked and said until the text parses
// again; a text as it was put in is what its Document says.
TEST_F(RepairWindowTest, TheLiveCheckMarksAndClearsAsTheUserTypes) {
    const QString path = writeFile(QStringLiteral("doc.xml"), "<r>\n  <a/>\n</r>\n");
    ui.expectFileDialog(FD::Open, path);
    trigger("mnuOpen");
    window->m_wellFormedCheck->SetPause(20);
    trigger("mnutextView");
    EXPECT_TRUE(status().isEmpty());
    RichTextBox& view = *window->m_txtXML;
    // A start tag left open, as it is without its end tag added.
    trigger("mnuCloseTags");
    view.setFocus();
    view.setCursorPosition(1, 6);
    QTest::keyClicks(&view, QStringLiteral("<b>"));
    ASSERT_TRUE(waitForStatus([](const QString& s) { return s.startsWith("Not well-formed"); }));
    expectMarked(QStringLiteral("Not well-formed: line 3, column 5: Opening and ending tag "
                                "mismatch: b line 2 and r"),
                 3, "</r>");
    EXPECT_TRUE(window->m_wndTree->Placeholder().isEmpty()) << "the Document is still there";
    trigger("mnuCloseTags");
    QTest::keyClicks(&view, QStringLiteral("</"));
    ASSERT_TRUE(waitForStatus([](const QString& s) { return s == QLatin1String("Well-formed"); }));
    expectUnmarked(QStringLiteral("Well-formed"));
    EXPECT_EQ(viewBytes(), QByteArray("<r>\n  <a/><b></b>\n</r>\n"));

    // Typing taken back to the text put in is the Document's text.
    QTest::keyClicks(&view, QStringLiteral("<"));
    ASSERT_TRUE(waitForStatus([](const QString& s) { return s.startsWith("Not well-formed"); }));
    while (view.HasTyping())
        view.undo();
    ASSERT_TRUE(waitForStatus([](const QString& s) { return s == QLatin1String("Well-formed"); }));
    EXPECT_EQ(view.ErrorLine(), 0);
}
