// Right-clicks, F2 and in-place label editing, renames and Expand All.

#include "platform/ui/longoperation.h"
#include "support/editingfixture.h"

#include <QRegularExpression>
#include <QTimer>

TEST_F(EditingTest, RightClickSelectsTheItemAndShowsTheItemMenu) {
    load("<r><a/><b/></r>");
    click(find("r/a"));
    const Id b = find("r/b");
    click(b, Qt::RightButton);
    EXPECT_EQ(window->m_wndTree->SelectedItem(), b);
    EXPECT_FALSE(enabled("mnuMoveDown"));
    window->m_wndTree->scrollTo(nodes().IndexOf(b));
    QTest::mousePress(window->m_wndTree->viewport(), Qt::RightButton, {},
                      window->m_wndTree->visualRect(nodes().IndexOf(b)).center());
    EXPECT_EQ(QApplication::activePopupWidget(),
              static_cast<QWidget*>(window->Menu(QStringLiteral("mnuContextMenu"))));
    closePopups();
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
    click(find("r/short"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("edited"));
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("//comment()")).text(),
              QStringLiteral("edited"));
    EXPECT_TRUE(window->HasUnsavedChanges());
    check();
}

TEST_F(EditingTest, EditingACommentToALongTextKeepsItAllAndShortensTheLabel) {
    load("<r><!--c--></r>");
    click(find("r/c"));
    trigger("mnuUpdate");
    const QString text(300, QLatin1Char('y'));
    typeLabel(text);
    EXPECT_EQ(window->m_objDocument.selectSingleNode(QStringLiteral("//comment()")).text(), text);
    EXPECT_EQ(labelsUnder("r"), QStringList{text.left(256) + QStringLiteral("...")});
    check();
}

