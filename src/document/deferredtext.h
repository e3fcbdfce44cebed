#pragma once

#include "platform/xml/xmldocument.h"

#include <QString>
#include <functional>

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
    // A hidden view without typing lets go of its text, to make room for a document too large to
    // be held twice: once shown, it gets the text of the Document `current` gives then, unless a
    // refresh gave it text before.
    void letGo(std::function<XmlDocument()> current);

private:
    void keepWhileChecking(const XmlDocument& document);

    RichTextBox& m_view;
    // The revision whose text the view holds or is about to get; 0 for any other text.
    quint64 m_revision = 0;
};
