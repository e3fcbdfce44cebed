#pragma once

#include "app/frmmain.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "support/scriptedui.h"

#include <QAction>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// A main window driven through its real actions, with every prompt scripted.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        // Each test's window starts as a first run's: where an earlier one was left, its zoom
        // and its last folder are forgotten.
        QSettings settings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"));
        for (const char* group : {"Window", "TextView", "Files"})
            settings.remove(QString::fromLatin1(group));
        start();
    }
    // A window as the program shows it (hidden views put their text in when they appear).
    void start(const QStringList& arguments = {}) {
        window = std::make_unique<frmMain>(arguments);
        window->show();
        EXPECT_TRUE(waitUntilActive(window.get()));
    }
    // Activation comes back from the window system later, and the offscreen platform does not
    // report it to QTest: shortcuts must not find a window's activation still pending.
    static bool waitUntilActive(QWidget* target) {
        const QPointer<QWidget> widget(target); // events may delete it
        for (int i = 0; i < 200 && widget; ++i) {
            QCoreApplication::processEvents();
            if (!widget)
                break;
            if (QGuiApplication::focusWindow() == widget->windowHandle())
                return true;
            if (i % 20 == 19)
                widget->activateWindow();
            QTest::qSleep(5);
        }
        return false;
    }
    void TearDown() override {
        ui.verify();
        if (window) {
            window->markSaved(); // closing must not ask
            window.reset();
        }
    }

    void trigger(const char* name) {
        QAction* action = window->Command(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name << " is disabled";
        action->trigger();
    }
    void click(QToolBar* bar, const char* key) {
        QAction* action = window->Button(bar, QString::fromLatin1(key));
        ASSERT_NE(action, nullptr) << key;
        action->trigger();
    }
    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Writes the file and opens it through the Open dialog; its path.
    QString openFile(const QString& name, const QByteArray& content) {
        const QString path = writeFile(name, content);
        ui.expectFileDialog(FileDialogKind::Open, path);
        trigger("mnuOpen");
        return path;
    }
    // The question before unsaved work would be dropped, naming the file (or "Unknown").
    void expectSaveQuestion(const QString& name, MsgResult answer) {
        ui.expectMessage(QStringLiteral("Do you want to save the changes you made to ") + name +
                             QLatin1Char('?'),
                         MsgButtons::YesNoCancel, MsgIcon::None, QStringLiteral("Orvel XML Editor"),
                         answer);
    }
    // The complaint about a window squeezed too small comes once in a hundred and one failed
    // layouts, not on each; `failLayouts(n)` makes n layouts fail.
    void expectLayoutComplaintEvery101(const std::function<void(int)>& failLayouts) {
        failLayouts(100);
        EXPECT_TRUE(ui.shown().empty());
        ui.expectMessage(QStringLiteral("Oh, com'on man! Stop screwing around with the window."),
                         MsgButtons::OKOnly, MsgIcon::Critical);
        failLayouts(1);
        ui.verify();
        failLayouts(100);
        EXPECT_EQ(ui.shown().size(), 1u);
    }
    // Labels of the top-level items, or of `item`'s children.
    QStringList labels(TreeModel::ItemId item = TreeModel::NoItem) {
        TreeModel& nodes = window->m_wndTree->Nodes();
        QStringList out;
        for (auto c = item ? nodes.Child(item) : nodes.FirstTopLevel(); c; c = nodes.Next(c))
            out << nodes.Text(c);
        return out;
    }
    // Marks the document changed the way an editing command does.
    void changeDocument() {
        window->m_objDocument.documentElement().appendChild(
            window->m_objDocument.createComment(QStringLiteral("edit")));
        window->MarkChanged();
    }

    ScriptedUi ui;
    QTemporaryDir dir;
    std::unique_ptr<frmMain> window;
};
