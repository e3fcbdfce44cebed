// Replace: in the text view's text as typing, or over the Document's items as one undo step.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/textsearch.h"
#include "platform/ui/longoperation.h"
#include "platform/views/richtextbox.h"
#include "tree/treesync.h"

#include <new>

namespace {
const QString kSearched = QStringLiteral("The specified region has been searched.");

// A text put last in a history, once.
void remember(QStringList& history, const QString& text) {
    history.removeAll(text);
    history.append(text);
}
} // namespace

void frmMain::mnuReplace_Click() {
    const bool inText = !m_txtXML->isHidden();
    if (inText && m_txtXML->isReadOnly())
        return; // the text stands for bytes that must not change
    frmReplace dialog(this, !inText);
    dialog.Form_Load(*m_lstTextToFind, m_lstReplaceWith,
                     {QString(), m_bMatchCase, m_bMatchAllWord, m_bRegularExpression},
                     m_replaceScope);
    const auto action = [this, &dialog](void (frmMain::*act)(const frmReplace&)) {
        return [this, &dialog, act] {
            keepReplaceOptions(dialog);
            guarded([&] { (this->*act)(dialog); });
            UpdateUndoCommands();
        };
    };
    dialog.FindNext = action(&frmMain::replaceFindNext);
    dialog.Replace = action(&frmMain::replaceSelection);
    dialog.ReplaceAll = action(inText ? &frmMain::replaceAllInText : &frmMain::replaceAllInTree);
    ShowModal(dialog);
}

void frmMain::keepReplaceOptions(const frmReplace& dialog) {
    const TextPattern pattern = dialog.Pattern();
    AddNewTextToFindCol(pattern.find);
    remember(m_lstReplaceWith, dialog.ReplaceWith());
    m_bMatchCase = pattern.matchCase;
    m_bMatchAllWord = pattern.wholeWord;
    m_bRegularExpression = pattern.regularExpression;
    m_replaceScope = dialog.Scope();
}

namespace {
// The pattern, or nothing after saying why it cannot be used.
std::optional<TextSearch> searchFor(const frmReplace& dialog) {
    TextSearch search(dialog.Pattern());
    if (!search.Problem().isEmpty()) {
        MsgBox(search.Problem(), MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        return std::nullopt;
    }
    return search;
}
} // namespace

// From the end of the selection on, round to the start: the match is selected. An empty match
// where the search starts is passed over, so that the next press moves on.
void frmMain::replaceFindNext(const frmReplace& dialog) {
    const std::optional<TextSearch> search = searchFor(dialog);
    if (!search)
        return;
    const QByteArrayView content = m_txtXML->Utf8Content();
    const qsizetype fromByte = m_txtXML->SelectedBytes().second;
    const QString before = QString::fromUtf8(content.first(fromByte));
    const QString text = before + QString::fromUtf8(content.sliced(fromByte));
    const qsizetype from = before.size();
    QRegularExpressionMatch match = search->MatchFrom(text, from);
    if (match.hasMatch() && match.capturedLength() == 0 && match.capturedStart() == from)
        match = search->MatchFrom(text, from + 1);
    if (!match.hasMatch()) {
        match = search->MatchFrom(text, 0);
        if (match.hasMatch() && match.capturedStart() >= from)
            match = {};
    }
    if (!match.hasMatch())
        return tell(kSearched, MsgIcon::Information);
    const qsizetype start = match.capturedStart();
    const qsizetype startByte =
        start >= from ? fromByte + Utf8Length(QStringView(text).sliced(from, start - from))
                      : Utf8Length(QStringView(text).first(start));
    m_txtXML->SelectBytes(startByte, startByte + Utf8Length(match.capturedView()));
}

// The selection is replaced when it is a match (typing, one undo step), and the next match
// selected.
void frmMain::replaceSelection(const frmReplace& dialog) {
    const std::optional<TextSearch> search = searchFor(dialog);
    if (!search)
        return;
    const auto [fromByte, toByte] = m_txtXML->SelectedBytes();
    const QByteArrayView content = m_txtXML->Utf8Content();
    const QString before = QString::fromUtf8(content.first(fromByte));
    const QString text = before + QString::fromUtf8(content.sliced(fromByte));
    const qsizetype end = before.size() + QString::fromUtf8(content.sliced(fromByte, toByte - fromByte)).size();
    if (const auto match = search->MatchExactly(text, before.size(), end))
        m_txtXML->replaceSelectedText(search->Replacement(*match, dialog.ReplaceWith()));
    replaceFindNext(dialog);
}

// Made aside on a copy of the text, with the progress shown and Esc; the view takes the result as
// one undo step, which counts as typing not applied.
void frmMain::replaceAllInText(const frmReplace& dialog) {
    const std::optional<TextSearch> search = searchFor(dialog);
    if (!search)
        return;
    const QByteArrayView text = m_txtXML->Utf8Content();
    const QString with = dialog.ReplaceWith();
    std::optional<QByteArray> replaced;
    qint64 count = 0;
    if (!RunAside(StatusBar1, QStringLiteral("Replacing"), text.size(), true,
                  [&](WorkProgress& progress) {
                      replaced = search->ReplaceAllUtf8(text, with, count, &progress);
                  }) ||
        !replaced)
        return;
    if (count > 0 && !m_txtXML->ReplaceWholeText(*replaced, QStringLiteral("Replace"), true))
        throw std::bad_alloc();
    updateUndoCaptions();
    tell(count == 1 ? QStringLiteral("1 replacement made.")
                    : QStringLiteral("%1 replacements made.").arg(count),
         MsgIcon::Information);
}

// Each replacement through the XML layer, all of them one undo step; the items built are brought
// in line with the Document afterwards.
void frmMain::replaceAllInTree(const frmReplace& dialog) {
    const std::optional<TextSearch> search = searchFor(dialog);
    if (!search)
        return;
    ReplaceCount count;
    if (!m_objDocument.isNull()) {
        const ReplaceScope scope = dialog.Scope();
        const QString with = dialog.ReplaceWith();
        LongOperation operation(StatusBar1, QStringLiteral("Replacing"), false);
        const std::vector<XmlNode> touched =
            m_session.InUndoStepTouching(QStringLiteral("Replace"), [&] {
                count = ReplaceInNodes(Document(), *search, with, scope,
                                       [&operation] { operation.Step(); });
            });
        ModGeneral::SyncContainers(m_wndTree->Nodes(), touched, m_lTreeTextMaxLength);
        if (m_wndTree->isHidden())
            RefreshViews(false);
    }
    tell(QStringLiteral("%1 replacement%2 made, %3 skipped.")
             .arg(count.made)
             .arg(count.made == 1 ? QString() : QStringLiteral("s"))
             .arg(count.skipped),
         MsgIcon::Information);
}
