// The main window: every command from each of its ways in (menu item, toolbar button, context
// item, shortcut) ends in the same state, other than the state without it; start-up, closing,
// layout, the About box and view switching. Find and the Query Analyzer have their own tests.

#include "app/frmabout.h"
#include "support/editingfixture.h"

#include <QLabel>
#include <QTextStream>

namespace {

const QByteArray kDoc = "<r><a k=\"1\">t<!--c--></a><b><c/></b><d/></r>";
using Bar = QToolBar* frmMain::*;

struct Command {
    const char* menu;  // the menu-bar item, or null for a button alone
    const char* popup; // its context twin
    Bar bar;
    const char* key;
    QKeySequence shortcut;
    const char* select;            // the item clicked first, by labels
    std::function<void()> prepare; // what the command needs, also in the state compared against
    std::function<void()> script;  // the prompts the command shows
};

} // namespace

class CommandsTest : public EditingTest {
protected:
    // The document file is the same for every run, so the states compare.
    void reset(const Command& command) {
        window->markSaved();
        window->m_txtXML->setModified(false);
        click(window->ToolbarView, "TreeView");
        window->m_objCopiedNode = XmlNode();
        ui.clipboard = QStringLiteral("<clip/>");
        m_log.clear();
        window->DropFiles({writeFile(QStringLiteral("doc.xml"), kDoc)});
        if (command.select)
            select(QString::fromLatin1(command.select));
        if (command.prepare)
            command.prepare();
        m_shownBefore = {ui.shown().size(), ui.fileDialogs().size(), ui.printJobs().size()};
    }
    // Everything a command may change, as text.
    QString state() {
        QString out;
        QTextStream s(&out);
        s << "document " << (window->m_objDocument.isNull() ? "none" : xml()) << "\nfile "
          << window->m_strFileName << " " << readFile(window->m_strFileName) << "\nunsaved "
          << window->HasUnsavedChanges() << "\nview " << !window->m_wndTree->isHidden()
          << !window->m_txtXML->isHidden() << !window->m_WebBrowser->isHidden() << "\ntext "
          << window->m_txtXML->Text() << "\ncopied "
          << (window->m_objCopiedNode.isNull() ? QString() : window->m_objCopiedNode.xml())
          << "\nclipboard " << ui.clipboard << "\nmessages " << ui.shown().size() - m_shownBefore[0]
          << " files " << ui.fileDialogs().size() - m_shownBefore[1] << " prints "
          << ui.printJobs().size() - m_shownBefore[2] << "\nlog " << m_log.join(QLatin1Char(','))
          << "\ntree\n";
        dumpTree(s, TreeModel::NoItem, 0);
        return out;
    }
    void dumpTree(QTextStream& s, Id parent, int depth) {
        for (Id c = parent ? nodes().Child(parent) : nodes().FirstTopLevel(); c;
             c = nodes().Next(c)) {
            s << QString(depth, QLatin1Char(' ')) << nodes().Text(c)
              << (window->m_wndTree->Expanded(c) ? " +" : "") << "\n";
            dumpTree(s, c, depth + 1);
        }
    }
    QStringList m_log;
    std::array<size_t, 3> m_shownBefore{};
};

