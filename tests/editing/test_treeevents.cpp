// Right-clicks, F2 and in-place label editing, and Expand All.

#include "platform/ui/longoperation.h"
#include "support/editingfixture.h"

#include <QRegularExpression>
#include <QTimer>

// A right-click on an item selects it and shows the item menu; on empty space it shows the
// clipboard menu and, like a left click there, leaves the selection and its commands alone.
TEST_F(EditingTest, RightClicksShowTheMenuOfWhatIsUnderThePointer) {
    load("<r id=\"1\"><a/><b/></r>");
    click(find("r/a"));
    const Id b = find("r/b");
    click(b, Qt::RightButton);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), b);
    EXPECT_FALSE(enabled("mnuMoveDown"));
    auto menuAt = [&](QPoint at) {
        QTest::mousePress(window->m_wndTree->viewport(), Qt::RightButton, {}, at);
        QWidget* shown = QApplication::activePopupWidget();
        closePopups();
        return shown;
    };
    EXPECT_EQ(menuAt(window->m_wndTree->visualRect(nodes().IndexOf(b)).center()),
              static_cast<QWidget*>(window->Menu(QStringLiteral("mnuContextMenu"))));
    const Id id = find("r/id = \"1\"");
    click(id);
    const QPoint empty(5, window->m_wndTree->viewport()->height() - 3);
    EXPECT_EQ(menuAt(empty), static_cast<QWidget*>(window->Menu(QStringLiteral("mnuPopupClip"))));
    EXPECT_EQ(window->m_wndTree->SelectedItem(), id);
    EXPECT_FALSE(enabled("mnuNewElement"));
    EXPECT_TRUE(enabled("mnuSpecialUpdate"));
    QTest::mouseClick(window->m_wndTree->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), id);
    EXPECT_TRUE(enabled("mnuCut"));
    QTest::keyClick(window->m_wndTree, Qt::Key_Home);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r")) << "Home goes to the first item";
}

TEST_F(EditingTest, F2OpensOnlyLabelsThatShowTheWholeNode) {
    const QString longText(300, QLatin1Char('x'));
    load("<?p data?><r a=\"1\"><!--short-->" + longText.toUtf8() + "</r>");
    for (const QString& path :
         {QStringLiteral("p data"), QStringLiteral("r/a = \"1\""),
          QStringLiteral("r/") + longText.left(256) + QStringLiteral("...")}) {
        click(find(path));
        QTest::keyClick(window->m_wndTree, Qt::Key_F2);
        EXPECT_EQ(labelEditor(), nullptr) << path.left(20).toStdString();
    }
    // Shift+F2 is Special Update, which is off for an element: when the key reaches the tree (as
    // it does from the window system, past the disabled shortcut) it does nothing at all.
    click(find("r"));
    QKeyEvent shiftF2(QEvent::KeyPress, Qt::Key_F2, Qt::ShiftModifier);
    QApplication::sendEvent(window->m_wndTree, &shiftF2);
    EXPECT_EQ(labelEditor(), nullptr);
    // A comment edited to a long text keeps it all and shows it shortened.
    click(find("r/short"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(longText);
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("//comment()")).text(),
              longText);
    EXPECT_EQ(labelsUnder("r").value(1), longText.left(256) + QStringLiteral("..."));
    EXPECT_TRUE(window->HasUnsavedChanges());
    check();
}

