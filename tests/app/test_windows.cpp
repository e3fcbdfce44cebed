// Several windows, each a process of its own: New Window, several files dropped, a file already
// open in another window brought to the front through the windows' sockets. What the window keeps
// of itself for the next run: place, size, maximised, panels, last folder, the text view's zoom.

#include "support/editingfixture.h"

#include "platform/ui/windowlink.h"

#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class WindowsTest : public EditingTest {
protected:
    void TearDown() override {
        if (other) {
            other->markSaved();
            other.reset();
        }
        EditingTest::TearDown();
    }
    // A second window in this process, as another process's would be.
    frmMain& otherWindow(const QStringList& arguments = {}) {
        other = std::make_unique<frmMain>(arguments);
        other->show();
        EXPECT_TRUE(waitUntilActive(other.get()));
        return *other;
    }
    int zoom() const {
        return int(window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_GETZOOM));
    }
    void keys(QWidget* target, const QKeySequence& sequence) {
        QApplication::setActiveWindow(window.get());
        QTest::keySequence(target, sequence);
    }
    std::unique_ptr<frmMain> other;
};

TEST_F(WindowsTest, NewWindowStartsTheProgramAgainWithANewDocument) {
    EXPECT_EQ(window->Command(QStringLiteral("mnuNewWindow"))->text(), QStringLiteral("New &Window"));
    ui.expectWindow({});
    keys(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    ui.verify();
    // The new window is another process: this document is left as it is, unsaved changes too.
    changeDocument();
    ui.expectWindow({}, false);
    ui.expectMessage(QStringLiteral("A new window could not be started."), MsgButtons::OKOnly,
                     MsgIcon::Exclamation);
    trigger("mnuNewWindow");
    EXPECT_TRUE(window->HasUnsavedChanges());
}

TEST_F(WindowsTest, OfSeveralFilesDroppedTheFirstOpensHereEachOtherInAWindowOfItsOwn) {
    const QString a = writeFile(QStringLiteral("a.xml"), "<a/>");
    const QString b = writeFile(QStringLiteral("b.xml"), "<b/>");
    const QString c = writeFile(QStringLiteral("c.xml"), "<c/>");
    ui.expectWindow({b});
    ui.expectWindow({c});
    window->DropFiles({a, b, c});
    EXPECT_EQ(window->m_strFileName, a);
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
}

// Both windows listen on their sockets as separate processes would; one asked about a file the
// other has open leaves its own document as it was, unsaved changes unasked about.
TEST_F(WindowsTest, AFileOpenInAnotherWindowBringsThatWindowToTheFront) {
    const QString path = writeFile(QStringLiteral("shared.xml"), "<shared/>");
    window->DropFiles({path});
    frmMain& second = otherWindow();
    second.m_objDocument.documentElement().appendChild(
        second.m_objDocument.createComment(QStringLiteral("edit")));
    second.MarkChanged();
    ASSERT_TRUE(second.isActiveWindow());
    second.DropFiles({dir.filePath(QStringLiteral("./shared.xml"))});
    EXPECT_TRUE(second.m_strFileName.isEmpty()) << "opened in the second window as well";
    EXPECT_TRUE(second.HasUnsavedChanges());
    EXPECT_TRUE(waitUntilActive(window.get())) << "the first window did not come to the front";
    // The same through the Open dialog, which comes after the question; a file no window has
    // opens here.
    expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::No);
    ui.expectFileDialog(FileDialogKind::Open, path);
    second.mnuOpen_Click();
    ui.verify();
    EXPECT_TRUE(second.m_strFileName.isEmpty());
    EXPECT_TRUE(second.HasUnsavedChanges());
    second.markSaved();
    const QString own = writeFile(QStringLiteral("own.xml"), "<own/>");
    second.DropFiles({own});
    EXPECT_EQ(second.m_strFileName, own);
    // As the program's start asks, before it has a window: the first window's file is shown
    // there, the second's there too, and a file nobody has is not.
    EXPECT_TRUE(WindowLink::ShowInAnyWindow(path));
    EXPECT_TRUE(WindowLink::ShowInAnyWindow(own));
    EXPECT_FALSE(WindowLink::ShowInAnyWindow(writeFile(QStringLiteral("n.xml"), "<n/>")));
    // A window that has gone away is no longer asked.
    other.reset();
    EXPECT_FALSE(WindowLink::ShowInAnyWindow(own));
}