TEST_F(CommandsTest, EveryWayToACommandDoesTheSame) {
    const QString other = writeFile(QStringLiteral("other.xml"), "<other/>");
    const auto none = std::function<void()>();
    const auto needsSaving = [this] { window->MarkChanged(); };
    const auto editDocumentOnly = [this] {
        window->m_objDocument.documentElement().appendChild(
            window->m_objDocument.createComment(QStringLiteral("edit")));
        window->MarkChanged();
    };
    const auto logDialog = [this] {
        ui.expectModal([this](QDialog& dialog) {
            m_log << dialog.windowTitle();
            dialog.reject();
        });
    };
    const auto attributeEditor = [this](const char* title) {
        return [this, title] {
            expectAttributeEditor(QString::fromLatin1(title), QString(), QString(),
                                  std::make_pair(QStringLiteral("n"), QStringLiteral("v")));
        };
    };
    const Bar main = &frmMain::Toolbar1;
    const Bar box = &frmMain::Toolbox;
    const Bar views = &frmMain::ToolbarView;
    const QKeySequence noKey;
    const Command commands[] = {
        {"mnuNewDoc", nullptr, main, "New", noKey, nullptr, none, none},
        {"mnuOpen", nullptr, main, "Open", noKey, nullptr, none,
         [&] { ui.expectFileDialog(FileDialogKind::Open, other); }},
        {"mnuSave", nullptr, main, "Save", QKeySequence("Ctrl+S"), nullptr, needsSaving, none},
        {"mnuSaveAs", nullptr, nullptr, nullptr, noKey, nullptr, none,
         [&] { ui.expectFileDialog(FileDialogKind::Save, QString()); }},
        {"mnuExit", nullptr, nullptr, nullptr, noKey, nullptr, needsSaving,
         [&] { expectSaveQuestion(window->m_strFileName, MsgResult::Cancel); }},
        {"mnuCut", "mnuCutPopup", main, "Cut", QKeySequence("Ctrl+X"), "r/b", none, none},
        {"mnuCopy", "mnuCopyPopup", main, "Copy", QKeySequence("Ctrl+C"), "r/b", none, none},
        {"mnuPaste", "mnuPastePopup", main, "Paste", QKeySequence("Ctrl+V"), "r/d",
         [&] {
             select("r/b");
             trigger("mnuCopy");
             select("r/d"); // the command state follows the clicked item
         },
         none},
        {"mnuDeleteItem", "mnuDelPopup", main, "Delete", QKeySequence(Qt::Key_Delete), "r/d", none,
         [&] { expectDeleteQuestion(MsgResult::Yes); }},
        {"mnuUpdate", "mnuUpdatePopup", nullptr, nullptr, QKeySequence(Qt::Key_F2), "r/d", none,
         none},
        {"mnuSpecialUpdate", "mnuSpecialUpdatePopup", nullptr, nullptr, QKeySequence("Shift+F2"),
         "r/a/t", none,
         [&] { expectTextEditor(QStringLiteral("Text Editor"), QStringLiteral("t"), "new"); }},
        {"mnuExpandAll", "mnuExpandAllPopup", main, "ExpandAll", noKey, "r", none, none},
        {"mnuCopyClip", "mnuPopCopyClip", main, "CopyClip", noKey, nullptr, none, none},
        {"mnuPasteClip", "mnuPopPasteClip", main, "PasteClip", QKeySequence("Ctrl+P"), nullptr,
         none, none},
        {"mnuIndent", nullptr, nullptr, nullptr, noKey, nullptr, none, none},
        {"mnuTreeView", nullptr, views, "TreeView", noKey, nullptr,
         [&] { click(window->ToolbarView, "WebView"); }, none},
        {"mnutextView", nullptr, views, "TextView", noKey, nullptr, none, none},
        {"mnuWebView", nullptr, views, "WebView", noKey, nullptr, none, none},
        {"mnuRefresh", nullptr, main, "Refresh", QKeySequence(Qt::Key_F5), nullptr,
         editDocumentOnly, none},
        {"mnuNewElement", "mnuElementPopup", box, "Element", QKeySequence("Ctrl+E"), "r/b", none,
         none},
        {"mnuNewText", "mnuTextPopup", box, "Text", QKeySequence("Ctrl+T"), "r/d", none, none},
        {"mnuNewAttribute", "mnuAttributePopup", box, "Attribute", noKey, "r/d", none,
         attributeEditor("Attribute Editor")},
        {"mnuNewComment", "mnuCommentPopup", box, "Comment", QKeySequence("Ctrl+M"), "r/d", none,
         none},
        {"mnuNewCDATA", "mnuCDataPopup", box, "CData", noKey, "r/d", none, none},
        {"mnuNewPI", "mnuPinstPopup", box, "PInstructions", noKey, "r/d", none,
         attributeEditor("Processing Instruction Editor")},
        {"mnuMoveUp", nullptr, main, "Up", QKeySequence("Ctrl+U"), "r/b", none, none},
        {"mnuMoveDown", nullptr, main, "Down", QKeySequence("Ctrl+D"), "r/a", none, none},
        {"mnuMoveLeft", nullptr, main, "Left", QKeySequence("Ctrl+L"), "r/b/c", none, none},
        {"mnuMoveRight", nullptr, main, "Right", QKeySequence("Ctrl+R"), "r/b", none, none},
        {"mnuAbout", nullptr, nullptr, nullptr, noKey, nullptr, none, logDialog},
        {nullptr, nullptr, main, "Print", noKey, nullptr, none,
         [&] { ui.expectPrint(PrintResult::Printed); }},
    };
    for (const Command& command : commands) {
        const std::string name = command.menu ? command.menu : command.key;
        SCOPED_TRACE(name);
        reset(command);
        const QString untouched = state();
        ui.verify();
        // The ways in, each run on a fresh window state.
        std::vector<std::pair<std::string, std::function<void()>>> ways;
        if (command.menu)
            ways.emplace_back("menu", [&] { trigger(command.menu); });
        if (command.popup)
            ways.emplace_back("context item", [&] { trigger(command.popup); });
        if (command.bar)
            ways.emplace_back("button", [&] { click(window.get()->*command.bar, command.key); });
        if (!command.shortcut.isEmpty()) {
            ways.emplace_back("shortcut", [&] {
                QApplication::setActiveWindow(window.get());
                window->m_wndTree->setFocus();
                const QKeyCombination key = command.shortcut[0];
                QTest::keyClick(window->m_wndTree, key.key(), key.keyboardModifiers());
            });
        }
        QString first;
        for (const auto& [way, run] : ways) {
            SCOPED_TRACE(way);
            reset(command);
            if (command.menu && command.popup) {
                EXPECT_EQ(enabled(command.menu), enabled(command.popup));
            }
            if (command.menu && command.bar) {
                EXPECT_EQ(enabled(command.menu),
                          buttonEnabled(window.get()->*command.bar, command.key));
            }
            if (command.script)
                command.script();
            run();
            if (labelEditor())
                typeLabel(QStringLiteral("typed"));
            ui.verify();
            const QString after = state();
            EXPECT_NE(after, untouched) << "the command did not run";
            if (first.isNull())
                first = after;
            else
                EXPECT_EQ(after, first);
            check();
        }
    }
}

