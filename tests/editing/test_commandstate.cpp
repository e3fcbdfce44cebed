// Which item commands a selected item offers, however it was selected. That the context items
// and buttons follow their menu items is checked with the commands.

#include "support/editingfixture.h"

namespace {
const QByteArray kDoc = "<?xml version=\"1.0\"?><!--top--><r id=\"1\"><a><t>text</t></a><b/></r>";
} // namespace

class CommandStateTest : public EditingTest {
protected:
    // Which of the item commands are on, as 0 and 1 in this order.
    QString state() {
        QString out;
        for (const char* name :
             {"mnuCut", "mnuCopy", "mnuPaste", "mnuMoveUp", "mnuMoveDown", "mnuMoveRight",
              "mnuMoveLeft", "mnuNewElement", "mnuNewText", "mnuNewComment", "mnuNewCDATA",
              "mnuNewPI", "mnuUpdate", "mnuSpecialUpdate"})
            out += enabled(name) ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    }
    void expectState(const QString& path, QString expected) {
        click(find(path));
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(state(), expected.remove(QLatin1Char(' ')));
    }
};

TEST_F(CommandStateTest, FollowsTheItemsPlaceAndKindAndTheCopyBuffer) {
    load(kDoc);
    // cut+copy, paste, up down right left, element, text comment cdata pi, update, special update
    expectState("r", "00 0 1010 1 1111 1 0");
    expectState("xml version=\"1.0\"", "00 0 0100 0 1111 0 1");
    expectState("r/id = \"1\"", "11 0 0100 0 0000 0 1");
    expectState("r/a", "11 0 1110 1 1111 1 0");
    expectState("r/a/t/text", "11 0 0001 0 1111 1 1");
    expectState("top", "00 0 1110 0 1111 1 1");
    expectState("r/b", "11 0 1010 1 1111 1 0");
    trigger("mnuCopy");
    EXPECT_FALSE(enabled("mnuPaste")); // not until the next click
    expectState("r/a", "11 1 1110 1 1111 1 0");
    expectState("r", "00 1 1010 1 1111 1 0");
}

// Keys that move the selection must leave the commands as a click on the reached item does:
// Cut offered for the root after Up from its attribute cut the whole document element.
TEST_F(CommandStateTest, KeyboardSelectionSetsTheCommandsAsAClickDoes) {
    load(kDoc);
    const QString before = xml();
    click(find("r/id = \"1\""));
    QTest::keyClick(window->m_wndTree, Qt::Key_Up);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r"));
    EXPECT_FALSE(enabled("mnuCut"));
    QTest::keyClick(window->m_wndTree, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(xml(), before);

    // "to" is typed: type-ahead finds "top".
    for (const char* keys : {"Down", "Home", "End", "PgUp", "to", "PgDown"}) {
        SCOPED_TRACE(keys);
        const QString previous = state();
        const Id previousItem = window->m_wndTree->SelectedItem();
        if (qstrcmp(keys, "to") == 0)
            QTest::keyClicks(window->m_wndTree, QString::fromLatin1(keys));
        else
            QTest::keySequence(window->m_wndTree, QKeySequence(QString::fromLatin1(keys)));
        const Id reached = window->m_wndTree->SelectedItem();
        ASSERT_NE(reached, previousItem) << "the key did not move";
        const QString byKey = state();
        click(reached);
        EXPECT_EQ(byKey, state());
        EXPECT_NE(byKey, previous) << "a step that cannot tell";
    }
}
