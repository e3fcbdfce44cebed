#pragma once

#include "platform/xml/xmldocument.h"

#include <QString>

class RichTextBox;

// Gives the text view the Document's text as it is at a refresh. A shown view gets it at once,
// written straight into the view, or, when it holds text already (Apply), keeps that text while a
// worker checks that it is the Document's; for a hidden one it is prepared on a worker thread from
// a copy of the Document, so that neither opening a file nor the first edit after it waits for the
// text, and the view still shows the text of the refresh after the Document was edited.
class DeferredTextGuard {
public:
    explicit DeferredTextGuard(RichTextBox& view) : m_view(view) {}

    void showDocument(const XmlDocument& document);
    // UTF-8 text, shown as it is.
    void showText(const QByteArray& text);

private:
    void keepWhileChecking(const XmlDocument& document);

    RichTextBox& m_view;
    // The revision whose text the view holds or is about to get; 0 for any other text.
    quint64 m_revision = 0;
};
