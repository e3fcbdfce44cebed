// Every item command through its shortcut, and each context-menu item against its menu twin.

#include "support/editingfixture.h"

namespace {
const QByteArray kDoc = "<r><a k=\"1\">t<!--c--></a><b><c/></b><d/></r>";
}

TEST_F(EditingTest, ShortcutsRunTheirCommands) {
    struct Case {
        const char* name;
        const char* path;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* expected; // the document afterwards, compact
    };
    const Case cases[] = {
        {"Ctrl+T text", "r/d", Qt::Key_T, Qt::ControlModifier,
         "<r><a k=\"1\">t<!--c--></a><b><c/></b><d></d></r>"},
        {"Ctrl+M comment", "r/d", Qt::Key_M, Qt::ControlModifier,
         "<r><a k=\"1\">t<!--c--></a><b><c/></b><d><!----></d></r>"},
        {"Ctrl+D down", "r/a", Qt::Key_D, Qt::ControlModifier,
         "<r><b><c/></b><a k=\"1\">t<!--c--></a><d/></r>"},
        {"Ctrl+L left", "r/b/c", Qt::Key_L, Qt::ControlModifier,
         "<r><a k=\"1\">t<!--c--></a><b/><c/><d/></r>"},
        {"Ctrl+R right", "r/b", Qt::Key_R, Qt::ControlModifier,
         "<r><a k=\"1\">t<!--c--><b><c/></b></a><d/></r>"},
        {"Ctrl+X cut", "r/b", Qt::Key_X, Qt::ControlModifier,
         "<r><a k=\"1\">t<!--c--></a><d/></r>"},
    };
    auto compact = [](QString text) {
        return text.remove(QLatin1Char('\n')).remove(QStringLiteral("  "));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(kDoc);
        click(find(QString::fromLatin1(c.path)));
        QTest::keyClick(window->m_wndTree, c.key, c.modifiers);
        if (labelEditor())
            typeLabel(QString());
        EXPECT_EQ(compact(xml()), QString::fromLatin1(c.expected));
        EXPECT_TRUE(window->m_bNeedToSave);
        check();
    }
    load(kDoc);
    click(find("r/a/c"));
    expectTextEditor(QStringLiteral("Comment Editor"), QStringLiteral("c"),
                     QStringLiteral("changed"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_EQ(labelsUnder("r/a"), (QStringList{"k = \"1\"", "t", "changed"}));
}

TEST_F(EditingTest, ContextItemsDoExactlyWhatTheirMenuTwinsDo) {
    struct Twin {
        const char* menu;
        const char* popup;
        const char* path;
        std::function<void()> script; // prompts the command will show
    };
    const std::function<void()> none = [] {};
    const Twin twins[] = {
        {"mnuNewElement", "mnuElementPopup", "r/b", none},
        {"mnuNewText", "mnuTextPopup", "r/b", none},
        {"mnuNewComment", "mnuCommentPopup", "r/a/t", none},
        {"mnuNewCDATA", "mnuCDataPopup", "r/d", none},
        {"mnuNewAttribute", "mnuAttributePopup", "r/d",
         [this] {
             expectAttributeEditor("Attribute Editor", "", "",
                                   std::make_pair(QString("n"), QString("v")));
         }},
        {"mnuNewPI", "mnuPinstPopup", "r/a/c",
         [this] {
             expectAttributeEditor("Processing Instruction Editor", "", "",
                                   std::make_pair(QString("p"), QString("d")));
         }},
        {"mnuUpdate", "mnuUpdatePopup", "r/d", none},
        {"mnuSpecialUpdate", "mnuSpecialUpdatePopup", "r/a/t",
         [this] { expectTextEditor("Text Editor", "t", QString("new")); }},
        {"mnuExpandAll", "mnuExpandAllPopup", "r", none},
        {"mnuCut", "mnuCutPopup", "r/b", none},
        {"mnuCopy", "mnuCopyPopup", "r/b", none},
        {"mnuDeleteItem", "mnuDelPopup", "r/a/k = \"1\"",
         [this] {
             ui.expectMessage(QStringLiteral("Are you sure you want to delete the selected item?"),
                              MsgButtons::YesNo, MsgIcon::Question,
                              QStringLiteral("Orvel XML Editor"), MsgResult::Yes);
         }},
    };
    for (const Twin& twin : twins) {
        SCOPED_TRACE(twin.popup);
        QString results[2];
        QStringList labelLists[2];
        for (int run = 0; run < 2; ++run) {
            load(kDoc);
            click(find(QString::fromLatin1(twin.path)));
            const char* name = run == 0 ? twin.menu : twin.popup;
            EXPECT_EQ(enabled(twin.menu), enabled(twin.popup));
            twin.script();
            trigger(name);
            if (labelEditor())
                typeLabel(QStringLiteral("typed"));
            results[run] = xml();
            labelLists[run] = labelsUnder("r");
            check();
        }
        EXPECT_EQ(results[0], results[1]);
        EXPECT_EQ(labelLists[0], labelLists[1]);
    }
}
