// The Indent command: lays out the text view's XML text afresh.

#include "app/frmmain.h"

#include "document/indenter.h"
#include "platform/views/richtextbox.h"

#include <new>

// The text view is written once, with the finished text, and only when the layout changed: an
// indented text that is indented again is left alone and not counted as a change. The Document
// gets the new layout only when the user applies the text view.
void frmMain::IndentXML() {
    const QByteArrayView shown = m_txtXML->Utf8Content();
    const QByteArray indented = Indenter::IndentXML(shown);
    if (indented == shown)
        return;
    const QByteArray original = shown.toByteArray();
    if (!m_txtXML->ReplaceUtf8Text(indented)) {
        // Too big for the view: it gets its own text back, never a part of the new one.
        m_txtXML->ReplaceUtf8Text(original);
        throw std::bad_alloc();
    }
}
