#include "platform/xml/xmldocumentaside.h"

#include "platform/xml/xmlstorage.h"

#include <mutex>
#include <utility>

XmlDocumentAside::XmlDocumentAside(XmlDocument&& document)
    : XmlDocumentAside(std::move(document), nullptr, false) {}

XmlDocumentAside::XmlDocumentAside(XmlDocument&& document, const QByteArray& text, bool overSource)
    : XmlDocumentAside(std::move(document), &text, overSource) {}

XmlDocumentAside::XmlDocumentAside(XmlDocument&& document, const QByteArray* text,
                                   bool overSource) {
    XmlDocument doc = std::exchange(document, XmlDocument());
    doc.history(); // made when first asked for
    XmlDocumentObject& object = *doc.m_object;
    object.history->leave();
    m_history = std::move(object.history);
    const XmlStorage& storage = *object.storage;
    {
        std::lock_guard<std::mutex> lock(storage.sourceMutex);
        m_bom = storage.source.bom;
        m_encoding = storage.source.encoding;
    }
    m_bytes = XmlHistory::bytesOf(storage);
    m_revision = doc.revision();
    m_packed = text ? std::make_unique<XmlPackedDocument>(std::move(doc), *text, overSource)
                    : std::make_unique<XmlPackedDocument>(std::move(doc));
    m_packed->finish();
}

XmlDocumentAside::~XmlDocumentAside() = default;

XmlDocument XmlDocumentAside::takeBack(const XmlPackedDocument::Runner& run) {
    XmlDocument document = m_packed->take(nullptr, run);
    m_packed.reset();
    document.m_object->history = std::exchange(m_history, nullptr);
    document.m_object->history->come(document, {}, {}, 0, 0, nullptr);
    return document;
}

void XmlDocumentAside::replaceWith(const XmlDocument& replacement, const QString& caption,
                                   XmlHistory::ShowDocument show) {
    replacement.m_object->history = std::exchange(m_history, nullptr);
    replacement.m_object->history->come(replacement, caption, std::move(show), m_bytes, m_revision,
                                        caption.isEmpty() ? nullptr : std::move(m_packed));
}

void XmlDocumentAside::keepSourceText(XmlDocument& replacement, const QByteArray& text) const {
    replacement.keepSourceText(text);
    XmlStorage& storage = *replacement.m_object->storage;
    std::lock_guard<std::mutex> lock(storage.sourceMutex);
    if (storage.source.kind != xmlimpl::XmlSource::Kind::Text)
        return;
    storage.source.bom = m_bom;
    storage.source.encoding = m_encoding;
}
