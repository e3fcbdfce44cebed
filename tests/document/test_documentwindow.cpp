// The window's side of the document: every question and report with its exact words, the file
// dialogs, recovery at start-up and Esc during an open. The rules behind them are the session's.

#include "app/statuspanels.h"
#include "platform/ui/longoperation.h"
#include "platform/work/asidework.h"
#include "platform/xml/xmlfileload.h"
#include "support/mainwindowfixture.h"
#include "support/recoverychild.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <csignal>

using FD = FileDialogKind;

namespace {
const QString kTitle = QStringLiteral("Orvel XML Editor");
const QString kCannotComplete = QStringLiteral("Action cannot be completed");
const QString kUnexpected =
    QStringLiteral("Unexpected error, it is recommended to refresh the application.");
const QString kBackup = QStringLiteral("This file is a backup file. Please choose another file.");
const QString kSaveAnyway = QStringLiteral("The text is not well-formed XML. Save it anyway?");
} // namespace

class DocumentWindowTest : public MainWindowTest {
protected:
    void expectParseReport(const QString& report) {
        ui.expectMessage(report, MsgButtons::OKOnly, MsgIcon::Information);
        ui.expectMessage(kCannotComplete, MsgButtons::OKOnly, MsgIcon::Critical);
    }
    void expectCritical(const QString& text) {
        ui.expectMessage(text, MsgButtons::OKOnly, MsgIcon::Critical);
    }
};

TEST_F(DocumentWindowTest, StartsOnANewDocumentAndNewAsksNothingWithoutChanges) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
        EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
        EXPECT_FALSE(window->HasUnsavedChanges());
        EXPECT_TRUE(window->Button(window->ToolbarView, QStringLiteral("TreeView"))->isChecked());
        EXPECT_TRUE(window->m_txtXML->isHidden());
        trigger("mnuNewDoc");
    }
    window->HandleError(); // with nothing pending, nothing to say
}

// Each command that would drop unsaved work asks first; a save that was called off or failed stops
// the command with everything as it was.
TEST_F(DocumentWindowTest, TheSaveQuestionOnEveryCommandAndAnswer) {
    enum class Save { None, Named, Dismissed, Failing };
    const struct {
        MsgResult answer;
        Save save;
        bool goesOn;
    } answers[] = {{MsgResult::Cancel, Save::None, false},
                   {MsgResult::No, Save::None, true},
                   {MsgResult::Yes, Save::Named, true},
                   {MsgResult::Yes, Save::Dismissed, false},
                   {MsgResult::Yes, Save::Failing, false}};
    const QString failing = dir.filePath(QStringLiteral("no-such-folder/x.xml"));
    const QString kept = dir.filePath(QStringLiteral("kept.xml"));
    for (const char* command : {"mnuNewDoc", "mnuOpen", "drop", "mnuExit"}) {
        for (const auto& a : answers) {
            SCOPED_TRACE(testing::Message()
                         << command << ", answer " << int(a.answer) << ", save " << int(a.save));
            start();
            changeDocument();
            const QString before = window->m_objDocument.xml();
            expectSaveQuestion(QStringLiteral("Unknown"), a.answer);
            if (a.save != Save::None)
                ui.expectFileDialog(FD::Save, a.save == Save::Named     ? kept
                                              : a.save == Save::Failing ? failing
                                                                        : QString());
            if (a.save == Save::Failing)
                ui.expectMessagePrefix(QStringLiteral("The file %1 cannot be written").arg(failing),
                                       MsgButtons::OKOnly, MsgIcon::Critical);
            if (a.goesOn && qstrcmp(command, "mnuOpen") == 0)
                ui.expectFileDialog(FD::Open, QString());
            if (qstrcmp(command, "drop") == 0)
                emit window->m_wndTree->FilesDropped({writeFile(QStringLiteral("d.xml"), "<d/>")});
            else
                trigger(command);
            ui.verify();
            EXPECT_EQ(window->isVisible(), !a.goesOn || qstrcmp(command, "mnuExit") != 0);
            if (!a.goesOn) {
                EXPECT_EQ(window->m_objDocument.xml(), before);
                EXPECT_TRUE(window->HasUnsavedChanges());
                EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
            }
            EXPECT_EQ(readFile(kept).contains("<!--edit-->"), a.save == Save::Named);
            QFile::remove(kept);
        }
    }
}

