#pragma once

#include <Qsci/qsciscintilla.h>

#include <QStringList>
#include <QTimer>
#include <functional>

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

    explicit RichTextBox(QWidget* parent = nullptr);

    // Replaces the whole text; every line break becomes CR LF.
    void SetText(const QString& text);
    // The text is asked for when the view is shown or its text read; `source` is then dropped.
    void SetTextSource(TextSource source);
    // Puts text in as if the user had typed it: it counts as typing not applied yet.
    void SetTypedText(const QString& text);
    bool HasTextSource() const { return static_cast<bool>(m_source); }
    // The text the view holds is the text that would be put in: it becomes that, as if put in
    // (no typing, no undo history, the caret at the start).
    void KeepTextAsPut();
    // The whole text, with pending text put in first.
    QString Text();
    // The text as the view holds it (UTF-8, CR LF), in one copy; pending text is not put in.
    QByteArray Utf8Text() const;
    // The whole text as the view holds it, with pending text put in first; valid until the text
    // changes.
    QByteArrayView Utf8Content();
    // Replaces the whole text with `text` (UTF-8, line breaks kept as they are), as an edit of
    // the user's: it counts as typing. False when the view could not take it; it is then empty.
    bool ReplaceUtf8Text(QByteArrayView text);
    // Clearing also forgets a replacement made by ReplaceUtf8Text.
    void setModified(bool modified) override;
    // Whether the user typed since the text was last put in (undoing it all counts as none).
    bool HasTyping() const { return !m_source && (isModified() || m_replaced); }
    void Refresh();
    // Puts the caret at the start of `line` (1-based) and scrolls it into view.
    void GoToLine(int line);

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

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void applyPending();
    void putText(const TextSource& source);
    void fitFolding();
    void followCaret();
    void bringGapTo(long position);
    template <typename Event, typename Base> void screenDrag(Event* event, Base base);

    XmlLexer* m_lexer = nullptr;
    // Where QScintilla's buffers have their gap (the last edit), and the pause after which it is
    // brought to the caret.
    long m_gapAt = 0;
    bool m_movingGap = false;
    QTimer m_gapTimer;
    TextSource m_source;
    // Replaced by ReplaceUtf8Text since the text was last put in: a change no undo step records.
    bool m_replaced = false;
};
