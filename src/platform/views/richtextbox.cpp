#include "platform/views/richtextbox.h"

#include "platform/views/dropfiles.h"

#include <Qsci/qscilexerxml.h>

#include <QDropEvent>
#include <QFontDatabase>
#include <QMimeData>

RichTextBox::RichTextBox(QWidget* parent) : QsciScintilla(parent) {
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

void RichTextBox::SetText(const QString& text) {
    m_source = nullptr;
    if (isVisible()) {
        m_hasPendingText = false;
        m_pendingText.clear();
        putText(text);
    } else {
        m_pendingText = text;
        m_hasPendingText = true;
    }
}

void RichTextBox::SetTypedText(const QString& text) {
    m_source = nullptr;
    m_hasPendingText = false;
    m_pendingText.clear();
    setText(WithCrLf(text));
    setModified(true);
}

void RichTextBox::SetTextSource(std::function<QString()> source) {
    m_pendingText.clear();
    m_hasPendingText = false;
    m_source = std::move(source);
    if (isVisible())
        applyPending();
}

void RichTextBox::ResolveTextSource() {
    if (!m_source)
        return;
    auto source = std::move(m_source);
    m_source = nullptr;
    m_pendingText = source();
    m_hasPendingText = true;
}

void RichTextBox::applyPending() {
    ResolveTextSource();
    if (!m_hasPendingText)
        return;
    m_hasPendingText = false;
    putText(m_pendingText);
    m_pendingText.clear();
}

void RichTextBox::putText(const QString& text) {
    setText(WithCrLf(text));
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