TEST_F(DocumentWindowTest, OpenAndSaveAsTheirDialogsNamesAndRefusals) {
    // The name is taken trimmed; the filter offers XML and text files.
    const QString path = writeFile(QStringLiteral("a.xml"), "<?xml version=\"1.0\"?>\n<a/>\n");
    ui.expectFileDialog(FD::Open, QStringLiteral("  ") + path + QStringLiteral(" "));
    trigger("mnuOpen");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - a.xml"));
    EXPECT_EQ(labels(), (QStringList{"xml version=\"1.0\"", "a"}));
    EXPECT_EQ(ui.fileDialogs()[0].filter,
              QStringLiteral("XML files (*.xml)|*.xml|Text files (*.txt)|*.txt"));
    EXPECT_EQ(window->m_WebBrowser->LocationPath(), window->WebFilePath());
    ui.expectFileDialog(FD::Open, QString()); // dismissed: nothing happens
    trigger("mnuOpen");

    // The web view's own file is refused by name, also in another folder.
    for (const QString& name :
         {QStringLiteral("TempXMLFile.xml"), dir.filePath(QStringLiteral("TempXMLFile.xml"))}) {
        ui.expectFileDialog(FD::Open, name);
        ui.expectMessage(kBackup, MsgButtons::OKOnly, MsgIcon::Information);
        trigger("mnuOpen");
        ui.expectFileDialog(FD::Save, name);
        ui.expectMessage(kBackup, MsgButtons::OKOnly, MsgIcon::Information);
        trigger("mnuSaveAs");
    }
    EXPECT_EQ(window->m_strFileName, path);

    // Something that is no file is refused, from the dialog and from the command line.
    const QString refusal =
        QStringLiteral("The file /dev/zero cannot be opened: it is not a regular file.");
    ui.expectFileDialog(FD::Open, QStringLiteral("/dev/zero"));
    expectCritical(refusal);
    trigger("mnuOpen");
    EXPECT_EQ(window->m_strFileName, path);
    expectCritical(refusal);
    start({QStringLiteral("/dev/zero")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));

    // A write that fails is reported with what failed.
    const QString saved = writeFile(QStringLiteral("saved.xml"), "<saved/>");
    ui.expectFileDialog(FD::Open, saved);
    trigger("mnuOpen");
    window->m_objDocument.insertBefore(
        window->m_objDocument.createProcessingInstruction(
            QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"x-no-such-enc\"")),
        window->m_objDocument.firstChild());
    expectCritical(kCannotComplete);
    expectCritical(QStringLiteral("The encoding \"x-no-such-enc\" is not supported."));
    trigger("mnuSave");

    // Dropped files: the first one opens, under any name, with no dialog; the second in a window
    // of its own.
    window->markSaved();
    ui.expectWindow({dir.filePath(QStringLiteral("second.xml"))});
    emit window->m_txtXML->filesDropped({writeFile(QStringLiteral("TempXMLFile.xml"), "<temp/>"),
                                         writeFile(QStringLiteral("second.xml"), "<second/>")});
    EXPECT_EQ(labels(), QStringList{QStringLiteral("temp")});
}

// Another program's changes and a read-only file are overwritten only when the user says so;
// a file changed elsewhere is offered for reloading when the window is activated.
TEST_F(DocumentWindowTest, OverwriteAndReloadQuestions) {
    const QString path = openFile(QStringLiteral("shared.xml"), "<mine/>");
    for (const bool readOnly : {false, true}) {
        for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
            SCOPED_TRACE(testing::Message() << readOnly << int(answer));
            if (readOnly)
                ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
            else
                writeFile(QStringLiteral("shared.xml"), "<theirs/>");
            changeDocument();
            ui.expectMessage(
                QStringLiteral("The file %1 %2. Do you want to overwrite it?")
                    .arg(path, readOnly ? QStringLiteral("is read-only")
                                        : QStringLiteral("has been changed by another program")),
                MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, answer);
            trigger("mnuSave");
            EXPECT_EQ(window->HasUnsavedChanges(), answer == MsgResult::No);
            // Their file is not the text the Document was read from: the editor's layout is saved,
            // and the status bar says why.
            if (!readOnly && answer == MsgResult::Yes) {
                EXPECT_EQ(window->StatusBar1->currentMessage(),
                          QStringLiteral("Saved in the editor's layout: the file had changed on "
                                         "disk since it was opened."));
            }
            ui.verify();
        }
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));

    const QString reload = QStringLiteral("The file %1 has been changed by another program. Do "
                                          "you want to reload it?")
                               .arg(path);
    for (const auto& [text, answer] :
         {std::pair{"<newer/>", MsgResult::Yes}, std::pair{"<newest/>", MsgResult::No}}) {
        writeFile(QStringLiteral("shared.xml"), text);
        ui.expectMessage(reload, MsgButtons::YesNo, MsgIcon::Question, kTitle, answer);
        window->Form_Activate();
        window->Form_Activate(); // asked once for one change
        EXPECT_EQ(labels(), QStringList{QStringLiteral("newer")});
        EXPECT_FALSE(window->HasUnsavedChanges());
    }
}

