#include "platform/views/richtextbox.h"

#include "platform/ui/longoperation.h"
#include "platform/views/dropfiles.h"
#include "platform/views/xmllexer.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qscidocument.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDropEvent>
#include <QMimeData>
#include <QScopeGuard>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// QScintilla's accessibility counts the characters from the start of the text up to the caret
// after every caret move and every change: on a large text each key then takes as long as reading
// it all. While no assistive technology is listening, the view is described as a plain widget;
// with one, QScintilla's own description serves.
QAccessibleInterface* plainAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String("RichTextBox") || QAccessible::isActive() ||
        !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::EditableText);
}

// Only these changes are reported: QScintilla answers the reports of inserted and deleted text
// with a count of the characters before them, as long as the text up to there. Whether the user
// typed is told by the report that comes before the change.
constexpr unsigned long kReportedChanges = QsciScintillaBase::SC_MOD_BEFOREINSERT |
                                           QsciScintillaBase::SC_MOD_BEFOREDELETE |
                                           QsciScintillaBase::SC_MOD_CHANGEFOLD;

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QsciScintilla(parent) {
    // Installed after QScintilla's own factory, so it is asked first.
    static const bool plain = [] {
        QAccessible::installFactory(plainAccessible);
        return true;
    }();
    (void)plain;
    SendScintilla(SCI_SETMODEVENTMASK, kReportedChanges);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this, [this](int position, int type) {
        if (!(type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE)))
            return;
        // A change of the user's drops the steps that redo would make.
        if ((type & SC_PERFORMED_USER) && !m_replacing && !m_movingGap && m_layoutStep &&
            m_layoutStep->undone)
            m_layoutStep.reset();
        // Nothing may change the text a check reads; the ways the user edits settle it first.
        dropCheck();
        m_gapAt = position;
        if (!m_movingGap)
            emit edited();
    });
    setUpTypingAids();
    m_gapTimer.setSingleShot(true);
    m_gapTimer.setInterval(100);
    connect(&m_gapTimer, &QTimer::timeout, this, &RichTextBox::followCaret);
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int updated) {
        if (updated & SC_UPDATE_SELECTION)
            m_gapTimer.start();
    });
    // What is shown is styled before it is painted: the lexer styles only near it, however far
    // the view jumped, so nothing is left for idle time.
    SendScintilla(SCI_SETIDLESTYLING, static_cast<unsigned long>(SC_IDLESTYLING_NONE));
    setUtf8(true);
    setEolMode(QsciScintilla::EolWindows);
    m_lexer = new XmlLexer(this);
    setLexer(m_lexer);
    followPalette();
    setMarginType(0, QsciScintilla::NumberMargin);
    setMarginWidth(0, QStringLiteral("000000"));
    setUpErrorMarks();
    fitFolding();
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    for (QsciCommand::Command command : {QsciCommand::Undo, QsciCommand::Redo}) {
        QsciCommand* keys = standardCommands()->find(command);
        keys->setKey(0);
        keys->setAlternateKey(0);
    }
}

RichTextBox::~RichTextBox() {
    dropCheck();
}

QString RichTextBox::WithCrLf(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return out;
}

namespace {
// Appends to the view's own buffer; space for a text of known size is taken at once.
// Each append to the view costs a pass over its notifications and line tables, so the text goes
// in in large pieces.
class ViewSink : public Utf8TextSink {
public:
    explicit ViewSink(QsciScintillaBase& view) : m_view(view) { m_buffer.reserve(kPiece); }
    void reserve(qsizetype bytes) override {
        // A little room beyond the text, so that the first insertion (typing, or bringing the edit
        // gap to the caret) does not copy the whole text into a larger buffer.
        m_view.SendScintilla(QsciScintillaBase::SCI_ALLOCATE,
                             static_cast<unsigned long>(bytes + kSlack));
    }
    bool append(const char* data, qsizetype len) override {
        if (m_buffer.size() + len > kPiece)
            flush();
        if (len >= kPiece)
            put(data, len);
        else
            m_buffer.append(data, len);
        return true;
    }
    void flush() {
        put(m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
    }

private:
    static constexpr qsizetype kPiece = qsizetype(1) << 20;
    static constexpr qsizetype kSlack = 4096;
    void put(const char* data, qsizetype len) {
        if (len > 0)
            m_view.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(len),
                                 data);
    }
    QsciScintillaBase& m_view;
    QByteArray m_buffer;
};
} // namespace

