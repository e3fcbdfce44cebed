#include "platform/views/richtextbox.h"

#include "platform/views/dropfiles.h"

#include <Qsci/qscidocument.h>
#include <Qsci/qscilexerxml.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDropEvent>
#include <QFontDatabase>
#include <QMimeData>

#include <algorithm>

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
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this, [this](int, int type) {
        if (type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE))
            emit edited();
    });
    // Styling a large text from its start to a place far down takes seconds; only what is shown
    // is styled at once, the rest while the program is idle.
    SendScintilla(SCI_SETIDLESTYLING, static_cast<unsigned long>(SC_IDLESTYLING_TOVISIBLE));
    setUtf8(true);
    setEolMode(QsciScintilla::EolWindows);
    auto* lexer = new QsciLexerXML(this);
    lexer->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLexer(lexer);
    setMarginType(0, QsciScintilla::NumberMargin);
    setMarginWidth(0, QStringLiteral("000000"));
    setFolding(QsciScintilla::BoxedTreeFoldStyle);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
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
        m_view.SendScintilla(QsciScintillaBase::SCI_ALLOCATE, static_cast<unsigned long>(bytes));
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
        const QByteArray utf8 = WithCrLf(text).toUtf8();
        sink.reserve(utf8.size());
        sink.append(utf8.constData(), utf8.size());
    });
}

void RichTextBox::SetTypedText(const QString& text) {
    m_source = nullptr;
    setText(WithCrLf(text));
    setModified(true);
}

void RichTextBox::SetTextSource(TextSource source) {
    m_source = std::move(source);
    if (isVisible())
        applyPending();
}

void RichTextBox::applyPending() {
    if (!m_source)
        return;
    const TextSource source = std::move(m_source);
    m_source = nullptr;
    putText(source);
}

// Without undo collection: the undo history could not take back text that was never typed, and
// recording it would cost as much again as the text.
void RichTextBox::putText(const TextSource& source) {
    if (SendScintilla(SCI_GETLENGTH) > kFreshDocumentSize) {
        // Deleting a large text line by line takes far longer than dropping its document whole.
        // The code page, line ends and lexer belong to the document, so they are set again.
        QsciLexer* xml = lexer();
        setDocument(QsciDocument());
        setUtf8(true);
        setEolMode(QsciScintilla::EolWindows);
        setLexer(xml);
    }
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
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_GOTOPOS, 0UL);
    // Room for every line number of the text (six digits at least).
    const int digits = static_cast<int>(QString::number(lines()).size());
    setMarginWidth(0, QString(std::max(6, digits), QLatin1Char('0')));
    setModified(false);
}

QString RichTextBox::Text() {
    applyPending();
    return text();
}

QByteArray RichTextBox::Utf8Text() const {
    const long length = SendScintilla(SCI_GETLENGTH);
    const auto* data = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return data ? QByteArray(data, length) : QByteArray();
}

QByteArrayView RichTextBox::Utf8Content() {
    applyPending();
    const long length = SendScintilla(SCI_GETLENGTH);
    const auto* data = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return data ? QByteArrayView(data, length) : QByteArrayView();
}

bool RichTextBox::ReplaceUtf8Text(QByteArrayView text) {
    // No undo step is kept: removing and inserting a large text for undo costs far more than the
    // replacement itself (clearing the whole text without one is quick). The undo history goes
    // too, as it could no longer find its places.
    SendScintilla(SCI_SETSTATUS, SC_STATUS_OK);
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
    m_replaced = true;
    return taken;
}

void RichTextBox::setModified(bool modified) {
    if (!modified)
        m_replaced = false;
    QsciScintilla::setModified(modified);
}

void RichTextBox::Refresh() {
    viewport()->update();
}

void RichTextBox::showEvent(QShowEvent* event) {
    applyPending();
    QsciScintilla::showEvent(event);
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