// Text that does not parse stands instead of a Document: Apply reports where, what needs a
// Document says it cannot, and the text is kept for correction as unsaved work.
TEST_F(DocumentWindowTest, TextThatDoesNotParseIsReportedAndKept) {
    const QString path = openFile(QStringLiteral("x.xml"), "<x/>");
    const QString badReport = QStringLiteral("Opening and ending tag mismatch: b line 2 and "
                                             "a\r\nSource Text:<b></a>\r\nLine: 2 Position: 8");
    expectParseReport(badReport);
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<a>\n<b></a>"));
    click(window->ToolbarApply, "Apply");
    EXPECT_TRUE(window->m_objDocument.isNull());
    EXPECT_TRUE(window->m_wndTree->Nodes().IsEmpty());
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<a>\n<b></a>"));

    ui.expectMessage(kSaveAnyway, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, MsgResult::No);
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), QByteArray("<x/>"));
    window->setWindowTitle(QStringLiteral("stale"));
    expectCritical(kCannotComplete);
    trigger("mnuRefresh");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - x.xml"));
    window->m_txtXML->setText(QStringLiteral("<a><b/></a>"));
    click(window->ToolbarApply, "Apply");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(window->HasUnsavedChanges()) << "applied typing is a change to save";
    trigger("mnuUndo");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("x")}) << "the Document before the text";

    // Another file opens from there too.
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<a>\n<b></a>"));
    expectParseReport(badReport);
    click(window->ToolbarApply, "Apply");
    expectSaveQuestion(path, MsgResult::No);
    ui.expectFileDialog(FD::Open, writeFile(QStringLiteral("y.xml"), "<y/>"));
    trigger("mnuOpen");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("y")});
}

// Typing in the text view that was not applied yet is unsaved work.
TEST_F(DocumentWindowTest, UnappliedTypingIsAskedForAndSavedOrDiscarded) {
    const struct {
        const char* name;
        MsgResult answer;
        const char* text;
        const char* file; // afterwards
    } rows[] = {
        {"yes saves the typing", MsgResult::Yes, "<typed>words</typed>", "<typed>words</typed>"},
        {"no discards it", MsgResult::No, "<typed>words</typed>", "<before/>"},
        {"cancel keeps it", MsgResult::Cancel, "<typed>words</typed>", "<before/>"},
        {"typing that does not parse is saved as it stands when asked", MsgResult::Yes, "<typed>",
         "<typed>"},
        {"or not, and the command stops", MsgResult::Yes, "<typed>", "<before/>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start();
        const QString path = openFile(QStringLiteral("typed.xml"), "<before/>");
        trigger("mnutextView");
        window->m_txtXML->setText(QString::fromLatin1(row.text));
        expectSaveQuestion(path, row.answer);
        const bool bad = qstrcmp(row.text, "<typed>") == 0;
        const bool anyway = bad && QByteArray(row.file) == row.text;
        if (bad)
            ui.expectMessage(kSaveAnyway, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle,
                             anyway ? MsgResult::Yes : MsgResult::No);
        trigger("mnuNewDoc");
        const bool goesOn = row.answer != MsgResult::Cancel && (!bad || anyway);
        EXPECT_EQ(labels(), goesOn ? QStringList{QStringLiteral("Root")}
                                   : (bad ? QStringList{} : QStringList{QStringLiteral("before")}));
        EXPECT_EQ(readFile(path), QByteArray(row.file));
        window->m_txtXML->setModified(false);
        ui.verify();
    }
}

// A killed program's copy is offered at the next start, before the file named on the command
// line; Yes opens it unsaved under its name, No deletes it, and a running program's is left alone.
TEST_F(DocumentWindowTest, AKilledProgramsWorkIsOfferedAtStartUp) {
    const QDir folder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                      QStringLiteral("/recovery"));
    const auto copies = [&] { return folder.entryList({QStringLiteral("*.xml")}, QDir::Files); };
    QDir(folder).removeRecursively();
    const QString name = dir.filePath(QStringLiteral("report.xml"));
    for (MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
        ASSERT_NE(StartRecoveryChild(name, QStringLiteral("<report>unsaved</report>"), true), 0);
        ASSERT_EQ(copies().size(), 1);
        QFile info(folder.filePath(copies().first().chopped(4) + QStringLiteral(".info")));
        ASSERT_TRUE(info.open(QIODevice::ReadOnly));
        const QDateTime time = QDateTime::fromString(
            QJsonDocument::fromJson(info.readAll()).object().value("time").toString(),
            Qt::ISODateWithMs);
        ui.expectMessage(
            QStringLiteral("Recover unsaved changes to %1 from %2?")
                .arg(name, QLocale::system().toString(time.toLocalTime(), QLocale::ShortFormat)),
            MsgButtons::YesNo, MsgIcon::Question, kTitle, answer);
        const bool yes = answer == MsgResult::Yes;
        start(yes ? QStringList{dir.filePath(QStringLiteral("ignored.xml"))} : QStringList());
        ui.verify();
        EXPECT_EQ(labels(), QStringList{yes ? QStringLiteral("report") : QStringLiteral("Root")});
        if (yes) {
            EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - report.xml"));
            EXPECT_TRUE(window->HasUnsavedChanges());
            trigger("mnuSave");
            EXPECT_TRUE(readFile(name).contains("unsaved"));
        }
        EXPECT_TRUE(copies().isEmpty());
    }
    const qint64 busy = StartRecoveryChild(QString(), QStringLiteral("<busy/>"), false);
    ASSERT_NE(busy, 0);
    start(); // nothing asked: that program is still at work
    EXPECT_EQ(copies().size(), 1);
    ::kill(static_cast<pid_t>(busy), SIGKILL);

    // Typing that did not parse comes back as typing, in the text view.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder.path());
    QFile copy(folder.filePath(QStringLiteral("1-1.xml")));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write("<half>typed");
    copy.close();
    ui.expectMessagePrefix(QStringLiteral("Recover unsaved changes to Unknown from "),
                           MsgButtons::YesNo, MsgIcon::Question, kTitle, MsgResult::Yes);
    start();
    EXPECT_FALSE(window->m_txtXML->isHidden());
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<half>typed"));
    window->m_txtXML->setModified(false);
}