void RichTextBox::SetText(const QString& text) {
    SetTextSource([text](Utf8TextSink& sink) {
        const QByteArray utf8 = text.toUtf8();
        sink.reserve(utf8.size());
        sink.append(utf8.constData(), utf8.size());
    });
}

void RichTextBox::SetTypedText(const QString& text) {
    dropCheck();
    m_source = nullptr;
    setText(text);
    followLineEnds();
    fitFolding();
    m_layoutStep.reset();
    setModified(true);
}

void RichTextBox::SetTextSource(TextSource source) {
    dropCheck();
    m_source = std::move(source);
    if (isVisible())
        applyPending();
}

void RichTextBox::LetGoOfText(TextSource source) {
    SetTextSource(std::move(source));
    if (m_source && SendScintilla(SCI_GETLENGTH) > kFreshDocumentSize)
        freshDocument();
}

void RichTextBox::applyPending() {
    settleCheck();
    if (!m_source)
        return;
    const TextSource source = std::move(m_source);
    m_source = nullptr;
    putText(source);
}

// Without undo collection: the undo history could not take back text that was never typed, and
// recording it would cost as much again as the text.
void RichTextBox::putText(const TextSource& source) {
    dropCheck();
    // Read-only is for the user: the program still puts its text in.
    const bool readOnly = isReadOnly();
    setReadOnly(false);
    const auto restore = qScopeGuard([this, readOnly] { setReadOnly(readOnly); });
    // A mark shown belongs to the text going; one asked for before the text came is for the new.
    if (m_errorMark.shown)
        ClearErrorMark();
    if (SendScintilla(SCI_GETLENGTH) > kFreshDocumentSize)
        freshDocument();
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    ViewSink sink(*this);
    try {
        source(sink);
        sink.flush();
    } catch (...) {
        SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
        throw;
    }
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
    followLineEnds();
    KeepTextAsPut();
}

// The view holds the text exactly as it is saved; a line typed ends as the text's first line does.
void RichTextBox::followLineEnds() {
    const long length = SendScintilla(SCI_GETLENGTH);
    const long limit = std::min<long>(length, 1 << 16);
    EolMode mode = EolUnix;
    for (long i = 0; i < limit; ++i) {
        if (SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(i)) == '\n') {
            if (i > 0 && SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(i - 1)) == '\r')
                mode = EolWindows;
            break;
        }
    }
    setEolMode(mode);
}

void RichTextBox::KeepTextAsPut() {
    dropCheck();
    markPut();
    bringGapTo(0);
}

// The check reads the text where it is: the gap stays where reading it put it (at the end) until
// the check answered.
void RichTextBox::KeepTextWhileChecking(TextCheck check) {
    dropCheck();
    markPut();
    m_check = std::move(check);
}

void RichTextBox::CheckAnswered() {
    if (m_check.ready && m_check.ready())
        settleCheck();
}

void RichTextBox::settleCheck() {
    if (!m_check.await)
        return;
    const TextCheck check = std::exchange(m_check, {});
    const TextSource replacement = check.await();
    if (!replacement) {
        bringGapTo(SendScintilla(SCI_GETCURRENTPOS));
        return;
    }
    SetTextSource(replacement);
    emit textReplaced();
}

void RichTextBox::dropCheck() {
    if (m_check.abandon)
        std::exchange(m_check, {}).abandon();
}

void RichTextBox::markPut() {
    m_source = nullptr;
    m_indentUnit.clear();
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_GOTOPOS, 0UL);
    // Room for every line number of the text (six digits at least).
    const int digits = static_cast<int>(QString::number(lines()).size());
    setMarginWidth(0, QString(std::max(6, digits), QLatin1Char('0')));
    fitFolding();
    // A large text has no folds; expanding them would visit every line.
    if (folding() != NoFoldStyle)
        SendScintilla(SCI_FOLDALL, static_cast<unsigned long>(SC_FOLDACTION_EXPAND));
    m_layoutStep.reset();
    setModified(false);
    showErrorMark();
}

// QScintilla keeps the text and its styles each with one gap where edits go in: an edit far from
// the gap first moves everything in between, on a 100 MB text as long as a key may take. After the
// caret came to rest, the gap is brought to it by an insertion taken back at once, which neither
// the undo history nor the typing state sees.
void RichTextBox::followCaret() {
    // A long operation may be reading the text on a worker (Indent, Apply): the gap must not move
    // under it.
    if (m_check.await || LongOperation::Running())
        return;
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    if (std::abs(caret - m_gapAt) > kGapSlack)
        bringGapTo(caret);
}

