// Undo and redo through the window: each command's step (reached by its shortcut), whole-document
// steps, the saved state, and long random command sequences checked against the Document as it
// was before each command, then undone and redone in full.

#include "platform/views/richtextbox.h"
#include "platform/xml/xmlhistory.h"
#include "support/randomediting.h"
#include "support/seed.h"
#include "support/xmlmeaning.h"

#include <map>

namespace {

const QByteArray kDocuments[] = {
    "<?xml version=\"1.0\"?><r xmlns=\"urn:d\" xmlns:p=\"urn:p\" p:a=\"1\"><p:b c=\"2\">text "
    "<i>mixed</i> tail<d xmlns=\"\"><e/>x</d></p:b><!--k--><f xmlns:q=\"urn:q\"><q:g q:h=\"3\">"
    "x<p:j/><k xmlns=\"urn:k\"><l/></k></q:g></f></r>",
    "<doc>text <b>bold</b> more <i>it<![CDATA[cd]]></i> tail<!-- note --><?pi data?><e a=\"1\"/>"
    "</doc>",
    "<?xml version=\"1.0\"?><!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r id CDATA #IMPLIED>]><r "
    "id=\"1\"><a>x</a><b><c/></b></r>",
    "<?xml version=\"1.0\"?><!--head--><r a=\"1\"><b c=\"2\">text<d/></b><!--k--><e/></r>",
    "<p:r xmlns:p=\"urn:p\"><a xmlns:p=\"urn:other\" p:x=\"1\"><p:b/></a><c xml:lang=\"en\">t"
    "<p:d/>u</c></p:r>",
};

const char* const kCommands[] = {
    "mnuNewElement", "mnuNewText",  "mnuNewComment", "mnuNewCDATA",      "mnuNewAttribute",
    "mnuNewPI",      "mnuUpdate",   "mnuUpdate",     "mnuSpecialUpdate", "mnuMoveUp",
    "mnuMoveDown",   "mnuMoveLeft", "mnuMoveRight",  "mnuDeleteItem",    "mnuCut",
    "mnuCopy",       "mnuPaste",    "mnuPaste",      "mnuExpandAll",
};

// What a node is, apart from its children: what a command that did not touch it must leave.
QString signature(const XmlNode& n) {
    QString out = QString::number(n.nodeType()) + n.nodeName() + '{' + n.namespaceURI() + '}';
    return n.nodeType() == NODE_ELEMENT ? out : out + n.text();
}

// The node, its attributes and its descendants.
void forSubtree(const XmlNode& root, const std::function<void(const XmlNode&)>& visit) {
    visit(root);
    if (root.nodeType() != NODE_ELEMENT && root.nodeType() != NODE_DOCUMENT)
        return;
    for (const XmlNode& a : root.attributes().toVector())
        visit(a);
    for (XmlNode c = root.firstChild(); c; c = c.nextSibling())
        forSubtree(c, visit);
}

class UndoTest : public RandomEditingTest {
protected:
    size_t position() { return window->m_objDocument.history().stepsDone(); }
    QString undoCaption() { return window->Command(QStringLiteral("mnuUndo"))->text(); }
    QString redoCaption() { return window->Command(QStringLiteral("mnuRedo"))->text(); }
    QString selectedLabel() { return nodes().Text(window->m_wndTree->SelectedItem()); }
    // Every node of the Document outside the subtree of `touched`.
    std::vector<XmlNode> untouched(const XmlNode& touched) {
        std::vector<XmlNode> inside, out;
        forSubtree(touched, [&](const XmlNode& n) { inside.push_back(n); });
        forSubtree(window->m_objDocument.asNode(), [&](const XmlNode& n) {
            if (n.nodeType() != NODE_DOCUMENT &&
                std::find(inside.begin(), inside.end(), n) == inside.end())
                out.push_back(n);
        });
        return out;
    }
    static QString signatures(const std::vector<XmlNode>& nodes) {
        QStringList out;
        for (const XmlNode& n : nodes)
            out << (n.isAttachedToDocument() || n.nodeType() == NODE_DOCUMENT ? signature(n)
                                                                              : "lost");
        return out.join(' ');
    }
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
    // Keys as the window system delivers them (the web view may have taken the activation).
    void press(const char* keys) {
        ASSERT_TRUE(waitUntilActive(window.get()));
        window->m_wndTree->setFocus();
        QTest::keySequence(window->m_wndTree, QKeySequence(QString::fromLatin1(keys)));
    }
};

} // namespace

