#pragma once

#include "platform/views/textchoices.h"

#include <Qsci/qsciscintilla.h>

#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class XmlLexer;

// Where a text source puts the text view's text: UTF-8 with every line break CR LF, in pieces.
class Utf8TextSink {
public:
    virtual ~Utf8TextSink() = default;
    // The size of the whole text, when it is known before the first piece.
    virtual void reserve(qsizetype bytes) = 0;
    virtual bool append(const char* data, qsizetype len) = 0;
};

// The text view: XML highlighting, line numbers, folding, CR LF line breaks. Text set while the
// view is hidden is put in when it is first shown; a text source is even asked for its text
// only then (or when the text is read), which keeps opening large files fast. Text goes in as
// bytes, without a copy of the whole text on the way; what tracks typing never looks at the whole
// text.
class RichTextBox : public QsciScintilla {
    Q_OBJECT
public:
    using TextSource = std::function<void(Utf8TextSink& sink)>;

    // Decides on a worker whether the text the view holds is the text to show, reading that text
    // in place.
    struct TextCheck {
        std::function<bool()> ready;
        // Waits for the answer: the text to put in instead, or none when the view's text is right.
        std::function<TextSource()> await;
        // Stops the check; afterwards nothing reads the view's text any more.
        std::function<void()> abandon;
        // Has the check's worker read the text too, once it found it right.
        std::function<void(std::function<void(QByteArrayView)>)> alsoRead;
    };

    explicit RichTextBox(QWidget* parent = nullptr);
    ~RichTextBox() override;

    // Replaces the whole text; every line break becomes CR LF.
    void SetText(const QString& text);
    // The text is asked for when the view is shown or its text read; `source` is then dropped.
    void SetTextSource(TextSource source);
    // Puts text in as if the user had typed it: it counts as typing not applied yet.
    void SetTypedText(const QString& text);
    bool HasTextSource() const { return static_cast<bool>(m_source); }
    // As SetTextSource, but a large text held now goes at once, with its styles and undo history,
    // instead of when the view is next shown: memory wanted for other work meanwhile.
    void LetGoOfText(TextSource source);
    // The text the view holds is the text that would be put in: it becomes that, as if put in
    // (no typing, no undo history, the caret at the start).
    void KeepTextAsPut();
    // Keeps the text as KeepTextAsPut does while `check` decides whether it is the text to show.
    // Until it answers, every change to the text, and a key, click, read of the text or hiding the
    // view, first waits for the answer; a text it gives is then put in (textReplaced).
    void KeepTextWhileChecking(TextCheck check);
    // The check's answer is there (called on the user-interface thread).
    void CheckAnswered();
    // The whole text, with pending text put in first.
    QString Text();
    // The text as the view holds it (UTF-8), in one copy; pending text is not put in.
    QByteArray Utf8Text() const;
    // `count` bytes of that text from `from` into `into`, without moving the edit gap.
    void CopyText(qsizetype from, qsizetype count, char* into) const;
    qsizetype TextLength() const { return SendScintilla(SCI_GETLENGTH); }
    // The whole text as the view holds it, with pending text put in first; valid until the text
    // changes.
    QByteArrayView Utf8Content();
    // The text as the view holds it now, also while a check reads it; valid until it changes.
    QByteArrayView Utf8Held();
    // Has `read` read the text as the view holds it: at once (answering what `read` answered), or,
    // while a check runs, on the check's worker once it found the text right, not at all when it
    // puts other text in (answering true).
    bool ReadHeldText(const std::function<bool(QByteArrayView)>& read);
    // Replaces the whole text with `text` (UTF-8, line breaks kept as they are), laid out afresh
    // by the Indent command: one step that undo takes back whole (the undo history before it
    // goes: keeping it would cost the whole text twice over). It changes only the layout, so text
    // without typing has none afterwards, nor after the step is undone or redone. False when the
    // view could not take it; the text is then as it was.
    bool ReplaceLayout(const QByteArray& text) {
        return ReplaceWholeText(text, QStringLiteral("Indent"), false);
    }
    // The same for a step that changes more than the layout (Replace All): undo names it `kind`,
    // and with `typing` the text holds typing not applied afterwards, and after undo or redo.
    bool ReplaceWholeText(const QByteArray& text, const QString& kind, bool typing);
    // Whether the user typed since the text was last put in (undoing it all counts as none).
    bool HasTyping() const { return !m_source && (isModified() || m_typedUnderLayout); }
    // Clearing also forgets typing that a layout step replaced.
    void setModified(bool modified) override;
    // Undo and redo of the view's own changes; Ctrl+Z and Ctrl+Y are the window's commands, which
    // know whether the view's or the document's last change is the one to take back.
    void undo() override;
    void redo() override;
    // What undo or redo of the view would take back or make again: "Typing" or the whole-text
    // step's kind ("Indent"); empty when there is nothing.
    QString UndoKind() const;
    QString RedoKind() const;
    void Refresh();
    // Puts the caret at `position` (a byte of the UTF-8 text) and scrolls it into view.
    void GoToPosition(qsizetype position);
    // Selects the bytes from `from` to `to` of the UTF-8 text, the caret at `to`, in view.
    void SelectBytes(qsizetype from, qsizetype to);
    // The selection's first and last byte (equal when nothing is selected).
    std::pair<qsizetype, qsizetype> SelectedBytes() const;