// A window that does not answer within a second (busy with a long parse) is taken not to have the
// file; a socket left by a window that ended without tidying up is removed.
TEST_F(WindowsTest, ASilentOrGoneWindowLeavesTheFileToOpenHere) {
    const QString folder = WindowLink::Folder();
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(QDir(folder).filePath(QStringLiteral("window-silent"))));
    QList<QLocalSocket*> held;
    QObject::connect(&silent, &QLocalServer::newConnection, [&] {
        held << silent.nextPendingConnection(); // read, never answered
    });
    const QString stale = QDir(folder).filePath(QStringLiteral("window-stale"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(stale);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd); // bound, never listened on: what a crashed window leaves

    const QString path = writeFile(QStringLiteral("mine.xml"), "<mine/>");
    QElapsedTimer waited;
    waited.start();
    window->DropFiles({path});
    EXPECT_EQ(window->m_strFileName, path);
    EXPECT_GE(waited.elapsed(), WindowLink::kAnswerWait - 50);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_FALSE(held.isEmpty()) << "the silent window was never asked";
}

TEST_F(WindowsTest, PlaceSizeMaximisedAndPanelsAreKeptForTheNextRun) {
    trigger("mnuValidationPanel"); // grows the window by its height where there is room
    window->setGeometry(QRect(40, 50, 720, 650));
    auto* panel = window->findChild<QDockWidget*>(QStringLiteral("ValidationPanel"));
    window->resizeDocks({panel}, {230}, Qt::Vertical);
    QCoreApplication::processEvents();
    const int height = panel->height();
    ASSERT_TRUE(window->close());
    start();
    EXPECT_EQ(window->geometry(), QRect(40, 50, 720, 650));
    EXPECT_TRUE(panel = window->findChild<QDockWidget*>(QStringLiteral("ValidationPanel")));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_NEAR(panel->height(), height, 2);
    // The view last shown is not: the program starts in the tree.
    trigger("mnutextView");
    window->showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window->close());
    start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_TRUE(window->m_wndTree->isVisible());
    window->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->geometry().size(), QSize(720, 650)) << "the size before it was maximised";
}

TEST_F(WindowsTest, OpenAndSaveAsStartInTheFolderOfTheLast) {
    QDir(dir.path()).mkpath(QStringLiteral("first/second"));
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("first/second"));
    const QString opened = writeFile(QStringLiteral("first/one.xml"), "<one/>");
    ui.expectFileDialog(FileDialogKind::Open, opened);
    trigger("mnuOpen");
    window->markSaved();
    window.reset();
    start();
    ui.expectFileDialog(FileDialogKind::Save, second + QStringLiteral("/two.xml"));
    trigger("mnuSaveAs");
    ui.expectFileDialog(FileDialogKind::Open, QString());
    trigger("mnuOpen");
    ASSERT_EQ(ui.fileDialogs().size(), 3u);
    EXPECT_EQ(ui.fileDialogs()[1].directory, first);
    EXPECT_EQ(ui.fileDialogs()[2].directory, second);
}

TEST_F(WindowsTest, TheTextViewsZoomFollowsTheKeysAndIsKept) {
    trigger("mnutextView");
    QWidget* text = window->m_txtXML;
    keys(text, QKeySequence(QStringLiteral("Ctrl++")));
    keys(text, QKeySequence(QStringLiteral("Ctrl+=")));
    EXPECT_EQ(zoom(), 2);
    keys(text, QKeySequence(QStringLiteral("Ctrl+-")));
    EXPECT_EQ(zoom(), 1);
    window.reset();
    start();
    EXPECT_EQ(zoom(), 1) << "not kept for the next run";
    trigger("mnuZoomReset");
    EXPECT_EQ(zoom(), 0);
    for (int i = 0; i < 40; ++i)
        trigger("mnuZoomIn");
    window.reset();
    start();
    EXPECT_EQ(zoom(), 20) << "kept within what the view allows";
    // In the tree as well: the keys are the window's.
    keys(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+0")));
    EXPECT_EQ(zoom(), 0);
}

} // namespace