TEST_F(EditingTest, RenameKeepsAttributesChildrenAndPlace) {
    load("<r><x/><old b=\"2\" a=\"1\"><c/>t<!--k--></old><y/></r>");
    click(find("r/old"));
    trigger("mnuUpdate");
    typeLabel(QStringLiteral("new"));
    EXPECT_EQ(
        xml(),
        QStringLiteral("<r>\n  <x/>\n  <new b=\"2\" a=\"1\"><c/>t<!--k--></new>\n  <y/>\n</r>\n"));
    EXPECT_EQ(labelsUnder("r"), (QStringList{"x", "new", "y"}));
    EXPECT_EQ(labelsUnder("r/new"), (QStringList{"b = \"2\"", "a = \"1\"", "c", "t", "k"}));
    check();

    click(find("r"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("top"));
    EXPECT_EQ(window->m_objDocument.documentElement().nodeName(), QStringLiteral("top"));
    check();
}

TEST_F(EditingTest, InvalidNamesAreRefusedAndAbandonedEditsChangeNothing) {
    load("<r><a/></r>");
    for (const QString& bad : {QStringLiteral("1a"), QStringLiteral("a b")}) {
        click(find("r/a"));
        trigger("mnuUpdate");
        window->markSaved();
        expectInfo(QStringLiteral("'%1' is not a valid element name.").arg(bad));
        typeLabel(bad);
        EXPECT_TRUE(window->HasUnsavedChanges()); // marked changed all the same
        EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    }
    const QString before = xml();
    click(find("r/a"));
    QTest::keyClick(window->m_wndTree, Qt::Key_F2);
    typeLabel(QStringLiteral("gone"), Qt::Key_Escape);
    EXPECT_EQ(labelsUnder("r"), QStringList{QStringLiteral("a")});
    EXPECT_EQ(xml(), before);
    check();
}

TEST_F(EditingTest, ExpandAllOpensTheWholeSubtreeAndNothingWithoutASelection) {
    QByteArray deep;
    for (int i = 0; i < 200; ++i)
        deep += "<d>";
    for (int i = 0; i < 200; ++i)
        deep += "</d>";
    load("<r><a><b><c/></b></a>" + deep + "</r>");
    window->m_wndTree->SetSelectedItem(TreeModel::NoItem);
    trigger("mnuExpandAll");
    EXPECT_FALSE(window->m_wndTree->Expanded(find("r")));
    click(find("r"));
    trigger("mnuExpandAll");
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/a/b")));
    EXPECT_TRUE(window->m_wndTree->Expanded(find("r/a/b/c")));
    Id d = find("r/d");
    for (int depth = 1; depth < 200; ++depth)
        d = nodes().Child(d);
    EXPECT_TRUE(window->m_wndTree->Expanded(d));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

namespace {

// Every kind of node, namespaces shown as attributes, and levels deep enough that most items are
// still pending when Expand All starts. Beside the document element the top level has only
// leaves, beside p:s there is an element with children: the command takes a different way when
// nothing outside the subtree can be expanded.
const QByteArray kEveryKind =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x\">]>\n<!--top-->\n"
    "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\" p:a=\"1\">t&e;<![CDATA[c]]><?pi data?><!--k-->"
    "<p:s b=\"2\"><empty/><q><w><x y=\"3\">deep</x></w></q></p:s><tail><end/></tail></r>";

} // namespace

class ExpandAllTest : public EditingTest {
protected:
    // Each item below `item` (the whole tree with NoItem), depth first, as "label:expanded",
    // with the expanded state as the control reports it.
    QStringList expandedStates(Id item = TreeModel::NoItem) {
        QStringList states;
        std::vector<Id> stack;
        for (Id c = item ? nodes().Child(item) : nodes().FirstTopLevel(); c; c = nodes().Next(c))
            stack.push_back(c);
        std::reverse(stack.begin(), stack.end());
        while (!stack.empty()) {
            const Id current = stack.back();
            stack.pop_back();
            states << nodes().Text(current) + (window->m_wndTree->Expanded(current) ? ":+" : ":-");
            std::vector<Id> children;
            for (Id c = nodes().Child(current); c; c = nodes().Next(c))
                children.push_back(c);
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
        return states;
    }
    // The rows the view shows, top to bottom.
    QStringList visibleRows() {
        QStringList rows;
        TreeControl* tree = window->m_wndTree;
        for (QModelIndex i = nodes().index(0, 0); i.isValid(); i = tree->indexBelow(i))
            rows << i.data().toString();
        return rows;
    }
    // Expand All the slow way: the control told about one item at a time.
    void expandItemByItem(Id item) {
        std::vector<Id> stack{item};
        while (!stack.empty()) {
            const Id current = stack.back();
            stack.pop_back();
            window->m_wndTree->SetExpanded(current, true);
            std::vector<Id> children;
            for (Id c = nodes().Child(current); c; c = nodes().Next(c))
                children.push_back(c);
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
    }
    void TearDown() override {
        LongOperation::SetIntervals(40, 300);
        EditingTest::TearDown();
    }
};

// Loaded afresh for each side, a path already opened by hand where the row says so, then the
// item's subtree expanded the old way and by the command: the same items end up expanded and the
// view shows the same rows.
TEST_F(ExpandAllTest, ExpandsTheSameItemsAsExpandingThemOneByOne) {
    const struct {
        const char* name;
        const char* target;
        const char* openedFirst;
    } rows[] = {
        {"whole document from the document element", "r", nullptr},
        {"an inner element, the rest stays as it was", "r/p:s", nullptr},
        {"after a part was opened by hand", "r", "r/p:s/q"},
        {"a childless element", "r/p:s/empty", nullptr},
        {"an attribute", "r/p:s/b = \"2\"", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QStringList states[2], shown[2];
        for (int byCommand = 0; byCommand < 2; ++byCommand) {
            load(kEveryKind);
            if (row.openedFirst)
                window->m_wndTree->SetExpanded(find(row.openedFirst), true);
            const QString path = QString::fromLatin1(row.target);
            click(find(path));
            if (byCommand)
                trigger("mnuExpandAll");
            else
                expandItemByItem(find(path));
            QCoreApplication::processEvents();
            states[byCommand] = expandedStates();
            shown[byCommand] = visibleRows();
            check();
        }
        EXPECT_EQ(states[1].join(' ').toStdString(), states[0].join(' ').toStdString());
        EXPECT_EQ(shown[1].join(' ').toStdString(), shown[0].join(' ').toStdString());
        EXPECT_FALSE(window->HasUnsavedChanges());
    }
}

// Esc after a few passes over the events: the items reached stay expanded (a leading part of
// the subtree in walk order), the tree still matches the Document, the commands fit the
// selection, and Expand All afterwards finishes the job. Both ways the command takes: with
// nothing else in the tree to expand, and beside an element with children.
TEST_F(ExpandAllTest, EscStopsItLeavingAConsistentTree) {
    QByteArray many = "<r>";
    for (int i = 0; i < 40; ++i)
        many += "<e a=\"" + QByteArray::number(i) + "\"><f>text</f></e>";
    many += "</r>";
    const struct {
        QByteArray xml;
        QString target;
    } shapes[] = {
        {many, QStringLiteral("r")},
        {"<w>" + many + "<x><y/></x></w>", QStringLiteral("w/r")},
    };
    for (const auto& shape : shapes) {
        for (int passes : {1, 7, 60}) {
            SCOPED_TRACE(testing::Message() << shape.target.toStdString() << " " << passes);
            load(shape.xml);
            const QString first = shape.target + QStringLiteral("/e");
            click(find(first));
            const bool moveDown = enabled("mnuMoveDown");
            const bool moveUp = enabled("mnuMoveUp");
            click(find(shape.target));
            const bool targetDown = enabled("mnuMoveDown");
            const bool targetUp = enabled("mnuMoveUp");
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
            const Id target = find(shape.target);
            const QString joined = expandedStates(target).join(' ');
            // Reached items first, then the rest untouched.
            EXPECT_FALSE(joined.contains(QRegularExpression(":- .*:\\+"))) << joined.toStdString();
            EXPECT_TRUE(window->m_wndTree->Expanded(target));
            EXPECT_TRUE(joined.contains(":-")) << "Esc came too late to test anything";
            EXPECT_EQ(window->m_wndTree->SelectedItem(), target);
            EXPECT_EQ(enabled("mnuMoveUp"), targetUp);
            EXPECT_EQ(enabled("mnuMoveDown"), targetDown);
            click(find(first));
            EXPECT_EQ(enabled("mnuMoveDown"), moveDown);
            EXPECT_EQ(enabled("mnuMoveUp"), moveUp);

            click(find(shape.target));
            trigger("mnuExpandAll");
            EXPECT_FALSE(expandedStates(find(shape.target)).join(' ').contains(":-"));
            check();
        }
    }
}
