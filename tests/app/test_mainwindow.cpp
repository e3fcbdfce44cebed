// Start-up, closing, layout, the About box, view switching and the toolbars' keys.

#include "app/frmabout.h"
#include "support/mainwindowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using FD = FileDialogKind;

TEST_F(MainWindowTest, StartsWithAQuotedCommandLineFileWithoutAnyQuestion) {
    const QString path = writeFile(QStringLiteral("a.xml"), "<a><b/></a>");
    start({QLatin1Char('"') + path + QLatin1Char('"')});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - a.xml"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(window->m_strFileName, path);
    EXPECT_FALSE(window->HasUnsavedChanges());
    // The file is the saved state that undo comes back to: closing then asks nothing.
    window->m_wndTree->SetSelectedItem(window->m_wndTree->Nodes().FirstTopLevel());
    trigger("mnuNewComment");
    QLineEdit* label = window->m_wndTree->findChild<QLineEdit*>();
    ASSERT_NE(label, nullptr);
    QTest::keyClicks(label, QStringLiteral("note"));
    QTest::keyClick(label, Qt::Key_Return);
    QCoreApplication::processEvents();
    trigger("mnuUndo");
    trigger("mnuExit");
    EXPECT_FALSE(window->isVisible());
}

// A file on the command line that does not load shows the new document under its name,
// silently, and Save never writes over it.
TEST_F(MainWindowTest, StartsWithAnUnreadableCommandLineFileSilently) {
    const QString path = writeFile(QStringLiteral("broken.xml"), "<a>");
    start({path});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - broken.xml"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    ui.expectFileDialog(FD::Save, QString());
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), QByteArray("<a>"));
}

// Closing the window with changes asks: Cancel keeps it open, No closes, Yes saves first.
TEST_F(MainWindowTest, ClosingWithChangesAsksFirst) {
    const QString path = openFile(QStringLiteral("c.xml"), "<c/>");
    changeDocument();
    expectSaveQuestion(path, MsgResult::Cancel);
    trigger("mnuExit");
    EXPECT_TRUE(window->isVisible());
    expectSaveQuestion(path, MsgResult::Yes);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(readFile(path).contains("<!--edit-->"));
    EXPECT_TRUE(window->m_objDocument.isNull());
    EXPECT_FALSE(window->m_lstTextToFind.has_value());
}

TEST_F(MainWindowTest, EveryHundredAndFirstFailedLayoutComplains) {
    window->show();
    const QSize normal = window->size();
    expectLayoutComplaintEvery101([&](int count) {
        for (int i = 0; i < count; ++i) {
            // Room for the menu and status bars, and a few pixels of client area between them.
            window->resize(40 + i % 2, window->minimumSizeHint().height() + 20);
            QCoreApplication::processEvents();
            window->resize(normal); // successful layouts in between do not reset the count
            QCoreApplication::processEvents();
        }
    });
}

TEST_F(MainWindowTest, WideningMovesTheRightPanelAndWidensTheViewsTogether) {
    window->show();
    window->resize(900, 500);
    QCoreApplication::processEvents();
    const QRect tree = window->m_wndTree->geometry();
    const int left = window->PicView->x();
    window->resize(1100, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->m_wndTree->width(), tree.width() + 200);
    EXPECT_EQ(window->PicToolBox->x() - window->m_wndTree->geometry().right(),
              window->PicToolBox->x() - (tree.right() + 200));
    EXPECT_EQ(window->ToolbarApply->geometry().right(), window->m_wndTree->geometry().right());
    EXPECT_EQ(window->PicView->x(), left);
    EXPECT_EQ(window->m_txtXML->geometry(), window->m_wndTree->geometry());
    EXPECT_EQ(window->m_WebBrowser->geometry(), window->m_wndTree->geometry());
}

TEST_F(MainWindowTest, AboutBoxFromTheMenuAndTheLogo) {
    for (int round = 0; round < 2; ++round) {
        ui.expectModal([](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About The Orvel XML Editor"));
            EXPECT_EQ(dialog.parentWidget(), nullptr);
            auto* title = dialog.findChild<QLabel*>(QStringLiteral("lblTitle"));
            ASSERT_NE(title, nullptr);
            EXPECT_EQ(title->text(), QStringLiteral("The Orvel XML Editor."));
            EXPECT_EQ(title->font().family(), QStringLiteral("Arial"));
            EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                      QStringLiteral("Version 1.0"));
            auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Command1"));
            ASSERT_NE(ok, nullptr);
            EXPECT_EQ(ok->text(), QStringLiteral("OK"));
            ok->click();
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
        });
        if (round == 0)
            trigger("mnuAbout");
        else
            window->Image2_Click();
    }
}

// Exactly one view shows, with its button and menu item checked, whether it was chosen from the
// menu or the toolbar; choosing the active view again changes nothing. The keyboard never stays
// with a view that was hidden (keys would edit the hidden text view).
TEST_F(MainWindowTest, ViewSwitchingShowsExactlyOneViewWithItsButtonAndMenuItem) {
    const QList<QWidget*> views = {window->m_wndTree, window->m_txtXML, window->m_WebBrowser};
    const char* const keys[] = {"TreeView", "TextView", "WebView"};
    const char* const items[] = {"mnuTreeView", "mnutextView", "mnuWebView"};
    ASSERT_TRUE(waitUntilActive(window.get()));
    for (bool byButton : {false, true}) {
        for (int chosen : {1, 1, 2, 2, 0, 0}) {
            SCOPED_TRACE(std::string(keys[chosen]) + (byButton ? " by button" : " by menu"));
            for (QWidget* view : views) {
                if (view->isVisible())
                    view->setFocus();
            }
            if (byButton)
                click(window->ToolbarView, keys[chosen]);
            else
                trigger(items[chosen]);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(!views[i]->isHidden(), i == chosen) << keys[i];
                EXPECT_EQ(window->Button(window->ToolbarView, keys[i])->isChecked(), i == chosen);
                EXPECT_EQ(window->Command(items[i])->isChecked(), i == chosen);
            }
            EXPECT_EQ(window->Button(window->ToolbarApply, QStringLiteral("Apply"))->isEnabled(),
                      chosen != 2);
            QWidget* focus = QApplication::focusWidget();
            EXPECT_TRUE(focus && focus->isVisible())
                << (focus ? focus->metaObject()->className() : "no focus");
        }
    }
    // Typing after a switch away from the text view does not reach it.
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    trigger("mnuTreeView");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    EXPECT_FALSE(window->m_txtXML->HasTyping());
}

TEST_F(MainWindowTest, ToolbarKeysRunTheirCommandsAndUnknownKeysNothing) {
    changeDocument();
    ui.expectPrint(PrintResult::Cancelled);
    window->Toolbar1_ButtonClick(QStringLiteral("Print"));
    window->Toolbar1_ButtonClick(QStringLiteral("NoSuchKey"));
    window->Toolbox_ButtonClick(QStringLiteral("element")); // keys compare case-sensitively
    EXPECT_TRUE(window->HasUnsavedChanges());
    click(window->Toolbar1, "Refresh");
    EXPECT_TRUE(window->HasUnsavedChanges()) << "a refresh saves nothing";
}
