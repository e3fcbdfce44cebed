// Undo and redo through the window: every command's step, the tree following each undo and redo,
// whole-document steps, the saved state, and long random sequences undone and redone in full.

#include "platform/views/richtextbox.h"
#include "platform/xml/xmlhistory.h"
#include "support/randomediting.h"
#include "support/seed.h"

#include <map>

namespace {

const QByteArray kDocuments[] = {
    // Default namespace, inner prefixes, xmlns="".
    "<?xml version=\"1.0\"?><r xmlns=\"urn:d\" xmlns:p=\"urn:p\" p:a=\"1\"><p:b c=\"2\">text "
    "<i>mixed</i> tail<d xmlns=\"\"><e/>x</d></p:b><!--k--><f xmlns:q=\"urn:q\"><q:g q:h=\"3\">"
    "x<p:j/><k xmlns=\"urn:k\"><l/></k></q:g></f></r>",
    // Mixed conten
    "<doc>text <b>bold</b> more <i>it<![CDATA[cd]]></i> tail<!-- note --><?pi data?><e a=\"1\"/>"
    "</doc>",
    // A document type declaration with an internal subse
    "<?xml version=\"1.0\"?><!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r id CDATA #IMPLIED>]><r "
    "id=\"1\"><a>x</a><b><c/></b></r>",
};

const char* const kCommands[] = {
    "mnuNewElement", "mnuNewText",  "mnuNewComment", "mnuNewCDATA",      "mnuNewAttribute",
    "mnuNewPI",      "mnuUpdate",   "mnuUpdate",     "mnuSpecialUpdate", "mnuMoveUp",
    "mnuMoveDown",   "mnuMoveLeft", "mnuMoveRight",  "mnuDeleteItem",    "mnuCut",
    "mnuCopy",       "mnuPaste",    "mnuPaste",
};

class UndoTest : public RandomEditingTest {
protected:
    size_t position() { return window->m_objDocument.history().stepsDone(); }
    QString undoCaption() { return window->Command(QStringLiteral("mnuUndo"))->text(); }
    QString redoCaption() { return window->Command(QStringLiteral("mnuRedo"))->text(); }
    QString selectedLabel() { return nodes().Text(window->m_wndTree->SelectedItem()); }
    // The Document as read again from its text: what a refresh, which reads it so, leaves alone
    // (an empty text it drops, for one).
    QString canonical() {
        XmlDocument reread = XmlDocument::create();
        return reread.loadXML(xml()) ? reread.xml() : xml();
    }
    // Typing in the text view, applied.
    void applyText(const QString& text) {
        trigger("mnutextView");
        window->m_txtXML->setText(text);
        click(window->ToolbarApply, "Apply");
        trigger("mnuTreeView");
    }
};

} // namespace

