#pragma once

#include "platform/xml/xmlhistory.h"
#include "platform/xml/xmlpackeddocument.h"

#include <QByteArray>
#include <memory>

// A document set aside to make room for the one that replaces it, when the two would not fit in
// memory together (the Apply of a text as large as the document shown): it is packed as text
// (xmlpackeddocument.h) and its nodes are freed before the replacement is read. The undo steps
// made on those nodes go then, as they would once the replaced document is packed in its step.
// Then either a replacement comes, which takes the history with a step that brings the document
// set aside back; or none does (the text did not parse), and the document is read back from its
// text with its history.
// Its nodes are only freed when nothing else holds them: the caller lets go of its handles first.
class XmlDocumentAside {
public:
    // Takes `document` (the handle given is left empty), and returns once it is packed. Throws
    // XmlError while a change is being made to it.
    explicit XmlDocumentAside(XmlDocument&& document);
    // The same, with the document's own text written already (XmlPackedDocument): the document
    // is kept as that text, which is only fit for this when it is held anyway.
    XmlDocumentAside(XmlDocument&& document, const QByteArray& text, bool overSource);
    ~XmlDocumentAside();
    XmlDocumentAside(const XmlDocumentAside&) = delete;
    XmlDocumentAside& operator=(const XmlDocumentAside&) = delete;

    // The document read back as new nodes, with its history. Once, instead of replaceWith.
    XmlDocument takeBack(const XmlPackedDocument::Runner& run = {});
    // `replacement` takes the history, with a step named `caption` that brings the document set
    // aside back and hands it to `show`; without a caption (the document read again from its own
    // text), with no step, since none is left below it. Once, instead of takeBack.
    void replaceWith(const XmlDocument& replacement, const QString& caption,
                     XmlHistory::ShowDocument show);
    // `text`, read as the replacement, becomes its source, with the byte order mark and the
    // encoding of the document set aside (XmlDocument::keepSourceText).
    void keepSourceText(XmlDocument& replacement, const QByteArray& text) const;

private:
    XmlDocumentAside(XmlDocument&& document, const QByteArray* text, bool overSource);

    std::shared_ptr<XmlHistory> m_history;
    std::unique_ptr<XmlPackedDocument> m_packed;
    size_t m_bytes = 0;
    quint64 m_revision = 0;
    QByteArray m_bom;
    QByteArray m_encoding;
};