    // Marks where the text stops being well-formed: its line in the margin, its place underlined.
    // `line` and `column` count from 1, the column in characters, as libxml2 reports them. A mark
    // made while the text is still to be put in waits for it; putting in another text clears it.
    void MarkError(int line, int column);
    void ClearErrorMark();
    // The line marked (from 1; 0 for none), and the part underlined (UTF-8 bytes from, to).
    int ErrorLine() const;
    std::pair<qsizetype, qsizetype> ErrorRange() const;
    // Puts the caret at a line and column counted as MarkError's, and scrolls it into view.
    void GoToLineColumn(int line, int column);

    // What to offer at the caret, given the text on each side of it (UTF-8) and the character just
    // typed (0: asked for with Ctrl+Space).
    using Completer =
        std::function<TextCompletion(QByteArrayView before, QByteArrayView after, char typed)>;
    // The element whose start tag a ">" just typed ended, given the text before the caret;
    // empty for none.
    using TagCloser = std::function<QByteArray(QByteArrayView before)>;
    void SetCompleter(Completer completer) { m_completer = std::move(completer); }
    void SetTagCloser(TagCloser closer) { m_tagCloser = std::move(closer); }
    // Typing the ">" that ends a start tag adds its end tag after the caret.
    void SetClosesTags(bool on) { m_closesTags = on; }
    bool ClosesTags() const { return m_closesTags; }
    // Shows what there is to complete at the caret (Ctrl+Space).
    void ShowCompletions(char typed = 0);
    // Comments out the selected lines (or the caret's), or takes the comment away when they are
    // one already: one undo step.
    void ToggleComment();
    // The indentation a new line gets one level deeper: a tab, or the spaces the text uses.
    QByteArray IndentUnit();

    static QString WithCrLf(const QString& text);
    // A text longer than this is replaced by a fresh document rather than deleted.
    static constexpr long kFreshDocumentSize = 1 << 20;
    // A text longer than this is shown without folding.
    static constexpr long kFoldedSize = 4 << 20;
    // The gap is moved to the caret when the caret is further than this from it.
    static constexpr long kGapSlack = 1 << 20;

signals:
    void filesDropped(const QStringList& paths);
    // The text is about to change (typing, pasting, undo, any edit); cheap on any size of text.
    void edited();
    // A check's answer replaced the text kept while it ran.
    void textReplaced();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Syntax colours, margins, caret and selection from the desktop's colour scheme.
    void followPalette();
    // New lines typed end as the text's first line does.
    void followLineEnds();
    // Takes the layout step back (or makes it again) when nothing typed stands before it there.
    bool travelLayoutStep(bool back);
    void applyPending();
    void putText(const TextSource& source);
    void freshDocument();
    void markPut();
    void settleCheck();
    void dropCheck();
    void fitFolding();
    void followCaret();
    void bringGapTo(long position);
    template <typename Event, typename Base> void screenDrag(Event* event, Base base);

    void setUpTypingAids();
    void typingAid(int ch);
    void takeChoice(const QString& label);
    void indentNewLine();
    std::pair<QByteArrayView, QByteArrayView> textAroundCaret();

    Completer m_completer;
    TagCloser m_tagCloser;
    bool m_closesTags = true;
    TextCompletion m_shown;  // the choices the list shows
    QByteArray m_aroundCopy; // the text around the caret, when the gap is elsewhere
    QByteArray m_indentUnit; // found in the text once, forgotten when text is put in
    XmlLexer* m_lexer = nullptr;
    // Where QScintilla's buffers have their gap (the last edit), and the pause after which it is
    // brought to the caret.
    long m_gapAt = 0;
    bool m_movingGap = false;
    QTimer m_gapTimer;
    TextSource m_source;
    TextCheck m_check;
    // The last whole-text step (Indent, Replace All): the text before and after it, whether it was
    // undone, what it is called and whether it counts as typing. QScintilla's own history holds
    // only what was typed since.
    struct LayoutStep {
        QByteArray before;
        QByteArray after;
        bool undone = false;
        QString kind;
        bool typing = false;
    };
    std::optional<LayoutStep> m_layoutStep;
    // The text holds typing that no undo step records: typing that a layout step laid out.
    bool m_typedUnderLayout = false;
    bool m_replacing = false;
    bool replaceWhole(QByteArrayView text);
    void setUpErrorMarks();
    long positionOf(int line, int column);
    void showErrorMark();
    // The error mark asked for (line 0: none), and whether it is in the text yet.
    struct ErrorMark {
        int line = 0;
        int column = 0;
        bool shown = false;
    } m_errorMark;
};