TEST_F(UndoTest, EachCommandIsOneStepThatUndoAndRedoShowInTheTree) {
    struct Row {
        const char* step;
        const char* select;
        std::function<void()> command;
        const char* undoneSelects;
        const char* redoneSelects;
    };
    const Row rows[] = {
        {"Delete", "r/b",
         [this] {
             expectDeleteQuestion(MsgResult::Yes);
             trigger("mnuDeleteItem");
         },
         "b", "r"},
        {"Insert Element", "r/b",
         [this] {
             trigger("mnuNewElement");
             typeLabel(QStringLiteral("n"), Qt::Key_Escape);
         },
         "b", "Element1"},
        // The name typed into the new item is part of the insert.
        {"Insert Element", "r/b",
         [this] {
             trigger("mnuNewElement");
             typeLabel(QStringLiteral("added"));
         },
         "b", "added"},
        {"Insert Comment", "r/e",
         [this] {
             trigger("mnuNewComment");
             typeLabel(QStringLiteral("note"));
         },
         "e", "note"},
        {"Rename", "r/b",
         [this] {
             trigger("mnuUpdate");
             typeLabel(QStringLiteral("c"));
         },
         "b", "c"},
        {"Move Up", "r/e", [this] { trigger("mnuMoveUp"); }, "e", "e"},
        {"Cut", "r/b/x", [this] { trigger("mnuCut"); }, "x", "b"},
        {"Insert Attribute", "r/e",
         [this] {
             expectAttributeEditor(QStringLiteral("Attribute Editor"), QString(), QString(),
                                   std::pair{QStringLiteral("p:k"), QStringLiteral("v")});
             trigger("mnuNewAttribute");
         },
         "e", "p:k = \"v\""},
        {"Apply Text", "r", [this] { applyText(QStringLiteral("<s><t/></s>")); }, "r", "s"},
        {"Paste XML", "r",
         [this] {
             ui.clipboard = QStringLiteral("<q/>");
             trigger("mnuPasteClip");
         },
         "r", "q"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        load("<r xmlns:p=\"urn:p\"><b><x/></b><e/></r>");
        EXPECT_FALSE(enabled("mnuUndo"));
        EXPECT_FALSE(buttonEnabled(window->Toolbar1, "Undo"));
        EXPECT_EQ(undoCaption(), QStringLiteral("&Undo"));
        const QString original = xml();
        select(row.select);
        row.command();
        const QString changed = xml();
        ASSERT_NE(changed, original);
        EXPECT_EQ(undoCaption(), QStringLiteral("&Undo ") + row.step);
        EXPECT_TRUE(window->HasUnsavedChanges());
        EXPECT_TRUE(buttonEnabled(window->Toolbar1, "Undo"));
        EXPECT_FALSE(buttonEnabled(window->Toolbar1, "Redo"));

        click(window->Toolbar1, "Undo");
        EXPECT_EQ(xml(), original);
        check();
        EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.undoneSelects));
        EXPECT_EQ(redoCaption(), QStringLiteral("&Redo ") + row.step);
        EXPECT_FALSE(window->HasUnsavedChanges()) << "back where it was loaded";
        EXPECT_FALSE(enabled("mnuUndo"));

        // The web view may have taken the activation at the refresh.
        ASSERT_TRUE(waitUntilActive(window.get()));
        window->m_wndTree->setFocus();
        QTest::keySequence(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Y")));
        EXPECT_EQ(xml(), changed);
        check();
        EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.redoneSelects));
        EXPECT_TRUE(window->HasUnsavedChanges());
        QTest::keySequence(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Z")));
        QTest::keySequence(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
        EXPECT_EQ(xml(), changed);
        check();
    }
}

// A large document replaced by Apply is kept packed: undo reads it back, and the steps made on
// its nodes before the Apply are gone.
TEST_F(UndoTest, ApplyKeepsALargeDocumentPacked) {
    load("<r><b><x/></b><e>t</e></r>");
    window->m_objDocument.history().setPackAbove(0);
    select("r/b");
    expectDeleteQuestion(MsgResult::Yes);
    trigger("mnuDeleteItem");
    const QString deleted = xml();
    applyText(QStringLiteral("<s><t/></s>"));
    const QString applied = xml();
    window->m_objDocument.history().finishPacking();
    EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Apply Text"));

    ASSERT_TRUE(waitUntilActive(window.get()));
    window->m_wndTree->setFocus();
    QTest::keySequence(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(xml(), deleted);
    check();
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_FALSE(enabled("mnuUndo"));
    EXPECT_EQ(redoCaption(), QStringLiteral("&Redo Apply Text"));
    window->m_objDocument.history().finishPacking();
    QTest::keySequence(window->m_wndTree, QKeySequence(QStringLiteral("Ctrl+Y")));
    EXPECT_EQ(xml(), applied);
    check();
    EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Apply Text"));
}

// A refused command, a refresh and the text view's own typing add no step; New and Open start
// with none.
TEST_F(UndoTest, OnlyChangesToTheDocumentAreSteps) {
    load("<r><a/>t<b/></r>");
    select("r/b");
    expectCritical(kCannotMove);
    click(window->Toolbar1, "Right"); // a text cannot hold it
    EXPECT_FALSE(enabled("mnuUndo"));

    expectDeleteQuestion(MsgResult::Yes);
    trigger("mnuDeleteItem");
    trigger("mnuRefresh"); // reads the Document again from its text
    EXPECT_EQ(undoCaption(), QStringLiteral("&Undo Delete"));
    trigger("mnutextView");
    window->m_txtXML->setFocus();
    const QString shown = window->m_txtXML->Text();
    QTest::keyClicks(window->m_txtXML, QStringLiteral("zz"));
    QTest::keySequence(window->m_txtXML, QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(window->m_txtXML->Text(), shown) << "the typing is taken back, not the Delete";
    trigger("mnuTreeView");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "t"}));
    trigger("mnuUndo");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "t", "b"}));
    check();

    expectSaveQuestion(window->m_strFileName, MsgResult::No);
    trigger("mnuRedo");
    trigger("mnuNewDoc");
    EXPECT_FALSE(enabled("mnuUndo"));
    EXPECT_FALSE(enabled("mnuRedo"));
}

