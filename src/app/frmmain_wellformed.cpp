// Text that is not well-formed: a file that did not parse shown for repair, the text view's typing
// checked as it pauses, the error marked, and such text saved as it stands.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "document/wellformedcheck.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"

#include <QScopeGuard>

using namespace DocumentRules;

namespace {
const QString kSaveAnyway = QStringLiteral("The text is not well-formed XML. Save it anyway?");
} // namespace

void frmMain::startWellFormedCheck() {
    m_wellFormedCheck = new WellFormedCheck(
        {[this] { return m_txtXML->HasTyping(); }, [this] { return m_txtXML->TextLength(); },
         [this](qsizetype from, qsizetype count, char* into) {
             m_txtXML->CopyText(from, count, into);
         }},
        this);
    connect(m_txtXML, &RichTextBox::edited, m_wellFormedCheck, &WellFormedCheck::TextEdited);
    connect(m_wellFormedCheck, &WellFormedCheck::checked, this, [this](const XmlParseError& error) {
        guarded([&] { showWellFormedness(error.reason.isEmpty() ? nullptr : &error); });
    });
    // Without typing the view holds what was put in: the Document's text, or the text that stands
    // instead of one, whose error is known.
    connect(m_wellFormedCheck, &WellFormedCheck::untyped, this, [this] {
        guarded([this] {
            showWellFormedness(m_objDocument.isNull() ? &m_session.TextError() : nullptr);
        });
    });
}

void frmMain::showLoaded() {
    m_wellFormedCheck->Forget();
    if (m_objDocument.isNull())
        return showTextForRepair();
    m_txtXML->setReadOnly(false);
    forgetWellFormedness();
    RefreshViews(true);
    prefetchGrammar();
}

// The text goes in while the view is hidden and is put in once, as the view appears, with its mark.
void frmMain::showTextForRepair() {
    m_labelOfInsert = TreeModel::NoItem;
    m_txtXML->setReadOnly(m_session.TextIsReadOnly());
    setTextViewFromDocument();
    showWellFormedness(&m_session.TextError());
    if (m_txtXML->isHidden())
        mnutextView_Click();
    m_txtXML->GoToLineColumn(m_session.TextError().line, m_session.TextError().linepos);
    m_validationPanel->ShowInWindow();
    UpdateFormCaption();
    UpdateUndoCommands();
    if (const QString note = m_session.UndecodableNote(); !note.isEmpty())
        tell(note, MsgIcon::Exclamation);
}

void frmMain::showWellFormedness(const XmlParseError* error) {
    if (error) {
        const QString sentence = NotWellFormed(*error);
        StatusBar1->ShowWellFormedness(sentence);
        m_txtXML->MarkError(error->line, error->linepos);
        m_validationPanel->ShowTextError(sentence, error->line, error->linepos);
    } else {
        StatusBar1->ShowWellFormedness(QStringLiteral("Well-formed"));
        m_txtXML->ClearErrorMark();
        m_validationPanel->ClearTextError();
    }
    showTreeAndWebInstead();
}

void frmMain::forgetWellFormedness() {
    StatusBar1->ShowWellFormedness(QString());
    m_txtXML->ClearErrorMark();
    m_validationPanel->ClearTextError();
    showTreeAndWebInstead();
}

// While text that does not parse stands instead of a Document, the tree and the web view say so.
void frmMain::showTreeAndWebInstead() {
    const QString instead =
        m_objDocument.isNull() ? NotWellFormed(m_session.TextError()) : QString();
    m_wndTree->SetPlaceholder(instead);
    m_WebBrowser->ShowNote(instead);
}

// Typing goes into the Document first, without the report: text that does not parse is saved as
// text, after a question, and its error is marked.
void frmMain::applyBeforeSave() {
    m_parseReportsQuiet = true;
    const auto loud = qScopeGuard([this] { m_parseReportsQuiet = false; });
    if (m_objDocument.isNull() && !m_txtXML->HasTyping())
        return; // the text as it was when it did not parse
    // The text view shown without typing holds the Document's text: applying it again would only
    // add a step that changes nothing, which the next Undo would seem to ignore.
    if (!m_txtXML->isHidden() && !m_txtXML->HasTyping())
        return;
    if (m_txtXML->isHidden())
        return ToolbarApply_ButtonClick(QStringLiteral("Apply"));
    if (applyTextView())
        RefreshViews(true);
}

bool frmMain::applyTextView() {
    // Apply's parse is the newest check: one still running would only slow it.
    m_wellFormedCheck->Forget();
    const bool applied =
        m_session.ApplyText(m_txtXML->Utf8Content(), QStringLiteral("Apply Text"));
    showWellFormedness(applied ? nullptr : &m_session.TextError());
    return applied;
}

// The text view's text, exactly: nothing is added to it or changed in it.
bool frmMain::saveTextTo(const QString& path) {
    if (!askYes(kSaveAnyway, MsgIcon::Exclamation))
        return false;
    for (const QString& question : m_session.OverwriteQuestions(path)) {
        if (!askYes(question, MsgIcon::Exclamation))
            return false;
    }
    if (!m_session.SaveText(path, m_txtXML->Utf8Content()))
        return false;
    m_txtXML->setModified(false);
    m_txtXML->setReadOnly(false);
    showWellFormedness(&m_session.TextError());
    UpdateUndoCommands();
    return true;
}