// Each command, mostly through its shortcut, is one step; undo and redo bring the Document back
// exactly, with the tree in step and a fitting item selected.
TEST_F(UndoTest, EachCommandIsOneStepThatUndoAndRedoShowInTheTree) {
    struct Row {
        const char* step;
        const char* select;
        const char* how;   // a command, a key sequence, or "apply" (or "packed", for a large text)
        const char* typed; // into the label opened; "" leaves it with Esc
        const char* undoneSelects;
        const char* redoneSelects;
    };
    const Row rows[] = {
        {"Delete", "r/b", "Del", nullptr, "b", "r"},
        {"Insert Element", "r/b", "Ctrl+E", "", "b", "Element1"},
        {"Insert Element", "r/b", "mnuNewElement", "added", "b", "added"}, // with its name
        {"Insert Comment", "r/e", "Ctrl+M", "note", "e", "note"},
        {"Insert Text", "r/e", "Ctrl+T", "t", "e", "t"},
        {"Rename", "r/b", "F2", "c", "b", "c"},
        {"Move Up", "r/e", "Ctrl+U", nullptr, "e", "e"},
        {"Move Down", "r/b", "Ctrl+D", nullptr, "b", "b"},
        {"Move Left", "r/b/x", "Ctrl+L", nullptr, "x", "x"},
        {"Move Right", "r/e", "Ctrl+R", nullptr, "e", "e"},
        {"Cut", "r/b/x", "Ctrl+X", nullptr, "x", "b"},
        {"Insert Attribute", "r/e", "mnuNewAttribute", nullptr, "e", "p:k = \"v\""},
        {"Special Update", "r/c", "Shift+F2", nullptr, "c", "changed"},
        {"Apply Text", "r", "apply", nullptr, "r", "s"},
        {"Apply Text", "r", "packed", nullptr, "r", "s"}, // read back from its packed form
        {"Paste XML", "r", "Ctrl+P", nullptr, "r", "q"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        load("<r xmlns:p=\"urn:p\"><b><x/></b><e/><!--c--></r>");
        EXPECT_FALSE(enabled("mnuUndo"));
        EXPECT_FALSE(buttonEnabled(window->Toolbar1, "Undo"));
        EXPECT_EQ(undoCaption(), QStringLiteral("&Undo"));
        const QString original = xml();
        select(row.select);
        const QString step = QString::fromLatin1(row.step);
        if (step == "Delete")
            expectDeleteQuestion(MsgResult::Yes);
        if (step == "Insert Attribute")
            expectAttributeEditor(QStringLiteral("Attribute Editor"), QString(), QString(),
                                  std::pair{QStringLiteral("p:k"), QStringLiteral("v")});
        if (step == "Special Update")
            expectTextEditor(QStringLiteral("Comment Editor"), QStringLiteral("c"),
                             QStringLiteral("changed"));
        ui.clipboard = QStringLiteral("<q/>");
        if (qstrcmp(row.how, "packed") == 0)
            window->m_objDocument.history().setPackAbove(0);
        if (step == "Apply Text")
            applyText(QStringLiteral("<s><t/></s>"));
        else if (qstrncmp(row.how, "mnu", 3) == 0)
            trigger(row.how);
        else
            press(row.how);
        if (row.typed && *row.typed) {
            typeLabel(QString::fromLatin1(row.typed));
            EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.typed)) << "the new item selected";
        } else if (row.typed) {
            typeLabel(QString(), Qt::Key_Escape);
        }
        const QString changed = xml();
        ASSERT_NE(changed, original);
        EXPECT_EQ(undoCaption(), QStringLiteral("&Undo ") + step);
        EXPECT_TRUE(window->HasUnsavedChanges());
        EXPECT_TRUE(buttonEnabled(window->Toolbar1, "Undo"));
        EXPECT_FALSE(buttonEnabled(window->Toolbar1, "Redo"));

        window->m_objDocument.history().finishPacking();
        click(window->Toolbar1, "Undo");
        EXPECT_EQ(xml(), original);
        check();
        EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.undoneSelects));
        EXPECT_EQ(redoCaption(), QStringLiteral("&Redo ") + step);
        EXPECT_FALSE(window->HasUnsavedChanges()) << "back where it was loaded";
        EXPECT_FALSE(enabled("mnuUndo"));

        window->m_objDocument.history().finishPacking();
        press("Ctrl+Y");
        EXPECT_EQ(xml(), changed);
        check();
        EXPECT_EQ(selectedLabel(), QString::fromLatin1(row.redoneSelects));
        EXPECT_TRUE(window->HasUnsavedChanges());
        press("Ctrl+Z");
        press("Ctrl+Shift+Z");
        EXPECT_EQ(xml(), changed);
        check();
    }
}