TEST_F(EditingTest, RefusedNamesAreToldAndAbandonedEditsChangeNothing) {
    load("<r><a/></r>");
    const QString before = xml();
    for (const auto& [bad, message] : {std::pair{"1a", "'1a' is not a valid element name."},
                                       std::pair{"q:x", "The prefix 'q' is not declared."}}) {
        click(find("r/a"));
        trigger("mnuUpdate");
        window->markSaved();
        expectInfo(QString::fromLatin1(message));
        typeLabel(QString::fromLatin1(bad));
        EXPECT_TRUE(window->HasUnsavedChanges()); // marked changed all the same
        EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    }
    click(find("r/a"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("gone"), Qt::Key_Escape);
    EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    EXPECT_EQ(xml(), before);
    check();
}

namespace {

// Every kind of node, namespaces shown as attributes, a chain deep enough to be still pending
// when Expand All starts. Beside the document element the top level has only leaves, beside p:s
// there is an element with children: the command takes a different way when nothing outside
// the subtree can be expanded.
const QByteArray kEveryKind =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x\">]>\n<!--top-->\n"
    "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\" p:a=\"1\">t&e;<![CDATA[c]]><?pi "
    "data?><!--k--><p:s b=\"2\"><empty/><q><w><x y=\"3\">deep</x></w></q>"
    "</p:s><tail><end/></tail>" +
    QByteArray("<d>").repeated(200) + QByteArray("</d>").repeated(200) + "</r>";

} // namespace

class ExpandAllTest : public EditingTest {
protected:
    // `visit` on each item below `item` (the whole tree with NoItem), depth first.
    void walk(Id item, const std::function<void(Id)>& visit) {
        for (Id c = item ? nodes().Child(item) : nodes().FirstTopLevel(); c; c = nodes().Next(c)) {
            visit(c);
            walk(c, visit);
        }
    }
    // Each item below `item` as "label:expanded", as the control reports it.
    QString expandedStates(Id item = TreeModel::NoItem) {
        QStringList states;
        walk(item, [&](Id c) {
            states << nodes().Text(c) + (window->m_wndTree->Expanded(c) ? ":+" : ":-");
        });
        return states.join(' ');
    }
    // The rows the view shows, top to bottom.
    QString visibleRows() {
        QStringList rows;
        for (QModelIndex i = nodes().index(0, 0); i.isValid(); i = window->m_wndTree->indexBelow(i))
            rows << i.data().toString();
        return rows.join(' ');
    }
    void TearDown() override {
        LongOperation::SetIntervals(40, 300);
        EditingTest::TearDown();
    }
};

// Loaded afresh for each side, the item's subtree expanded one item at a time and by the command:
// the same items end up expanded and the view shows the same rows.
TEST_F(ExpandAllTest, ExpandsTheSameItemsAsExpandingThemOneByOne) {
    load(kEveryKind);
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    trigger("mnuExpandAll");
    EXPECT_FALSE(window->m_wndTree->Expanded(find("r"))) << "nothing without a selection";
    // The target, and the path opened by hand first.
    const std::pair<const char*, const char*> rows[] = {
        {"r", ""}, {"r/p:s", ""}, {"r", "r/p:s/q"}, {"r/p:s/empty", ""}, {"r/p:s/b = \"2\"", ""}};
    for (const auto& [path, openedFirst] : rows) {
        SCOPED_TRACE(testing::Message() << path << " " << openedFirst);
        QString states[2];
        for (int byCommand = 0; byCommand < 2; ++byCommand) {
            load(kEveryKind);
            if (*openedFirst)
                window->m_wndTree->SetExpanded(find(openedFirst), true);
            const Id target = find(QString::fromLatin1(path));
            click(target);
            if (byCommand) {
                trigger("mnuExpandAll");
            } else {
                window->m_wndTree->SetExpanded(target, true);
                walk(target, [&](Id c) { window->m_wndTree->SetExpanded(c, true); });
            }
            QCoreApplication::processEvents();
            states[byCommand] = expandedStates() + " / " + visibleRows();
            check();
        }
        EXPECT_EQ(states[1].toStdString(), states[0].toStdString());
        EXPECT_FALSE(window->HasUnsavedChanges());
    }
}

// Esc after a few passes over the events: the items reached stay expanded (a leading part of
// the subtree in walk order), the tree still matches the Document, the commands fit the
// selection, and Expand All afterwards finishes the job. Both ways the command takes.
TEST_F(ExpandAllTest, EscStopsItLeavingAConsistentTree) {
    QByteArray many = "<r>";
    for (int i = 0; i < 40; ++i)
        many += "<e a=\"" + QByteArray::number(i) + "\"><f>text</f></e>";
    many += "</r>";
    const std::pair<QByteArray, QString> shapes[] = {
        {many, QStringLiteral("r")}, {"<w>" + many + "<x><y/></x></w>", QStringLiteral("w/r")}};
    for (const auto& [xmlText, path] : shapes) {
        for (int passes : {1, 7, 60}) {
            SCOPED_TRACE(testing::Message() << path.toStdString() << " " << passes);
            load(xmlText);
            auto moves = [&](const QString& at) {
                click(find(at));
                return std::pair{enabled("mnuMoveUp"), enabled("mnuMoveDown")};
            };
            const auto firstMoves = moves(path + QStringLiteral("/e"));
            const auto targetMoves = moves(path);
            LongOperation::SetIntervals(0, 0);
            int seen = 0;
            QTimer pass;
            pass.setInterval(0);
            QObject::connect(&pass, &QTimer::timeout, [&] {
                if (++seen == passes)
                    QTest::keyClick(window->m_wndTree, Qt::Key_Escape);
            });
            pass.start();
            trigger("mnuExpandAll");
            pass.stop();
            LongOperation::SetIntervals(40, 300);
            EXPECT_FALSE(LongOperation::Running());
            check();
            const Id target = find(path);
            const QString states = expandedStates(target);
            // Reached items first, then the rest untouched.
            EXPECT_FALSE(states.contains(QRegularExpression(":- .*:\\+"))) << states.toStdString();
            EXPECT_TRUE(window->m_wndTree->Expanded(target));
            EXPECT_TRUE(states.contains(":-")) << "Esc came too late to test anything";
            EXPECT_EQ(window->m_wndTree->SelectedItem(), target);
            EXPECT_EQ(std::pair(enabled("mnuMoveUp"), enabled("mnuMoveDown")), targetMoves);
            EXPECT_EQ(moves(path + QStringLiteral("/e")), firstMoves);

            click(find(path));
            trigger("mnuExpandAll");
            EXPECT_FALSE(expandedStates(find(path)).contains(":-"));
            check();
        }
    }
}
