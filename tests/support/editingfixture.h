#pragma once

#include "editing/editordialogs.h"
#include "support/mainwindowfixture.h"
#include "support/treecheck.h"

#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

// A window with a document of the test's choosing, driven through clicks, keys and commands,
// with the tree and the Document checked against each other after every step.
class EditingTest : public MainWindowTest {
protected:
    using Id = TreeModel::ItemId;
    using MainWindowTest::click;

    void load(const QByteArray& xml) {
        const QString path = writeFile(QStringLiteral("doc%1.xml").arg(++m_files), xml);
        window->markSaved(); // a fresh start, not a question about the last one
        window->DropFiles({path});
        ASSERT_EQ(TreeDocumentProblem(*window), QString());
    }
    TreeModel& nodes() { return window->m_wndTree->Nodes(); }
    // The next modal dialog, which must be a `Dialog`, goes through `handle`.
    template <typename Dialog> void expectDialogOf(std::function<void(Dialog&)> handle) {
        ui.expectModal([=](QDialog& dialog) {
            auto* shown = qobject_cast<Dialog*>(&dialog);
            ASSERT_NE(shown, nullptr);
            handle(*shown);
        });
    }
    // The item reached by labels, "a/b/id = \"1\"", from the top level.
    Id find(const QString& path) {
        Id item = TreeModel::NoItem;
        for (const QString& label : path.split(QLatin1Char('/'))) {
            Id c = item ? nodes().Child(item) : nodes().FirstTopLevel();
            while (c && nodes().Text(c) != label)
                c = nodes().Next(c);
            if (!c) {
                ADD_FAILURE() << "no item " << path.toStdString();
                return TreeModel::NoItem;
            }
            item = c;
        }
        return item;
    }
    // A real click on the item, after bringing it into view.
    void click(Id item, Qt::MouseButton button = Qt::LeftButton) {
        TreeControl* tree = window->m_wndTree;
        tree->scrollTo(nodes().IndexOf(item));
        QCoreApplication::processEvents();
        const QRect rect = tree->visualRect(nodes().IndexOf(item));
        QTest::mouseClick(tree->viewport(), button, {}, rect.center());
        closePopups();
    }
    void select(const QString& path) { click(find(path)); }
    static void closePopups() {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
    QStringList labelsUnder(const QString& path) {
        return labels(path.isEmpty() ? TreeModel::NoItem : find(path));
    }
    bool enabled(const char* name) {
        return window->Command(QString::fromLatin1(name))->isEnabled();
    }
    bool buttonEnabled(QToolBar* bar, const char* key) {
        return window->Button(bar, QString::fromLatin1(key))->isEnabled();
    }
    QLineEdit* labelEditor() {
        for (QLineEdit* line : window->m_wndTree->findChildren<QLineEdit*>()) {
            if (line->isVisible())
                return line;
        }
        return nullptr;
    }
    // Types into the open label editor and ends the edit with Return (or Escape).
    void typeLabel(const QString& text, Qt::Key finish = Qt::Key_Return) {
        QLineEdit* line = labelEditor();
        ASSERT_NE(line, nullptr) << "no label is being edited";
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, finish);
        QCoreApplication::processEvents();
    }
    void expectTextEditor(const QString& caption, const QString& shown,
                          std::optional<QString> answer) {
        ui.expectModal([=](QDialog& dialog) {
            auto& editor = dynamic_cast<frmTextEditor&>(dialog);
            EXPECT_EQ(editor.windowTitle(), caption);
            EXPECT_EQ(editor.txtText->toPlainText(), shown);
            if (answer) {
                editor.txtText->setPlainText(*answer);
                editor.cmdOK->click();
            } else {
                editor.cmdCancel->click();
            }
        });
    }
    void expectAttributeEditor(const QString& caption, const QString& name, const QString& value,
                               std::optional<std::pair<QString, QString>> answer) {
        ui.expectModal([=](QDialog& dialog) {
            auto& editor = dynamic_cast<frmAttributeEditor&>(dialog);
            EXPECT_EQ(editor.windowTitle(), caption);
            EXPECT_EQ(editor.txtName->text(), name);
            EXPECT_EQ(editor.txtText->toPlainText(), value);
            if (answer) {
                editor.txtName->setText(answer->first);
                editor.txtText->setPlainText(answer->second);
                editor.cmdOK->click();
            } else {
                editor.cmdCancel->click();
            }
        });
    }
    void expectInfo(const QString& text) {
        ui.expectMessage(text, MsgButtons::OKOnly, MsgIcon::Information);
    }
    void expectCritical(const QString& text) {
        ui.expectMessage(text, MsgButtons::OKOnly, MsgIcon::Critical);
    }
    void expectDeleteQuestion(MsgResult answer) {
        ui.expectMessage(QStringLiteral("Are you sure you want to delete the selected item?"),
                         MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Orvel XML Editor"),
                         answer);
    }
    void check() { EXPECT_EQ(TreeDocumentProblem(*window), QString()); }
    QString xml() { return window->m_objDocument.xml(); }

private:
    int m_files = 0;
};

inline const QString kCannotMove =
    QStringLiteral("Item cannot be moved to the selected direction.");
