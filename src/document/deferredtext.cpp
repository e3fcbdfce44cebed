#include "document/deferredtext.h"

#include "document/preparedtext.h"
#include "platform/views/richtextbox.h"

#include "platform/work/memoryahead.h"

namespace {

void writeDocument(const XmlDocument& document, Utf8TextSink& sink) {
    document.writeXml([&sink](const char* data, int len) { return sink.append(data, len); });
}

// The pieces go in one by one, each freed once it is in.
void putPieces(PreparedText::Pieces pieces, Utf8TextSink& sink) {
    qsizetype size = 0;
    for (const QByteArray& piece : pieces)
        size += piece.size();
    sink.reserve(size);
    while (!pieces.isEmpty()) {
        const QByteArray piece = pieces.takeFirst();
        sink.append(piece.constData(), piece.size());
    }
    // The pieces were many small blocks: without a trim the program would keep their memory
    // besides the view's own copy of the text.
    ReturnFreedMemory();
}

} // namespace

void DeferredTextGuard::showDocument(const XmlDocument& document) {
    const quint64 revision = document.revision();
    // The same text again (a refresh that changed nothing) costs nothing.
    if (revision == m_revision && !m_view.HasTyping())
        return;
    m_revision = revision;
    if (m_view.isVisible()) {
        if (m_view.HasTextSource())
            m_view.SetTextSource([document](Utf8TextSink& sink) { writeDocument(document, sink); });
        else
            keepWhileChecking(document);
        return;
    }
    auto prepared = PreparedText::Start(document);
    m_view.SetTextSource([prepared](Utf8TextSink& sink) { putPieces(prepared->Take(), sink); });
}

// After Apply the view mostly holds the new Document's text already, typed as the writer lays it
// out: it stays while a worker compares it with the Document's text, which is put in only when
// they differ. Nothing waits for the comparison but what needs the view's exact text.
void DeferredTextGuard::keepWhileChecking(const XmlDocument& document) {
    RichTextBox* view = &m_view;
    auto prepared = PreparedText::StartUnlessShown(document, m_view.Utf8Content(), [view] {
        QMetaObject::invokeMethod(
            view, [view] { view->CheckAnswered(); }, Qt::QueuedConnection);
    });
    RichTextBox::TextCheck check;
    check.ready = [prepared] { return prepared->IsReady(); };
    check.abandon = [prepared] { prepared->Abandon(); };
    check.alsoRead = [prepared](PreparedText::ShownReader read) {
        prepared->ThenReadShown(std::move(read));
    };
    check.await = [prepared, document]() -> RichTextBox::TextSource {
        try {
            auto pieces = std::make_shared<PreparedText::Pieces>(prepared->Take());
            if (prepared->Matched())
                return {};
            return [pieces](Utf8TextSink& sink) { putPieces(std::move(*pieces), sink); };
        } catch (...) {
            // Preparing failed (memory ran short): the Document is written here instead.
            return [document](Utf8TextSink& sink) { writeDocument(document, sink); };
        }
    };
    m_view.KeepTextWhileChecking(std::move(check));
}

void DeferredTextGuard::letGo(std::function<XmlDocument()> current) {
    if (m_view.isVisible() || m_view.HasTyping())
        return;
    m_revision = 0;
    m_view.LetGoOfText([current = std::move(current)](Utf8TextSink& sink) {
        if (const XmlDocument document = current(); !document.isNull())
            writeDocument(document, sink);
    });
}

void DeferredTextGuard::showText(const QByteArray& text) {
    m_revision = 0;
    m_view.SetTextSource([text](Utf8TextSink& sink) {
        sink.reserve(text.size());
        sink.append(text.constData(), text.size());
    });
}
