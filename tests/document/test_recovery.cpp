// Recovery copies of unsaved work: written while the program runs, removed when the work is
// saved or given up, offered after a program ended without saving.

#include "document/recovery.h"
#include "platform/xml/xmlbackgroundwriter.h"
#include "support/mainwindowfixture.h"
#include "support/recoverychild.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>

#include <csignal>
#include <sys/stat.h>

namespace {
QString recoveryDir() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery");
}
unsigned modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}
QStringList recoveryFiles(const char* pattern = "*") {
    return QDir(recoveryDir()).entryList({QString::fromLatin1(pattern)}, QDir::Files);
}
} // namespace

class RecoveryTest : public MainWindowTest {
protected:
    // Each case starts with no copies of earlier ones.
    void SetUp() override {
        QDir(recoveryDir()).removeRecursively();
        MainWindowTest::SetUp();
    }
    void TearDown() override {
        for (qint64 pid : running)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        MainWindowTest::TearDown();
    }
    std::vector<qint64> running;

    // Writes the window's copy now and waits until it is on disk.
    void copyNow() {
        window->WriteRecoveryCopy();
        window->RecoveryCopies().waitForCopy();
    }
    // The question that offers the copy at `copyPath` of unsaved work on `name`, with its time.
    void expectRecoveryOffer(const QString& name, const QString& copyPath, MsgResult answer) {
        QFile info(copyPath.chopped(4) + QStringLiteral(".info"));
        EXPECT_TRUE(info.open(QIODevice::ReadOnly));
        const QDateTime time = QDateTime::fromString(
            QJsonDocument::fromJson(info.readAll()).object().value("time").toString(),
            Qt::ISODateWithMs);
        ui.expectMessage(
            QStringLiteral("Recover unsaved changes to %1 from %2?")
                .arg(name, QLocale::system().toString(time.toLocalTime(), QLocale::ShortFormat)),
            MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Orvel XML Editor"), answer);
    }
    QByteArray ownCopy() {
        const QStringList copies = recoveryFiles("*.xml");
        return copies.size() == 1 ? readFile(recoveryDir() + "/" + copies.first()) : QByteArray();
    }
};

TEST_F(RecoveryTest, AKilledProgramsCopyIsOfferedAndYesOpensItUnsavedUnderItsName) {
    const QString name = dir.filePath(QStringLiteral("report.xml"));
    ASSERT_NE(StartRecoveryChild(name, QStringLiteral("<report>unsaved</report>"), true), 0);
    const QStringList copies = recoveryFiles("*.xml");
    ASSERT_EQ(copies.size(), 1);
    ASSERT_EQ(recoveryFiles("*.lock").size(), 2) << "the killed program's mark and this one's";
    expectRecoveryOffer(name, recoveryDir() + "/" + copies.first(), MsgResult::Yes);
    start({dir.filePath(QStringLiteral("ignored.xml"))});
    EXPECT_EQ(labels(), QStringList{QStringLiteral("report")});
    EXPECT_EQ(window->m_strFileName, name);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - report.xml"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    // The work is now this program's: its copy stays until the work is saved.
    EXPECT_TRUE(ownCopy().contains("unsaved"));
    trigger("mnuSave");
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_TRUE(readFile(name).contains("unsaved"));
    EXPECT_TRUE(recoveryFiles("*.xml").isEmpty());
}

TEST_F(RecoveryTest, NoDeletesTheCopyAndARunningProgramsCopyIsNotOffered) {
    ASSERT_NE(StartRecoveryChild(QString(), QStringLiteral("<a/>"), true), 0);
    const QStringList copies = recoveryFiles("*.xml");
    ASSERT_EQ(copies.size(), 1);
    expectRecoveryOffer(QStringLiteral("Unknown"), recoveryDir() + "/" + copies.first(),
                        MsgResult::No);
    start();
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_EQ(recoveryFiles(), QStringList{recoveryFiles("*.lock")});

    running.push_back(StartRecoveryChild(QString(), QStringLiteral("<busy/>"), false));
    ASSERT_NE(running.back(), 0);
    start(); // nothing asked: that program is still at work
    EXPECT_EQ(recoveryFiles("*.xml").size(), 1);
}

TEST_F(RecoveryTest, TheCopyHoldsTheLatestWorkAndGoesWithASaveANoOrACleanEnd) {
    copyNow();
    EXPECT_TRUE(recoveryFiles("*.xml").isEmpty()) << "nothing unsaved, nothing copied";

    changeDocument();
    copyNow();
    EXPECT_TRUE(ownCopy().contains("<!--edit-->"));
    EXPECT_EQ(modeOf(recoveryDir()), 0700) << "no one else may look into the folder";
    for (const QString& copy : recoveryFiles("*.xml") + recoveryFiles("*.info"))
        EXPECT_EQ(modeOf(recoveryDir() + "/" + copy), 0600) << copy.toStdString();
    trigger("mnutextView");
    window->m_txtXML->setText(QStringLiteral("<typed>not applied</typed>"));
    copyNow();
    EXPECT_EQ(ownCopy(), QByteArray("<typed>not applied</typed>"));

    const QString target = dir.filePath(QStringLiteral("saved.xml"));
    ui.expectFileDialog(FileDialogKind::Save, target);
    trigger("mnuSave");
    EXPECT_TRUE(recoveryFiles("*.xml").isEmpty());

    changeDocument();
    copyNow();
    expectSaveQuestion(target, MsgResult::No);
    trigger("mnuNewDoc");
    EXPECT_TRUE(recoveryFiles("*.xml").isEmpty());

    changeDocument();
    copyNow();
    window->markSaved();
    window.reset();
    EXPECT_TRUE(recoveryFiles().isEmpty()) << "a clean end leaves no copy and no mark";
}

TEST_F(RecoveryTest, TypingThatDidNotParseComesBackAsTyping) {
    QDir().mkpath(recoveryDir());
    QFile copy(recoveryDir() + QStringLiteral("/1-1.xml"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write("<half>typed");
    copy.close();
    QFile info(recoveryDir() + QStringLiteral("/1-1.info"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write(R"({"file": "", "time": "2026-01-02T03:04:05.000Z"})");
    info.close();
    expectRecoveryOffer(QStringLiteral("Unknown"), copy.fileName(), MsgResult::Yes);
    start();
    EXPECT_FALSE(window->m_txtXML->isHidden());
    EXPECT_EQ(window->m_txtXML->Text(), QStringLiteral("<half>typed"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    window->m_txtXML->setModified(false);
}

// A change waits for (or stops) a copy being written on another thread; the copy is either
// complete and as the document was, or not written.
TEST(BackgroundWriterTest, AChangeStopsOrWaitsForTheWriteAndTheFileIsNeverHalfMade) {
    QTemporaryDir dir;
    QString text = QStringLiteral("<big>");
    for (int i = 0; i < 200000; ++i)
        text += QStringLiteral("<item n=\"%1\">text &amp; more</item>").arg(i);
    text += QStringLiteral("</big>");
    for (bool stoppable : {true, false}) {
        SCOPED_TRACE(stoppable);
        XmlDocument document = XmlDocument::create();
        ASSERT_TRUE(document.loadXML(text));
        const QString before = document.xml();
        const QString path = dir.filePath(QStringLiteral("copy-%1.xml").arg(stoppable));
        std::atomic<int> result{-1};
        XmlBackgroundWriter writer;
        writer.start(document, path, stoppable, [&](bool written) { result = written; });
        document.documentElement().appendChild(document.createComment(QStringLiteral("after")));
        writer.wait();
        XmlDocument copy = XmlDocument::create();
        if (result == 1) {
            ASSERT_TRUE(copy.load(path));
            EXPECT_EQ(copy.xml(), before);
        } else {
            EXPECT_TRUE(stoppable);
            EXPECT_FALSE(QFile::exists(path));
        }
        EXPECT_TRUE(stoppable || result == 1) << "a write that must not be stopped ends";
    }
}

// The copy is written from the tree as it is: it reads back as the same document.
TEST(BackgroundWriterTest, TheCopyReadsBackAsTheSameDocument) {
    QTemporaryDir dir;
    const QString text = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<!DOCTYPE r [<!ENTITY e \"ent\"><!ATTLIST r a CDATA #IMPLIED>]>\n"
        "<r xmlns=\"urn:d\" xmlns:p=\"urn:a&amp;b\" a=\"q&quot;&lt;&#10;\u00e9\">"
        "<p:x>mixed <b>bold</b> &e; tail\r</p:x><![CDATA[one]]><![CDATA[two ]]]]><![CDATA[>]]>"
        "<!--note--><?pi data?><n xmlns=\"\"><m/></n></r>");
    XmlDocument document = XmlDocument::create();
    ASSERT_TRUE(document.loadXML(text));
    const QString path = dir.filePath(QStringLiteral("copy.xml"));
    XmlBackgroundWriter writer;
    bool ok = false;
    writer.start(document, path, true, [&](bool written) { ok = written; });
    writer.wait();
    ASSERT_TRUE(ok);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    XmlDocument copy = XmlDocument::create();
    ASSERT_TRUE(copy.loadXML(QString::fromUtf8(file.readAll())));
    EXPECT_EQ(copy.xml(), document.xml());
}