// Nothing in the command set is left without its routine: with an item that allows nearly
// everything selected, only what the command state turns off for it is off.
TEST_F(CommandsTest, NoCommandIsLeftDisabledForGood) {
    window->DropFiles({writeFile(QStringLiteral("doc.xml"), kDoc)});
    select("r/b");
    trigger("mnuCopy");
    // Two steps, one of them undone: both Undo and Redo have something to do.
    for (const char* command : {"mnuPaste", "mnuPaste", "mnuUndo"}) {
        select("r/b");
        trigger(command);
    }
    select("r/b");
    // Cancel Validation is on only while a validation runs.
    const QSet<QString> off = {"mnuMoveLeft", "Toolbar1.Left", "mnuSpecialUpdate",
                               "mnuSpecialUpdatePopup", "mnuCancelValidation"};
    for (QAction* action : window->findChildren<QAction*>()) {
        const QString name = action->objectName();
        if (!name.isEmpty() && !action->isSeparator() && !action->menu()) {
            EXPECT_EQ(action->isEnabled(), !off.contains(name)) << name.toStdString();
        }
    }
}

// The commands on the tree's selection are off in the text and web views, so their keys reach the
// text instead of the hidden tree; they come back as they were with the tree.
TEST_F(CommandsTest, ItemCommandsAreOffWhereTheTreeIsNotShown) {
    window->DropFiles({writeFile(QStringLiteral("doc.xml"), kDoc)});
    select("r/b");
    const auto states = [this] {
        QStringList on;
        for (QAction* action : window->findChildren<QAction*>()) {
            if (!action->objectName().isEmpty() && action->isEnabled())
                on << action->objectName();
        }
        return on;
    };
    const QStringList inTree = states();
    const QString document = xml();
    const QStringList itemCommands =
        QStringLiteral("mnuCut mnuCopy mnuPaste mnuDeleteItem mnuUpdate mnuSpecialUpdate "
                       "mnuExpandAll mnuNewElement mnuNewText mnuNewAttribute mnuNewComment "
                       "mnuNewCDATA mnuNewPI mnuMoveUp mnuMoveDown mnuMoveLeft mnuMoveRight "
                       "mnuElementPopup mnuDelPopup mnuCutPopup mnuUpdatePopup Toolbar1.Cut "
                       "Toolbar1.Copy Toolbar1.Delete Toolbar1.Up Toolbar1.ExpandAll "
                       "Toolbox.Element Toolbox.Attribute Toolbox.Comment")
            .split(QLatin1Char(' '));
    for (const char* view : {"TextView", "WebView"}) {
        SCOPED_TRACE(view);
        click(window->ToolbarView, view);
        for (const QString& name : itemCommands)
            EXPECT_FALSE(window->Command(name)->isEnabled()) << name.toStdString();
        EXPECT_TRUE(enabled("mnuFind"));
        EXPECT_TRUE(enabled("mnuSave"));
    }
    click(window->ToolbarView, "TextView");
    window->m_txtXML->setFocus();
    window->m_txtXML->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    for (const char* key : {"Ctrl+M", "Ctrl+E", "Ctrl+R", "Del"})
        QTest::keySequence(window->m_txtXML, QKeySequence(QString::fromLatin1(key)));
    QTest::keyClicks(window->m_txtXML, QStringLiteral("hello"));
    EXPECT_EQ(xml(), document) << "nothing reached the hidden tree";
    EXPECT_TRUE(window->m_txtXML->Text().endsWith(QStringLiteral("hello")));
    trigger("mnuRefresh");
    click(window->ToolbarView, "TreeView");
    EXPECT_EQ(states(), inTree);
}

