#pragma once

#include "support/editingfixture.h"

#include <QRandomGenerator>

#include <vector>

// Random commands on random items, with random answers to their dialogs, questions and label
// editors, for tests that run long seeded sequences.
class RandomEditingTest : public EditingTest {
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
    QString pick(QRandomGenerator& rng, const QStringList& list) {
        return list[rng.bounded(static_cast<quint32>(list.size()))];
    }
    // Selects `item` and runs `command` when it is enabled there; false when it is not.
    // `ran` is called after the command, before the label editor it may have opened is closed.
    bool runOn(QRandomGenerator& rng, Id item, const char* command,
               const std::function<void()>& ran = {}) {
        window->m_wndTree->SetSelectedItem(item);
        window->UpdateCommandState(item);
        QAction* action = window->findChild<QAction*>(QString::fromLatin1(command));
        if (!action->isEnabled())
            return false;
        ui.expectModal([&](QDialog& dialog) {
            if (auto* attribute = dynamic_cast<frmAttributeEditor*>(&dialog))
                attribute->txtName->setText(pick(rng, m_names));
            dynamic_cast<EditorDialog&>(dialog).txtText->setPlainText(pick(rng, m_texts));
            (rng.bounded(5) ? dynamic_cast<EditorDialog&>(dialog).cmdOK
                            : dynamic_cast<EditorDialog&>(dialog).cmdCancel)
                ->click();
        });
        ui.allowAnyMessages(rng.bounded(2) ? MsgResult::Yes : MsgResult::No);
        action->trigger();
        if (ran)
            ran();
        if (QLineEdit* line = labelEditor()) {
            line->setText(rng.bounded(2) ? pick(rng, m_names) : pick(rng, m_texts));
            QTest::keyClick(line, rng.bounded(6) ? Qt::Key_Return : Qt::Key_Escape);
            QCoreApplication::processEvents();
        }
        ui.discardUnusedModals();
        return true;
    }

private:
    const QStringList m_names = {"n",   "x1",    "bad name", "",        "q",        "p:n", "q:n",
                                 "z:n", "xmlns", "xmlns:p",  "xmlns:z", "xml:lang", "p:x"};
    const QStringList m_texts = {"",      "plain", "a--b",     "<&>", "x]]>y", QString(300, 'w'),
                                 "urn:p", "urn:z", "urn:other"};
};
