// Thousands of random commands on a small document: after each one the tree and the Document
// must be in step, the Document well-formed, and no failure may escape.

#include "support/editingfixture.h"

#include <QRandomGenerator>

namespace {

const QByteArray kStart =
    "<?xml version=\"1.0\"?><!--head--><r a=\"1\"><b c=\"2\">text<d/></b><!--k--><e/></r>";

class RandomSequenceTest : public EditingTest {
protected:
    Id randomItem(QRandomGenerator& rng) {
        std::vector<Id> all;
        std::vector<Id> stack;
        for (auto c = nodes().FirstTopLevel(); c; c = nodes().Next(c))
            stack.push_back(c);
        while (!stack.empty()) {
            const Id item = stack.back();
            stack.pop_back();
            all.push_back(item);
            for (auto c = nodes().Child(item); c; c = nodes().Next(c))
                stack.push_back(c);
        }
        return all.empty() ? TreeModel::NoItem : all[rng.bounded(static_cast<quint32>(all.size()))];
    }
};

const char* const kCommands[] = {
    "mnuNewElement", "mnuNewText",   "mnuNewComment",    "mnuNewCDATA", "mnuNewAttribute",
    "mnuNewPI",      "mnuUpdate",    "mnuSpecialUpdate", "mnuMoveUp",   "mnuMoveDown",
    "mnuMoveLeft",   "mnuMoveRight", "mnuDeleteItem",    "mnuCut",      "mnuCopy",
    "mnuPaste",      "mnuRefresh",   "mnuExpandAll",
};

} // namespace

TEST_F(RandomSequenceTest, CommandsKeepTreeAndDocumentInStep) {
    const quint32 seed = qEnvironmentVariableIsSet("ORVEL_SEED")
                             ? qEnvironmentVariableIntValue("ORVEL_SEED")
                             : QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " (rerun with ORVEL_SEED=" << seed << ")");
    QRandomGenerator rng(seed);
    const QStringList names = {"n", "x1", "bad name", "", "q"};
    const QStringList texts = {"", "plain", "a--b", "<&>", "x]]>y", QString(300, 'w')};
    load(kStart);
    int steps = qEnvironmentVariableIsSet("ORVEL_STEPS")
                    ? qEnvironmentVariableIntValue("ORVEL_STEPS")
                    : 1500;
    for (int step = 0; step < steps && !HasFailure(); ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        if (nodes().IsEmpty() || rng.bounded(40) == 0) {
            window->m_bNeedToSave = false;
            trigger("mnuNewDoc");
            continue;
        }
        const Id item = randomItem(rng);
        window->m_wndTree->SetSelectedItem(item);
        window->UpdateCommandState(item);
        const char* command = kCommands[rng.bounded(static_cast<quint32>(std::size(kCommands)))];
        QAction* action = window->findChild<QAction*>(QString::fromLatin1(command));
        if (!action->isEnabled())
            continue;
        // Dialogs get random answers; every question is answered Yes or No.
        ui.expectModal([&](QDialog& dialog) {
            if (auto* attribute = dynamic_cast<frmAttributeEditor*>(&dialog))
                attribute->txtName->setText(names[rng.bounded(static_cast<quint32>(names.size()))]);
            dynamic_cast<EditorDialog&>(dialog).txtText->setPlainText(
                texts[rng.bounded(static_cast<quint32>(texts.size()))]);
            (rng.bounded(5) ? dynamic_cast<EditorDialog&>(dialog).cmdOK
                            : dynamic_cast<EditorDialog&>(dialog).cmdCancel)
                ->click();
        });
        ui.allowAnyMessages(rng.bounded(2) ? MsgResult::Yes : MsgResult::No);
        action->trigger();
        if (QLineEdit* line = labelEditor()) {
            line->setText(rng.bounded(2) ? names[rng.bounded(static_cast<quint32>(names.size()))]
                                         : texts[rng.bounded(static_cast<quint32>(texts.size()))]);
            QTest::keyClick(line, rng.bounded(6) ? Qt::Key_Return : Qt::Key_Escape);
            QCoreApplication::processEvents();
        }
        ui.discardUnusedModals();
        const QString problem = TreeDocumentProblem(*window);
        ASSERT_EQ(problem, QString()) << "after " << command;
    }
}
