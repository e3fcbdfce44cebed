// The Indent command: lays out the text view's XML text afresh.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/indenter.h"
#include "platform/ui/longoperation.h"
#include "platform/views/richtextbox.h"

#include <new>

// The layout is made on a worker from the view's own buffer (input waits meanwhile, so it cannot
// change), with the progress shown and Esc to stop it. The view gets the finished text as one
// step of its undo, only when the layout changed; it counts as typing only where there was typing
// before. The Document gets the new layout only when the user applies the text view.
void frmMain::IndentXML() {
    const QByteArrayView shown = m_txtXML->Utf8Content();
    std::optional<QByteArray> indented;
    if (!RunAside(
            StatusBar1, QStringLiteral("Indenting"), 2 * shown.size(), true,
            [&](WorkProgress& progress) { indented = Indenter::IndentXML(shown, &progress); }) ||
        !indented || *indented == shown)
        return;
    if (!m_txtXML->ReplaceLayout(*indented))
        throw std::bad_alloc();
}