// The copy buffer is a copy: undoing the Cut that filled it leaves it to paste.
TEST_F(UndoTest, UndoingACutKeepsTheCopyBuffer) {
    load("<r><a><x k=\"1\"/></a><b/></r>");
    select("r/a/x");
    trigger("mnuCut");
    trigger("mnuUndo");
    select("r/b");
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r/a"), QStringList{"x"});
    EXPECT_EQ(labelsUnder("r/b"), QStringList{"x"});
    check();
    trigger("mnuUndo");
    EXPECT_EQ(labelsUnder("r/b"), QStringList{});
    check();
}

// Seeded random commands on each document, with Apply, Paste XML, Refresh and a save between
// them; then undo all, checking each state and the saved state on the way, and redo all.
TEST_F(UndoTest, RandomCommandsUndoneAndRedoneInFull) {
    const quint32 seed = testSeed(20261209u);
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    QRandomGenerator rng(seed);
    const int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                          ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                          : 120;
    for (const QByteArray& start : kDocuments) {
        SCOPED_TRACE(start.constData());
        load(start);
        ui.allowAnyMessages(MsgResult::Yes);
        std::map<size_t, QString> states{{position(), xml()}};
        size_t saved = position();
        for (int step = 0; step < steps && !HasFailure(); ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            switch (rng.bounded(20)) {
            case 0:
                applyText(window->m_txtXML->Text() + QStringLiteral("<!--typed-->"));
                break;
            case 1:
                ui.clipboard = QStringLiteral("<p:x xmlns:p=\"urn:p\"><y/>t</p:x>");
                trigger("mnuPasteClip");
                break;
            case 2:
                trigger("mnuRefresh");
                break;
            case 3:
                trigger("mnuSave");
                saved = position();
                break;
            default:
                if (nodes().IsEmpty())
                    continue;
                runOn(rng, randomItem(rng),
                      kCommands[rng.bounded(static_cast<quint32>(std::size(kCommands)))],
                      [&] { states[position()] = canonical(); });
            }
            // Text without an element (applied, or refreshed after the last element went)
            // stays for correction; the next Apply's step goes back to the Document before it.
            if (window->m_objDocument.isNull())
                applyText(QStringLiteral("<fixed/>"));
            ASSERT_EQ(TreeDocumentProblem(*window), QString());
            states[position()] = canonical();
        }
        const QString final = canonical();
        const size_t last = position();
        while (enabled("mnuUndo")) {
            trigger("mnuUndo");
            ASSERT_EQ(TreeDocumentProblem(*window), QString()) << "undo to " << position();
            ASSERT_EQ(canonical(), states[position()]) << "undo to " << position();
            ASSERT_EQ(window->HasUnsavedChanges(), position() != saved) << "undo to " << position();
        }
        ASSERT_EQ(position(), 0u);
        while (enabled("mnuRedo")) {
            trigger("mnuRedo");
            ASSERT_EQ(TreeDocumentProblem(*window), QString()) << "redo to " << position();
            ASSERT_EQ(canonical(), states[position()]) << "redo to " << position();
            ASSERT_EQ(window->HasUnsavedChanges(), position() != saved) << "redo to " << position();
        }
        ASSERT_EQ(position(), last);
        ASSERT_EQ(canonical(), final);
        window->markSaved();
    }
}
