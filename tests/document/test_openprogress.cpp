// Opening and saving while the window shows progress: Esc stops an open as if it had never been
// asked for, a file named on the command line opens in a window already on the screen, and what
// is read and written is what it always was.

#include "platform/ui/longoperation.h"
#include "platform/views/richtextbox.h"
#include "platform/xml/xmlfileload.h"
#include "platform/work/asidework.h"
#include "support/mainwindowfixture.h"

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QTimer>

using FD = FileDialogKind;

namespace {

frmMain* shownMainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* main = qobject_cast<frmMain*>(w); main && main->isVisible())
            return main;
    }
    return nullptr;
}

// Every wait passes over the events, and the worker's parse is held until `atOpen` has run
// while the window waits for it.
class OpenProgressTest : public MainWindowTest {
protected:
    void SetUp() override {
        LongOperation::SetIntervals(0, 0);
        XmlFileLoad::SetBeforeParseHook([this] {
            // Released by the test; the bound only ends a broken test instead of hanging it.
            for (int i = 0; i < 20000 && !m_released.load(); ++i)
                QThread::msleep(1);
        });
        MainWindowTest::SetUp();
    }
    void TearDown() override {
        m_released = true;
        MainWindowTest::TearDown();
        XmlFileLoad::SetBeforeParseHook({});
        LongOperation::SetIntervals(40, 300);
        AsideWork::WaitForAll();
    }
    // Runs `atOpen` once the window waits for a parse, then lets the parse go on.
    void whileOpening(std::function<void()> atOpen) {
        m_released = false;
        QTimer::singleShot(0, [this, atOpen] {
            if (!LongOperation::Running())
                return whileOpening(atOpen);
            atOpen();
            m_released = true;
        });
    }
    // Presses Esc once the window waits for a parse; the parse stays held until the test
    // releases it, so the open cannot finish first.
    void pressEscWhileOpening() {
        m_released = false;
        m_escPressed = false;
        QTimer::singleShot(0, [this] {
            if (!LongOperation::Running())
                return pressEscWhileOpening();
            QTest::keyClick(shownMainWindow(), Qt::Key_Escape);
            m_escPressed = true;
        });
    }
    void releaseParse() { m_released = true; }

    std::atomic<bool> m_released{true};
    bool m_escPressed = false;
};

} // namespace

TEST_F(OpenProgressTest, EscKeepsEverythingAsItWas) {
    const QString other = writeFile(QStringLiteral("other.xml"), "<other/>");
    const struct Row {
        const char* name;
        bool changed;  // the document has unsaved changes, and the save question is answered No
        bool textView; // the text view is the one shown
        bool drop;     // opened by dropping the file rather than through Open
    } rows[] = {
        {"unchanged file in the tree view", false, false, false},
        {"changed file in the text view", true, true, false},
        {"dropped on an unchanged file", false, false, true},
        {"dropped on a changed file in the text view", true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        start();
        const QString path = openFile(QStringLiteral("first.xml"), "<first><kept/></first>");
        if (row.textView)
            trigger("mnutextView");
        if (row.changed) {
            changeDocument();
            window->RefreshViews(true);
            expectSaveQuestion(path, MsgResult::No);
        }
        const QString xml = window->m_objDocument.xml();
        const QString text = window->m_txtXML->Text();
        const QStringList tree = labels();
        const XmlDocument document = window->m_objDocument;

        pressEscWhileOpening();
        if (row.drop) {
            emit window->m_wndTree->FilesDropped({other});
        } else {
            ui.expectFileDialog(FD::Open, other);
            trigger("mnuOpen");
        }
        releaseParse();
        EXPECT_TRUE(m_escPressed) << "the open did not wait for the parse";
        EXPECT_EQ(window->m_objDocument, document);
        EXPECT_EQ(window->m_objDocument.xml(), xml);
        EXPECT_EQ(window->m_strFileName, path);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - first.xml"));
        EXPECT_EQ(window->HasUnsavedChanges(), row.changed);
        EXPECT_EQ(labels(), tree);
        EXPECT_EQ(window->m_txtXML->Text(), text);
        EXPECT_EQ(window->m_txtXML->isHidden(), !row.textView);
        ui.verify();

        // Nothing was left behind: the same file opens normally afterwards.
        if (row.changed)
            expectSaveQuestion(path, MsgResult::No);
        ui.expectFileDialog(FD::Open, other);
        trigger("mnuOpen");
        EXPECT_EQ(window->m_strFileName, other);
        EXPECT_EQ(window->m_objDocument.xml(), QStringLiteral("<other/>\n"));
        window->markSaved();
    }
}

TEST_F(OpenProgressTest, EscAtStartUpLeavesANewDocument) {
    const QString path = writeFile(QStringLiteral("named.xml"), "<named/>");
    pressEscWhileOpening();
    start({path});
    releaseParse();
    EXPECT_TRUE(m_escPressed);
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_EQ(window->m_objDocument.xml(), QStringLiteral("<Root/>\n"));
    EXPECT_TRUE(window->m_strFileName.isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
    EXPECT_FALSE(window->HasUnsavedChanges());
    // Save asks for a name: nothing refers to the file that was not opened.
    ui.expectFileDialog(FD::Save, QString());
    trigger("mnuSave");
}

TEST_F(OpenProgressTest, ACommandLineFileOpensInAWindowAlreadyShown) {
    const QString path = writeFile(QStringLiteral("named.xml"), "<named/>");
    bool shownBeforeParsed = false;
    whileOpening([&] {
        frmMain* main = shownMainWindow();
        shownBeforeParsed = main && main->m_strFileName.isEmpty();
    });
    start({path});
    EXPECT_TRUE(shownBeforeParsed);
    EXPECT_EQ(labels(), QStringList{QStringLiteral("named")});
    EXPECT_EQ(window->m_strFileName, path);
}

TEST_F(OpenProgressTest, AParseErrorReportsAsBefore) {
    const QString path = writeFile(QStringLiteral("bad.xml"), "<a><b></a>");
    const struct Row {
        const char* name;
        std::function<void()> open;
    } rows[] = {
        {"Open",
         [&] {
             ui.expectFileDialog(FD::Open, path);
             trigger("mnuOpen");
         }},
        {"drop", [&] { window->DropFiles({path}); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        start();
        ui.expectMessage(QStringLiteral("XML is not valid."), MsgButtons::OKOnly,
                         MsgIcon::Critical);
        row.open();
        ui.verify();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - bad.xml"));
    }
}

TEST_F(OpenProgressTest, SaveWritesWhatTheDocumentSerialisesTo) {
    const QByteArray content = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                               "<!DOCTYPE a [<!ENTITY e \"x\">]>\n<a  x='\xe9'>\n<b>&e;</b>\n</a>";
    const QString path = openFile(QStringLiteral("s.xml"), content);
    changeDocument();
    const QString reference = dir.filePath(QStringLiteral("reference.xml"));
    window->m_objDocument.save(reference);
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), readFile(reference));
    EXPECT_FALSE(window->HasUnsavedChanges());
}