// A refused command, a refresh and the text view's own typing add no step; New starts with none.
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

    // The copy buffer is a copy: undoing the Cut that filled it leaves it to paste.
    select("r/a");
    trigger("mnuCut");
    trigger("mnuUndo");
    select("r/b");
    trigger("mnuPaste");
    EXPECT_EQ(labelsUnder("r"), (QStringList{"a", "t", "b"}));
    EXPECT_EQ(labelsUnder("r/b"), QStringList{"a"});
    check();

    expectSaveQuestion(window->m_strFileName, MsgResult::No);
    trigger("mnuNewDoc");
    EXPECT_FALSE(enabled("mnuUndo"));
    EXPECT_FALSE(enabled("mnuRedo"));
}

// Seeded random commands on each document, with Apply, Paste XML, Refresh and a save between
// them: after each, the tree and the Document in step and every node the command did not touch
// unchanged and in its namespace; then undo all, checking each state and the saved state on the
// way, and redo all.
TEST_F(UndoTest, RandomCommandsKeepTheDocumentAndAreUndoneAndRedoneInFull) {
    const quint32 seed = testSeed(20261209u);
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    QRandomGenerator rng(seed);
    const int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                          ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                          : 300;
    for (const QByteArray& start : kDocuments) {
        SCOPED_TRACE(start.constData());
        load(start);
        ui.allowAnyMessages(MsgResult::Yes);
        std::map<size_t, QString> states{{position(), canonical()}};
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
            case 3: {
                trigger("mnuSave");
                saved = position();
                // The file holds what the Document means, and what the text view shows.
                if (window->m_objDocument.isNull())
                    break;
                const QByteArray file = readFile(window->m_strFileName);
                const QString copy = dir.filePath(QStringLiteral("laid-out.xml"));
                window->m_objDocument.snapshot().save(copy);
                ASSERT_EQ(xmltesting::IndependentMeaning(file, copy),
                          xmltesting::IndependentMeaning(readFile(copy), copy));
                if (window->m_objDocument.savesAsUtf8()) {
                    ASSERT_EQ(file, window->m_objDocument.xml().toUtf8());
                }
                break;
            }
            default: {
                if (nodes().IsEmpty())
                    continue;
                const Id item = randomItem(rng);
                const char* command =
                    kCommands[rng.bounded(static_cast<quint32>(std::size(kCommands)))];
                const std::vector<XmlNode> others = untouched(nodes().Tag(item));
                const QString before = signatures(others);
                if (runOn(rng, item, command, [&] { states[position()] = canonical(); })) {
                    ASSERT_EQ(signatures(others), before) << "after " << command;
                }
            }
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