void RichTextBox::bringGapTo(long position) {
    if (isReadOnly() || SendScintilla(SCI_GETLENGTH) <= kGapSlack)
        return;
    m_movingGap = true;
    const bool collecting = SendScintilla(SCI_GETUNDOCOLLECTION);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(position), " ");
    SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(position), 1L);
    SendScintilla(SCI_SETUNDOCOLLECTION, static_cast<unsigned long>(collecting));
    m_movingGap = false;
}

// Fold levels depend on all the text before a line: on a large text they would make a jump to its
// end style everything on the way, so such a text is shown without folding.
void RichTextBox::fitFolding() {
    const bool kept = SendScintilla(SCI_GETLENGTH) <= kFoldedSize;
    if (kept == m_lexer->foldLevels() && (folding() != NoFoldStyle) == kept)
        return;
    m_lexer->setFoldLevels(kept);
    setFolding(kept ? BoxedTreeFoldStyle : NoFoldStyle);
}

QString RichTextBox::Text() {
    applyPending();
    return text();
}

QByteArray RichTextBox::Utf8Text() const {
    QByteArray text(TextLength(), Qt::Uninitialized);
    CopyText(0, text.size(), text.data());
    return text;
}

// Copied from either side of the gap where the last edit went, which stays there: moving it would
// move all the text after it.
void RichTextBox::CopyText(qsizetype from, qsizetype count, char* into) const {
    const long gap = std::clamp<long>(SendScintilla(SCI_GETGAPPOSITION), from, from + count);
    const auto copy = [this, &into](long start, long length) {
        if (length <= 0)
            return;
        std::memcpy(into,
                    reinterpret_cast<const char*>(SendScintilla(
                        SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), length)),
                    static_cast<size_t>(length));
        into += length;
    };
    copy(from, gap - from);
    copy(gap, from + count - gap);
}

QByteArrayView RichTextBox::Utf8Content() {
    applyPending();
    return Utf8Held();
}

QByteArrayView RichTextBox::Utf8Held() {
    const long length = SendScintilla(SCI_GETLENGTH);
    const auto* data = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return data ? QByteArrayView(data, length) : QByteArrayView();
}

bool RichTextBox::ReadHeldText(const std::function<bool(QByteArrayView)>& read) {
    if (!m_check.alsoRead)
        return read(Utf8Held());
    m_check.alsoRead([read](QByteArrayView text) { read(text); });
    return true;
}

// The whole text replaced without undo, which for a large text would first copy it all into the
// history; the history goes too, as it could no longer find its places.
// Deleting a large text line by line takes far longer than dropping its document whole. The code
// page, line ends and lexer belong to the document, so they are set again.
void RichTextBox::freshDocument() {
    setDocument(QsciDocument());
    setUtf8(true);
    setLexer(m_lexer);
    followPalette(); // the lexer's styles took the margins' with them
}

void RichTextBox::changeEvent(QEvent* event) {
    QsciScintilla::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        followPalette();
}

void RichTextBox::followPalette() {
    const QPalette& colours = palette();
    m_lexer->FollowPalette(colours);
    setMarginsBackgroundColor(colours.color(QPalette::Window));
    setMarginsForegroundColor(colours.color(QPalette::WindowText));
    setFoldMarginColors(colours.color(QPalette::Window), colours.color(QPalette::Window));
    setCaretForegroundColor(colours.color(QPalette::Text));
    setSelectionBackgroundColor(colours.color(QPalette::Highlight));
    setSelectionForegroundColor(colours.color(QPalette::HighlightedText));
}

bool RichTextBox::replaceWhole(QByteArrayView text) {
    dropCheck();
    m_replacing = true;
    SendScintilla(SCI_SETSTATUS, SC_STATUS_OK);
    if (SendScintilla(SCI_GETLENGTH) > kFreshDocumentSize)
        freshDocument();
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(text.size()) + 1);
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(text.size()), text.data());
    const bool taken = SendScintilla(SCI_GETSTATUS) == SC_STATUS_OK;
    if (!taken)
        SendScintilla(SCI_CLEARALL);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_SETSTATUS, SC_STATUS_OK);
    m_replacing = false;
    followLineEnds();
    fitFolding();
    return taken;
}

