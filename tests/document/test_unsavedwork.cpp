// Unsaved work is never dropped without a question, and a save never overwrites blindly.

#include "document/documentrules.h"
#include "support/mainwindowfixture.h"

#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using FD = FileDialogKind;

namespace {
const QString kTitle = QStringLiteral("Orvel XML Editor");

QString changedOnDisk(const QString& path) {
    return QStringLiteral("The file ") + path +
           QStringLiteral(" has been changed by another program. Do you want to overwrite it?");
}

void setModified(const QString& path, qint64 seconds) {
    const struct timeval times[2] = {{static_cast<time_t>(seconds), 0},
                                     {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}
unsigned mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}
} // namespace

class UnsavedWorkTest : public MainWindowTest {
protected:
    // The commands that replace or close the document, each after the save question.
    enum class Command { Exit, New, Open, Drop };
    void run(Command command) {
        switch (command) {
        case Command::Exit:
            trigger("mnuExit");
            break;
        case Command::New:
            trigger("mnuNewDoc");
            break;
        case Command::Open:
            trigger("mnuOpen");
            break;
        case Command::Drop:
            emit window->m_wndTree->FilesDropped({writeFile(QStringLiteral("drop.xml"), "<d/>")});
            break;
        }
    }
    void typeInTextView(const QString& text) {
        trigger("mnutextView");
        window->m_txtXML->setText(text);
    }
};

// Yes to the save question, then a save that does not happen: the command stops, everything
// stays as it was.
TEST_F(UnsavedWorkTest, ASaveThatFailsOrIsCalledOffStopsTheCommandThatAsked) {
    const QString unwritable = dir.filePath(QStringLiteral("no-such-folder/x.xml"));
    for (Command command : {Command::Exit, Command::New, Command::Open, Command::Drop}) {
        for (bool dismissed : {true, false}) {
            SCOPED_TRACE(QStringLiteral("command %1, %2")
                             .arg(int(command))
                             .arg(dismissed ? "dismissed" : "failing")
                             .toStdString());
            start();
            changeDocument();
            const QString before = window->m_objDocument.xml();
            expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::Yes);
            ui.expectFileDialog(FD::Save, dismissed ? QString() : unwritable);
            if (!dismissed)
                ui.expectMessagePrefix(QStringLiteral("The file ") + unwritable +
                                           QStringLiteral(" cannot be written"),
                                       MsgButtons::OKOnly, MsgIcon::Critical);
            run(command);
            EXPECT_TRUE(window->isVisible());
            EXPECT_EQ(window->m_objDocument.xml(), before);
            EXPECT_TRUE(window->HasUnsavedChanges());
            EXPECT_TRUE(window->m_strFileName.isEmpty());
            EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
            ui.verify();
        }
    }
}

// A Save As that cannot write is reported and leaves the document changed under its old name:
// the Apply before the save refreshed the views, and closing must still ask.
TEST_F(UnsavedWorkTest, AFailedSaveAsKeepsTheOldNameAndTheChanges) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "unnamed");
        start();
        const QString path = named ? openFile(QStringLiteral("old.xml"), "<old/>") : QString();
        changeDocument();
        const QString target = dir.filePath(QStringLiteral("no-such-folder/new.xml"));
        ui.expectFileDialog(FD::Save, target);
        ui.expectMessagePrefix(QStringLiteral("The file ") + target +
                                   QStringLiteral(" cannot be written"),
                               MsgButtons::OKOnly, MsgIcon::Critical);
        trigger("mnuSaveAs");
        EXPECT_EQ(window->m_strFileName, path);
        EXPECT_EQ(window->windowTitle(), named ? QStringLiteral("Orvel XML Editor - old.xml")
                                               : QStringLiteral("Orvel XML Editor - Unknown"));
        EXPECT_TRUE(window->HasUnsavedChanges());
        EXPECT_FALSE(QFile::exists(target));
        ui.verify();
    }
}