// Esc while a file is read stops the open as if it had never been asked for.
class OpenProgressTest : public DocumentWindowTest {
protected:
    void SetUp() override {
        LongOperation::SetIntervals(0, 0);
        // The parse is held until released, so that Esc comes first.
        XmlFileLoad::SetBeforeParseHook([this] {
            for (int i = 0; i < 20000 && !m_released.load(); ++i)
                QThread::msleep(1);
        });
        DocumentWindowTest::SetUp();
    }
    void TearDown() override {
        m_released = true;
        DocumentWindowTest::TearDown();
        XmlFileLoad::SetBeforeParseHook({});
        LongOperation::SetIntervals(40, 300);
        AsideWork::WaitForAll();
    }
    // Runs `atOpen` once a window waits for a parse, which stays held until the test lets it go.
    void whileOpening(std::function<void(frmMain*)> atOpen) {
        m_released = false;
        QTimer::singleShot(0, [this, atOpen] {
            if (!LongOperation::Running())
                return whileOpening(atOpen);
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* main = qobject_cast<frmMain*>(w); main && main->isVisible())
                    atOpen(main);
            }
        });
    }
    std::atomic<bool> m_released{true};
};

TEST_F(OpenProgressTest, EscKeepsEverythingAsItWasAndTheFileOpensAfterwards) {
    const QString other = writeFile(QStringLiteral("other.xml"), "<other/>");
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "dropped" : "opened");
        start();
        const QString path = openFile(QStringLiteral("first.xml"), "<first><kept/></first>");
        trigger("mnutextView");
        const QString text = window->m_txtXML->Text();
        const XmlDocument document = window->m_objDocument;
        bool escPressed = false;
        whileOpening([&](frmMain* main) {
            QTest::keyClick(main, Qt::Key_Escape);
            escPressed = true;
        });
        if (drop) {
            emit window->m_wndTree->FilesDropped({other});
        } else {
            ui.expectFileDialog(FD::Open, other);
            trigger("mnuOpen");
        }
        m_released = true;
        EXPECT_TRUE(escPressed) << "the open did not wait for the parse";
        EXPECT_EQ(window->m_objDocument, document);
        EXPECT_EQ(window->m_strFileName, path);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - first.xml"));
        EXPECT_EQ(window->m_txtXML->Text(), text);
        EXPECT_FALSE(window->m_txtXML->isHidden());
        ui.expectFileDialog(FD::Open, other);
        trigger("mnuOpen");
        EXPECT_EQ(window->m_objDocument.xml(), QStringLiteral("<other/>"));
    }
    // At start-up the file is read in a window already shown; Esc there leaves the new document,
    // and Save asks for a name.
    bool shownBeforeParsed = false;
    whileOpening([&](frmMain* main) {
        if (main == window.get())
            return; // the window before, still there while the new one starts
        shownBeforeParsed = main->m_strFileName.isEmpty();
        QTest::keyClick(main, Qt::Key_Escape);
    });
    start({other});
    m_released = true;
    EXPECT_TRUE(shownBeforeParsed);
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_TRUE(window->m_strFileName.isEmpty());
    ui.expectFileDialog(FD::Save, QString());
    trigger("mnuSave");
}