bool RichTextBox::ReplaceWholeText(const QByteArray& text, const QString& kind, bool typing) {
    const bool typed = HasTyping() || typing;
    LayoutStep step{Utf8Content().toByteArray(), text, false, kind, typing};
    if (!replaceWhole(text)) {
        // Too big for the view: it gets its own text back, never a part of the new one.
        replaceWhole(step.before);
        return false;
    }
    m_layoutStep = std::move(step);
    setModified(false);
    m_typedUnderLayout = typed;
    return true;
}

void RichTextBox::setModified(bool modified) {
    if (!modified)
        m_typedUnderLayout = false;
    QsciScintilla::setModified(modified);
}

// What was typed since the layout step goes first; then the step itself, whole.
void RichTextBox::undo() {
    if (!travelLayoutStep(true))
        QsciScintilla::undo();
}

void RichTextBox::redo() {
    if (!travelLayoutStep(false))
        QsciScintilla::redo();
}

bool RichTextBox::travelLayoutStep(bool back) {
    if ((back ? isUndoAvailable() : isRedoAvailable()) || !m_layoutStep ||
        m_layoutStep->undone == back)
        return false;
    const bool typed = m_typedUnderLayout || m_layoutStep->typing;
    replaceWhole(back ? m_layoutStep->before : m_layoutStep->after);
    m_layoutStep->undone = back;
    setModified(false);
    m_typedUnderLayout = typed;
    return true;
}

QString RichTextBox::UndoKind() const {
    if (isUndoAvailable())
        return QStringLiteral("Typing");
    return m_layoutStep && !m_layoutStep->undone ? m_layoutStep->kind : QString();
}

QString RichTextBox::RedoKind() const {
    if (isRedoAvailable())
        return QStringLiteral("Typing");
    return m_layoutStep && m_layoutStep->undone ? m_layoutStep->kind : QString();
}

void RichTextBox::Refresh() {
    viewport()->update();
}

void RichTextBox::GoToPosition(qsizetype position) {
    applyPending();
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(position));
    SendScintilla(SCI_SCROLLCARET);
}

void RichTextBox::SelectBytes(qsizetype from, qsizetype to) {
    applyPending();
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(from), static_cast<long>(to));
    SendScintilla(SCI_SCROLLCARET);
}

std::pair<qsizetype, qsizetype> RichTextBox::SelectedBytes() const {
    return {SendScintilla(SCI_GETSELECTIONSTART), SendScintilla(SCI_GETSELECTIONEND)};
}

void RichTextBox::showEvent(QShowEvent* event) {
    applyPending();
    QsciScintilla::showEvent(event);
}

// Whatever the user does to the text, and a switch to another view, sees the answered text.
void RichTextBox::hideEvent(QHideEvent* event) {
    settleCheck();
    QsciScintilla::hideEvent(event);
}

void RichTextBox::keyPressEvent(QKeyEvent* event) {
    settleCheck();
    QsciScintilla::keyPressEvent(event);
}

void RichTextBox::inputMethodEvent(QInputMethodEvent* event) {
    settleCheck();
    QsciScintilla::inputMethodEvent(event);
}

void RichTextBox::mousePressEvent(QMouseEvent* event) {
    settleCheck();
    QsciScintilla::mousePressEvent(event);
}

void RichTextBox::contextMenuEvent(QContextMenuEvent* event) {
    settleCheck();
    QsciScintilla::contextMenuEvent(event);
}

// Files dragged in from outside open as documents; text dragged inside the view moves as usual;
// anything else is ignored.
template <typename Event, typename Base> void RichTextBox::screenDrag(Event* event, Base base) {
    if (!DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else if (event->source() == this || event->source() == viewport())
        base();
    else
        event->ignore();
}

void RichTextBox::dragEnterEvent(QDragEnterEvent* event) {
    screenDrag(event, [&] { QsciScintilla::dragEnterEvent(event); });
}

void RichTextBox::dragMoveEvent(QDragMoveEvent* event) {
    screenDrag(event, [&] { QsciScintilla::dragMoveEvent(event); });
}

void RichTextBox::dropEvent(QDropEvent* event) {
    settleCheck();
    const QStringList files = DroppedFiles(event->mimeData());
    if (!files.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(files);
    } else if (event->source() == this || event->source() == viewport()) {
        QsciScintilla::dropEvent(event);
    } else {
        event->ignore();
    }
}