// Typing in the text view that was not applied yet is unsaved work.
TEST_F(UnsavedWorkTest, UnappliedTypingIsAskedForAndSavedOrDiscarded) {
    struct Case {
        const char* name;
        MsgResult answer;
        QString text;
        bool goesOn;
    };
    const QString good = QStringLiteral("<typed>words</typed>");
    const QString bad = QStringLiteral("<typed>");
    for (const Case& c : {Case{"yes saves the typing", MsgResult::Yes, good, true},
                          Case{"no discards it", MsgResult::No, good, true},
                          Case{"cancel keeps it", MsgResult::Cancel, good, false},
                          Case{"typing that does not parse stops", MsgResult::Yes, bad, false}}) {
        SCOPED_TRACE(c.name);
        start();
        const QString path = openFile(QStringLiteral("typed.xml"), "<before/>");
        typeInTextView(c.text);
        EXPECT_TRUE(window->HasUnsavedChanges());
        expectSaveQuestion(path, c.answer);
        if (c.text == bad) {
            ui.expectMessage(QStringLiteral("Premature end of data in tag typed line 1\r\n"
                                            "Source Text:<typed>\r\nLine: 1 Position: 8"),
                             MsgButtons::OKOnly, MsgIcon::Information);
            ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                             MsgIcon::Critical);
            ui.expectMessage(
                QStringLiteral("Unexpected error, it is recommended to refresh the application."),
                MsgButtons::OKOnly, MsgIcon::Critical);
        }
        trigger("mnuNewDoc");
        EXPECT_EQ(labels(), c.goesOn ? QStringList{QStringLiteral("Root")}
                                     : (c.text == bad ? QStringList{}
                                                      : QStringList{QStringLiteral("before")}));
        EXPECT_EQ(readFile(path), c.answer == MsgResult::Yes && c.goesOn
                                      ? QByteArray("<typed>words</typed>\n")
                                      : QByteArray("<before/>"));
        if (!c.goesOn) {
            EXPECT_EQ(window->m_txtXML->Text(), c.text) << "the typing is kept";
        }
        ui.verify();
        window->m_txtXML->setModified(false);
    }
}

TEST_F(UnsavedWorkTest, OnlyASaveALoadOrNewMarkTheDocumentSaved) {
    changeDocument();
    click(window->ToolbarApply, "Apply");
    trigger("mnuRefresh");
    trigger("mnuWebView");
    trigger("mnuRefresh");
    EXPECT_TRUE(window->HasUnsavedChanges());
    expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::No);
    trigger("mnuExit");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(UnsavedWorkTest, ASaveOverAFileAnotherProgramChangedAsksFirst) {
    struct Case {
        const char* name;
        bool sameSizeAndTime; // replaced by a file that only its content tells apart
        MsgResult answer;
    };
    for (const Case& c :
         {Case{"written, no", false, MsgResult::No}, Case{"written, yes", false, MsgResult::Yes},
          Case{"replaced alike, no", true, MsgResult::No}}) {
        SCOPED_TRACE(c.name);
        start();
        const QString path = openFile(QStringLiteral("shared.xml"), "<mine/>");
        setModified(path, 1700000000);
        const QString sibling = writeFile(QStringLiteral("other.xml"), "<your/>");
        if (c.sameSizeAndTime) {
            // The stamp the window knows must match the replacement's: take it again.
            window->markSaved();
            QString name = path;
            window->OpenFile(name);
            setModified(sibling, 1700000000);
            ASSERT_EQ(::rename(QFile::encodeName(sibling).constData(),
                               QFile::encodeName(path).constData()),
                      0);
        } else {
            writeFile(QStringLiteral("shared.xml"), "<theirs/>");
        }
        const QByteArray theirs = readFile(path);
        changeDocument();
        ui.expectMessage(changedOnDisk(path), MsgButtons::YesNo, MsgIcon::Exclamation, kTitle,
                         c.answer);
        trigger("mnuSave");
        if (c.answer == MsgResult::No) {
            EXPECT_EQ(readFile(path), theirs);
            EXPECT_TRUE(window->HasUnsavedChanges());
        } else {
            EXPECT_TRUE(readFile(path).contains("<!--edit-->"));
            EXPECT_FALSE(window->HasUnsavedChanges());
            trigger("mnuSave"); // the window's own save is no change by another program
        }
        ui.verify();
    }
}