// A quoted file on the command line opens without a question and is the saved state that undo
// comes back to; closing with changes asks, saves on Yes and lets the document go.
TEST_F(CommandsTest, TheCommandLineFileIsTheSavedStateAndClosingSavesFirst) {
    const QString path = writeFile(QStringLiteral("a.xml"), "<a><b/></a>");
    start({QLatin1Char('"') + path + QLatin1Char('"')});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - a.xml"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(window->m_strFileName, path);
    EXPECT_FALSE(window->HasUnsavedChanges());
    select("a");
    trigger("mnuNewComment");
    typeLabel(QStringLiteral("note"));
    trigger("mnuUndo");
    trigger("mnuExit");
    EXPECT_FALSE(window->isVisible());

    start({path});
    changeDocument();
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

// The menu's way in is one of every command's ways above.
TEST_F(MainWindowTest, AboutBoxFromTheLogo) {
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
    window->Image2_Click();
}

// Exactly one view shows, with its button and menu item checked, from the menu or the toolbar;
// choosing it again changes nothing. The keyboard never stays with a hidden view.
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
    // The page was shown by the browser engine, loaded from its module beside the program.
    QStringList pages;
    for (QWidget* page : window->m_WebBrowser->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        pages << QString::fromLatin1(page->metaObject()->className());
    EXPECT_TRUE(pages.contains(QStringLiteral("QWebEngineView"))) << pages.join(u' ').toStdString();
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    trigger("mnuTreeView");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    EXPECT_FALSE(window->m_txtXML->HasTyping()) << "typing after the switch reached the text";
}

TEST_F(MainWindowTest, UnknownToolbarKeysDoNothing) {
    window->Toolbar1_ButtonClick(QStringLiteral("NoSuchKey"));
    window->Toolbox_ButtonClick(QStringLiteral("element")); // keys compare case-sensitively
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_FALSE(window->HasUnsavedChanges());
}
