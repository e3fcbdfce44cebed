#include "document/deferredtext.h"

#include "document/crlfsink.h"
#include "document/preparedtext.h"
#include "platform/views/richtextbox.h"

#include <cstring>
#include <malloc.h>

namespace {

void writeDocument(const XmlDocument& document, Utf8TextSink& sink) {
    CrLfSink crlf([&sink](const char* data, int len) { return sink.append(data, len); });
    document.writeXml(crlf.asSink());
    crlf.finish();
}

// Whether the document writes exactly `text`; writing stops at the first difference.
bool writesAs(const XmlDocument& document, QByteArrayView text) {
    qsizetype at = 0;
    CrLfSink crlf([&](const char* data, int len) {
        if (len > text.size() - at || std::memcmp(text.data() + at, data, size_t(len)) != 0)
            return false;
        at += len;
        return true;
    });
    document.writeXml(crlf.asSink());
    return crlf.finish() && at == text.size();
}

} // namespace

void DeferredTextGuard::showDocument(const XmlDocument& document) {
    const quint64 revision = document.revision();
    // The same text again (a refresh that changed nothing) costs nothing.
    if (revision == m_revision && !m_view.HasTyping())
        return;
    m_revision = revision;
    if (m_view.isVisible()) {
        // After Apply the view mostly holds the new Document's text already, typed as the writer
        // lays it out: reading it through is far quicker than putting the same text in again.
        if (!m_view.HasTextSource() && writesAs(document, m_view.Utf8Content())) {
            m_view.KeepTextAsPut();
            return;
        }
        m_view.SetTextSource([document](Utf8TextSink& sink) { writeDocument(document, sink); });
        return;
    }
    auto prepared = PreparedText::Start(document);
    m_view.SetTextSource([prepared](Utf8TextSink& sink) {
        PreparedText::Pieces pieces = prepared->Take();
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
        malloc_trim(0);
    });
}

void DeferredTextGuard::showText(const QString& text) {
    m_revision = 0;
    m_view.SetText(text);
}