TEST_F(UnsavedWorkTest, ActivatingTheWindowOffersToReloadAFileChangedElsewhere) {
    const QString path = openFile(QStringLiteral("watched.xml"), "<old/>");
    window->Form_Activate();
    writeFile(QStringLiteral("watched.xml"), "<newer/>");
    const QString question = QStringLiteral("The file ") + path +
                             QStringLiteral(" has been changed by another program. Do you want "
                                            "to reload it?");
    ui.expectMessage(question, MsgButtons::YesNo, MsgIcon::Question, kTitle, MsgResult::No);
    window->Form_Activate();
    window->Form_Activate(); // asked once for one change
    EXPECT_EQ(labels(), QStringList{QStringLiteral("old")});

    writeFile(QStringLiteral("watched.xml"), "<newest/>");
    setModified(path, 1600000000);
    ui.expectMessage(question, MsgButtons::YesNo, MsgIcon::Question, kTitle, MsgResult::Yes);
    window->Form_Activate();
    EXPECT_EQ(labels(), QStringList{QStringLiteral("newest")});
    EXPECT_FALSE(window->HasUnsavedChanges());

    // With changes of its own the window does not offer to drop them; a save asks instead.
    writeFile(QStringLiteral("watched.xml"), "<again/>");
    changeDocument();
    window->Form_Activate();
}

TEST_F(UnsavedWorkTest, OnlyRegularFilesAreOpened) {
    const QString fifo = dir.filePath(QStringLiteral("pipe.xml"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const QString refusal = QStringLiteral("The file ") + path +
                                QStringLiteral(" cannot be opened: it is not a regular file.");
        ui.expectFileDialog(FD::Open, path);
        ui.expectMessage(refusal, MsgButtons::OKOnly, MsgIcon::Critical);
        trigger("mnuOpen");
        EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
        EXPECT_TRUE(window->m_strFileName.isEmpty());

        ui.expectMessage(refusal, MsgButtons::OKOnly, MsgIcon::Critical);
        start({path});
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
        ui.verify();
    }
}

TEST_F(UnsavedWorkTest, ASaveKeepsTheFilesModeOwnerAndGroupAndAsksForReadOnlyFiles) {
    const QString path = openFile(QStringLiteral("private.xml"), "<p/>");
    ASSERT_TRUE(
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 1234, 2345), 0);
    }
    window->markSaved();
    QString name = path;
    window->OpenFile(name);
    changeDocument();
    trigger("mnuSave");
    QFileInfo info(path);
    EXPECT_EQ(mode(path), 0640u);
    if (root) {
        EXPECT_EQ(info.ownerId(), 1234u);
        EXPECT_EQ(info.groupId(), 2345u);
    }

    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray before = readFile(path);
    window->markSaved();
    window->OpenFile(name);
    const QString readOnly = QStringLiteral("The file ") + path +
                             QStringLiteral(" is read-only. Do you want to overwrite it?");
    for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        changeDocument();
        ui.expectMessage(readOnly, MsgButtons::YesNo, MsgIcon::Exclamation, kTitle, answer);
        trigger("mnuSave");
        EXPECT_EQ(readFile(path) == before, answer == MsgResult::No);
        EXPECT_EQ(window->HasUnsavedChanges(), answer == MsgResult::No);
    }
    EXPECT_EQ(mode(path), 0440u);
}
