// Every item command through its shortcut, with the document it leaves. That each way in does the
// same as the menu item is checked in the commands test.

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
        EXPECT_TRUE(window->HasUnsavedChanges());
        check();
    }
    load(kDoc);
    click(find("r/a/c"));
    expectTextEditor(QStringLiteral("Comment Editor"), QStringLiteral("c"),
                     QStringLiteral("changed"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_EQ(labelsUnder("r/a"), (QStringList{"k = \"1\"", "t", "changed"}));
}
