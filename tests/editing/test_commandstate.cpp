// Which commands a clicked item offers, for the menu items, their context twins and the buttons.

#include "support/editingfixture.h"

namespace {
const QByteArray kDoc = "<?xml version=\"1.0\"?><!--top--><r id=\"1\"><a><t>text</t></a><b/></r>";

struct State {
    bool cut, paste, up, down, right, left, element, leafs, update, special;
};
} // namespace

class CommandStateTest : public EditingTest {
protected:
    void expectState(const QString& path, State s) {
        click(find(path));
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(enabled("mnuCut"), s.cut);
        EXPECT_EQ(enabled("mnuCopy"), s.cut);
        EXPECT_EQ(enabled("mnuPaste"), s.paste);
        EXPECT_EQ(enabled("mnuMoveUp"), s.up);
        EXPECT_EQ(enabled("mnuMoveDown"), s.down);
        EXPECT_EQ(enabled("mnuMoveRight"), s.right);
        EXPECT_EQ(enabled("mnuMoveLeft"), s.left);
        EXPECT_EQ(enabled("mnuNewElement"), s.element);
        for (const char* name : {"mnuNewText", "mnuNewComment", "mnuNewCDATA", "mnuNewPI"})
            EXPECT_EQ(enabled(name), s.leafs) << name;
        EXPECT_EQ(enabled("mnuUpdate"), s.update);
        EXPECT_EQ(enabled("mnuSpecialUpdate"), s.special);
        // The buttons and the context items always say the same as their menu items.
        const std::pair<const char*, const char*> twins[] = {
            {"mnuCut", "mnuCutPopup"},        {"mnuCopy", "mnuCopyPopup"},
            {"mnuPaste", "mnuPastePopup"},    {"mnuNewElement", "mnuElementPopup"},
            {"mnuNewText", "mnuTextPopup"},   {"mnuNewComment", "mnuCommentPopup"},
            {"mnuNewCDATA", "mnuCDataPopup"}, {"mnuNewPI", "mnuPinstPopup"},
            {"mnuUpdate", "mnuUpdatePopup"},  {"mnuSpecialUpdate", "mnuSpecialUpdatePopup"}};
        for (const auto& [menu, popup] : twins)
            EXPECT_EQ(enabled(menu), enabled(popup)) << popup;
        const std::pair<const char*, const char*> buttons[] = {
            {"Cut", "mnuCut"},        {"Copy", "mnuCopy"},     {"Paste", "mnuPaste"},
            {"Up", "mnuMoveUp"},      {"Down", "mnuMoveDown"}, {"Left", "mnuMoveLeft"},
            {"Right", "mnuMoveRight"}};
        for (const auto& [key, menu] : buttons)
            EXPECT_EQ(buttonEnabled(window->Toolbar1, key), enabled(menu)) << key;
        const std::pair<const char*, const char*> toolbox[] = {{"Element", "mnuNewElement"},
                                                               {"Text", "mnuNewText"},
                                                               {"Comment", "mnuNewComment"},
                                                               {"CData", "mnuNewCDATA"},
                                                               {"PInstructions", "mnuNewPI"}};
        for (const auto& [key, menu] : toolbox)
            EXPECT_EQ(buttonEnabled(window->Toolbox, key), enabled(menu)) << key;
    }
};

TEST_F(CommandStateTest, FollowsTheItemsPlaceAndKind) {
    load(kDoc);
    //                              cut    paste  up     down   right  left   elem   leafs  update
    //                              special
    expectState("r", {false, false, true, false, true, false, true, true, true, false});
    expectState("xml version=\"1.0\"",
                {false, false, false, true, false, false, false, true, false, true});
    expectState("r/id = \"1\"",
                {true, false, false, true, false, false, false, false, false, true});
    expectState("r/a", {true, false, true, true, true, false, true, true, true, false});
    expectState("r/a/t/text", {true, false, false, false, false, true, false, true, true, true});
    expectState("top", {false, false, true, true, true, false, false, true, true, true});
}

TEST_F(CommandStateTest, PasteIsOfferedOnceSomethingWasCopied) {
    load(kDoc);
    expectState("r/b", {true, false, true, false, true, false, true, true, true, false});
    trigger("mnuCopy");
    EXPECT_FALSE(enabled("mnuPaste")); // not until the next click
    expectState("r/a", {true, true, true, true, true, false, true, true, true, false});
    expectState("r", {false, true, true, false, true, false, true, true, true, false});
}

TEST_F(CommandStateTest, ClicksOnEmptySpaceChangeNothing) {
    load(kDoc);
    click(find("r/id = \"1\""));
    const Id selected = window->m_wndTree->SelectedItem();
    const QPoint empty(5, window->m_wndTree->viewport()->height() - 3);
    QTest::mousePress(window->m_wndTree->viewport(), Qt::RightButton, {}, empty);
    EXPECT_EQ(QApplication::activePopupWidget(),
              static_cast<QWidget*>(window->Menu(QStringLiteral("mnuPopupClip"))));
    closePopups();
    EXPECT_EQ(window->m_wndTree->SelectedItem(), selected);
    EXPECT_FALSE(enabled("mnuNewElement"));
    EXPECT_TRUE(enabled("mnuSpecialUpdate"));

    QTest::mouseClick(window->m_wndTree->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), selected) << "the selection stays";
    EXPECT_TRUE(enabled("mnuCut"));
    QTest::keyClick(window->m_wndTree, Qt::Key_Home);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), nodes().FirstTopLevel())
        << "Home goes to the first item";
}

// Keys that move the selection must leave the commands as a click on the reached item does:
// Cut offered for the root after Up from its attribute cut the whole document element.
TEST_F(CommandStateTest, KeyboardSelectionSetsTheCommandsAsAClickDoes) {
    load(kDoc);
    const char* const commands[] = {
        "mnuCut",      "mnuCopy",       "mnuMoveUp",  "mnuMoveDown", "mnuMoveRight",
        "mnuMoveLeft", "mnuNewElement", "mnuNewText", "mnuUpdate",   "mnuSpecialUpdate"};
    auto state = [&] {
        QString out;
        for (const char* name : commands)
            out += enabled(name) ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    };
    const QString before = xml();
    click(find("r/id = \"1\""));
    QTest::keyClick(window->m_wndTree, Qt::Key_Up);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r"));
    EXPECT_FALSE(enabled("mnuCut"));
    QTest::keyClick(window->m_wndTree, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(xml(), before);

    const std::pair<const char*, std::function<void()>> moves[] = {
        {"Down", [&] { QTest::keyClick(window->m_wndTree, Qt::Key_Down); }},
        {"Home", [&] { QTest::keyClick(window->m_wndTree, Qt::Key_Home); }},
        {"End", [&] { QTest::keyClick(window->m_wndTree, Qt::Key_End); }},
        {"PageUp", [&] { QTest::keyClick(window->m_wndTree, Qt::Key_PageUp); }},
        {"type-ahead", [&] { QTest::keyClicks(window->m_wndTree, QStringLiteral("to")); }},
        {"PageDown", [&] { QTest::keyClick(window->m_wndTree, Qt::Key_PageDown); }},
    };
    for (const auto& [name, press] : moves) {
        SCOPED_TRACE(name);
        const QString previous = state();
        const Id previousItem = window->m_wndTree->SelectedItem();
        press();
        const Id reached = window->m_wndTree->SelectedItem();
        ASSERT_NE(reached, previousItem) << "the key did not move";
        const QString byKey = state();
        click(reached);
        EXPECT_EQ(byKey, state());
        EXPECT_NE(byKey, previous) << "a step that cannot tell";
    }
}
