// Completion while the user writes: names for the tree's label edits and the attribute editor,
// lists and typing aids in the text view, all from the grammar validation would use.

#include "app/frmmain.h"

#include "document/markupplace.h"
#include "document/textcompletion.h"
#include "editing/editordialogs.h"
#include "platform/views/richtextbox.h"

#include <QAction>
#include <QSettings>

namespace {

const QString kCloseTagsKey = QStringLiteral("textView/closeTagsAutomatically");

QSettings settings() {
    return QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"));
}

} // namespace

void frmMain::setUpCompletion() {
    m_wndTree->LabelChoices = [this](TreeModel::ItemId item) {
        TreeControl::LabelOffer offer;
        guarded([&] { offer = labelChoices(item); });
        return offer;
    };
    m_txtXML->SetCompleter([this](QByteArrayView before, QByteArrayView after, char typed) {
        TextCompletion completion;
        guarded([&] {
            MarkupPlace::Namespaces root = RootNamespaces(before);
            if (root.isEmpty())
                root = RootNamespaces(after);
            completion = CompleteText(*grammarNow(), before, after, root, typed);
        });
        return completion;
    });
    m_txtXML->SetTagCloser([](QByteArrayView before) { return StartTagJustClosed(before); });
    QAction* closeTags = Command(QStringLiteral("mnuCloseTags"));
    closeTags->setCheckable(true);
    closeTags->setChecked(settings().value(kCloseTagsKey, true).toBool());
    m_txtXML->SetClosesTags(closeTags->isChecked());
}

GrammarPtr frmMain::grammarNow() {
    return m_completionGrammar.For(m_objDocument, {m_strValidationSchema, m_strFileName});
}

void frmMain::prefetchGrammar() {
    m_completionGrammar.Prefetch(m_objDocument, {m_strValidationSchema, m_strFileName});
}

// An element's label offers the names allowed at its place; a new element's label starts with the
// first of them.
TreeControl::LabelOffer frmMain::labelChoices(TreeModel::ItemId item) {
    const XmlNode node = m_wndTree->Nodes().Tag(item);
    if (m_objDocument.isNull() || node.nodeType() != NODE_ELEMENT)
        return {};
    const GrammarPtr grammar = grammarNow();
    QStringList names = ElementNamesForRename(*grammar, node);
    // A document's own names include the new element's placeholder name, which it is not to keep.
    const bool inserted = item == m_labelOfInsert;
    if (inserted && grammar->language == Grammar::Language::Learned)
        names.removeAll(node.nodeName());
    return {names, inserted};
}

void frmMain::offerAttributeChoices(frmAttributeEditor& editor, const XmlNode& element,
                                    bool inserting) {
    if (m_objDocument.isNull() || element.nodeType() != NODE_ELEMENT)
        return;
    const GrammarPtr grammar = grammarNow();
    if (inserting) {
        QList<std::pair<QString, bool>> names;
        for (const AttributeChoice& choice : AttributeChoicesOn(*grammar, element))
            names.append({choice.name, choice.decl.required});
        editor.OfferNames(names);
    }
    editor.OfferValues([grammar, element](const QString& name) {
        return AttributeValuesFor(*grammar, element, name);
    });
}

void frmMain::mnuToggleComment_Click() {
    if (m_txtXML->isVisible())
        m_txtXML->ToggleComment();
}

void frmMain::mnuCloseTags_Click() {
    const bool on = Command(QStringLiteral("mnuCloseTags"))->isChecked();
    m_txtXML->SetClosesTags(on);
    settings().setValue(kCloseTagsKey, on);
}
